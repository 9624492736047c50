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
#include <fstream>
#include <iterator>

#include "platform/Text.h"

namespace platform {
namespace {

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The name a process is known by: the executable's base name; for a script started
// through its #! line the kernel names the process after the script (comm), and the
// script's path is one of the first arguments of the interpreter.
bool ProcessName(pid_t pid, std::string& name) {
    std::string dir = "/proc/" + std::to_string(pid);
    char buf[4096];
    ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n <= 0) return false;  // zombie, kernel thread or no access
    std::string exe = BaseName(std::string(buf, static_cast<size_t>(n)));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());

    std::string comm = ReadSmallFile(dir + "/comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (comm.empty() || exe.compare(0, comm.size(), comm) == 0) {
        name = exe;
        return true;
    }
    std::string cmdline = ReadSmallFile(dir + "/cmdline");
    size_t pos = 0;
    for (int i = 0; i < 3 && pos < cmdline.size(); ++i) {
        size_t end = cmdline.find('\0', pos);
        if (end == std::string::npos) end = cmdline.size();
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
    if (proc == nullptr) return list;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || end == entry->d_name || *end != '\0') continue;
        std::string name;
        if (!ProcessName(static_cast<pid_t>(pid), name)) continue;
        list.push_back(ProcessEntry{static_cast<pid_t>(pid), PathFromNarrow(name)});
    }
    ::closedir(proc);
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return list;
}

bool TerminateProcessById(pid_t pid, int waitMs) {
    if (pid <= 0) return false;
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        bool sent = ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0) == 0;
        if (sent) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, waitMs);
        }
        ::close(fd);
        return sent;
    }
#endif
    if (::kill(pid, SIGKILL) != 0) return false;
    // Without a pidfd: wait until the process is no longer listed as running.
    std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    char buf[16];
    for (int waited = 0; waited < waitMs; waited += 5) {
        if (::readlink(exe.c_str(), buf, sizeof buf) < 0) break;
        ::poll(nullptr, 0, 5);
    }
    return true;
}

}  // namespace platform
