#pragma once
// A thread that starts behind a gate (created "suspended", then resumed) and that its
// owner can ask to stop. There is no forced termination: the thread's code checks the
// request at every blocking point (IsCurrentThreadCancelled, SleepUnlessCancelled) and
// the owner joins it.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// True when the calling thread runs inside a GatedThread whose owner asked it to stop.
bool IsCurrentThreadCancelled();

// Sleeps up to `milliseconds`; returns early (true) when the calling thread is asked
// to stop.
bool SleepUnlessCancelled(uint32_t milliseconds);

class GatedThread {
public:
    using Proc = std::function<unsigned()>;

    GatedThread() = default;
    // Asks the thread to stop and joins it. Destroying it on its own thread is a fault of
    // the owner (the thread would go on inside a freed object): logged, then abort().
    ~GatedThread();
    GatedThread(const GatedThread&) = delete;
    GatedThread& operator=(const GatedThread&) = delete;

    // Creates the thread behind its gate. False when a thread already exists or the
    // system cannot create one.
    bool Start(Proc proc);
    // Opens the gate; the thread then runs its procedure.
    void Resume();
    // Asks the thread to stop. A thread whose gate never opened ends without running.
    void RequestCancel();
    // Waits until the thread has ended; true when it has (or there is none). Called on
    // the thread itself it cannot wait: it logs the fault and returns false, leaving the
    // thread joinable for its owner.
    bool Join();

    bool HasThread() const { return m_thread.joinable(); }
    bool HasFinished() const;
    unsigned ExitCode() const;  // meaningful once HasFinished

    struct Shared;  // state shared with the thread; defined in Thread.cpp

private:
    std::shared_ptr<Shared> m_pShared;
    std::thread m_thread;
};

}  // namespace platform
