#pragma once
// The program's switches. Without any it is the interactive installer and nothing else
// changes.
//
//   --silent        no window: one line per step on standard output, no message box; the
//                   exit code tells the outcome (install/InstallFailure.h)
//   --dir PATH      install into PATH (the window shows it as the chosen folder)
//   --log PATH      the support log goes to PATH instead of its usual place
//   --package FILE  install from FILE instead of downloading the package; its pin in
//                   Install.ini is still checked
//   --layout DIR    download and check the runtime installer and the package into DIR,
//                   install nothing (no window)
//   --help          prints the usage and ends
//
// Each switch taking a value accepts it as the next argument or after "=".

#include <optional>
#include <string>
#include <vector>

struct CInstallerOptions {
    bool silent = false;
    std::wstring installDir;   // empty: the window's or the default folder
    std::wstring logPath;      // empty: sys::DefaultSupportLogPath()
    std::wstring packageFile;  // empty: the package beside the program, or a download
    std::wstring layoutDir;    // set: a layout run
    bool help = false;

    // No window: --silent or --layout.
    bool Unattended() const { return silent || !layoutDir.empty(); }
};

// The options of `args` (argv without the program name, in the narrow form of file names),
// or nullopt with `error` saying what is wrong.
std::optional<CInstallerOptions> ParseInstallerArgs(const std::vector<std::string>& args,
                                                    std::string& error);

// The text --help prints.
const char* InstallerUsage();
