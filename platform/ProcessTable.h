#pragma once
// The process table: the process snapshot on Windows (Toolhelp32, in its order), /proc on
// Linux (in ascending id order).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    uint32_t pid = 0;
    // Windows: the executable's file name (szExeFile). Linux: the base name of the
    // executable, or of the script an interpreter runs.
    std::wstring exeName;
};

// Snapshot of the running processes (on Linux zombies and kernel threads are left out).
std::vector<ProcessEntry> ListProcesses();

// A running process held open (a process handle, a pidfd): once opened, its id cannot name
// another process, so ending it later cannot hit one that took over a reused id.
class ProcessHandle {
public:
    ProcessHandle();
    ~ProcessHandle();
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool IsValid() const { return m_impl != nullptr; }
    uint32_t Pid() const { return m_impl != nullptr ? m_pid : 0; }
    // Ends the process at once (TerminateProcess, SIGKILL) and waits up to `waitMs` for it
    // to be gone, so that a following snapshot no longer lists it. False when it could not
    // be ended (on Windows also when it had already ended).
    bool Terminate(int waitMs = 1000);

    struct Impl;

private:
    friend bool OpenProcessByName(const std::wstring&, ProcessHandle&);
    std::unique_ptr<Impl> m_impl;
    uint32_t m_pid = 0;
};

// The first running process in table order whose name (as ListProcesses gives it) is
// exactly `exeName`, opened and then checked to still carry that name, so that an id reused
// between the scan and the opening is never taken for it. False when none runs.
bool OpenProcessByName(const std::wstring& exeName, ProcessHandle& out);

// Test hook: runs after each scan, before the processes found are opened; empty to remove.
void SetProcessScanHookForTest(std::function<void()> hook);
// ListProcesses for OpenProcessByName, with the test hook run after the scan.
std::vector<ProcessEntry> ScanForOpening();

}  // namespace platform
