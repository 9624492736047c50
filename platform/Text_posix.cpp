// The narrow code page and case folding of the Linux build: the process locale's
// multibyte encoding, and the C.UTF-8 locale's simple upper-case mapping.
#include "platform/Text.h"

#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include <locale.h>
#include <wctype.h>
#include <climits>
#include <cwchar>

#include "platform/TextCodec.h"

namespace platform {
namespace {

bool IsAsciiCodeset(const char* codeset) {
    return codeset == nullptr || *codeset == '\0' || strcasecmp(codeset, "ANSI_X3.4-1968") == 0 ||
           strcasecmp(codeset, "ASCII") == 0 || strcasecmp(codeset, "US-ASCII") == 0;
}

// Without Unicode case tables (no C.UTF-8 locale) only ASCII letters fold.
locale_t FoldLocale() {
    static const locale_t s_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return s_locale;
}

}  // namespace

wchar_t FoldChar(wchar_t c) {
    if (c < 0x80)
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    const locale_t loc = FoldLocale();
    if (loc == static_cast<locale_t>(0))
        return c;
    return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc));
}

bool NarrowIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return IsAsciiCodeset(codeset) || strcasecmp(codeset, "UTF-8") == 0 ||
           strcasecmp(codeset, "UTF8") == 0;
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

std::optional<std::wstring> SystemCodePageToWide(std::string_view bytes, unsigned codePage) {
    // iconv knows Windows code pages as CPnnn; 936 by its name.
    const std::string name = codePage == 936 ? "GBK" : "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("WCHAR_T", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::wstring out;
    std::string in(bytes);
    char* inp = in.data();
    size_t inLeft = in.size();
    std::wstring buf(in.size() + 4, L'\0');
    while (inLeft > 0) {
        char* outp = reinterpret_cast<char*>(buf.data());
        size_t outLeft = buf.size() * sizeof(wchar_t);
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf.data(), (buf.size() * sizeof(wchar_t) - outLeft) / sizeof(wchar_t));
        if (r == static_cast<size_t>(-1)) {
            if (inLeft == 0)
                break;
            out.push_back(L'?');  // an invalid or cut-off sequence: its first byte
            ++inp;
            --inLeft;
        }
    }
    iconv_close(cd);
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

}  // namespace platform
