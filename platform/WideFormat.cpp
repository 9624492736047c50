#include "platform/WideFormat.h"

#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"
#include "platform/Text.h"

namespace platform {

namespace {

// The format for glibc, and whether a conversion takes narrow text.
std::wstring Translate(const wchar_t* format, bool* narrowArguments) {
    std::wstring out;
    bool narrow = false;
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
                narrow = narrow || length == L"h";
                out += (length == L"h") ? L"s" : L"ls";
                break;
            case L'S':  // the opposite width
                narrow = narrow || !(length == L"l" || length == L"w");
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
    if (narrowArguments != nullptr)
        *narrowArguments = narrow;
    return out;
}

#ifdef _WIN32
// While alive on a thread, the C library reads narrow text arguments in the ANSI code page,
// as MultiByteToWide does, whatever locale the program set (the C library starts in "C",
// which would read each byte as a character of its own).
class NarrowTextScope {
public:
    NarrowTextScope() : m_mode(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
        const char* current = std::setlocale(LC_CTYPE, nullptr);
        m_saved = current != nullptr ? current : "C";
        std::setlocale(LC_CTYPE, ".ACP");
    }
    ~NarrowTextScope() {
        std::setlocale(LC_CTYPE, m_saved.c_str());
        _configthreadlocale(m_mode);
    }
    NarrowTextScope(const NarrowTextScope&) = delete;
    NarrowTextScope& operator=(const NarrowTextScope&) = delete;

private:
    int m_mode;
    std::string m_saved;
};
#else
// While alive on a thread, the C library's wide printf family reads narrow text arguments
// as MultiByteToWide does: under the plain C/POSIX locale, as UTF-8 (where the C library
// alone refuses every byte above 0x7F). Under any other locale it changes nothing.
class NarrowTextScope {
public:
    NarrowTextScope() {
        // One byte a character and narrow text that is UTF-8: the plain C/POSIX locale.
        if (MB_CUR_MAX != 1 || !NarrowIsUtf8())
            return;
        // Only the character type changes; numbers and the rest keep the thread's locale.
        locale_t base = duplocale(uselocale(static_cast<locale_t>(0)));
        if (base == static_cast<locale_t>(0))
            return;
        m_utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", base);
        if (m_utf8 == static_cast<locale_t>(0)) {
            freelocale(base);
            return;
        }
        m_previous = uselocale(m_utf8);
    }
    ~NarrowTextScope() {
        if (m_utf8 == static_cast<locale_t>(0))
            return;
        uselocale(m_previous);
        freelocale(m_utf8);
    }
    NarrowTextScope(const NarrowTextScope&) = delete;
    NarrowTextScope& operator=(const NarrowTextScope&) = delete;

private:
    locale_t m_utf8 = static_cast<locale_t>(0);
    locale_t m_previous = static_cast<locale_t>(0);
};
#endif

}  // namespace

std::wstring TranslateWideFormat(const wchar_t* format) {
    return Translate(format, nullptr);
}

}  // namespace platform

namespace platform {

std::wstring VFormatW(const wchar_t* format, va_list args) {
    // Far beyond any text this program formats; a longer one is refused, not cut.
    constexpr size_t kMaxChars = size_t{1} << 24;
    bool narrow = false;
    std::wstring translated = Translate(format, &narrow);
    std::optional<NarrowTextScope> narrowText;
    if (narrow)
        narrowText.emplace();
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        errno = 0;
#ifdef _WIN32
        // Windows' own C library takes the format in the meaning it is written in.
        int n = _vsnwprintf(buf.data(), buf.size(), format != nullptr ? format : L"", copy);
#else
        int n = vswprintf(buf.data(), buf.size(), translated.c_str(), copy);
#endif
        int error = errno;
        va_end(copy);
        // The C library's UTF-8 reading lets code points above U+10FFFF through; such
        // narrow text is refused like any other that is not well formed.
        if (n >= 0 && narrow && sizeof(wchar_t) == 4 &&
            !std::all_of(buf.data(), buf.data() + n,
                         [](wchar_t c) { return IsScalarValue(static_cast<char32_t>(c)); }))
            n = -1, error = EILSEQ;
        // A text that fills the buffer to its last place may have been cut: some C libraries
        // (Windows') give the count written then, not -1. A larger buffer tells.
        if (n >= 0 && static_cast<size_t>(n) + 1 < buf.size())
            return std::wstring(buf.data(), static_cast<size_t>(n));
        if (n >= 0)
            error = 0;
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
