#pragma once
// What the text codec's own files share: the shared part (Text.cpp) and the system's
// part (Text_posix.cpp, Text_win.cpp). Not for use outside them.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::wstring_view UpToNul(std::wstring_view text);
std::string_view UpToNul(std::string_view text);

// The next character of wide text at `pos`, which it advances: one unit of UTF-32, or
// one or two of UTF-16. An ill-formed unit gives U+FFFD.
char32_t NextWideChar(std::wstring_view text, size_t& pos);
// Appends a code point in the wide form of this system (a surrogate pair for UTF-16 when
// needed); a value that is no scalar value becomes U+FFFD.
void AppendWideChar(std::wstring& out, char32_t cp);

// CodePageToWide for the code pages other than UTF-8, by the system's converter.
std::optional<std::wstring> SystemCodePageToWide(std::string_view bytes, unsigned codePage);

// The system's simple upper-case mapping of one wide unit: the fold of FoldName.
wchar_t FoldChar(wchar_t c);

}  // namespace platform
