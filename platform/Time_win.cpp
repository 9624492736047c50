// Time on Windows: the system's own calls.
#include "platform/Time.h"

#include <windows.h>

namespace platform {

SystemTime SystemLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    SystemTime st;
    st.wYear = now.wYear;
    st.wMonth = now.wMonth;
    st.wDayOfWeek = now.wDayOfWeek;
    st.wDay = now.wDay;
    st.wHour = now.wHour;
    st.wMinute = now.wMinute;
    st.wSecond = now.wSecond;
    st.wMilliseconds = now.wMilliseconds;
    return st;
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
