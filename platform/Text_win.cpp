// The narrow code page and case folding of the Windows build: the system's ANSI code page
// (CP_ACP), and the invariant locale's upper-case mapping.
#include "platform/Text.h"

#include <windows.h>

#include "platform/TextCodec.h"

namespace platform {

bool NarrowIsUtf8() {
    return ::GetACP() == CP_UTF8;
}

std::string WideToMultiByte(std::wstring_view text) {
    text = UpToNul(text);
    if (text.empty())
        return std::string();
    // What the code page cannot hold becomes its default character, '?'.
    const int size = static_cast<int>(text.size());
    const int needed =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

std::wstring MultiByteToWide(std::string_view text) {
    text = UpToNul(text);
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), needed);
    return out;
}

wchar_t FoldChar(wchar_t c) {
    if (c < 0x80)
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    wchar_t upper = c;
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1, nullptr, nullptr,
                        0) != 1)
        return c;
    return upper;
}

}  // namespace platform
