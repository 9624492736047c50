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

    const std::wstring prefix = DebugLogTimeStamp();
    platform::OutputDebugStringW(prefix.c_str());
    platform::OutputDebugStringW(message.c_str());
    platform::OutputDebugStringW(L"\n");
    sys::AppendSupportLog(prefix + message);
}
