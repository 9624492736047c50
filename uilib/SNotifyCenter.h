#pragma once
// The notify center: one per process, created on the UI thread. Any thread may post an
// event with FireEventAsync; the UI thread delivers queued events to the registered
// handlers in posting order when it dispatches (the host loop does this when the wake
// descriptor becomes readable).
//
// Ownership: FireEventAsync takes over the poster's one reference. The center holds it
// while it delivers and releases it afterwards; handlers read the event and do not
// release it. Events of a kind that was not declared with addEvent are released
// without delivery. A queued event keeps a weak handle to its sender: senders are
// destroyed on the UI thread, and one destroyed while its event waited is delivered as a
// null sender.
//
// Worker threads post with PostEvent, never through a center pointer they fetched: the
// center can be destroyed at any moment, and PostEvent finds it under the same lock its
// destructor takes, so posting to a destroyed center is a defined no-op.

#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/WakeEvent.h"
#include "uilib/SAutoRefPtr.h"
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
    // On the UI thread; becomes the singleton. When the wake descriptor cannot be made
    // it logs why, stays invalid and does not become the singleton.
    SNotifyCenter();
    ~SNotifyCenter();  // releases events still queued
    SNotifyCenter(const SNotifyCenter&) = delete;
    SNotifyCenter& operator=(const SNotifyCenter&) = delete;

    // UI thread only (the center is destroyed there); workers use PostEvent.
    static SNotifyCenter* getSingletonPtr();
    static SNotifyCenter& getSingleton();

    void RegisterEventMap(IEventHandler* handler);
    void UnregisterEventMap(IEventHandler* handler);

    // Declares an event kind; false when the id is already declared.
    bool addEvent(int id, const wchar_t* name);
    bool isEventDeclared(int id) const;

    // Any thread: hands the event to the current center (taking over the caller's
    // reference); with no center it releases the event and returns false.
    static bool PostEvent(EventArgs* pEvt);

    // False when the center could not make its wake signal: no event would ever reach
    // the UI, so none is accepted.
    bool IsValid() const { return m_wake.IsValid(); }

    // Queues the event (taking over the caller's reference) and wakes the UI loop. Only
    // from a thread that knows the center outlives the call; others use PostEvent. A
    // null event is ignored; an invalid center releases it.
    void FireEventAsync(EventArgs* pEvt);
    // UI thread. Delivers at once.
    void FireEventSync(EventArgs* pEvt);

    // Raised while events wait; the UI loop watches it.
    platform::WakeEvent::NativeHandle GetWakeHandle() const { return m_wake.Native(); }
    // UI thread only: delivers the events queued so far, in posting order; returns
    // how many were taken from the queue.
    size_t DispatchPending();
    // Blocks up to `timeoutMs` (-1: no limit) until an event waits; true when one does.
    bool WaitForEvents(int timeoutMs) const;
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

private:
    void Deliver(EventArgs* pEvt);

    std::thread::id m_uiThread;
    platform::WakeEvent m_wake;
    mutable std::mutex m_lock;
    std::deque<SAutoRefPtr<EventArgs>> m_queue;  // guarded by m_lock
    std::map<int, SStringW> m_declared;          // guarded by m_lock
    std::vector<IEventHandler*> m_handlers;      // UI thread only
};

}  // namespace SOUI
