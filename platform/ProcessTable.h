#pragma once
// The process table, in ascending pid order.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    pid_t pid = 0;
    std::wstring exeName;  // base name of the executable, or of the script an interpreter runs
};

// Snapshot of the running processes (zombies and kernel threads are left out).
std::vector<ProcessEntry> ListProcesses();

// A running process held by a pidfd: once opened, its id cannot name another process, so
// ending it later cannot hit one that took over a reused id.
class ProcessHandle {
public:
    ProcessHandle() = default;
    ~ProcessHandle();
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    pid_t Pid() const { return m_pid; }
    // Ends the process at once (SIGKILL) and waits up to `waitMs` for it to be gone, so that
    // a following snapshot no longer lists it. False when it has already ended.
    bool Terminate(int waitMs = 1000);

private:
    friend bool OpenProcessByName(const std::wstring&, ProcessHandle&);
    void Reset();
    int m_fd = -1;
    pid_t m_pid = 0;
};

// The first running process in pid order whose name (as ListProcesses gives it) is exactly
// `exeName`, opened and then checked to still carry that name, so that an id reused between
// the scan and the opening is never taken for it. False when none runs.
bool OpenProcessByName(const std::wstring& exeName, ProcessHandle& out);

// Test hook: runs after each scan, before the processes found are opened; empty to remove.
void SetProcessScanHookForTest(std::function<void()> hook);

}  // namespace platform
