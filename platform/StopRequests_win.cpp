#include <windows.h>

#include "platform/StopRequests.h"

namespace platform {

std::atomic<int> StopRequestCatcher::s_caught{0};

namespace {

// Runs on a thread the system makes for it.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    StopRequestCatcher::s_caught.store(static_cast<int>(type) + 1);
    return TRUE;
}

}  // namespace

StopRequestCatcher::StopRequestCatcher() {
    s_caught.store(0);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequestCatcher::~StopRequestCatcher() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace platform
