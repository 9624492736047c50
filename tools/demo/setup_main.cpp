// qi-demo-setup: the demo setup package. Served with the product appended (see
// DemoPackage.h); run silently by the installer with /DIR=<dir>.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoProcess.h"
#include "tools/demo/DemoSetup.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args = qidemo::ProgramArguments(argc, argv);
    qidemo::SetupOptions options;
    std::string error;
    if (!qidemo::ParseSetupArguments(args, options, error)) {
        std::fprintf(stderr, "%s: %s\n%s", qidemo::kSetupProgram, error.c_str(),
                     qidemo::SetupUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(qidemo::SetupUsage().c_str(), stdout);
        return 0;
    }
    std::string report;
    if (!qidemo::InstallProduct(qidemo::OwnExecutablePath(), options.installDir, report, error)) {
        std::fprintf(stderr, "%s: %s\n", qidemo::kSetupProgram, error.c_str());
        return 1;
    }
    std::fputs(report.c_str(), stdout);
    return 0;
}
