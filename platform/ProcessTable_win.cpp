// The process table on Windows: the Toolhelp32 process snapshot, and process handles.
#include "platform/ProcessTable.h"

#include <mutex>
#include <utility>

#include <windows.h>

#include <tlhelp32.h>  // needs windows.h first

namespace platform {

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> list;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry))
        list.push_back(ProcessEntry{entry.th32ProcessID, entry.szExeFile});
    ::CloseHandle(snapshot);
    return list;
}

namespace {

// Exit code of a process we end: what TerminateProcess leaves for whoever waits on it.
constexpr UINT kTerminatedExitCode = 1;

bool HasEnded(HANDLE process) {
    return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

}  // namespace

struct ProcessHandle::Impl {
    HANDLE process = nullptr;
    ~Impl() {
        if (process != nullptr)
            ::CloseHandle(process);
    }
};

ProcessHandle::ProcessHandle() = default;
ProcessHandle::~ProcessHandle() = default;
ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept = default;
ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept = default;

bool ProcessHandle::Terminate(int waitMs) {
    if (!m_impl || HasEnded(m_impl->process))
        return false;
    if (!::TerminateProcess(m_impl->process, kTerminatedExitCode))
        return false;
    // Termination runs on after the call returns: the handle is signalled once it is done.
    ::WaitForSingleObject(m_impl->process, waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs));
    return true;
}

bool OpenProcessByName(const std::wstring& exeName, ProcessHandle& out) {
    const std::vector<ProcessEntry> list = ScanForOpening();
    for (const ProcessEntry& entry : list) {
        if (entry.exeName != exeName)
            continue;
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.pid);
        if (process == nullptr)
            continue;  // ended since the scan, or not ours to end
        // While we hold the handle the id cannot pass to another process: if a scan taken now
        // still names it so, the handle holds the process that carries the name, not one
        // that took over the id of a process ended before the opening.
        bool same = false;
        if (!HasEnded(process)) {
            for (const ProcessEntry& now : ListProcesses()) {
                if (now.pid == entry.pid) {
                    same = now.exeName == exeName;
                    break;
                }
            }
        }
        if (same) {
            auto held = std::make_unique<ProcessHandle::Impl>();
            held->process = process;
            out.m_pid = entry.pid;
            out.m_impl = std::move(held);
            return true;
        }
        ::CloseHandle(process);
    }
    return false;
}

}  // namespace platform
