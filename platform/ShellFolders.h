#pragma once
// Special folders by their Windows ids. On Windows the shell answers (SHGetFolderPathW, any id
// it knows); on Linux the ids the program uses are mapped onto this system's folders:
//   38, 42  program files       /opt when writable, else ~/.local/opt
//   0       desktop             XDG desktop dir (user-dirs.dirs; default ~/Desktop)
//   26      application data    $XDG_DATA_HOME (default ~/.local/share)
//   22      common start menu   /usr/local/share/applications when writable, else
//                               $XDG_DATA_HOME/applications (where menus find desktop entries)
//   46      common documents    XDG public-share dir (user-dirs.dirs; default ~/Public)
// and other ids have no counterpart and fail. A folder's path is always absolute.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_COMMON_STARTMENU = 0x0016;
constexpr int CSIDL_APPDATA = 0x001A;
constexpr int CSIDL_PROGRAM_FILES = 0x0026;
constexpr int CSIDL_PROGRAM_FILESX86 = 0x002A;
constexpr int CSIDL_COMMON_DOCUMENTS = 0x002E;

constexpr uint32_t kMaxPath = 260;

// The folder's path, whatever its length. With `create`, a missing folder is created (with its
// parents) and the call fails when that is not possible.
bool GetSpecialFolderPath(int csidl, std::wstring& path, bool create = false);

// The shell's form: `path` receives at most kMaxPath characters with the terminator; a longer
// path fails. `owner` is unused.
bool SHGetSpecialFolderPathW(void* owner, wchar_t* path, int csidl, bool create);

// Where a program of this name keeps the log of its last run: on Windows
// "%TEMP%\<name>.log" (GetTempPathW), on Linux "$XDG_STATE_HOME/<name>/install.log"
// (default ~/.local/state). The folder may not exist yet.
std::wstring GetDiagnosticLogPath(const std::wstring& programName);

// Test hook: answer `path` for `csidl` (nullopt restores the system's folder).
void SetSpecialFolderForTest(int csidl, std::optional<std::wstring> path);

}  // namespace platform
