// Special folders mapped onto this system's folders (see ShellFolders.h).
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/ShellFolders.h"
#include "platform/Text.h"

namespace platform {
namespace {

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found)
        return found->pw_dir;
    return std::string();
}

std::string XdgDir(const char* variable, const std::string& fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    return HomeDir() + fallback;
}

// A user dir from user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/Desktop"), or its default.
std::string UserDir(const std::string& key, const std::string& fallback) {
    std::ifstream in(XdgDir("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs");
    std::string line;
    std::string prefix = "XDG_" + key + "_DIR=";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            continue;
        value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            return HomeDir() + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return HomeDir() + fallback;
}

// Writable as it is, or creatable in its nearest existing parent.
bool IsWritable(const std::string& dir) {
    std::string probe = dir;
    while (!probe.empty()) {
        if (::access(probe.c_str(), F_OK) == 0)
            return ::access(probe.c_str(), W_OK) == 0;
        size_t slash = probe.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return ::access("/", W_OK) == 0;
        probe.resize(slash);
    }
    return false;
}

std::string Mapped(int csidl) {
    switch (csidl) {
        case CSIDL_PROGRAM_FILES:
        case CSIDL_PROGRAM_FILESX86:
            return IsWritable("/opt") ? std::string("/opt") : HomeDir() + "/.local/opt";
        case CSIDL_DESKTOP:
            return UserDir("DESKTOP", "/Desktop");
        case CSIDL_APPDATA:
            return XdgDir("XDG_DATA_HOME", "/.local/share");
        case CSIDL_COMMON_STARTMENU:
            return IsWritable("/usr/local/share/applications")
                       ? std::string("/usr/local/share/applications")
                       : XdgDir("XDG_DATA_HOME", "/.local/share") + "/applications";
        case CSIDL_COMMON_DOCUMENTS:
            return UserDir("PUBLICSHARE", "/Public");
        default:
            return std::string();
    }
}

}  // namespace

std::wstring GetDiagnosticLogPath(const std::wstring& programName) {
    return PathFromNarrow(XdgDir("XDG_STATE_HOME", "/.local/state")) + L"/" + programName +
           L"/install.log";
}

// A missing folder is made by ShellFolders.cpp.
bool SystemFolderPath(int csidl, bool /*create*/, std::wstring& path) {
    std::string narrow = Mapped(csidl);
    if (narrow.empty())
        return false;
    path = PathFromNarrow(narrow);
    return true;
}

}  // namespace platform
