// qi-demo-pack: lays out the files the demo server serves under its root, from the demo
// programs beside it (a build step; see DemoLayout.h for the layout).

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"
#include "tools/demo/DemoProcess.h"

namespace {

constexpr char kUsage[] =
    "usage: qi-demo-pack --root DIR [--bin DIR]\n"
    "Writes the demo runtime installers and the setup package (setup + product) below DIR,\n"
    "from the demo programs in --bin (default: the folder of this program).\n";

// The file of a demo program in `bin`.
std::string ProgramFile(const std::string& bin, const char* program) {
    return bin + qidemo::kPathSeparator + program + qidemo::kExeSuffix;
}

bool LayOut(const std::string& root, const std::string& bin, std::string& error) {
    std::string runtime, setup, product, package;
    if (!qidemo::ReadWholeFile(ProgramFile(bin, qidemo::kRuntimeProgram), runtime, error) ||
        !qidemo::ReadWholeFile(ProgramFile(bin, qidemo::kSetupProgram), setup, error) ||
        !qidemo::ReadWholeFile(ProgramFile(bin, qidemo::kProductProgram), product, error) ||
        !qidemo::BuildPackage(setup, product, package, error))
        return false;
    for (const qidemo::CDemoFile& file : qidemo::DemoFiles()) {
        std::string path = root + file.urlPath;
        std::error_code ec;
        std::filesystem::create_directories(qidemo::FsPath(path).parent_path(), ec);
        if (ec) {
            error = "cannot create the folder of " + path + ": " + ec.message();
            return false;
        }
        const std::string& bytes = file.kind == qidemo::EDemoFileKind::Runtime ? runtime : package;
        if (!qidemo::ReplaceFile(path, bytes, 0755, error))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string bin = qidemo::FsString(qidemo::FsPath(qidemo::OwnExecutablePath()).parent_path());
    const std::vector<std::string> args = qidemo::ProgramArguments(argc, argv);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--root" && i + 1 < args.size()) {
            root = args[++i];
        } else if (args[i] == "--bin" && i + 1 < args.size()) {
            bin = args[++i];
        } else if (args[i] == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "qi-demo-pack: unknown argument %s\n%s", args[i].c_str(), kUsage);
            return 2;
        }
    }
    if (root.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string error;
    if (!LayOut(root, bin, error)) {
        std::fprintf(stderr, "qi-demo-pack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
