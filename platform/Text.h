#pragma once
// Text encodings. "Narrow" text is the multibyte encoding of the process locale (the
// system code page of this program); when the locale is plain ASCII (C/POSIX), narrow
// text is UTF-8. File names handed to the system are narrow text too.
// Every conversion stops at the first zero character of its input.

#include <string>
#include <string_view>

namespace platform {

// Narrow text of the current locale from wide text; what the encoding cannot hold
// becomes '?'.
std::string WideToMultiByte(std::wstring_view text);
// Wide text from narrow text of the current locale; a byte sequence that does not
// decode becomes '?'.
std::wstring MultiByteToWide(std::string_view text);

std::string WideToUtf8(std::wstring_view text);  // invalid code points become U+FFFD
std::wstring Utf8ToWide(std::string_view text);  // invalid sequences become U+FFFD

// True when narrow text is UTF-8 (a UTF-8 locale, or the plain C/POSIX locale).
bool NarrowIsUtf8();

// Names that Windows compares without regard to case (INI keys, registry keys,
// attribute names): equal when their lower-case forms are.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// Value of a hexadecimal digit (0-9, a-f, A-F); -1 for any other character.
inline int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Number of UTF-16 code units `text` would take (wchar_t is UTF-32 here).
size_t Utf16Length(std::wstring_view text);

// Narrow file-system form of a wide path, and back.
inline std::string PathToNarrow(std::wstring_view path) {
    return WideToMultiByte(path);
}
inline std::wstring PathFromNarrow(std::string_view path) {
    return MultiByteToWide(path);
}

}  // namespace platform
