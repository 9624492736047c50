#include "platform/FileSystem.h"

#include <vector>

#include "platform/Text.h"

namespace platform {
namespace {

// 32 hexadecimal digits, given back in lower case.
bool TakeHash(std::wstring_view text, std::wstring& md5) {
    if (text.size() != 32)
        return false;
    std::wstring hash;
    for (wchar_t c : text) {
        if (HexDigit(c) < 0)
            return false;
        hash.push_back(c >= L'A' && c <= L'F' ? static_cast<wchar_t>(c - L'A' + L'a') : c);
    }
    md5 = hash;
    return true;
}

}  // namespace

bool ParseMd5Output(std::wstring_view output, std::wstring& md5) {
    // certutil: the lines between "\r\n", empty ones dropped, are exactly three.
    std::vector<std::wstring_view> lines;
    for (size_t pos = 0; pos < output.size();) {
        size_t end = output.find(L"\r\n", pos);
        if (end == std::wstring_view::npos)
            end = output.size();
        if (end > pos)
            lines.push_back(output.substr(pos, end - pos));
        pos = end + 2;
    }
    if (lines.size() == 3) {
        std::wstring hash;
        for (wchar_t c : lines[1]) {
            if (c != L' ' && c != L'\t')
                hash.push_back(c);
        }
        return TakeHash(hash, md5);
    }
    // md5sum: "<hash>  <name>"; a name with a backslash or line break gets a leading backslash.
    size_t start = !output.empty() && output[0] == L'\\' ? 1 : 0;
    if (output.size() < start + 34 || output[start + 32] != L' ')
        return false;
    return TakeHash(output.substr(start, 32), md5);
}

}  // namespace platform
