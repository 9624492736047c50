#include "sys/Shortcuts.h"

#include "platform/Path.h"
#include "platform/ShellFolders.h"
#include "platform/ShellLinks.h"
#include "sys/FileUtil.h"

namespace {

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(platform::kWidePathSeparators) == std::wstring::npos &&
           name.find(L'\n') == std::wstring::npos && name.find(L'\r') == std::wstring::npos;
}

// The start menu's program folder for `name`.
std::wstring ProgramFolder(const std::wstring& startMenu, const std::wstring& name) {
    if (IsDirectory(startMenu + L"/Programs/"))
        return startMenu + L"/Programs/" + name;
    return startMenu + L"/程序/" + name;
}

std::wstring QuickLaunchFolder(const std::wstring& appData) {
    return appData + L"/" + platform::kQuickLaunchFolder;
}

void RemoveEntry(const std::wstring& path) {
    if (IsDirectory(path)) {
        DeleteDirectoryTree(path);
    } else if (LongPathExists(path)) {
        LongPathRemove(path);
    }
}

}  // namespace

bool CreateShortcut(const ShortcutInfo& info, int folderId) {
    std::wstring folder;
    if (!platform::GetSpecialFolderPath(folderId, folder) || !IsDirectory(folder))
        return false;
    if (!IsPlainName(info.name) || info.targetPath.empty())
        return false;

    const std::wstring extension = platform::kShellLinkExtension;
    std::wstring first;
    std::wstring uninstaller;
    switch (folderId) {
        case platform::CSIDL_COMMON_STARTMENU: {
            std::wstring programs = ProgramFolder(folder, info.name);
            if (!CreateDirectories(programs))
                return false;
            first = programs + L"/" + info.name + extension;
            uninstaller = programs + L"/卸载 " + info.name + extension;
            break;
        }
        case platform::CSIDL_APPDATA:
            // Made when missing: nothing else may have put it there.
            if (!CreateDirectories(QuickLaunchFolder(folder)))
                return false;
            first = QuickLaunchFolder(folder) + L"/" + info.name + extension;
            break;
        case platform::CSIDL_DESKTOP:
            first = folder + L"/" + info.name + extension;
            break;
        default:
            return false;
    }

    platform::ShellLink link;
    link.target = info.targetPath;
    link.arguments = info.arguments;
    if (!info.iconFile.empty() && LongPathExists(info.iconFile)) {
        link.iconFile = info.iconFile;
        link.iconIndex = info.iconIndex;
    }
    link.workingDirectory = info.workingDirectory;
    link.description = info.description;
    link.hotkey = info.hotkey;
    link.showCommand = info.showCommand;
    link.displayName = info.name;
    bool ok = platform::SaveShellLink(first, link);
    if (!uninstaller.empty() && !info.uninstallTargetPath.empty()) {
        link.target = info.uninstallTargetPath;
        link.displayName = L"卸载 " + info.name;
        ok = platform::SaveShellLink(uninstaller, link);
    }
    return ok;
}

bool RemoveShortcut(const std::wstring& name, int folderId) {
    std::wstring folder;
    if (!platform::GetSpecialFolderPath(folderId, folder))
        return false;
    if (!IsPlainName(name))
        return true;  // nothing CreateShortcut could have made
    const std::wstring extension = platform::kShellLinkExtension;
    switch (folderId) {
        case platform::CSIDL_COMMON_STARTMENU:
            RemoveEntry(ProgramFolder(folder, name));
            break;
        case platform::CSIDL_APPDATA:
            RemoveEntry(QuickLaunchFolder(folder) + L"/" + name + extension);
            break;
        case platform::CSIDL_DESKTOP:
            RemoveEntry(folder + L"/" + name + extension);
            break;
        default:
            break;
    }
    return true;
}
