#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Text.h"

namespace platform {
namespace {

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);  // never retried: the descriptor is gone either way
    fd = -1;
}

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

// Runs in the child after fork: only async-signal-safe calls.
[[noreturn]] void ExecChild(const ExecImage& image, int outFd, int errFd, bool newSession) {
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
    execv(image.path.c_str(), image.argv.data());
    int err = errno;
    ssize_t ignored = write(errFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
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

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    const size_t n = line.size();
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    if (n == 0)
        return args;
    // The program name has rules of its own: a path holds backslashes and no quotes.
    if (line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        args.emplace_back(line.substr(1, close == std::wstring_view::npos ? n - 1 : close - 1));
        i = close == std::wstring_view::npos ? n : close + 1;
    } else {
        while (i < n && !blank(line[i]))
            ++i;
        args.emplace_back(line.substr(0, i));
    }
    for (;;) {
        while (i < n && blank(line[i]))
            ++i;
        if (i >= n)
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || !blank(line[i]))) {
            if (line[i] == L'\\') {
                size_t slashes = 0;
                while (i < n && line[i] == L'\\')
                    ++slashes, ++i;
                if (i < n && line[i] == L'"') {
                    arg.append(slashes / 2, L'\\');
                    if (slashes % 2 == 1) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, L'\\');
                }
            } else if (line[i] == L'"') {
                if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

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

ChildProcess::~ChildProcess() {
    Reset();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Reset();
        m_pid = other.m_pid;
        m_outFd = other.m_outFd;
        m_pidFd = other.m_pidFd;
        m_reaped = other.m_reaped;
        m_status = other.m_status;
        other.m_pid = -1;
        other.m_outFd = -1;
        other.m_pidFd = -1;
        other.m_reaped = false;
        other.m_status = 0;
    }
    return *this;
}

void ChildProcess::Reset() {
    if (m_pid > 0 && !m_reaped)
        KillGroup();
    CloseFd(m_outFd);
    CloseFd(m_pidFd);
    m_pid = -1;
    m_reaped = false;
    m_status = 0;
}

bool ChildProcess::TryReap(bool block) {
    if (m_pid <= 0)
        return false;
    if (m_reaped)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == m_pid) {
        m_reaped = true;
        m_status = status;
        CloseFd(m_pidFd);
        return true;
    }
    if (r < 0 && errno == ECHILD) {
        // Reaped by someone else; nothing more can be learnt.
        m_reaped = true;
        m_status = 0;
        CloseFd(m_pidFd);
        return true;
    }
    return false;
}

uint32_t ChildProcess::ExitCode() const {
    if (!m_reaped)
        return kStillActive;
    if (WIFEXITED(m_status))
        return static_cast<uint32_t>(WEXITSTATUS(m_status));
    if (WIFSIGNALED(m_status))
        return 128u + static_cast<uint32_t>(WTERMSIG(m_status));
    return kStillActive;
}

bool ChildProcess::WaitForOutputOrExit(int timeoutMs) {
    if (m_pid <= 0)
        return false;
    if (TryReap(false))
        return true;
    pollfd fds[2];
    nfds_t count = 0;
    int outIndex = -1;
    if (m_outFd >= 0) {
        outIndex = static_cast<int>(count);
        fds[count++] = pollfd{m_outFd, POLLIN, 0};
    }
    if (m_pidFd >= 0)
        fds[count++] = pollfd{m_pidFd, POLLIN, 0};
    // Without a pidfd the exit is only seen by polling waitpid, so wake often.
    int wait = timeoutMs;
    if (m_pidFd < 0 && (wait < 0 || wait > 10))
        wait = 10;
    if (::poll(fds, count, wait) > 0 && outIndex >= 0 &&
        (fds[outIndex].revents & (POLLHUP | POLLERR))) {
        // Every writer has closed the pipe: once it is drained there is nothing to wait for.
        if (PendingOutput() == 0)
            CloseFd(m_outFd);
    }
    return TryReap(false);
}

