#include "platform/ShellFolders.h"

#include <map>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace platform {

// The system's own folder for `csidl` (ShellFolders_posix.cpp, ShellFolders_win.cpp). With
// `create` the system may make it on the way; what is still missing is made here.
bool SystemFolderPath(int csidl, bool create, std::wstring& path);

namespace {

std::mutex s_overrideMutex;
std::map<int, std::wstring> s_overrides;

bool MakeDirectories(const std::wstring& dir) {
    if (IsDirectoryPath(dir))
        return true;
    size_t sep = dir.find_last_of(kWidePathSeparators);
    if (sep != std::wstring::npos && sep > 0 && !MakeDirectories(dir.substr(0, sep)))
        return false;
    // Another process may create it at the same moment: what counts is that it exists.
    std::wstring longPath = LongPathForm(dir);
    return (!longPath.empty() && MakeDirectory(longPath)) || IsDirectoryPath(dir);
}

}  // namespace

bool GetSpecialFolderPath(int csidl, std::wstring& path, bool create) {
    std::wstring found;
    {
        std::lock_guard<std::mutex> lock(s_overrideMutex);
        auto it = s_overrides.find(csidl);
        if (it != s_overrides.end())
            found = it->second;
    }
    if (found.empty() && !SystemFolderPath(csidl, create, found))
        return false;
    if (!IsAbsolutePath(found) || (create && !MakeDirectories(found)))
        return false;
    path = found;
    return true;
}

bool SHGetSpecialFolderPathW(void* /*owner*/, wchar_t* path, int csidl, bool create) {
    if (path == nullptr)
        return false;
    std::wstring found;
    if (!GetSpecialFolderPath(csidl, found, create) || found.size() >= kMaxPath)
        return false;
    found.copy(path, found.size());
    path[found.size()] = L'\0';
    return true;
}

void SetSpecialFolderForTest(int csidl, std::optional<std::wstring> path) {
    std::lock_guard<std::mutex> lock(s_overrideMutex);
    if (path) {
        s_overrides[csidl] = *path;
    } else {
        s_overrides.erase(csidl);
    }
}

}  // namespace platform
