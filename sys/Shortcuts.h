#pragma once
// Shortcuts (platform/ShellLinks.h: .lnk files on Windows, desktop entries on Linux) in the
// special folders, "<ext>" being the system's link extension:
//   22 (common start menu): a program folder "Programs/<name>" (or "程序/<name>" when the start
//      menu has no "Programs" folder) holding "<name><ext>" and, with an uninstaller,
//      "卸载 <name><ext>";
//   26 (application data): "<quick-launch folder>/<name><ext>";
//   0 (desktop): "<name><ext>".

#include <cstdint>
#include <string>

struct ShortcutInfo {
    std::wstring name;                 // display name, and the file and folder name
    std::wstring targetPath;           // the program to run (required)
    std::wstring uninstallTargetPath;  // start menu only: the uninstaller
    std::wstring arguments;            // a Windows-style argument string
    std::wstring iconFile;             // used when the file exists
    std::wstring workingDirectory;
    std::wstring description;
    int32_t iconIndex = 0;  // these three: no counterpart in desktop entries
    int32_t showCommand = 0;
    uint16_t hotkey = 0;
};

// Creates the entries for `folderId`; true when the last one was written. False when the special
// folder is missing, the name is not a plain file name, or there is no target.
bool CreateShortcut(const ShortcutInfo& info, int folderId);

// Removes what CreateShortcut made for `folderId` (the whole program folder for the start menu).
// False only when the special folder cannot be found.
bool RemoveShortcut(const std::wstring& name, int folderId);
