#pragma once
// The one writer of time-stamped diagnostic lines: "[Y-MM-DD hh:mm:ss ms] message\n" to
// the debugger output stream, in three writes (prefix, message, line feed). The format
// follows the Windows wide printf family and is checked against the arguments at compile
// time (see platform/WideFormat.h). Messages longer than 4095 characters are cut there. The
// whole line also goes to the support log while one is open (sys/SupportLog.h).

#include "platform/WideFormat.h"

#include <string>

// "[Y-MM-DD hh:mm:ss ms] " for the local time now.
std::wstring DebugLogTimeStamp();

// Only for DebugLog below, which has checked the format.
void DebugLogUnchecked(const wchar_t* format, ...);

template <typename... Args>
void DebugLog(platform::WideFormatString<std::type_identity_t<Args>...> format, Args... args) {
    DebugLogUnchecked(format.Text(), args...);
}
