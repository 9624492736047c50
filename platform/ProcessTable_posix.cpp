// The process table on Linux: /proc, and pidfds to hold a process.
#include "platform/ProcessTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/File.h"
#include "platform/Text.h"

namespace platform {
namespace {

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A process may end while its /proc files are read: that read fails (ESRCH) and gives
// nothing, as for a process that is already gone.
std::string ReadSmallFile(const std::string& path) {
    std::string data;
    if (ReadWholeFile(path, data) != 0)
        data.clear();
    return data;
}

// The name a process is known by: the executable's base name; for a script started
// through its #! line the kernel names the process after the script (comm), and the
// script's path is one of the first arguments of the interpreter.
bool ProcessName(pid_t pid, std::string& name) {
    std::string dir = "/proc/" + std::to_string(pid);
    char buf[4096];
    ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return false;  // zombie, kernel thread or no access
    std::string exe = BaseName(std::string(buf, static_cast<size_t>(n)));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() &&
        exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());

    std::string comm = ReadSmallFile(dir + "/comm");
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    if (comm.empty() || exe.compare(0, comm.size(), comm) == 0) {
        name = exe;
        return true;
    }
    std::string cmdline = ReadSmallFile(dir + "/cmdline");
    size_t pos = 0;
    for (int i = 0; i < 3 && pos < cmdline.size(); ++i) {
        size_t end = cmdline.find('\0', pos);
        if (end == std::string::npos)
            end = cmdline.size();
        if (i > 0) {
            std::string arg = BaseName(cmdline.substr(pos, end - pos));
            if (arg.compare(0, comm.size(), comm) == 0) {
                name = arg;
                return true;
            }
        }
        pos = end + 1;
    }
    name = exe;
    return true;
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> list;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return list;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || end == entry->d_name || *end != '\0')
            continue;
        std::string name;
        if (!ProcessName(static_cast<pid_t>(pid), name))
            continue;
        list.push_back(ProcessEntry{static_cast<uint32_t>(pid), PathFromNarrow(name)});
    }
    ::closedir(proc);
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return list;
}

namespace {

int OpenPidFd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

}  // namespace

struct ProcessHandle::Impl {
    int fd = -1;
    ~Impl() {
        if (fd >= 0)
            ::close(fd);
    }
};

ProcessHandle::ProcessHandle() = default;
ProcessHandle::~ProcessHandle() = default;
ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept = default;
ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept = default;

bool ProcessHandle::Terminate(int waitMs) {
    if (!m_impl)
        return false;
    if (::syscall(SYS_pidfd_send_signal, m_impl->fd, SIGKILL, nullptr, 0) != 0)
        return false;
    // The pidfd becomes readable when the process has ended.
    pollfd p{m_impl->fd, POLLIN, 0};
    while (::poll(&p, 1, waitMs) < 0 && errno == EINTR) {
    }
    return true;
}

bool OpenProcessByName(const std::wstring& exeName, ProcessHandle& out) {
    const std::vector<ProcessEntry> list = ScanForOpening();
    for (const ProcessEntry& entry : list) {
        if (entry.exeName != exeName)
            continue;
        const pid_t pid = static_cast<pid_t>(entry.pid);
        int fd = OpenPidFd(pid);
        if (fd < 0)
            continue;  // ended since the scan
        // Opened first, checked second: if the name still matches now, the pidfd holds the
        // process that carries it, not one that ended before the opening.
        std::string name;
        pollfd p{fd, POLLIN, 0};
        if (ProcessName(pid, name) && PathFromNarrow(name) == exeName && ::poll(&p, 1, 0) == 0) {
            auto held = std::make_unique<ProcessHandle::Impl>();
            held->fd = fd;
            out.m_pid = static_cast<uint32_t>(pid);
            out.m_impl = std::move(held);
            return true;
        }
        ::close(fd);
    }
    return false;
}

}  // namespace platform
