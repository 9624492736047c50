// A program that stands in for another in tests where no script can (Windows): a copy of it
// with a plan appended to its bytes (after kRecorderPlanMarker, TestFiles.h) does what the
// plan says, as the recording script of TestFiles.h does on Linux. The plan's lines: the record
// file, the exit code, the seconds to wait first, then the output to print (the rest, as it
// is).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

std::string SelfPath() {
#ifdef _WIN32
    wchar_t path[32768];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, 32768);
    return platform::WideToUtf8(std::wstring_view(path, n < 32768 ? n : 0));
#else
    return std::filesystem::read_symlink("/proc/self/exe").string();
#endif
}

// The arguments as the system split them, UTF-8 (Windows' own splitting, whatever the code
// page).
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc, (void)argv;
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            args.push_back(platform::WideToUtf8(wide[i]));
        ::LocalFree(wide);
    }
#else
    args.assign(argv + 1, argv + argc);
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    std::ifstream self(qitest::FsPath(SelfPath()), std::ios::binary);
    std::ostringstream content;
    content << self.rdbuf();
    const std::string bytes = content.str();
    // The last marker: the program's own copy of the text comes before the appended plan.
    const size_t at = bytes.rfind(qitest::kRecorderPlanMarker);
    if (at == std::string::npos)
        return 120;
    std::istringstream plan(bytes.substr(at + std::strlen(qitest::kRecorderPlanMarker)));
    std::string recordPath, exitLine, sleepLine;
    std::getline(plan, recordPath);
    std::getline(plan, exitLine);
    std::getline(plan, sleepLine);
    std::ostringstream rest;
    rest << plan.rdbuf();
    const int sleepSeconds = std::atoi(sleepLine.c_str());
    if (sleepSeconds > 0)
        std::this_thread::sleep_for(std::chrono::seconds(sleepSeconds));
    {
        // The arguments as the program received them, one a line.
        std::ofstream record(qitest::FsPath(recordPath), std::ios::binary | std::ios::trunc);
        for (const std::string& arg : Arguments(argc, argv))
            record << arg << '\n';
    }
    const std::string output = rest.str();
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);
    return std::atoi(exitLine.c_str());
}
