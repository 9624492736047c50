#pragma once
// The program's switches. Without any it is the interactive installer and nothing else
// changes.
//
//   --log PATH   the support log goes to PATH instead of its usual place
//   --help       prints the usage and ends

#include <optional>
#include <string>
#include <vector>

struct CInstallerOptions {
    std::wstring logPath;  // empty: sys::DefaultSupportLogPath()
    bool help = false;
};

// The options of `args` (argv without the program name, in the narrow form of file names),
// or nullopt with `error` saying what is wrong.
std::optional<CInstallerOptions> ParseInstallerArgs(const std::vector<std::string>& args,
                                                    std::string& error);

// The text --help prints.
const char* InstallerUsage();
