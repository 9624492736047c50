#pragma once
// Local time and the tick count.

#include <cstdint>

namespace platform {

struct SystemTime {
    int wYear = 0;
    int wMonth = 0;      // 1..12
    int wDayOfWeek = 0;  // 0 = Sunday
    int wDay = 0;
    int wHour = 0;
    int wMinute = 0;
    int wSecond = 0;
    int wMilliseconds = 0;
};

// Current local date and time with milliseconds.
SystemTime GetLocalTime();

// Test hook: GetLocalTime answers from `hook` while it is set (nullptr restores the clock).
using LocalTimeHook = SystemTime (*)();
void SetLocalTimeHookForTest(LocalTimeHook hook);

// Monotonic milliseconds since an arbitrary start, truncated to 32 bits (wraps after
// about 49.7 days; compare differences as unsigned).
uint32_t GetTickCount();

void Sleep(uint32_t milliseconds);

// Id of the calling thread as the kernel knows it.
uint32_t GetCurrentThreadId();

}  // namespace platform
