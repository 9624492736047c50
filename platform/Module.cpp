#include "platform/Module.h"

#include <mutex>
#include <vector>

#include "platform/Path.h"

namespace platform {
namespace {
std::mutex g_hookLock;
std::wstring g_hookPath;  // guarded by g_hookLock
}  // namespace

// The system's answer (Module_posix.cpp, Module_win.cpp).
std::wstring SystemModuleFileName();

std::wstring GetModuleFileName() {
    {
        std::lock_guard<std::mutex> lock(g_hookLock);
        if (!g_hookPath.empty())
            return g_hookPath;
    }
    return SystemModuleFileName();
}

void SetModuleFileNameForTest(std::wstring path) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_hookPath = std::move(path);
}

// `root`, then the parts of `rest` with "." and ".." resolved (".." stops at the root),
// each after one `separator`; the root and one separator when no part is left.
std::wstring ResolveDotParts(std::wstring_view root, std::wstring_view rest, wchar_t separator) {
    std::vector<std::wstring_view> parts;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t next = rest.find_first_of(kWidePathSeparators, pos);
        if (next == std::wstring_view::npos)
            next = rest.size();
        const std::wstring_view part = rest.substr(pos, next - pos);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::wstring out(root);
    for (std::wstring_view part : parts) {
        out += separator;
        out += part;
    }
    if (parts.empty())
        out += separator;
    return out;
}

}  // namespace platform
