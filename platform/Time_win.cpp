// Time on Windows: the system's own calls.
#include "platform/Time.h"

#include <windows.h>

namespace platform {

SystemTime SystemLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return SystemTime{now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
                      now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

uint32_t GetTickCount() {
    return static_cast<uint32_t>(::GetTickCount64());
}

void Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

uint32_t GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

}  // namespace platform
