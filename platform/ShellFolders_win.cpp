// Special folders from the shell.
#include "platform/ShellFolders.h"

#include <windows.h>

#include <shlobj.h>

namespace platform {

std::wstring GetDiagnosticLogPath(const std::wstring& programName) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring dir = n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring(L".\\");
    if (dir.back() != L'\\')
        dir += L'\\';
    return dir + programName + L".log";
}

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
