// qi_test_child: the child program that tests start when they need a real process that
// behaves in one exact way, the same on Linux and Windows. It is a helper, not a test;
// tests find it through QI_TEST_CHILD. In TEXT, "\0" stands for a zero byte and "\n" for
// a line feed; text is written in the narrow encoding (the ANSI code page on Windows).
//
//   qi_test_child run STEP...
//       Does each step in turn, then exits 0:
//         out:TEXT       writes TEXT to standard output with a single write
//         err:TEXT       the same to standard error
//         fill:N         writes N bytes to standard output, byte i being i % 251
//         sleep:MS       waits MS milliseconds
//         spawn:MS:FILE  starts a copy of itself that sleeps MS milliseconds, sharing this
//                        one's standard handles (so it holds an output pipe open), and
//                        writes its process id ("<id>\n") to FILE; it is not waited for
//         pid:FILE       writes this process's id to FILE
//         held:N         writes the path of the file that handle (descriptor) N holds open
//                        in this process, in UTF-8; nothing when N holds no file
//         exit:CODE      exits with CODE at once
//   qi_test_child args ARG...
//       Writes "[ARG]" for each argument as this program's C runtime received it, in UTF-8.
//   qi_test_child bursts TEXT...
//       Writes each TEXT to standard output with a single write and, before the next one,
//       waits until the reader has taken all of it, so the reader sees each TEXT in reads
//       of its own. Exits 1 if a reader takes nothing for 20 s, and 3 at once when this
//       system cannot tell whether the reader has taken it (Wine reports no pipe quota).
//   qi_test_child exe-dir
//       Prints "EXEDIR=[<folder of this program>]" as the program finds it.
//   qi_test_child registry-add-values ID COUNT
//       In the registry store named by QI_REGISTRY_DIR: creates ready<ID> there, waits
//       (at most 20 s) for a file "go", then sets COUNT values c<ID>_<i> = i (REG_DWORD)
//       under HKEY_LOCAL_MACHINE\Software\Shared, one write each.

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "sys/TextHelpers.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

namespace {

constexpr int kWaitLimitMs = 20000;

// What differs between the systems; defined at the end of the file.
std::vector<std::wstring> WideArguments(int argc, char** argv);
bool WriteAll(int stream, const std::string& data);  // 1: output, 2: error
bool CanSeeDrain();                                  // whether WaitUntilDrained can tell
bool WaitUntilDrained();                             // false after kWaitLimitMs
uint32_t OwnId();
uint32_t SpawnSleeper(const std::string& ms);
std::string HeldFile(uint64_t handle);

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '0' || text[i + 1] == 'n')) {
            out.push_back(text[i + 1] == '0' ? '\0' : '\n');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    return Unescape(platform::WideToMultiByte(text));
}

bool WriteId(const std::wstring& file, uint32_t id) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    return static_cast<bool>(out << id << "\n" << std::flush);
}

int Run(const std::vector<std::wstring>& steps) {
    for (const std::wstring& step : steps) {
        const size_t colon = step.find(L':');
        const std::wstring verb = step.substr(0, colon);
        const std::wstring value = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
        if (verb == L"out" || verb == L"err") {
            if (!WriteAll(verb == L"out" ? 1 : 2, Narrow(value)))
                return 1;
        } else if (verb == L"fill") {
            std::string bytes(std::stoul(value), '\0');
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i % 251);
            if (!WriteAll(1, bytes))
                return 1;
        } else if (verb == L"sleep") {
            SleepMs(std::stoi(value));
        } else if (verb == L"spawn") {
            const size_t split = value.find(L':');
            const uint32_t id = SpawnSleeper(platform::WideToUtf8(value.substr(0, split)));
            if (id == 0 || split == std::wstring::npos || !WriteId(value.substr(split + 1), id))
                return 1;
        } else if (verb == L"pid") {
            if (!WriteId(value, OwnId()))
                return 1;
        } else if (verb == L"held") {
            if (!WriteAll(1, HeldFile(std::stoull(value))))
                return 1;
        } else if (verb == L"exit") {
            return static_cast<int>(std::stoul(value));
        } else {
            return 2;
        }
    }
    return 0;
}

int Args(const std::vector<std::wstring>& args) {
    std::string out;
    for (const std::wstring& arg : args)
        out += "[" + platform::WideToUtf8(arg) + "]";
    return WriteAll(1, out) ? 0 : 1;
}

int Bursts(const std::vector<std::wstring>& texts) {
    if (!CanSeeDrain())
        return 3;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!WriteAll(1, Narrow(texts[i])))
            return 1;
        if (i + 1 < texts.size() && !WaitUntilDrained())
            return 1;
    }
    return 0;
}

