#include "app/CommandLine.h"

#include "platform/Text.h"

std::optional<CInstallerOptions> ParseInstallerArgs(const std::vector<std::string>& args,
                                                    std::string& error) {
    CInstallerOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--log" || arg.rfind("--log=", 0) == 0) {
            const bool joined = arg.size() > 5;
            if (!joined && i + 1 == args.size()) {
                error = "--log needs a file name";
                return std::nullopt;
            }
            const std::string value = joined ? arg.substr(6) : args[++i];
            if (value.empty()) {
                error = "--log needs a file name";
                return std::nullopt;
            }
            options.logPath = platform::PathFromNarrow(value);
        } else {
            error = "unknown argument: " + arg;
            return std::nullopt;
        }
    }
    return options;
}

const char* InstallerUsage() {
    return "Usage: quillora-installer [--log PATH] [--help]\n"
           "Installs Quillora: downloads what Install.ini beside the program names and runs it.\n"
           "\n"
           "  --log PATH   write the support log to PATH (default: the state folder,\n"
           "               $XDG_STATE_HOME/quillora-installer/install.log; on Windows\n"
           "               %TEMP%\\quillora-installer.log)\n"
           "  --help       show this text\n";
}
