#include "tools/demo/DemoProcess.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qidemo {

std::string OwnExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return platform::WideToUtf8(buffer);
        }
        buffer.resize(buffer.size() * 2);  // truncated: a long path
    }
}

std::vector<std::string> ProgramArguments(int, char**) {
    // The narrow argv went through the ANSI code page; the wide command line did not.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(platform::WideToUtf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

std::string EnvironmentValue(const char* name) {
    const std::wstring wideName = platform::Utf8ToWide(name);
    const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(n < size ? n : 0);
    return platform::WideToUtf8(value);
}

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(platform::Utf8ToWide(utf8));
}

std::string FsString(const std::filesystem::path& path) {
    return platform::WideToUtf8(path.wstring());
}

bool IsAbsoluteDir(const std::string& path) {
    return platform::IsAbsolutePath(platform::Utf8ToWide(path));
}

}  // namespace qidemo
