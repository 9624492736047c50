#include "uilib/SNotifyCenter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/DebugOutput.h"
#include "platform/Text.h"

namespace SOUI {
namespace {
// Registration of the center: written under g_centerLock; PostEvent reads it under the
// lock, the UI thread may read it without.
std::mutex g_centerLock;
std::atomic<SNotifyCenter*> g_center{nullptr};
}  // namespace

SNotifyCenter::SNotifyCenter() : m_uiThread(std::this_thread::get_id()) {
    if (!m_wake.IsValid()) {
        platform::OutputDebugStringW(
            L"SNotifyCenter: no wake signal; events cannot reach the UI\n");
        return;
    }
    std::lock_guard<std::mutex> lock(g_centerLock);
    g_center.store(this);
}

SNotifyCenter::~SNotifyCenter() {
    {
        // After this no poster can reach the center; one inside FireEventAsync has left.
        std::lock_guard<std::mutex> lock(g_centerLock);
        SNotifyCenter* self = this;
        g_center.compare_exchange_strong(self, nullptr);
    }
    // Released outside the lock: an event's destructor may do anything.
    std::deque<SAutoRefPtr<EventArgs>> left;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        left.swap(m_queue);
    }
    left.clear();
}

SNotifyCenter* SNotifyCenter::getSingletonPtr() {
    return g_center.load();
}

SNotifyCenter& SNotifyCenter::getSingleton() {
    return *g_center.load();
}

void SNotifyCenter::RegisterEventMap(IEventHandler* handler) {
    if (handler == nullptr)
        return;
    if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end())
        m_handlers.push_back(handler);
}

void SNotifyCenter::UnregisterEventMap(IEventHandler* handler) {
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), handler), m_handlers.end());
}

bool SNotifyCenter::addEvent(int id, const wchar_t* name) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_declared.emplace(id, SStringW(name ? name : L"")).second;
}

bool SNotifyCenter::isEventDeclared(int id) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_declared.count(id) != 0;
}

bool SNotifyCenter::PostEvent(EventArgs* pEvt) {
    // Released outside the lock when no center takes it: an event's destructor may do
    // anything.
    SAutoRefPtr<EventArgs> evt = AdoptRef(pEvt);
    if (!evt)
        return false;
    std::lock_guard<std::mutex> lock(g_centerLock);
    if (SNotifyCenter* center = g_center.load()) {
        center->FireEventAsync(evt.detach());
        return true;
    }
    return false;
}

void SNotifyCenter::FireEventAsync(EventArgs* pEvt) {
    SAutoRefPtr<EventArgs> evt = AdoptRef(pEvt);
    if (!evt || !IsValid())
        return;
    evt->WatchSender();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back(std::move(evt));
    }
    m_wake.Raise();
}

void SNotifyCenter::FireEventSync(EventArgs* pEvt) {
    if (pEvt == nullptr)
        return;
    SAutoRefPtr<EventArgs> hold(pEvt);  // a handler may let go of the sender's reference
    Deliver(pEvt);
}

void SNotifyCenter::Deliver(EventArgs* pEvt) {
    if (!isEventDeclared(pEvt->GetID()))
        return;
    // A handler may unregister itself or others while it runs: walk a copy and skip
    // whoever left meanwhile.
    std::vector<IEventHandler*> handlers = m_handlers;
    for (IEventHandler* handler : handlers) {
        if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end())
            continue;
        if (handler->_HandleEvent(pEvt))
            break;
    }
}

size_t SNotifyCenter::DispatchPending() {
    if (!IsUiThread()) {
        platform::OutputDebugStringW(L"SNotifyCenter::DispatchPending called off the UI thread\n");
        return 0;
    }
    m_wake.Clear();
    // Events are taken one at a time, so that a handler running a nested loop (a modal
    // dialog) delivers the following ones itself, still in posting order. Events
    // posted meanwhile wait for the next round.
    size_t budget;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        budget = m_queue.size();
    }
    size_t delivered = 0;
    for (; delivered < budget; ++delivered) {
        SAutoRefPtr<EventArgs> evt;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_queue.empty())
                break;
            evt = std::move(m_queue.front());
            m_queue.pop_front();
        }
        evt->ResolveSender();
        Deliver(evt.get());
    }
    // Anything left (posted during delivery) must wake the loop again.
    bool more;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        more = !m_queue.empty();
    }
    if (more)
        m_wake.Raise();
    return delivered;
}

bool SNotifyCenter::WaitForEvents(int timeoutMs) const {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_queue.empty())
            return true;
    }
    return m_wake.Wait(timeoutMs);
}

}  // namespace SOUI
