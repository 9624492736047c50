#include "ui/InstallDir.h"

#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "platform/ShellFolders.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/OsInfo.h"
#include "sys/TextUtil.h"

std::wstring DefaultInstallDir() {
    const int csidl = IsWow64() ? platform::CSIDL_PROGRAM_FILESX86 : platform::CSIDL_PROGRAM_FILES;
    wchar_t buffer[platform::kMaxPath] = {};
    if (!platform::SHGetSpecialFolderPathW(nullptr, buffer, csidl, true)) {
        DebugLog(L"%s 获取程序目录失败 csidl=%d", L"DefaultInstallDir", csidl);
        buffer[0] = L'\0';
    }
    return std::wstring(buffer) + L"/" + kProductFolder;
}

std::wstring AppendProductFolder(const std::wstring& path) {
    if (EndsWith(path, kProductFolder))
        return path;
    return path + L"/" + kProductFolder;
}

std::wstring PickedFolderToInstallDir(const std::wstring& folder) {
    if (folder.empty())
        return kProductFolder;
    if (folder.back() == L'/')
        return folder + kProductFolder;
    return folder + L"/" + kProductFolder;
}

bool PrepareInstallDir(const std::wstring& path) {
    if (!platform::IsAbsolutePath(path))
        return false;
    if (!platform::MayStandQuoted(path))
        return false;
    if (!IsDirectory(path))
        LongPathMakeDirectory(path);  // one level: the parent must exist
    return IsDirectory(path);
}
