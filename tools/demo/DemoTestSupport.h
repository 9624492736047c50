#pragma once
// What the demo's tests share: a temporary folder, and a child process whose combined
// output is collected while every wait stays bounded.

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace demotest {

// The folder of the built demo programs (and the served root below it).
inline std::string BinDir() {
    return QI_DEMO_BIN_DIR;
}

// The tests' temporary folder, removed with everything in it at the end.
using CTempFolder = qitest::TempDir;

inline std::string ReadFile(const std::string& path) {
    return qitest::TempDir::Read(path);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A started child (Windows-style command line, as the installer starts programs); ended with
// its group when the object goes.
class CChild {
public:
    explicit CChild(const std::string& commandLine) {
        platform::SpawnOptions options;
        options.commandLine = platform::Utf8ToWide(commandLine);
        options.captureOutput = true;
        int error = 0;
        m_bStarted = platform::SpawnProcess(options, m_child, error);
    }
    ~CChild() { m_child.KillGroup(); }
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    bool Started() const { return m_bStarted; }
    pid_t Pid() const { return m_child.Pid(); }
    const std::string& Output() const { return m_strOutput; }
    uint32_t ExitCode() const { return m_child.ExitCode(); }

    // Collects output until it holds `text` or the child ends; at most `timeoutMs`.
    bool WaitForOutput(const std::string& text, int timeoutMs = 10000) {
        return WaitUntil([&] { return m_strOutput.find(text) != std::string::npos; }, timeoutMs);
    }
    // Collects output until the child has ended; at most `timeoutMs`.
    bool WaitForExit(int timeoutMs = 10000) {
        return WaitUntil([&] { return m_child.HasExited(); }, timeoutMs);
    }

private:
    template <typename Done>
    bool WaitUntil(Done done, int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            Drain();
            if (done()) {
                Drain();  // what an ended child wrote last
                return true;
            }
            if (!m_bStarted || m_child.HasExited() || std::chrono::steady_clock::now() >= deadline)
                return false;
            m_child.WaitForOutputOrExit(50);
        }
    }
    void Drain() {
        size_t waiting = m_child.PendingOutput();
        while (waiting > 0) {
            std::string chunk(waiting, '\0');
            const int64_t n = m_child.ReadOutput(chunk.data(), chunk.size());
            if (n <= 0)
                break;
            m_strOutput.append(chunk.data(), static_cast<size_t>(n));
            waiting = m_child.PendingOutput();
        }
    }

    platform::ChildProcess m_child;
    bool m_bStarted = false;
    std::string m_strOutput;
};

// Runs a command line to its end (bounded) and hands back its exit code, or -1 when it did
// not end in time.
inline int64_t RunToEnd(const std::string& commandLine, std::string* output = nullptr,
                        int timeoutMs = 20000) {
    CChild child(commandLine);
    bool ended = child.WaitForExit(timeoutMs);
    if (output != nullptr)
        *output = child.Output();
    return ended ? static_cast<int64_t>(child.ExitCode()) : -1;
}

// Polls `done` until it holds, at most `timeoutMs`.
template <typename Done>
bool WaitFor(Done done, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::usleep(10 * 1000);
    }
    return true;
}

// A path as one argument of a Windows command line (none of ours holds a quote).
inline std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

}  // namespace demotest
