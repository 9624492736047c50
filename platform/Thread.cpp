#include "platform/Thread.h"

#include <chrono>
#include <cstdlib>

#include "platform/DebugOutput.h"

namespace platform {

struct GatedThread::Shared {
    std::mutex lock;
    std::condition_variable cv;
    bool gateOpen = false;  // guarded by lock
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<unsigned> exitCode{0};
};

namespace {
thread_local GatedThread::Shared* t_current = nullptr;
}

// Only the thread procedure reads t_current; Shared outlives the thread (shared_ptr).
bool IsCurrentThreadCancelled() {
    return t_current != nullptr && t_current->cancel.load();
}

bool SleepUnlessCancelled(uint32_t milliseconds) {
    GatedThread::Shared* shared = t_current;
    if (shared == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return false;
    }
    std::unique_lock<std::mutex> lock(shared->lock);
    return shared->cv.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [shared] { return shared->cancel.load(); });
}

GatedThread::~GatedThread() {
    RequestCancel();
    if (!Join()) {
        // Returning would leave the thread running on inside whatever owned this object.
        OutputDebugStringW(L"GatedThread destroyed by its own thread; aborting\n");
        std::abort();
    }
}

bool GatedThread::Start(Proc proc) {
    if (m_thread.joinable())
        return false;
    auto shared = std::make_shared<Shared>();
    try {
        m_thread = std::thread([shared, proc = std::move(proc)]() mutable {
            {
                std::unique_lock<std::mutex> lock(shared->lock);
                shared->cv.wait(lock, [&] { return shared->gateOpen || shared->cancel.load(); });
            }
            if (!shared->cancel.load()) {
                t_current = shared.get();
                shared->exitCode.store(proc());
                t_current = nullptr;
            }
            shared->finished.store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_pShared = std::move(shared);
    return true;
}

void GatedThread::Resume() {
    if (!m_pShared)
        return;
    {
        std::lock_guard<std::mutex> lock(m_pShared->lock);
        m_pShared->gateOpen = true;
    }
    m_pShared->cv.notify_all();
}

void GatedThread::RequestCancel() {
    if (!m_pShared)
        return;
    {
        std::lock_guard<std::mutex> lock(m_pShared->lock);
        m_pShared->cancel.store(true);
    }
    m_pShared->cv.notify_all();
}

bool GatedThread::Join() {
    if (!m_thread.joinable())
        return true;
    if (m_thread.get_id() == std::this_thread::get_id()) {
        OutputDebugStringW(L"GatedThread::Join called on the thread itself; not joined\n");
        return false;
    }
    m_thread.join();
    return true;
}

bool GatedThread::HasFinished() const {
    return m_pShared && m_pShared->finished.load();
}

unsigned GatedThread::ExitCode() const {
    return m_pShared ? m_pShared->exitCode.load() : 0;
}

}  // namespace platform
