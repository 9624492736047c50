#pragma once
// Child processes started from Windows command lines.
//
// Windows: CreateProcessW takes the command line as it is (the child's runtime splits it);
// the child runs in a job object of its own, so ending it ends whatever it started. Linux:
// the command line is split by the Windows rules (SplitCommandLine) into arguments, a
// program name without '/' is searched in PATH, and the child leads its own process group.
// Error codes are the system's (GetLastError values, errno values); 2 is "file not found"
// on both.

#include <cstddef>
#include <cstdint>
#include <memory>
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

// `arg` in double quotes, escaped by the rules above (quotes and the backslashes before
// them), so that SplitCommandLine gives it back as one argument whatever it holds.
std::wstring QuoteCommandArgument(std::wstring_view arg);
// The same, left bare when it is not empty and holds no blank, tab or quote.
std::wstring CommandLineArgument(std::wstring_view arg);
// Whether a path may stand in double quotes on a command line that a program other than
// SplitCommandLine may split: no quote, no C0 or C1 control and no DEL, any of which could
// let the rest of the path become further arguments.
bool MayStandQuoted(std::wstring_view path);

struct SpawnOptions {
    std::wstring commandLine;      // the program and its arguments
    std::wstring applicationName;  // when not empty, the program to run instead of argv[0]
    bool captureOutput = false;    // standard output and error into one pipe (ReadOutput);
                                   // otherwise the child shares ours
    bool hidden = false;           // no window (CREATE_NO_WINDOW, SW_HIDE); nothing on Linux
};

enum class SpawnFailure { None, Pipe, Start };

// Owner of one started child, its output pipe and, once it has ended, its exit code.
// Move-only; destroying an owner whose child still runs ends the child with everything it
// started (KillGroup). A child that ended by itself leaves what it started running.
class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool IsValid() const;
    uint32_t Pid() const;

    // Waits until the output pipe has data or the child has ended, at most `timeoutMs`
    // (-1: no limit). Returns true when the child has ended. Once every writer has closed
    // the pipe and it is drained, the pipe is closed and no longer waited on.
    bool WaitForOutputOrExit(int timeoutMs);
    // Bytes waiting in the output pipe.
    size_t PendingOutput() const;
    // Reads up to `size` bytes of what waits in the pipe without blocking: the count read,
    // 0 when nothing waits (or without capture), -1 on a read error.
    int64_t ReadOutput(char* buffer, size_t size);
    // Waits for the child to end, at most `timeoutMs` (-1: no limit); true once it has.
    bool WaitForExit(int timeoutMs);
    bool HasExited() const;
    // Exit code of an ended child, else kStillActive. kExitCodeKilled after KillGroup
    // ended it; on Linux 128 + the signal number when another signal did.
    uint32_t ExitCode() const;

    // Ends the child and everything it started at once, and waits for the child to end.
    void KillGroup();

    struct Impl;

private:
    // The system's part of SpawnProcess: `error` and `why` are set only on failure.
    friend bool StartChild(const SpawnOptions&, ChildProcess&, int& error, SpawnFailure& why);
    std::unique_ptr<Impl> m_impl;
};

// Starts a child. On failure returns false with `error` set to the system's error code
// and `failure` telling whether the pipe or the start failed.
bool SpawnProcess(const SpawnOptions& options, ChildProcess& child, int& error,
                  SpawnFailure* failure = nullptr);

// Starts a program that is not our child to own: nothing waits for it, nothing ends it
// with us (on Linux it gets a session of its own and leaves no zombie). On failure returns
// false with `error` set.
bool LaunchDetached(const SpawnOptions& options, int& error);

// Starts a program as LaunchDetached does, but as the desktop user rather than as this
// (possibly elevated) process. Windows: with the token of the desktop's shell (the process
// of GetShellWindow), through CreateProcessWithTokenW. Linux: when this process runs as root
// on behalf of a user (SUDO_UID or PKEXEC_UID names one), as that user, with that user's
// groups, and an environment of that user's (HOME, USER, LOGNAME and SHELL from the password
// database; the display, session bus, runtime folder and locale variables kept, the runtime
// folder /run/user/UID when unset). When that cannot be done (no shell, no such user, the
// call refused) it starts the program as this process and says why in `note` (English; may
// be null); otherwise `note` is left empty.
bool LaunchAsDesktopUser(const SpawnOptions& options, int& error, std::string* note);

// Opens a document with the program the desktop associates with its type (a text file in
// the user's editor), without waiting for it, as the desktop user (as LaunchAsDesktopUser;
// `note` the same). On Linux the desktop's "xdg-open" is started detached; on Windows the
// shell's "open" verb runs. False with `error` set when nothing could be started.
bool OpenWithDesktop(const std::wstring& path, int& error, std::string* note = nullptr);

#ifdef _WIN32
// Test hook: LaunchAsDesktopUser behaves as if there were no desktop shell.
void SetNoDesktopShellForTesting(bool none);
#endif

}  // namespace platform
