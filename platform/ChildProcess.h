#pragma once
// Child processes started from Windows-style command lines.
//
// The command line is split by the Windows rules into arguments; a program name without
// '/' is searched in PATH. The child leads its own process group, so ending the group
// ends whatever it started. Error codes are errno values (2: file not found).

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Exit code reported for a child that this process ended (time-out or cancellation).
constexpr uint32_t kExitCodeKilled = 0xFFFFFFFDu;
// Exit code of a process that is still running.
constexpr uint32_t kStillActive = 259;

// Splits a command line the way the Windows C runtime builds argv: blanks and tabs
// separate arguments; double quotes group; 2n backslashes before a quote give n
// backslashes and a quote that groups, 2n+1 give n backslashes and a literal quote;
// "" inside a quoted part gives a literal quote. The program name (the first argument)
// is read by its own rules: a quoted one runs to the next quote, an unquoted one to the
// next blank, backslashes are literal in both, and a leading blank gives an empty name.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

struct SpawnOptions {
    std::wstring commandLine;      // the program and its arguments
    std::wstring applicationName;  // when not empty, the program to run instead of argv[0]
    bool captureOutput = false;    // standard output and error into one pipe (OutputFd)
};

// Owner of one started child: its pid, its output pipe and, until reaped, its exit
// status. Move-only; destroying an owner whose child still runs ends the child's
// process group and reaps it.
enum class SpawnFailure;

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool IsValid() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // Read end of the output pipe (non-blocking), or -1 without capture.
    int OutputFd() const { return m_outFd; }

    // Waits until the output pipe has data or the child has ended, at most `timeoutMs`
    // (-1: no limit). Returns true when the child has ended (and was reaped). Once every
    // writer has closed the pipe and it is drained, the pipe is closed (OutputFd -1).
    bool WaitForOutputOrExit(int timeoutMs);
    // Bytes waiting in the output pipe.
    size_t PendingOutput() const;
    // Waits for the child to end, at most `timeoutMs` (-1: no limit); true once reaped.
    bool WaitForExit(int timeoutMs);
    bool HasExited() const { return m_reaped; }
    // Exit code of an ended child (128 + signal number when a signal ended it), else 259.
    uint32_t ExitCode() const;

    // Ends the child's whole process group at once (SIGKILL) and reaps the child.
    void KillGroup();

private:
    friend bool SpawnProcess(const SpawnOptions&, ChildProcess&, int&, SpawnFailure*);
    void Reset();
    bool TryReap(bool block);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_pidFd = -1;
    bool m_reaped = false;
    int m_status = 0;
};

enum class SpawnFailure { None, Pipe, Start };

// Starts a child. On failure returns false with `error` set to the errno value and
// `failure` telling whether the pipe or the start failed.
bool SpawnProcess(const SpawnOptions& options, ChildProcess& child, int& error,
                  SpawnFailure* failure = nullptr);

// Starts a program detached in its own session; it is not our child, so nothing is left
// to reap. On failure returns false with `error` set.
bool LaunchDetached(const SpawnOptions& options, int& error);

// Resolves the program of a command line as SpawnProcess would (PATH search for a name
// without '/'). Empty when it cannot be found.
std::string ResolveProgram(std::string_view program);

}  // namespace platform
