#include "tools/demo/DemoProcess.h"

#include <cstdlib>
#include <system_error>

namespace qidemo {

std::string OwnExecutablePath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

std::string FsString(const std::filesystem::path& path) {
    return path.string();
}

bool IsAbsoluteDir(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

}  // namespace qidemo
