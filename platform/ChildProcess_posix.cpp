// Child processes on Linux: fork and exec of the split command line, one pipe for the
// output, a process group per child and a pidfd to wait on.
#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace platform {
namespace {

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);  // never retried: the descriptor is gone either way
    fd = -1;
}

// Both ends of one close-on-exec pipe, closed with the owner unless taken.
struct PipePair {
    int read = -1;
    int write = -1;

    PipePair() = default;
    PipePair(const PipePair&) = delete;
    PipePair& operator=(const PipePair&) = delete;
    ~PipePair() {
        CloseFd(read);
        CloseFd(write);
    }
    // False with errno set when the system has no pipe to give.
    bool Open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    int TakeRead() { return std::exchange(read, -1); }
};

int PidFdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The program of a command line as exec should find it: PATH is searched for a name
// without '/'. Empty when it cannot be found.
std::string ResolveProgram(std::string_view program) {
    if (program.empty())
        return {};
    if (program.find('/') != std::string_view::npos) {
        std::string path(program);
        return ::access(path.c_str(), F_OK) == 0 ? path : std::string();
    }
    const char* env = std::getenv("PATH");
    std::string_view dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t colon = dirs.find(':', pos);
        if (colon == std::string_view::npos)
            colon = dirs.size();
        std::string dir(dirs.substr(pos, colon - pos));
        if (dir.empty())
            dir = ".";
        std::string candidate = dir + "/" + std::string(program);
        if (IsExecutableFile(candidate))
            return candidate;
        pos = colon + 1;
    }
    return {};
}

// Everything the child needs, built before fork: nothing is allocated after it.
struct ExecImage {
    std::string path;
    std::vector<std::string> args;
    std::vector<char*> argv;

    bool Build(const SpawnOptions& options, int& error) {
        std::vector<std::wstring> words = SplitCommandLine(options.commandLine);
        std::wstring program = options.applicationName.empty()
                                   ? (words.empty() ? std::wstring() : words.front())
                                   : options.applicationName;
        if (program.empty()) {
            error = ENOENT;
            return false;
        }
        path = ResolveProgram(PathToNarrow(program));
        if (path.empty()) {
            error = ENOENT;
            return false;
        }
        if (words.empty())
            words.push_back(program);
        for (const std::wstring& w : words)
            args.push_back(PathToNarrow(w));
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return true;
    }
};

// The user a child started for the desktop user becomes, and its environment; all of it
// made before fork, as the child must not allocate.
struct DesktopUser {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    std::vector<std::string> env;
    std::vector<char*> envp;
};

// Variables of ours the user's program keeps: how to reach the user's session and speak
// the user's language. Everything else of root's environment stays behind.
bool KeptForUser(std::string_view entry) {
    static constexpr std::string_view kKept[] = {
        "PATH=",       "DISPLAY=",         "WAYLAND_DISPLAY=",
        "XAUTHORITY=", "XDG_RUNTIME_DIR=", "DBUS_SESSION_BUS_ADDRESS=",
        "LANG=",       "LANGUAGE=",        "LC_"};
    for (std::string_view kept : kKept) {
        if (entry.starts_with(kept))
            return true;
    }
    return false;
}

// The user this root process runs on behalf of: 0 when there is none (not root, no or a
// malformed SUDO_UID / PKEXEC_UID, or root itself).
uid_t InvokingUser() {
    if (::getuid() != 0)
        return 0;
    for (const char* name : {"SUDO_UID", "PKEXEC_UID"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        char* end = nullptr;
        errno = 0;
        const unsigned long id = std::strtoul(value, &end, 10);
        if (errno == 0 && *end == '\0' && *value >= '0' && *value <= '9' && id > 0 &&
            id < static_cast<unsigned long>(static_cast<uid_t>(-1)))
            return static_cast<uid_t>(id);
        return 0;
    }
    return 0;
}

// Fills `user` for `uid` from the password and group databases; false with `note` set when
// the user is unknown.
bool FindUser(uid_t uid, DesktopUser& user, std::string& note) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    int rc;
    while ((rc = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || found == nullptr) {
        note = "no password entry for uid " + std::to_string(uid);
        return false;
    }
    user.uid = uid;
    user.gid = entry.pw_gid;
    int count = 32;
    user.groups.resize(count);
    while (::getgrouplist(entry.pw_name, entry.pw_gid, user.groups.data(), &count) < 0) {
        if (count <= static_cast<int>(user.groups.size()))
            count = static_cast<int>(user.groups.size()) * 2;
        user.groups.resize(count);
    }
    user.groups.resize(count);

    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (KeptForUser(*e))
            user.env.emplace_back(*e);
    }
    user.env.push_back(std::string("HOME=") + entry.pw_dir);
    user.env.push_back(std::string("USER=") + entry.pw_name);
    user.env.push_back(std::string("LOGNAME=") + entry.pw_name);
    user.env.push_back(std::string("SHELL=") +
                       (entry.pw_shell != nullptr && *entry.pw_shell ? entry.pw_shell : "/bin/sh"));
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0' || std::string_view(runtime) == "/run/user/0") {
        std::erase_if(user.env,
                      [](const std::string& v) { return v.starts_with("XDG_RUNTIME_DIR="); });
        user.env.push_back("XDG_RUNTIME_DIR=/run/user/" + std::to_string(uid));
    }
    for (std::string& v : user.env)
        user.envp.push_back(v.data());
    user.envp.push_back(nullptr);
    return true;
}

