#pragma once
// UTF-8 to UTF-32 wide text (the component links nothing of the program).

#include <string>

namespace SOUI {

inline std::wstring Utf8ToWide(const char* s) {
    std::wstring out;
    const auto* p = reinterpret_cast<const unsigned char*>(s ? s : "");
    while (*p) {
        unsigned c = *p++;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80 && extra == 0) {
            out += L'\uFFFD';
            continue;
        }
        unsigned cp = extra == 3   ? (c & 0x07)
                      : extra == 2 ? (c & 0x0F)
                      : extra == 1 ? (c & 0x1F)
                                   : c;
        bool bad = false;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) {
                bad = true;
                break;
            }
            cp = (cp << 6) | (*p++ & 0x3F);
        }
        out += bad ? L'\uFFFD' : static_cast<wchar_t>(cp);
    }
    return out;
}

}  // namespace SOUI
