#include "platform/Time.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<LocalTimeHook> g_timeHook{nullptr};
}  // namespace

// The system's clock (Time_posix.cpp, Time_win.cpp).
SystemTime SystemLocalTime();

SystemTime GetLocalTime() {
    if (LocalTimeHook hook = g_timeHook.load())
        return hook();
    return SystemLocalTime();
}

void SetLocalTimeHookForTest(LocalTimeHook hook) {
    g_timeHook.store(hook);
}

}  // namespace platform
