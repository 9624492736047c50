#include "platform/WideFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cwchar>
#include <vector>

#include "platform/DebugOutput.h"

namespace platform {

std::wstring TranslateWideFormat(const wchar_t* format) {
    std::wstring out;
    if (format == nullptr)
        return out;
    const wchar_t* p = format;
    while (*p) {
        if (*p != L'%') {
            out += *p++;
            continue;
        }
        out += *p++;
        if (*p == L'%') {
            out += *p++;
            continue;
        }
        while (*p && std::wcschr(L"-+ #0", *p))
            out += *p++;
        while (*p && ((*p >= L'0' && *p <= L'9') || *p == L'*'))
            out += *p++;
        if (*p == L'.') {
            out += *p++;
            while (*p && ((*p >= L'0' && *p <= L'9') || *p == L'*'))
                out += *p++;
        }
        std::wstring length;
        if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            length = L"ll";
            p += 3;
        } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
            p += 3;
        } else {
            while (*p && std::wcschr(L"hlLqjzt", *p))
                length += *p++;
        }
        wchar_t conv = *p;
        if (conv == 0)
            break;
        ++p;
        switch (conv) {
            case L's':  // wide unless 'h'
                out += (length == L"h") ? L"s" : L"ls";
                break;
            case L'S':  // the opposite width
                out += (length == L"l" || length == L"w") ? L"ls" : L"s";
                break;
            case L'c':
                out += (length == L"h") ? L"c" : L"lc";
                break;
            case L'C':
                out += (length == L"l") ? L"lc" : L"c";
                break;
            default:
                out += length;
                out += conv;
                break;
        }
    }
    return out;
}

}  // namespace platform

namespace platform {

std::wstring VFormatW(const wchar_t* format, va_list args) {
    // Far beyond any text this program formats; a longer one is refused, not cut.
    constexpr size_t kMaxChars = size_t{1} << 24;
    std::wstring translated = TranslateWideFormat(format);
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        errno = 0;
        int n = vswprintf(buf.data(), buf.size(), translated.c_str(), copy);
        int error = errno;
        va_end(copy);
        if (n >= 0)
            return std::wstring(buf.data(), static_cast<size_t>(n));
        // -1 is "did not fit" unless errno says an argument could not be converted: then a
        // bigger buffer cannot help.
        if (error == EILSEQ || buf.size() >= kMaxChars) {
            std::wstring line = L"FormatW: cannot format \"";
            line += format ? format : L"";
            line += error == EILSEQ ? L"\": an argument is not valid text\n" : L"\": too long\n";
            OutputDebugStringW(line.c_str());
            return std::wstring();
        }
        buf.resize(std::min(buf.size() * 4, kMaxChars));
    }
}

std::wstring FormatWUnchecked(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring s = VFormatW(format, args);
    va_end(args);
    return s;
}

}  // namespace platform
