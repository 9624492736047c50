#pragma once
// Real processes for tests: copies of `sleep` running under a chosen name, and bounded
// waits on what other processes leave behind.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

extern char** environ;

namespace qitest {

// True while `pid` is a live process (not gone, not a zombie).
inline bool IsRunning(pid_t pid) {
    std::string stat = TempDir::Read("/proc/" + std::to_string(pid) + "/stat");
    return !stat.empty() && stat.find(") Z") == std::string::npos;
}

// Waits up to `ms` until `pid` no longer runs.
inline bool WaitUntilGone(pid_t pid, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (!IsRunning(pid))
            return true;
        ::usleep(10000);
    }
    return !IsRunning(pid);
}

// Waits up to `ms` for a file that a script writes a pid into ("<pid>\n").
inline pid_t WaitForPidFile(const std::string& path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        std::string text = TempDir::Read(path);
        if (!text.empty() && text.back() == '\n')
            return static_cast<pid_t>(std::stoi(text));
        ::usleep(10000);
    }
    return 0;
}

// `count` copies of `sleep` running as `dir/name`; whatever is left is ended and reaped
// at the end.
class NamedProcesses {
public:
    NamedProcesses(const TempDir& dir, const std::string& name, int count) {
        std::string path = dir / name;
        std::filesystem::copy_file("/bin/sleep", path);
        for (int i = 0; i < count; ++i) {
            pid_t pid = 0;
            char* argv[] = {path.data(), const_cast<char*>("120"), nullptr};
            if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0)
                m_pids.push_back(pid);
        }
    }
    ~NamedProcesses() {
        for (pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    NamedProcesses(const NamedProcesses&) = delete;
    NamedProcesses& operator=(const NamedProcesses&) = delete;

    const std::vector<pid_t>& Pids() const { return m_pids; }
    int Alive() const {
        int n = 0;
        for (pid_t pid : m_pids)
            n += IsRunning(pid) ? 1 : 0;
        return n;
    }

private:
    std::vector<pid_t> m_pids;
};

}  // namespace qitest
