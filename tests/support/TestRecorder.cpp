// A program that stands in for another in tests where no script can (Windows): a copy of it
// under any name reads "<its own path>.rec" and does what that file says, as the recording
// script of TestFiles.h does on Linux. The file's lines: the record file, the exit code, the
// seconds to wait first, then the output to print (the rest of the file, as it is).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

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
    const std::string self = SelfPath();
    std::ifstream plan(qitest::FsPath(self + ".rec"), std::ios::binary);
    if (!plan)
        return 120;
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
