#pragma once
// Shell links: .lnk files through the shell's link object on Windows (IShellLinkW saved with
// IPersistFile); freedesktop desktop entries (.desktop) on Linux, written atomically and made
// executable, as desktops require of launchers.

#include <cstdint>
#include <string>

namespace platform {

// The file name extension of a link: ".lnk" on Windows, ".desktop" on Linux.
extern const wchar_t kShellLinkExtension[];
// Where quick-launch links go under the application-data folder, joined with '/'.
extern const wchar_t kQuickLaunchFolder[];

struct ShellLink {
    std::wstring target;            // the program to run (required)
    std::wstring arguments;         // a Windows-style argument string
    std::wstring workingDirectory;  // empty: not set
    std::wstring iconFile;          // empty: not set
    int32_t iconIndex = 0;          // Windows only, as the rest of this block
    int32_t showCommand = 0;        // 0: not set
    uint16_t hotkey = 0;            // 0: not set
    std::wstring description;       // empty: not set
    std::wstring displayName;       // Linux only: the entry's name (a .lnk is named by its file)
};

// Writes `link` to `path` (the extension included), replacing what is there. COM is
// initialised on the calling thread for the call when it is not already.
bool SaveShellLink(const std::wstring& path, const ShellLink& link);

// Reads back a link that SaveShellLink wrote; false when `path` holds none.
bool LoadShellLink(const std::wstring& path, ShellLink& link);

}  // namespace platform
