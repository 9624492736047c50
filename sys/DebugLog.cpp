#include "sys/DebugLog.h"

#include <cstdarg>
#include <cwchar>
#include <string>

#include "platform/DebugOutput.h"
#include "platform/Time.h"
#include "platform/WideFormat.h"

void DebugLogUnchecked(const wchar_t* format, ...) {
    wchar_t message[4096] = {0};
    std::wstring translated = platform::TranslateWideFormat(format);
    va_list args;
    va_start(args, format);
    // On overflow glibc cuts the text at 4095 characters and still terminates it.
    vswprintf(message, 4096, translated.c_str(), args);
    va_end(args);
    message[4095] = 0;

    platform::SystemTime st = platform::GetLocalTime();
    wchar_t prefix[64] = {0};
    swprintf(prefix, 64, L"[%d-%02d-%02d %02d:%02d:%02d %d] ", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);

    platform::OutputDebugStringW(prefix);
    platform::OutputDebugStringW(message);
    platform::OutputDebugStringW(L"\n");
}
