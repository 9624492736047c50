#pragma once
// The process table, in ascending pid order.

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    pid_t pid = 0;
    std::wstring exeName;  // base name of the executable, or of the script an interpreter runs
};

// Snapshot of the running processes (zombies and kernel threads are left out).
std::vector<ProcessEntry> ListProcesses();

// Ends a process at once (SIGKILL) and waits up to `waitMs` for it to be gone, so that a
// following snapshot no longer lists it. False when it cannot be signalled.
bool TerminateProcessById(pid_t pid, int waitMs = 1000);

}  // namespace platform
