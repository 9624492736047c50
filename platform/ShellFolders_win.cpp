// Special folders from the shell.
#include "platform/ShellFolders.h"

#include <windows.h>

#include <shlobj.h>

namespace platform {

bool SystemFolderPath(int csidl, bool create, std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT hr = ::SHGetFolderPathW(nullptr, csidl | (create ? CSIDL_FLAG_CREATE : 0),
                                          nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (hr != S_OK)
        return false;
    path = buffer;
    return true;
}

}  // namespace platform
