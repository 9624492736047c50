// Time on Linux: the real-time and monotonic clocks, the thread id from the kernel.
#include "platform/Time.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace platform {

SystemTime SystemLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    SystemTime st;
    st.wYear = local.tm_year + 1900;
    st.wMonth = local.tm_mon + 1;
    st.wDayOfWeek = local.tm_wday;
    st.wDay = local.tm_mday;
    st.wHour = local.tm_hour;
    st.wMinute = local.tm_min;
    st.wSecond = local.tm_sec;
    st.wMilliseconds = static_cast<int>(ts.tv_nsec / 1000000);
    return st;
}

uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t GetCurrentThreadId() {
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

}  // namespace platform
