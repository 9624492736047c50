// qi-demo-pack: lays out the files the demo server serves under its root, from the demo
// programs beside it (a build step; see DemoLayout.h for the layout).

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"

namespace {

constexpr char kUsage[] =
    "usage: qi-demo-pack --root DIR [--bin DIR]\n"
    "Writes the demo runtime installers and the setup package (setup + product) below DIR,\n"
    "from the demo programs in --bin (default: the folder of this program).\n";

bool LayOut(const std::string& root, const std::string& bin, std::string& error) {
    std::string runtime, setup, product, package;
    if (!qidemo::ReadWholeFile(bin + "/" + qidemo::kRuntimeProgram, runtime, error) ||
        !qidemo::ReadWholeFile(bin + "/" + qidemo::kSetupProgram, setup, error) ||
        !qidemo::ReadWholeFile(bin + "/" + qidemo::kProductProgram, product, error) ||
        !qidemo::BuildPackage(setup, product, package, error))
        return false;
    for (const qidemo::CDemoFile& file : qidemo::DemoFiles()) {
        std::string path = root + file.urlPath;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
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
    std::error_code ec;
    std::string bin = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
            root = argv[++i];
        } else if (std::strcmp(argv[i], "--bin") == 0 && i + 1 < argc) {
            bin = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "qi-demo-pack: unknown argument %s\n%s", argv[i], kUsage);
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
