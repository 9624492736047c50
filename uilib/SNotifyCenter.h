#pragma once
// The notify center: one per process, created on the UI thread. Any thread may post an
// event with FireEventAsync; the UI thread delivers queued events to the registered
// handlers in posting order when it dispatches (the host loop does this when the wake
// descriptor becomes readable).
//
// Ownership: FireEventAsync takes over the poster's one reference. The center holds it
// while it delivers and releases it afterwards; handlers read the event and do not
// release it. Events of a kind that was not declared with addEvent are released
// without delivery.

#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "uilib/SEvents.h"

namespace SOUI {

// A receiver of delivered events (a host window). Returns true when it handled the event.
struct IEventHandler {
    virtual bool _HandleEvent(EventArgs* pEvt) = 0;

protected:
    virtual ~IEventHandler() = default;
};

class SNotifyCenter {
public:
    SNotifyCenter();   // on the UI thread; becomes the singleton
    ~SNotifyCenter();  // releases events still queued
    SNotifyCenter(const SNotifyCenter&) = delete;
    SNotifyCenter& operator=(const SNotifyCenter&) = delete;

    static SNotifyCenter* getSingletonPtr();
    static SNotifyCenter& getSingleton();

    void RegisterEventMap(IEventHandler* handler);
    void UnregisterEventMap(IEventHandler* handler);

    // Declares an event kind; false when the id is already declared.
    bool addEvent(int id, const wchar_t* name);
    bool isEventDeclared(int id) const;

    // Any thread. Queues the event (taking over the caller's reference) and wakes the
    // UI loop. A null event is ignored.
    void FireEventAsync(EventArgs* pEvt);
    // UI thread. Delivers at once.
    void FireEventSync(EventArgs* pEvt);

    // Readable while events wait; the UI loop watches it.
    int GetWakeFd() const { return m_wakeFd; }
    // UI thread only: delivers the events queued so far, in posting order; returns
    // how many were taken from the queue.
    size_t DispatchPending();
    // Blocks up to `timeoutMs` (-1: no limit) until an event waits; true when one does.
    bool WaitForEvents(int timeoutMs) const;
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

private:
    void Deliver(EventArgs* pEvt);

    std::thread::id m_uiThread;
    int m_wakeFd = -1;
    mutable std::mutex m_lock;
    std::deque<EventArgs*> m_queue;          // guarded by m_lock
    std::map<int, SStringW> m_declared;      // guarded by m_lock
    std::vector<IEventHandler*> m_handlers;  // UI thread only
};

}  // namespace SOUI
