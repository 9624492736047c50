#pragma once
// The system's requests to stop a program without a window: SIGINT, SIGTERM and SIGHUP on
// Linux; Ctrl+C, Ctrl+Break and the closing of its console on Windows. While a catcher
// lives they are recorded instead of ending the program, which then stops in good order.

#include <atomic>

namespace platform {

class StopRequestCatcher {
public:
    StopRequestCatcher();  // one at a time
    ~StopRequestCatcher();
    StopRequestCatcher(const StopRequestCatcher&) = delete;
    StopRequestCatcher& operator=(const StopRequestCatcher&) = delete;

    // The last request caught: the signal number on Linux, the console event plus one on
    // Windows; 0 while none came.
    int Caught() const { return s_caught.load(); }

    static std::atomic<int> s_caught;  // written by the handler
};

}  // namespace platform
