#pragma once
// Wide formatting with the Windows meaning of the conversions: %s takes a wide string,
// %hs and %S a narrow one, %c a wide character, %I64d a 64-bit integer.

#include <cstdarg>
#include <string>

namespace platform {

// The same format for glibc's wide printf family (%s -> %ls, %hs -> %s, ...).
std::wstring TranslateWideFormat(const wchar_t* format);

// Formats into a string of any length.
std::wstring FormatW(const wchar_t* format, ...);
std::wstring VFormatW(const wchar_t* format, va_list args);

}  // namespace platform
