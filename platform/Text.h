#pragma once
// Text encodings. "Narrow" text is the system's ANSI code page: on Windows CP_ACP, on
// Linux the multibyte encoding of the process locale (UTF-8 when the locale is plain
// ASCII, C/POSIX). File names have a narrow form of their own (PathToNarrow below).
// Conversions of text stop at the first zero character of their input; only the UTF-16
// byte forms (registry data, file contents) keep zeros.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Narrow text of the current locale from wide text; what the encoding cannot hold
// becomes '?'.
std::string WideToMultiByte(std::wstring_view text);
// Wide text from narrow text of the current locale; a byte sequence that does not
// decode becomes '?'.
std::wstring MultiByteToWide(std::string_view text);

// Bytes of a given Windows code page (936, 1252, 65001, ...) as wide text, zeros kept; a
// byte that does not begin a character of the code page becomes '?'. Nothing when the
// system does not know the code page.
std::optional<std::wstring> CodePageToWide(std::string_view bytes, unsigned codePage);

// Unicode text. Wide text is UTF-32 on Linux (wchar_t holds one code point) and UTF-16 on
// Windows (a code point above U+FFFF takes a surrogate pair). One rule for input
// that is not well formed, in every direction:
//  - decoding, each code unit that does not begin a well-formed sequence becomes U+FFFD
//    and decoding goes on with the next unit. Ill-formed are: a byte that cannot begin a
//    UTF-8 sequence, a cut-off sequence, an overlong form, a surrogate written in UTF-8,
//    a value above U+10FFFF, and a UTF-16 surrogate without its partner;
//  - encoding, a wide character that is not a Unicode scalar value (a surrogate without
//    its partner, or above U+10FFFF) becomes U+FFFD.
// Callers that must refuse such input rather than repair it test it with IsValidUtf8 or
// look at DecodeUtf8At / DecodeUtf16LeAt, which apply the same rule.

constexpr char32_t kReplacementCharacter = 0xFFFD;

// A code point that UTF-8, UTF-16 and UTF-32 can all hold: U+0000..U+10FFFF without the
// surrogates.
constexpr bool IsScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// One character decoded at a position: its code point (U+FFFD when ill-formed), whether
// it was well formed, and the code units (bytes) it took: at least 1, never past the end.
struct DecodedChar {
    char32_t value;
    bool valid;
    size_t length;
};
// `pos` must be inside `bytes`.
DecodedChar DecodeUtf8At(std::string_view bytes, size_t pos);
// UTF-16 little-endian; a single byte left at `pos` is a cut-off unit (invalid, length 1).
DecodedChar DecodeUtf16LeAt(std::string_view bytes, size_t pos);

std::string WideToUtf8(std::wstring_view text);  // stops at the first zero
std::wstring Utf8ToWide(std::string_view text);  // stops at the first zero
// True when every byte belongs to a well-formed UTF-8 sequence (zero bytes included).
bool IsValidUtf8(std::string_view text);

// UTF-16 little-endian bytes of wide text and back. Every character is kept, zeros
// included; an odd last byte is ignored.
std::string WideToUtf16Le(std::wstring_view text);
std::wstring Utf16LeToWide(std::string_view bytes);

// True when narrow text is UTF-8 (a UTF-8 locale, or the plain C/POSIX locale).
bool NarrowIsUtf8();

// Names that Windows compares without regard to case: registry keys and values, INI
// sections and keys, attribute and resource names. Windows upper-cases each character
// through a table of its own; here each code point is upper-cased by the simple (one to
// one) Unicode mapping, whatever the process locale, so a name compares the same in the C
// locale and in a Chinese one. Folding up, not down, is what makes 'ſ' match 's', 'ς'
// match 'σ' and 'µ' (micro sign) match 'μ', while KELVIN SIGN stays apart from 'k' and
// 'ß' from 'ẞ'. FoldName gives the form to compare or sort by; it has the name's length.
std::wstring FoldName(std::wstring_view name);
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

// Number of UTF-16 code units `text` would take.
size_t Utf16Length(std::wstring_view text);

// Narrow file-system form of a wide path, and back. On Linux the system takes file names
// as bytes of the locale's encoding. On Windows narrow paths are UTF-8 inside the program
// and the file layer hands them to the wide functions: a name the ANSI code page cannot
// hold must still work.
#ifdef _WIN32
inline std::string PathToNarrow(std::wstring_view path) {
    return WideToUtf8(path);
}
inline std::wstring PathFromNarrow(std::string_view path) {
    return Utf8ToWide(path);
}
#else
inline std::string PathToNarrow(std::wstring_view path) {
    return WideToMultiByte(path);
}
inline std::wstring PathFromNarrow(std::string_view path) {
    return MultiByteToWide(path);
}
#endif

}  // namespace platform