// Runs in the child after fork: only async-signal-safe calls.
[[noreturn]] void ExecChild(const ExecImage& image, int outFd, int errFd, bool newSession,
                            const DesktopUser* user = nullptr) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    if (newSession) {
        setsid();
    } else {
        setpgid(0, 0);
    }
    if (outFd >= 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(outFd, STDERR_FILENO);
    }
#ifdef SYS_close_range
    // Only the standard descriptors reach the program, whatever else this process left
    // inheritable; the exec report still goes out should exec fail.
    syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
#endif
    if (user != nullptr) {
        // Groups and group before the user: once the user is no longer root, neither can be
        // changed. Should any step fail, the program does not run at all.
        if (setgroups(user->groups.size(), user->groups.data()) != 0 || setgid(user->gid) != 0 ||
            setuid(user->uid) != 0) {
            int err = errno;
            ssize_t ignored = write(errFd, &err, sizeof err);
            (void)ignored;
            _exit(127);
        }
        execve(image.path.c_str(), image.argv.data(), user->envp.data());
    } else {
        execv(image.path.c_str(), image.argv.data());
    }
    int err = errno;
    ssize_t ignored = write(errFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// The program's image and the pipe its exec report comes back on; false with `error` set.
bool PrepareExec(const SpawnOptions& options, ExecImage& image, PipePair& report, int& error) {
    if (!image.Build(options, error))
        return false;
    if (!report.Open()) {
        error = errno;
        return false;
    }
    return true;
}

// Reads the exec report: 0 when the program started, else its errno.
int ReadExecReport(int fd) {
    int err = 0;
    ssize_t n;
    do {
        n = ::read(fd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

}  // namespace

struct ChildProcess::Impl {
    pid_t pid = -1;
    int outFd = -1;
    int pidFd = -1;
    bool reaped = false;
    bool killed = false;  // KillGroup's signal ended it
    int status = 0;

    ~Impl() {
        if (!reaped)
            KillGroup();
        CloseFd(outFd);
        CloseFd(pidFd);
    }

    bool TryReap(bool block) {
        if (reaped)
            return true;
        int st = 0;
        pid_t r;
        do {
            r = ::waitpid(pid, &st, block ? 0 : WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == pid) {
            reaped = true;
            status = st;
            CloseFd(pidFd);
            return true;
        }
        if (r < 0 && errno == ECHILD) {
            // Reaped by someone else; nothing more can be learnt.
            reaped = true;
            status = 0;
            CloseFd(pidFd);
            return true;
        }
        return false;
    }

    void KillGroup() {
        if (reaped)
            return;
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);  // in case it left its group
        TryReap(true);
        killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
};

ChildProcess::ChildProcess() = default;
ChildProcess::~ChildProcess() = default;
ChildProcess::ChildProcess(ChildProcess&& other) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept = default;

uint32_t ChildProcess::Pid() const {
    return m_impl ? static_cast<uint32_t>(m_impl->pid) : 0;
}

bool ChildProcess::HasExited() const {
    return m_impl && m_impl->reaped;
}

uint32_t ChildProcess::ExitCode() const {
    if (!m_impl || !m_impl->reaped)
        return kStillActive;
    const int status = m_impl->status;
    if (m_impl->killed)
        return kExitCodeKilled;
    if (WIFEXITED(status))
        return static_cast<uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return 128u + static_cast<uint32_t>(WTERMSIG(status));
    return kStillActive;
}

bool ChildProcess::WaitForOutputOrExit(int timeoutMs) {
    if (!m_impl)
        return false;
    Impl& c = *m_impl;
    if (c.TryReap(false))
        return true;
    pollfd fds[2];
    nfds_t count = 0;
    int outIndex = -1;
    if (c.outFd >= 0) {
        outIndex = static_cast<int>(count);
        fds[count++] = pollfd{c.outFd, POLLIN, 0};
    }
    if (c.pidFd >= 0)
        fds[count++] = pollfd{c.pidFd, POLLIN, 0};
    // Without a pidfd the exit is only seen by polling waitpid, so wake often.
    int wait = timeoutMs;
    if (c.pidFd < 0 && (wait < 0 || wait > 10))
        wait = 10;
    if (::poll(fds, count, wait) > 0 && outIndex >= 0 &&
        (fds[outIndex].revents & (POLLHUP | POLLERR))) {
        // Every writer has closed the pipe: once it is drained there is nothing to wait for.
        if (PendingOutput() == 0)
            CloseFd(c.outFd);
    }
    return c.TryReap(false);
}

size_t ChildProcess::PendingOutput() const {
    if (!m_impl || m_impl->outFd < 0)
        return 0;
    int n = 0;
    if (::ioctl(m_impl->outFd, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<size_t>(n);
}

int64_t ChildProcess::ReadOutput(char* buffer, size_t size) {
    if (!m_impl || m_impl->outFd < 0 || size == 0)
        return 0;
    ssize_t n;
    do {
        n = ::read(m_impl->outFd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN ? 0 : -1;
    return n;
}

bool ChildProcess::WaitForExit(int timeoutMs) {
    if (!m_impl)
        return false;
    Impl& c = *m_impl;
    if (timeoutMs < 0)
        return c.TryReap(true);
    if (c.TryReap(false))
        return true;
    if (c.pidFd >= 0) {
        pollfd fd{c.pidFd, POLLIN, 0};
        ::poll(&fd, 1, timeoutMs);
        return c.TryReap(false);
    }
    int left = timeoutMs;
    while (left > 0) {
        int step = left < 10 ? left : 10;
        ::poll(nullptr, 0, step);
        left -= step;
        if (c.TryReap(false))
            return true;
    }
    return c.TryReap(false);
}

void ChildProcess::KillGroup() {
    if (m_impl)
        m_impl->KillGroup();
}

bool StartChild(const SpawnOptions& options, ChildProcess& child, int& error, SpawnFailure& why) {
    ExecImage image;
    PipePair report;
    if (!PrepareExec(options, image, report, error))
        return false;
    PipePair out;
    if (options.captureOutput && !out.Open()) {
        error = errno;
        why = SpawnFailure::Pipe;
        return false;
    }

    pid_t pid = ::fork();
    if (pid < 0) {
        error = errno;
        return false;
    }
    if (pid == 0)
        ExecChild(image, out.write, report.write, false);

    ::setpgid(pid, pid);  // also done by the child; whichever runs first wins the race
    CloseFd(report.write);
    CloseFd(out.write);
    int execError = ReadExecReport(report.read);

    auto started = std::make_unique<ChildProcess::Impl>();
    started->pid = pid;
    started->outFd = out.TakeRead();
    started->pidFd = PidFdOpen(pid);
    if (execError != 0) {
        started->TryReap(true);
        error = execError;
        return false;
    }
    if (started->outFd >= 0) {
        int flags = ::fcntl(started->outFd, F_GETFL);
        ::fcntl(started->outFd, F_SETFL, flags | O_NONBLOCK);
        // A larger pipe means fewer wake-ups for a talkative child; the default stays
        // when the system refuses.
        ::fcntl(started->outFd, F_SETPIPE_SZ, 1 << 20);
    }
    child.m_impl = std::move(started);
    return true;
}

namespace {

bool LaunchDetachedAs(const SpawnOptions& options, const DesktopUser* user, int& error) {
    error = 0;
    ExecImage image;
    PipePair report;
    if (!PrepareExec(options, image, report, error))
        return false;
    pid_t middle = ::fork();
    if (middle < 0) {
        error = errno;
        return false;
    }
    if (middle == 0) {
        // The middle process only forks the program and leaves, so the program is
        // adopted by init and never becomes our zombie.
        pid_t grandchild = ::fork();
        if (grandchild == 0)
            ExecChild(image, -1, report.write, true, user);
        if (grandchild < 0) {
            int err = errno;
            ssize_t ignored = ::write(report.write, &err, sizeof err);
            (void)ignored;
        }
        _exit(0);
    }
    CloseFd(report.write);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = ReadExecReport(report.read);
    if (execError != 0) {
        error = execError;
        return false;
    }
    return true;
}

}  // namespace

bool LaunchDetached(const SpawnOptions& options, int& error) {
    return LaunchDetachedAs(options, nullptr, error);
}

bool LaunchAsDesktopUser(const SpawnOptions& options, int& error, std::string* note) {
    std::string why;
    DesktopUser user;
    const uid_t uid = InvokingUser();
    const bool switchUser = uid != 0 && FindUser(uid, user, why);
    if (!why.empty() && note != nullptr)
        *note = why + ": started as this process's user";
    return LaunchDetachedAs(options, switchUser ? &user : nullptr, error);
}

bool OpenWithDesktop(const std::wstring& path, int& error, std::string* note) {
    SpawnOptions options;
    options.commandLine = L"xdg-open " + QuoteCommandArgument(path);
    return LaunchAsDesktopUser(options, error, note);
}

}  // namespace platform
