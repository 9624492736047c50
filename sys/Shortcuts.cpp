#include "sys/Shortcuts.h"

#include <vector>

#include "platform/ChildProcess.h"
#include "platform/File.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "sys/FileUtil.h"

namespace {

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find(L'/') == std::wstring::npos && name.find(L'\n') == std::wstring::npos &&
           name.find(L'\r') == std::wstring::npos;
}

// The start menu's program folder for `name`.
std::wstring ProgramFolder(const std::wstring& startMenu, const std::wstring& name) {
    if (IsDirectory(startMenu + L"/Programs/"))
        return startMenu + L"/Programs/" + name;
    return startMenu + L"/程序/" + name;
}

// A value of a string key: backslash, line breaks, tabs and a leading blank escaped.
std::wstring EscapeValue(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        switch (c) {
            case L'\\':
                out += L"\\\\";
                break;
            case L'\n':
                out += L"\\n";
                break;
            case L'\t':
                out += L"\\t";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L' ':
                out += i == 0 ? L"\\s" : L" ";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// One argument of Exec, quoted when it holds a reserved character; '%' doubled so that it is
// not taken for a field code.
std::wstring ExecArgument(const std::wstring& arg) {
    const std::wstring reserved = L" \t\n\"'\\><~|&;$*?#()`";
    bool quote = arg.empty() || arg.find_first_of(reserved) != std::wstring::npos;
    std::wstring out = quote ? L"\"" : L"";
    for (wchar_t c : arg) {
        if (quote && (c == L'"' || c == L'`' || c == L'$' || c == L'\\'))
            out.push_back(L'\\');
        if (c == L'%')
            out.push_back(L'%');
        out.push_back(c);
    }
    if (quote)
        out.push_back(L'"');
    return out;
}

std::wstring EntryText(const ShortcutInfo& info, const std::wstring& displayName,
                       const std::wstring& target) {
    std::wstring exec = ExecArgument(target);
    for (const std::wstring& arg : platform::SplitCommandLine(info.arguments)) {
        exec += L" " + ExecArgument(arg);
    }
    std::wstring text = L"[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += L"Name=" + EscapeValue(displayName) + L"\n";
    if (!info.description.empty())
        text += L"Comment=" + EscapeValue(info.description) + L"\n";
    text += L"Exec=" + EscapeValue(exec) + L"\n";
    if (!info.workingDirectory.empty()) {
        text += L"Path=" + EscapeValue(info.workingDirectory) + L"\n";
    }
    if (!info.iconFile.empty() && LongPathExists(info.iconFile)) {
        text += L"Icon=" + EscapeValue(info.iconFile) + L"\n";
    }
    text += L"Terminal=false\n";
    return text;
}

// Replaces the entry atomically. Executable: desktops run only launchers marked so.
bool WriteEntry(const std::wstring& path, const std::wstring& text) {
    platform::ReplaceOptions options;
    options.mode = 0755;
    options.keepExistingMode = false;
    return platform::ReplaceFileAtomically(platform::PathToNarrow(path), platform::WideToUtf8(text),
                                           options) == 0;
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

    std::wstring first;
    std::wstring uninstaller;
    switch (folderId) {
        case platform::CSIDL_COMMON_STARTMENU: {
            std::wstring programs = ProgramFolder(folder, info.name);
            if (!CreateDirectories(programs))
                return false;
            first = programs + L"/" + info.name + L".desktop";
            uninstaller = programs + L"/卸载 " + info.name + L".desktop";
            break;
        }
        case platform::CSIDL_APPDATA:
            // The quick-launch folder is ours to make; nothing else puts it there.
            if (!CreateDirectories(folder + L"/Quick Launch"))
                return false;
            first = folder + L"/Quick Launch/" + info.name + L".desktop";
            break;
        case platform::CSIDL_DESKTOP:
            first = folder + L"/" + info.name + L".desktop";
            break;
        default:
            return false;
    }
    bool ok = WriteEntry(first, EntryText(info, info.name, info.targetPath));
    if (!uninstaller.empty() && !info.uninstallTargetPath.empty()) {
        ok = WriteEntry(uninstaller,
                        EntryText(info, L"卸载 " + info.name, info.uninstallTargetPath));
    }
    return ok;
}

bool RemoveShortcut(const std::wstring& name, int folderId) {
    std::wstring folder;
    if (!platform::GetSpecialFolderPath(folderId, folder))
        return false;
    if (!IsPlainName(name))
        return true;  // nothing CreateShortcut could have made
    switch (folderId) {
        case platform::CSIDL_COMMON_STARTMENU:
            RemoveEntry(ProgramFolder(folder, name));
            break;
        case platform::CSIDL_APPDATA:
            RemoveEntry(folder + L"/Quick Launch/" + name + L".desktop");
            break;
        case platform::CSIDL_DESKTOP:
            RemoveEntry(folder + L"/" + name + L".desktop");
            break;
        default:
            break;
    }
    return true;
}
