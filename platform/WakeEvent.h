#pragma once
// A signal one thread raises to wake another that waits, or that a main loop watches: an
// eventfd on Linux (readable while raised), a manual-reset event object on Windows
// (signalled while raised). Any thread may raise it; one owner clears and waits.

#include <cstdint>

namespace platform {

class WakeEvent {
public:
#ifdef _WIN32
    using NativeHandle = void*;  // HANDLE for WaitForMultipleObjects / MsgWaitFor...
#else
    using NativeHandle = int;  // a descriptor for poll or a main loop's fd source
#endif

    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the system could not make one (the reason is logged).
    bool IsValid() const;
    void Raise();
    void Clear();
    // Blocks up to `timeoutMs` (-1: no limit) while not raised; true when raised.
    bool Wait(int timeoutMs) const;
    NativeHandle Native() const {
        return m_handle;
    }

private:
#ifdef _WIN32
    NativeHandle m_handle = nullptr;
#else
    NativeHandle m_handle = -1;
#endif
};

}  // namespace platform
