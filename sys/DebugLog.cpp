#include "sys/DebugLog.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <string>

#include "platform/DebugOutput.h"
#include "platform/Time.h"
#include "platform/WideFormat.h"
#include "sys/SupportLog.h"

std::wstring DebugLogTimeStamp() {
    const platform::SystemTime st = platform::GetLocalTime();
    wchar_t prefix[64] = {0};
    swprintf(prefix, 64, L"[%d-%02d-%02d %02d:%02d:%02d %d] ", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return prefix;
}

void DebugLogUnchecked(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring message = platform::VFormatW(format, args);
    va_end(args);
    message.resize(std::min<size_t>(message.size(), 4095));

    // One write per line: lines from other threads, or a console's own output, never land
    // between the time stamp and the text.
    const std::wstring line = DebugLogTimeStamp() + message;
    platform::OutputDebugStringW((line + L"\n").c_str());
    sys::AppendSupportLog(line);
}
