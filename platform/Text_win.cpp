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

namespace {

// One run in a code page, refusing any invalid sequence.
bool DecodeRun(std::string_view bytes, unsigned codePage, std::wstring& out) {
    if (bytes.empty())
        return true;
    const int size = static_cast<int>(bytes.size());
    const int needed =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (needed <= 0)
        return false;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(needed));
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data() + at,
                          needed);
    return true;
}

}  // namespace

std::optional<std::wstring> SystemCodePageToWide(std::string_view bytes, unsigned codePage) {
    CPINFO info;
    if (!::IsValidCodePage(codePage) || !::GetCPInfo(codePage, &info))
        return std::nullopt;
    std::wstring out;
    if (DecodeRun(bytes, codePage, out))
        return out;
    // Character by character (one byte, or a lead and a trail byte), as iconv goes on.
    out.clear();
    for (size_t pos = 0; pos < bytes.size();) {
        size_t n = 1;
        if (info.MaxCharSize == 2 && pos + 1 < bytes.size() &&
            ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[pos])))
            n = 2;
        if (DecodeRun(bytes.substr(pos, n), codePage, out)) {
            pos += n;
        } else {
            out.push_back(L'?');
            ++pos;
        }
    }
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
