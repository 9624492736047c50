#include "tools/demo/DemoSetup.h"

#include <strings.h>

#include <ctime>
#include <filesystem>
#include <system_error>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"

namespace qidemo {

namespace {

bool IsSwitch(const std::string& arg, const char* name) {
    return arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') &&
           ::strcasecmp(arg.c_str() + 1, name) == 0;
}

// "/DIR=value" in any case; the value may still carry the quotes of a shell command line.
bool DirSwitchValue(const std::string& arg, std::string& value) {
    if (arg.size() < 5 || (arg[0] != '/' && arg[0] != '-') ||
        ::strncasecmp(arg.c_str() + 1, "DIR=", 4) != 0)
        return false;
    value = arg.substr(5);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

std::string Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (::localtime_r(&now, &local) != nullptr)
        std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local);
    return text;
}

}  // namespace

std::string SetupUsage() {
    return std::string("usage: ") + kSetupProgram +
           " [/VERYSILENT] [/SILENT] [/SUPPRESSMSGBOXES] [/NORESTART] /DIR=<absolute dir>\n"
           "Installs the " +
           kProductTitle + " demo product it carries into <dir> as " + kProductFileName + ".\n";
}

bool ParseSetupArguments(const std::vector<std::string>& args, SetupOptions& options,
                         std::string& error) {
    options = SetupOptions();
    bool haveDir = false;
    for (const std::string& arg : args) {
        std::string dir;
        if (IsSwitch(arg, "?") || IsSwitch(arg, "HELP") || arg == "--help") {
            options.help = true;
            return true;
        }
        if (DirSwitchValue(arg, dir)) {
            options.installDir = dir;
            haveDir = true;
        } else if (!IsSwitch(arg, "VERYSILENT") && !IsSwitch(arg, "SILENT") &&
                   !IsSwitch(arg, "SUPPRESSMSGBOXES") && !IsSwitch(arg, "NORESTART")) {
            error = "unknown argument: " + arg;
            return false;
        }
    }
    if (!haveDir || options.installDir.empty()) {
        error = "no install directory given (/DIR=<dir>)";
        return false;
    }
    if (options.installDir.front() != '/') {
        error = "the install directory must be an absolute path: " + options.installDir;
        return false;
    }
    return true;
}

bool InstallProduct(const std::string& packagePath, const std::string& installDir,
                    std::string& report, std::string& error) {
    std::string package;
    std::string product;
    if (!ReadWholeFile(packagePath, package, error) || !ExtractPayload(package, product, error))
        return false;
    package.clear();

    std::error_code ec;
    std::filesystem::create_directories(installDir, ec);
    if (ec || !std::filesystem::is_directory(installDir)) {
        error = "cannot create the install directory " + installDir + ": " +
                (ec ? ec.message() : std::string("not a directory"));
        return false;
    }

    const std::string productPath = installDir + "/" + kProductFileName;
    if (!ReplaceFile(productPath, product, 0755, error))
        return false;
    report += "installed " + productPath + " (" + std::to_string(product.size()) + " bytes)\n";

    const std::string readme =
        std::string(kProductTitle) + " " + kProductVersion + " (demo)\n\nInstalled on " + Today() +
        " by the demo setup package\n  " +
        std::filesystem::weakly_canonical(packagePath, ec).string() +
        "\n\nTo uninstall, close Quillora and remove this folder:\n  " + installDir + "\n";
    const std::string readmePath = installDir + "/README.txt";
    if (!ReplaceFile(readmePath, readme, 0644, error))
        return false;
    report += "wrote " + readmePath + "\n";
    return true;
}

}  // namespace qidemo