int ExeDir() {
    std::setlocale(LC_ALL, "C.UTF-8");
    // In the system's narrow encoding, as a captured program's output is read.
    std::printf("EXEDIR=[%s]\n", platform::WideToMultiByte(GetExeDirectory()).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RegistryAddValues(const char* id, int count) {
    const char* dir = std::getenv("QI_REGISTRY_DIR");
    if (dir == nullptr)
        return 2;
    using namespace platform;
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &k, nullptr) != ERROR_SUCCESS)
        return 1;
    // Every child starts writing at once, so that their changes really overlap.
    const std::string ready = std::string(dir) + "/ready" + id;
    if (FILE* f = std::fopen(ready.c_str(), "w"))
        std::fclose(f);
    const std::string go = std::string(dir) + "/go";
    std::error_code ec;
    for (int waited = 0; !std::filesystem::exists(go, ec) && waited < kWaitLimitMs; ++waited)
        SleepMs(1);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        std::wstring name = L"c" + std::to_wstring(std::atoi(id)) + L"_" + std::to_wstring(i);
        uint32_t v = static_cast<uint32_t>(i);
        if (RegSetValueExW(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<uint8_t*>(&v), 4) !=
            ERROR_SUCCESS)
            ++failures;
    }
    RegCloseKey(k);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    const std::vector<std::wstring> wide = WideArguments(argc, argv);
    const std::vector<std::wstring> rest(wide.size() > 2 ? wide.begin() + 2 : wide.end(),
                                         wide.end());
    if (std::strcmp(command, "run") == 0)
        return Run(rest);
    if (std::strcmp(command, "args") == 0)
        return Args(rest);
    if (std::strcmp(command, "bursts") == 0)
        return Bursts(rest);
    if (std::strcmp(command, "exe-dir") == 0 && argc == 2)
        return ExeDir();
    if (std::strcmp(command, "registry-add-values") == 0 && argc == 4)
        return RegistryAddValues(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "qi_test_child: unknown command line (see tests/support/TestChild.cpp)\n");
    return 2;
}

#ifndef _WIN32

namespace {

std::vector<std::wstring> WideArguments(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(platform::PathFromNarrow(argv[i]));
    return args;
}

bool WriteAll(int stream, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(stream, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CanSeeDrain() {
    return true;
}

bool WaitUntilDrained() {
    for (int waited = 0; waited < kWaitLimitMs; ++waited) {
        int unread = 0;
        if (::ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0 || unread == 0)
            return true;  // drained, or not a pipe: nothing to wait for
        SleepMs(1);
    }
    return false;
}

uint32_t OwnId() {
    return static_cast<uint32_t>(::getpid());
}

// In this process's group, so that ending the group ends it too.
uint32_t SpawnSleeper(const std::string& ms) {
    std::string self = "/proc/self/exe";
    std::string step = "sleep:" + ms;
    char* args[] = {self.data(), const_cast<char*>("run"), step.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, args, environ) != 0)
        return 0;
    return static_cast<uint32_t>(pid);
}

std::string HeldFile(uint64_t handle) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(handle);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    return n > 0 && path[0] == '/' ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace

#else

// Last, so that its macros cannot reach the registry names above.
#include <windows.h>
#include <winternl.h>

extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob, int* startInfo);

namespace {

// The C runtime's own split of the wide command line (what wmain would get).
std::vector<std::wstring> WideArguments(int, char**) {
    int argc = 0;
    wchar_t** argv = nullptr;
    wchar_t** env = nullptr;
    int startInfo = 0;
    std::vector<std::wstring> args;
    if (__wgetmainargs(&argc, &argv, &env, 0, &startInfo) < 0 || argv == nullptr)
        return args;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

bool WriteAll(int stream, const std::string& data) {
    HANDLE h = ::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    size_t done = 0;
    while (done < data.size()) {
        DWORD n = 0;
        if (!::WriteFile(h, data.data() + done, static_cast<DWORD>(data.size() - done), &n,
                         nullptr) ||
            n == 0)
            return false;
        done += n;
    }
    return true;
}

// FILE_PIPE_LOCAL_INFORMATION, which the SDK headers leave to the driver kit.
struct PipeLocalInformation {
    ULONG NamedPipeType;
    ULONG NamedPipeConfiguration;
    ULONG MaximumInstances;
    ULONG CurrentInstances;
    ULONG InboundQuota;
    ULONG ReadDataAvailable;
    ULONG OutboundQuota;
    ULONG WriteQuotaAvailable;
    ULONG NamedPipeState;
    ULONG NamedPipeEnd;
};
constexpr int kFilePipeLocalInformation = 24;
using QueryInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);

// Our writes wait in the pipe's inbound queue; its free quota is the whole quota again once
// the reader has taken everything. False when `out` is no pipe.
bool QueryQuota(ULONG& quota, ULONG& free) {
    static const auto query = reinterpret_cast<QueryInformationFile>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IO_STATUS_BLOCK io{};
    PipeLocalInformation info{};
    if (query == nullptr || query(::GetStdHandle(STD_OUTPUT_HANDLE), &io, &info, sizeof info,
                                  kFilePipeLocalInformation) < 0)
        return false;
    quota = info.InboundQuota;
    free = info.WriteQuotaAvailable;
    return true;
}

// Before anything is written the whole quota must show as free; Wine reports none.
bool CanSeeDrain() {
    ULONG quota = 0;
    ULONG free = 0;
    return !QueryQuota(quota, free) || (quota > 0 && free == quota);
}

bool WaitUntilDrained() {
    for (int waited = 0; waited < kWaitLimitMs; ++waited) {
        ULONG quota = 0;
        ULONG free = 0;
        if (!QueryQuota(quota, free) || free == quota)
            return true;  // drained, or not a pipe: nothing to wait for
        SleepMs(1);
    }
    return false;
}

uint32_t OwnId() {
    return ::GetCurrentProcessId();
}

// Inherits our standard handles and, through them, whatever pipe they are.
uint32_t SpawnSleeper(const std::string& ms) {
    wchar_t self[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4)
        return 0;
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" run sleep:" + platform::Utf8ToWide(ms);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &si, &pi))
        return 0;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return pi.dwProcessId;
}

std::string HeldFile(uint64_t handle) {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = ::GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(handle), path,
                                                MAX_PATH * 4, FILE_NAME_NORMALIZED);
    return n > 0 && n < MAX_PATH * 4 ? platform::WideToUtf8(std::wstring(path, n)) : std::string();
}

}  // namespace

#endif
