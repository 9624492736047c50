#include "tools/demo/DemoSetup.h"

#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"
#include "tools/demo/DemoProcess.h"

namespace qidemo {

namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` starts with `prefix` in any case (ASCII: the switches are).
bool StartsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i]))
            return false;
    return true;
}

bool IsSwitch(const std::string& arg, std::string_view name) {
    return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
           StartsNoCase(std::string_view(arg).substr(1), name);
}

// "/DIR=value" in any case; the value may still carry the quotes of a shell command line.
bool DirSwitchValue(const std::string& arg, std::string& value) {
    if (arg.size() < 5 || (arg[0] != '/' && arg[0] != '-') ||
        !StartsNoCase(std::string_view(arg).substr(1), "DIR="))
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
#ifdef _WIN32
    const bool ok = ::localtime_s(&local, &now) == 0;
#else
    const bool ok = ::localtime_r(&now, &local) != nullptr;
#endif
    if (ok)
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
    if (!IsAbsoluteDir(options.installDir)) {
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
    std::filesystem::create_directories(FsPath(installDir), ec);
    if (ec || !std::filesystem::is_directory(FsPath(installDir))) {
        error = "cannot create the install directory " + installDir + ": " +
                (ec ? ec.message() : std::string("not a directory"));
        return false;
    }

    const std::string productPath = installDir + kPathSeparator + kProductFileName;
    if (!ReplaceFile(productPath, product, 0755, error))
        return false;
    report += "installed " + productPath + " (" + std::to_string(product.size()) + " bytes)\n";

    const std::string readme =
        std::string(kProductTitle) + " " + kProductVersion + " (demo)\n\nInstalled on " + Today() +
        " by the demo setup package\n  " +
        FsString(std::filesystem::weakly_canonical(FsPath(packagePath), ec)) +
        "\n\nTo uninstall, close Quillora and remove this folder:\n  " + installDir + "\n";
    const std::string readmePath = installDir + kPathSeparator + "README.txt";
    if (!ReplaceFile(readmePath, readme, 0644, error))
        return false;
    report += "wrote " + readmePath + "\n";
    return true;
}

}  // namespace qidemo
