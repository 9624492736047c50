#include "platform/Text.h"

#include <langinfo.h>
#include <strings.h>

#include <locale.h>
#include <wctype.h>
#include <climits>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace platform {
namespace {

std::wstring_view UpToNul(std::wstring_view text) {
    size_t nul = text.find(L'\0');
    return nul == std::wstring_view::npos ? text : text.substr(0, nul);
}

std::string_view UpToNul(std::string_view text) {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool IsAsciiCodeset(const char* codeset) {
    return codeset == nullptr || *codeset == '\0' || strcasecmp(codeset, "ANSI_X3.4-1968") == 0 ||
           strcasecmp(codeset, "ASCII") == 0 || strcasecmp(codeset, "US-ASCII") == 0;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool NarrowIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return IsAsciiCodeset(codeset) || strcasecmp(codeset, "UTF-8") == 0 ||
           strcasecmp(codeset, "UTF8") == 0;
}

std::string WideToUtf8(std::wstring_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size());
    for (wchar_t ch : text)
        AppendUtf8(out, static_cast<char32_t>(ch));
    return out;
}

std::wstring Utf8ToWide(std::string_view text) {
    text = UpToNul(text);
    // Never more characters than bytes: size once, fill, trim.
    std::wstring out(text.size(), L'\0');
    wchar_t* dst = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char b = *p;
        if (b < 0x80) {
            *dst++ = b;
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            *dst++ = 0xFFFD;
            ++p;
            continue;
        }
        if (end - p <= extra) {
            *dst++ = 0xFFFD;
            ++p;
            continue;
        }
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *dst++ = 0xFFFD;
            ++p;
            continue;
        }
        *dst++ = static_cast<wchar_t>(cp);
        p += extra + 1;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

std::string WideToMultiByte(std::wstring_view text) {
    text = UpToNul(text);
    if (NarrowIsUtf8())
        return WideToUtf8(text);
    std::string out;
    out.reserve(text.size() * 2);
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (wchar_t ch : text) {
        size_t n = std::wcrtomb(buf, ch, &state);
        if (n == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            out.push_back('?');
        } else {
            out.append(buf, n);
        }
    }
    return out;
}

std::wstring MultiByteToWide(std::string_view text) {
    text = UpToNul(text);
    if (NarrowIsUtf8())
        return Utf8ToWide(text);
    std::wstring out;
    out.reserve(text.size());
    std::mbstate_t state{};
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        wchar_t ch = 0;
        size_t n = std::mbrtowc(&ch, p, left, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            // An invalid or cut-off sequence: one '?' for its first byte, then go on.
            state = std::mbstate_t{};
            out.push_back(L'?');
            ++p;
            --left;
            continue;
        }
        if (n == 0)
            break;
        out.push_back(ch);
        p += n;
        left -= n;
    }
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    // Case rules of Unicode, whatever the process locale: a name must compare the same
    // in the C locale and in a Chinese one.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i])
            continue;
        wint_t x = static_cast<wint_t>(a[i]), y = static_cast<wint_t>(b[i]);
        if (unicode != static_cast<locale_t>(0) ? towlower_l(x, unicode) != towlower_l(y, unicode)
                                                : std::towlower(x) != std::towlower(y))
            return false;
    }
    return true;
}

size_t Utf16Length(std::wstring_view text) {
    size_t units = 0;
    for (wchar_t ch : text)
        units += static_cast<char32_t>(ch) > 0xFFFF ? 2 : 1;
    return units;
}

}  // namespace platform
