#pragma once
// Real processes for tests: copies of a sleeping program running under a chosen name, and
// bounded waits on what other processes leave behind. The sleeper is qi_test_child where
// the test has it (qi_add_test CHILD), else, on Linux only, `sleep`.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/ProcessTable.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

namespace qitest {

// True while `pid` is a live process (listed in the process table: not gone, not a zombie).
inline bool IsRunning(uint32_t pid) {
    for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
        if (entry.pid == pid)
            return true;
    }
    return false;
}

// Waits up to `ms` until `pid` no longer runs.
inline bool WaitUntilGone(uint32_t pid, int ms = 5000) {
    return WaitUntil([pid] { return !IsRunning(pid); }, ms);
}

// Waits up to `ms` for a file that a child writes a process id into ("<id>\n").
inline uint32_t WaitForPidFile(const std::string& path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        std::string text = TempDir::Read(path);
        if (!text.empty() && text.back() == '\n')
            return static_cast<uint32_t>(std::stoul(text));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

// Windows has no `sleep`: there NamedProcesses needs qi_test_child (qi_add_test CHILD).
#if defined(QI_TEST_CHILD) || !defined(_WIN32)

// `count` copies of a sleeping program running as `dir/name`; whatever is left is ended at
// the end.
class NamedProcesses {
public:
    NamedProcesses(const TempDir& dir, const std::string& name, int count) {
        const std::string path = dir / name;
#ifdef QI_TEST_CHILD
        const std::string sleeper = QI_TEST_CHILD;
        const std::wstring args = L" run sleep:120000";
#else
        const std::string sleeper = "/bin/sleep";
        const std::wstring args = L" 120";
#endif
        std::error_code ec;
        std::filesystem::copy_file(FsPath(sleeper), FsPath(path), ec);
        platform::SpawnOptions options;
        options.commandLine = L"\"" + platform::Utf8ToWide(path) + L"\"" + args;
        for (int i = 0; i < count && !ec; ++i) {
            // A start may fail for a moment on a loaded machine (Wine's server under dozens
            // of starts at once): try again before giving up on this copy.
            for (int attempt = 0; attempt < 3; ++attempt) {
                platform::ChildProcess child;
                int error = 0;
                if (platform::SpawnProcess(options, child, error)) {
                    m_children.push_back(std::move(child));
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    NamedProcesses(const NamedProcesses&) = delete;
    NamedProcesses& operator=(const NamedProcesses&) = delete;

    std::vector<uint32_t> Pids() const {
        std::vector<uint32_t> pids;
        for (const platform::ChildProcess& child : m_children)
            pids.push_back(child.Pid());
        return pids;
    }
    int Alive() const {
        int n = 0;
        for (const platform::ChildProcess& child : m_children)
            n += IsRunning(child.Pid()) ? 1 : 0;
        return n;
    }

private:
    std::vector<platform::ChildProcess> m_children;
};

#endif

}  // namespace qitest