size_t ChildProcess::PendingOutput() const {
    if (m_outFd < 0)
        return 0;
    int n = 0;
    if (::ioctl(m_outFd, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<size_t>(n);
}

bool ChildProcess::WaitForExit(int timeoutMs) {
    if (m_pid <= 0)
        return false;
    if (timeoutMs < 0)
        return TryReap(true);
    if (TryReap(false))
        return true;
    if (m_pidFd >= 0) {
        pollfd fd{m_pidFd, POLLIN, 0};
        ::poll(&fd, 1, timeoutMs);
        return TryReap(false);
    }
    int left = timeoutMs;
    while (left > 0) {
        int step = left < 10 ? left : 10;
        ::poll(nullptr, 0, step);
        left -= step;
        if (TryReap(false))
            return true;
    }
    return TryReap(false);
}

void ChildProcess::KillGroup() {
    if (m_pid <= 0 || m_reaped)
        return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);  // in case it left its group
    TryReap(true);
}

bool SpawnProcess(const SpawnOptions& options, ChildProcess& child, int& error,
                  SpawnFailure* failure) {
    error = 0;
    if (failure)
        *failure = SpawnFailure::Start;
    ExecImage image;
    if (!image.Build(options, error))
        return false;

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    int out[2] = {-1, -1};
    if (options.captureOutput && ::pipe2(out, O_CLOEXEC) != 0) {
        error = errno;
        if (failure)
            *failure = SpawnFailure::Pipe;
        CloseFd(report[0]);
        CloseFd(report[1]);
        return false;
    }

    pid_t pid = ::fork();
    if (pid < 0) {
        error = errno;
        CloseFd(report[0]);
        CloseFd(report[1]);
        CloseFd(out[0]);
        CloseFd(out[1]);
        return false;
    }
    if (pid == 0)
        ExecChild(image, out[1], report[1], false);

    ::setpgid(pid, pid);  // also done by the child; whichever runs first wins the race
    CloseFd(report[1]);
    CloseFd(out[1]);
    int execError = ReadExecReport(report[0]);
    CloseFd(report[0]);

    ChildProcess started;
    started.m_pid = pid;
    started.m_outFd = out[0];
    started.m_pidFd = PidFdOpen(pid);
    if (execError != 0) {
        started.TryReap(true);
        error = execError;
        return false;
    }
    if (started.m_outFd >= 0) {
        int flags = ::fcntl(started.m_outFd, F_GETFL);
        ::fcntl(started.m_outFd, F_SETFL, flags | O_NONBLOCK);
        // A larger pipe means fewer wake-ups for a talkative child; the default stays
        // when the system refuses.
        ::fcntl(started.m_outFd, F_SETPIPE_SZ, 1 << 20);
    }
    child = std::move(started);
    if (failure)
        *failure = SpawnFailure::None;
    return true;
}

bool LaunchDetached(const SpawnOptions& options, int& error) {
    error = 0;
    ExecImage image;
    if (!image.Build(options, error))
        return false;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    pid_t middle = ::fork();
    if (middle < 0) {
        error = errno;
        CloseFd(report[0]);
        CloseFd(report[1]);
        return false;
    }
    if (middle == 0) {
        // The middle process only forks the program and leaves, so the program is
        // adopted by init and never becomes our zombie.
        pid_t grandchild = ::fork();
        if (grandchild == 0)
            ExecChild(image, -1, report[1], true);
        if (grandchild < 0) {
            int err = errno;
            ssize_t ignored = ::write(report[1], &err, sizeof err);
            (void)ignored;
        }
        _exit(0);
    }
    CloseFd(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = ReadExecReport(report[0]);
    CloseFd(report[0]);
    if (execError != 0) {
        error = execError;
        return false;
    }
    return true;
}

}  // namespace platform
