#include "app/CommandLine.h"

#include "platform/Text.h"

namespace {

// Takes the value of `name` from "name=value" or the next argument. False with `error`
// set when there is none or it is empty.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::wstring& value, std::string& error) {
    const std::string& arg = args[i];
    std::string text;
    if (arg.size() > name.size()) {
        text = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
        text = args[++i];
    }
    if (text.empty()) {
        error = name + " needs a value";
        return false;
    }
    value = platform::PathFromNarrow(text);
    return true;
}

// True when `arg` is `name` alone or "name=...".
bool Names(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
}

}  // namespace

std::optional<CInstallerOptions> ParseInstallerArgs(const std::vector<std::string>& args,
                                                    std::string& error) {
    CInstallerOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (Names(arg, "--log")) {
            ok = TakeValue(args, i, "--log", options.logPath, error);
        } else if (Names(arg, "--dir")) {
            ok = TakeValue(args, i, "--dir", options.installDir, error);
        } else if (Names(arg, "--package")) {
            ok = TakeValue(args, i, "--package", options.packageFile, error);
        } else if (Names(arg, "--layout")) {
            ok = TakeValue(args, i, "--layout", options.layoutDir, error);
        } else {
            error = "unknown argument: " + arg;
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    if (!options.layoutDir.empty() &&
        (!options.packageFile.empty() || !options.installDir.empty())) {
        error = "--layout installs nothing: it takes neither --dir nor --package";
        return std::nullopt;
    }
    return options;
}

const char* InstallerUsage() {
    return "Usage: quillora-installer [--silent] [--dir PATH] [--package FILE] [--log PATH]\n"
           "       quillora-installer --layout DIR [--log PATH]\n"
           "Installs Quillora: downloads what Install.ini beside the program names and runs it.\n"
           "\n"
           "  --silent        no window: one line per step on standard output, no message box\n"
           "  --dir PATH      install into PATH (default: the program-files folder)\n"
           "  --package FILE  install from FILE instead of downloading the package; its\n"
           "                  install_pack_sha256 in Install.ini is still checked\n"
           "  --layout DIR    download and check the .NET Framework installer and the package\n"
           "                  into DIR for an offline installation; install nothing\n"
           "  --log PATH      write the support log to PATH (default: the state folder,\n"
           "                  $XDG_STATE_HOME/quillora-installer/install.log; on Windows\n"
           "                  %TEMP%\\quillora-installer.log)\n"
           "  --help          show this text\n"
           "\n"
           "Exit codes of --silent and --layout: 0 done; 2 bad command line; 10 no connection;\n"
           "11 server name not found; 12 certificate refused; 13 HTTP error status; 14 digest\n"
           "mismatch; 15 disk full; 16 folder not writable; 17 connection stalled; 18 file in\n"
           "use; 19 write failed; 20 bad download address; 21 other download failure;\n"
           "30 product still running; 31 .NET Framework installer failed; 32 setup failed;\n"
           "33 install folder not usable; 34 bad Install.ini digest; 40 cancelled.\n";
}
