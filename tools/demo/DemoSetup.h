#pragma once
// The demo setup: understands the silent command line an installer gives a setup package
// (/VERYSILENT /SUPPRESSMSGBOXES /DIR=<dir>) and installs the product it carries.

#include <string>
#include <vector>

namespace qidemo {

struct SetupOptions {
    std::string installDir;  // absolute; required
    bool help = false;       // /? or /HELP: print the usage and do nothing
};

// `args` without the program name. Switches start with '/' or '-' and ignore case; the
// silent switches are accepted and change nothing (there is no wizard to hide). False with
// a sentence in `error` on an unknown switch, a missing /DIR= or a relative directory.
bool ParseSetupArguments(const std::vector<std::string>& args, SetupOptions& options,
                         std::string& error);

std::string SetupUsage();

// Installs the product carried by `packagePath` into `installDir` (created with its
// parents): the product as Quillora.exe (mode 0755) and a README.txt. `report` receives one
// line per file written.
bool InstallProduct(const std::string& packagePath, const std::string& installDir,
                    std::string& report, std::string& error);

}  // namespace qidemo
