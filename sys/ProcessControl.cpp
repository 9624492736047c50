#include "sys/ProcessControl.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"
#include "platform/ProcessTable.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Time.h"
#include "platform/WideFormat.h"
#include "sys/DebugLog.h"
#include "sys/TextHelpers.h"

namespace {

// How often a wait without news wakes to honour a stop request.
constexpr uint32_t kCancelCheckMs = 50;

// Reads exactly what waits in the pipe and keeps each chunk up to its first zero byte.
bool ReadPending(platform::ChildProcess& child, std::vector<char>& chunk, std::string& output) {
    size_t waiting = child.PendingOutput();
    if (waiting == 0)
        return true;
    if (chunk.size() < waiting)
        chunk.resize(waiting);
    const int64_t n = child.ReadOutput(chunk.data(), waiting);
    if (n < 0)
        return false;
    const char* zero =
        static_cast<const char*>(std::memchr(chunk.data(), 0, static_cast<size_t>(n)));
    output.append(chunk.data(),
                  zero ? static_cast<size_t>(zero - chunk.data()) : static_cast<size_t>(n));
    return true;
}

void ReportStartFailure(int error) {
    wchar_t text[128] = {0};
    swprintf(text, 128, L"CreateProcess failed. Error: %d", error);
    platform::OutputDebugStringW(text);
}

}  // namespace

bool RunAndCapture(const std::wstring& commandLine, std::wstring& result, uint32_t& exitCode,
                   uint32_t timeoutMs) {
    platform::SpawnOptions options;
    options.commandLine = commandLine;
    options.captureOutput = true;
    options.hidden = true;
    platform::ChildProcess child;
    int error = 0;
    platform::SpawnFailure failure = platform::SpawnFailure::None;
    if (!platform::SpawnProcess(options, child, error, &failure)) {
        result = failure == platform::SpawnFailure::Pipe ? L"create pipe error!"
                                                         : L"CreateProcess error!";
        exitCode = static_cast<uint32_t>(error);
        return false;
    }

    const uint32_t start = platform::GetTickCount();
    std::string output;
    std::vector<char> chunk;
    bool ended = false;
    const wchar_t* abortText = nullptr;
    for (;;) {
        uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed > timeoutMs) {
            abortText = L"time out!";
            break;
        }
        if (platform::IsCurrentThreadCancelled()) {
            abortText = L"cancelled!";
            break;
        }
        if (child.PendingOutput() > 0) {
            if (!ReadPending(child, chunk, output))
                break;
            continue;
        }
        if (ended)
            break;  // ended and drained
        uint32_t wait = std::min<uint32_t>(timeoutMs - elapsed + 1, kCancelCheckMs);
        ended = child.WaitForOutputOrExit(static_cast<int>(wait));
    }

    if (abortText != nullptr) {
        child.KillGroup();
        result = abortText;
        exitCode = platform::kExitCodeKilled;
        return false;
    }
    if (!ended)
        ended = child.WaitForExit(0);
    result = AnsiToWide(output);
    exitCode = child.ExitCode();
    return exitCode == 0;
}

bool FindProcessByName(const std::wstring& exeName, uint32_t& pid) {
    for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
        if (entry.exeName == exeName) {
            pid = entry.pid;
            return true;
        }
    }
    return false;
}

bool LaunchProcess(const std::wstring& commandLine) {
    platform::SpawnOptions options;
    options.commandLine = commandLine;
    int error = 0;
    std::string note;
    const bool started = platform::LaunchAsDesktopUser(options, error, &note);
    if (!note.empty())
        DebugLog(L"%s %s", L"LaunchProcess", platform::Utf8ToWide(note).c_str());
    if (!started)
        ReportStartFailure(error);
    return started;
}

bool RunAndWait(const std::wstring& commandLine, const wchar_t* program, uint32_t& exitCode,
                bool hidden) {
    platform::SpawnOptions options;
    options.commandLine = commandLine;
    if (program != nullptr)
        options.applicationName = program;
    options.hidden = hidden;
    platform::ChildProcess child;
    int error = 0;
    if (!platform::SpawnProcess(options, child, error)) {
        ReportStartFailure(error);
        exitCode = 0xFFFFFFFFu;
        return false;
    }
    child.WaitForExit(-1);
    exitCode = child.ExitCode();
    return true;
}

bool EndProcessByName(const std::wstring& exeName) {
    platform::ProcessHandle process;
    if (!platform::OpenProcessByName(exeName, process))
        return false;
    process.Terminate();
    return true;
}
