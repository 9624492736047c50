// The running executable on Linux, and paths resolved as the shell does for "/" paths.
#include "platform/Module.h"

#include <unistd.h>

#include <vector>

#include "platform/Text.h"

namespace platform {

std::wstring SystemModuleFileName() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::wstring();
        if (static_cast<size_t>(n) < buf.size())
            return PathFromNarrow(std::string(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

bool CanonicalizePath(std::wstring_view path, std::wstring& out) {
    if (path.empty() || path.front() != L'/')
        return false;
    std::vector<std::wstring_view> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find(L'/', pos);
        if (next == std::wstring_view::npos)
            next = path.size();
        std::wstring_view part = path.substr(pos, next - pos);
        if (part.empty() || part == L".") {
            // nothing
        } else if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    out.clear();
    for (std::wstring_view part : parts) {
        out += L'/';
        out += part;
    }
    if (out.empty())
        out = L"/";
    return true;
}

}  // namespace platform
