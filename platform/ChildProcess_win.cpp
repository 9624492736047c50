// Child processes on Windows: CreateProcessW with the command line as given, a job object
// per child, and one pipe for standard output and error.
//
// The output pipe is a named pipe with a name nobody can guess and room for one client:
// an anonymous pipe is the same object, but its read end cannot be read asynchronously, so
// nothing could wait for "output or exit" without a thread. Here a zero-byte overlapped
// read completes when data arrives (or the last writer leaves) and is waited on together
// with the process handle.
#include "platform/ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace platform {
namespace {

// How long KillGroup waits for a terminated child to be gone; termination only fails to
// finish when the system is in trouble, and then the caller must not hang with it.
constexpr DWORD kTerminateWaitMs = 30000;

// Pipe buffer: the child writes on while we are busy elsewhere.
constexpr DWORD kPipeBufferBytes = 64 * 1024;

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { Reset(); }
    Handle(Handle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_h = std::exchange(other.m_h, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset() {
        if (m_h != nullptr)
            ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

bool HasProgram(const SpawnOptions& options) {
    if (!options.applicationName.empty())
        return true;
    for (wchar_t c : options.commandLine) {
        if (!IsBlank(c))
            return true;
    }
    return false;
}

// Both ends of a new output pipe: ours overlapped and not inheritable, the child's
// inheritable (it only reaches the child named in the handle list).
bool CreateOutputPipe(Handle& readEnd, Handle& writeEnd, int& error) {
    static std::atomic<unsigned> s_serial{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name =
            L"\\\\.\\pipe\\qi-child-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(s_serial.fetch_add(1)) + L"-" + std::to_wstring(::GetTickCount64());
        // FILE_FLAG_FIRST_PIPE_INSTANCE: if the name is somebody else's, fail and try another
        // rather than join their pipe.
        Handle server(::CreateNamedPipeW(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kPipeBufferBytes, 0, nullptr));
        if (!server) {
            error = static_cast<int>(::GetLastError());
            if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
                continue;
            return false;
        }
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        Handle client(
            ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr));
        if (!client) {
            error = static_cast<int>(::GetLastError());
            return false;
        }
        readEnd = std::move(server);
        writeEnd = std::move(client);
        return true;
    }
    return false;
}

// An inheritable copy of one of our standard handles, or none when we have none.
Handle InheritableCopy(DWORD which) {
    HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return Handle();
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS))
        return Handle();
    return Handle(copy);
}

// The list of handles a child may inherit (PROC_THREAD_ATTRIBUTE_HANDLE_LIST): exactly its
// standard handles, whatever else in this process is inheritable.
class InheritList {
public:
    bool Build(const HANDLE* handles, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (handles[i] == nullptr)
                continue;
            bool seen = false;
            for (HANDLE h : m_handles)
                seen = seen || h == handles[i];
            if (!seen)
                m_handles.push_back(handles[i]);
        }
        if (m_handles.empty())
            return true;
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_buffer.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size))
            return false;
        m_list = list;
        return ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                           m_handles.data(), m_handles.size() * sizeof(HANDLE),
                                           nullptr, nullptr) != FALSE;
    }
    ~InheritList() {
        if (m_list != nullptr)
            ::DeleteProcThreadAttributeList(m_list);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;
    std::vector<char> m_buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// A job whose processes all end when its last handle closes, so that even our own crash
// does not leave a setup running.
Handle CreateKillOnCloseJob() {
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job)
        return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits))
        job.Reset();
    return job;
}

}  // namespace

struct ChildProcess::Impl {
    Handle process;
    Handle job;   // none when the system refused one: then only the child itself is ended
    Handle pipe;  // our end of the output pipe, closed once drained and broken
    Handle readEvent;
    DWORD pid = 0;
    bool exited = false;
    DWORD exitCode = kStillActive;

    ~Impl() {
        if (!exited) {
            KillGroup();
        } else if (job) {
            // It ended by itself: what it left running (a product the setup started) stays,
            // as it would have without us.
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            ::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                      sizeof limits);
        }
    }

    bool CheckExit(DWORD waitMs) {
        if (exited)
            return true;
        if (!process)
            return false;
        if (::WaitForSingleObject(process.Get(), waitMs) != WAIT_OBJECT_0)
            return false;
        DWORD code = kStillActive;
        ::GetExitCodeProcess(process.Get(), &code);
        exitCode = code;
        exited = true;
        return true;
    }

    void KillGroup() {
        if (exited || !process)
            return;
        // The job ends the grandchildren too, even when the child itself has just ended.
        if (!job || !::TerminateJobObject(job.Get(), kExitCodeKilled))
            ::TerminateProcess(process.Get(), kExitCodeKilled);
        CheckExit(kTerminateWaitMs);
    }

    size_t Pending() const {
        DWORD available = 0;
        if (!pipe || !::PeekNamedPipe(pipe.Get(), nullptr, 0, nullptr, &available, nullptr))
            return 0;
        return available;
    }

    // A pipe whose writers have all gone is closed once nothing is left in it.
    void CloseIfDone(DWORD error) {
        if (error == ERROR_BROKEN_PIPE && Pending() == 0)
            pipe.Reset();
    }

    // Waits until the pipe has data or no writer, or the child ends, or `waitMs` passes.
    void WaitForPipeOrExit(DWORD waitMs) {
        OVERLAPPED ov{};
        ov.hEvent = readEvent.Get();
        ::ResetEvent(ov.hEvent);
        char none = 0;
        if (::ReadFile(pipe.Get(), &none, 0, nullptr, &ov))
            return;  // data is waiting
        DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            CloseIfDone(error);
            return;
        }
        HANDLE waits[2] = {ov.hEvent, process.Get()};
        ::WaitForMultipleObjects(2, waits, FALSE, waitMs);
        DWORD ignored = 0;
        if (!::GetOverlappedResult(pipe.Get(), &ov, &ignored, FALSE)) {
            error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) {
                // Nothing came: take the read back before `ov` goes out of scope.
                ::CancelIoEx(pipe.Get(), &ov);
                if (::GetOverlappedResult(pipe.Get(), &ov, &ignored, TRUE))
                    return;
                error = ::GetLastError();
            }
            CloseIfDone(error);
        }
    }
};

ChildProcess::ChildProcess() = default;
ChildProcess::~ChildProcess() = default;
ChildProcess::ChildProcess(ChildProcess&& other) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept = default;

uint32_t ChildProcess::Pid() const {
    return m_impl ? m_impl->pid : 0;
}

bool ChildProcess::HasExited() const {
    return m_impl && m_impl->exited;
}

uint32_t ChildProcess::ExitCode() const {
    return m_impl && m_impl->exited ? m_impl->exitCode : kStillActive;
}

bool ChildProcess::WaitForOutputOrExit(int timeoutMs) {
    if (!m_impl)
        return false;
    Impl& c = *m_impl;
    if (c.CheckExit(0))
        return true;
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (c.pipe)
        c.WaitForPipeOrExit(wait);
    else
        ::WaitForSingleObject(c.process.Get(), wait);
    return c.CheckExit(0);
}

size_t ChildProcess::PendingOutput() const {
    return m_impl ? m_impl->Pending() : 0;
}

int64_t ChildProcess::ReadOutput(char* buffer, size_t size) {
    if (!m_impl || !m_impl->pipe || size == 0)
        return 0;
    Impl& c = *m_impl;
    // Only what is there is asked for, so the read completes at once.
    const size_t waiting = c.Pending();
    if (waiting == 0)
        return 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>({size, waiting, 1u << 30}));
    OVERLAPPED ov{};
    ov.hEvent = c.readEvent.Get();
    ::ResetEvent(ov.hEvent);
    DWORD got = 0;
    if (!::ReadFile(c.pipe.Get(), buffer, want, nullptr, &ov) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        const DWORD error = ::GetLastError();
        c.CloseIfDone(error);
        return error == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    if (!::GetOverlappedResult(c.pipe.Get(), &ov, &got, TRUE))
        return -1;
    return got;
}

bool ChildProcess::WaitForExit(int timeoutMs) {
    if (!m_impl)
        return false;
    return m_impl->CheckExit(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

void ChildProcess::KillGroup() {
    if (m_impl)
        m_impl->KillGroup();
}

bool StartChild(const SpawnOptions& options, ChildProcess& child, int& error, SpawnFailure& why) {
    if (!HasProgram(options)) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }

    auto started = std::make_unique<ChildProcess::Impl>();
    Handle childOut;
    if (options.captureOutput) {
        started->readEvent = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!started->readEvent) {
            error = static_cast<int>(::GetLastError());
            why = SpawnFailure::Pipe;
            return false;
        }
        if (!CreateOutputPipe(started->pipe, childOut, error)) {
            why = SpawnFailure::Pipe;
            return false;
        }
    }
    // Standard input is always ours; output and error are the pipe or ours.
    Handle in = InheritableCopy(STD_INPUT_HANDLE);
    Handle out = options.captureOutput ? Handle() : InheritableCopy(STD_OUTPUT_HANDLE);
    Handle err = options.captureOutput ? Handle() : InheritableCopy(STD_ERROR_HANDLE);
    const HANDLE stdHandles[3] = {in.Get(), options.captureOutput ? childOut.Get() : out.Get(),
                                  options.captureOutput ? childOut.Get() : err.Get()};
    InheritList inherit;
    if (!inherit.Build(stdHandles, 3)) {
        error = static_cast<int>(::GetLastError());
        return false;
    }

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    DWORD flags = CREATE_SUSPENDED;
    if (inherit.Get() != nullptr) {
        si.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = stdHandles[0];
        si.StartupInfo.hStdOutput = stdHandles[1];
        si.StartupInfo.hStdError = stdHandles[2];
        si.lpAttributeList = inherit.Get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    if (options.hidden) {
        si.StartupInfo.dwFlags |= STARTF_USESHOWWINDOW;
        si.StartupInfo.wShowWindow = SW_HIDE;
        flags |= CREATE_NO_WINDOW;
    }
    // CreateProcessW may write into the command line: it gets a copy.
    std::wstring commandLine = options.commandLine;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(
            options.applicationName.empty() ? nullptr : options.applicationName.c_str(),
            commandLine.data(), nullptr, nullptr, inherit.Get() != nullptr, flags, nullptr, nullptr,
            &si.StartupInfo, &pi)) {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    started->process = Handle(pi.hProcess);
    started->pid = pi.dwProcessId;
    Handle thread(pi.hThread);

    // Into the job before it runs, so that nothing it starts can escape the job.
    started->job = CreateKillOnCloseJob();
    if (started->job && !::AssignProcessToJobObject(started->job.Get(), pi.hProcess))
        started->job.Reset();
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        error = static_cast<int>(::GetLastError());
        return false;  // the owner ends the suspended child
    }
    child.m_impl = std::move(started);
    return true;
}

namespace {

// The desktop's shell runs as the user who is logged on, unelevated: its token, made a
// primary one for a new process. None when there is no shell (a service, a session without
// Explorer) or it cannot be read.
Handle ShellToken(std::string& why) {
    HWND shell = ::GetShellWindow();
    DWORD pid = 0;
    if (shell == nullptr || ::GetWindowThreadProcessId(shell, &pid) == 0 || pid == 0) {
        why = "no desktop shell";
        return Handle();
    }
    Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    HANDLE token = nullptr;
    if (!process || !::OpenProcessToken(process.Get(), TOKEN_DUPLICATE, &token)) {
        why = "cannot read the shell's token (error " + std::to_string(::GetLastError()) + ")";
        return Handle();
    }
    Handle shellToken(token);
    HANDLE primary = nullptr;
    if (!::DuplicateTokenEx(shellToken.Get(),
                            TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                                TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                            nullptr, SecurityImpersonation, TokenPrimary, &primary)) {
        why = "cannot copy the shell's token (error " + std::to_string(::GetLastError()) + ")";
        return Handle();
    }
    return Handle(primary);
}

bool StartDetached(const SpawnOptions& options, HANDLE token, int& error) {
    error = 0;
    if (!HasProgram(options)) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (options.hidden) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
    }
    std::wstring commandLine = options.commandLine;
    const wchar_t* application =
        options.applicationName.empty() ? nullptr : options.applicationName.c_str();
    const DWORD flags = options.hidden ? CREATE_NO_WINDOW : 0;
    PROCESS_INFORMATION pi{};
    const BOOL started = token != nullptr
                             ? ::CreateProcessWithTokenW(token, 0, application, commandLine.data(),
                                                         flags, nullptr, nullptr, &si, &pi)
                             : ::CreateProcessW(application, commandLine.data(), nullptr, nullptr,
                                                FALSE, flags, nullptr, nullptr, &si, &pi);
    if (!started) {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

bool g_noShellForTesting = false;

}  // namespace

void SetNoDesktopShellForTesting(bool none) {
    g_noShellForTesting = none;
}

bool LaunchDetached(const SpawnOptions& options, int& error) {
    return StartDetached(options, nullptr, error);
}

bool LaunchAsDesktopUser(const SpawnOptions& options, int& error, std::string* note) {
    std::string why = "no desktop shell";
    Handle token = g_noShellForTesting ? Handle() : ShellToken(why);
    if (token) {
        if (StartDetached(options, token.Get(), error))
            return true;
        // The secondary logon service may be off; the start itself is retried below.
        why = "CreateProcessWithTokenW failed (error " + std::to_string(error) + ")";
    }
    if (note != nullptr)
        *note = why + ": started as this process's user";
    return StartDetached(options, nullptr, error);
}

bool OpenWithDesktop(const std::wstring& path, int& error, std::string* note) {
    std::wstring native = path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    // The shell's "open" verb run by the system's rundll32 as the desktop user, so that the
    // editor it picks is the user's own and not elevated.
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !MayStandQuoted(native)) {
        error = n == 0 ? static_cast<int>(::GetLastError()) : ERROR_INVALID_NAME;
        return false;
    }
    SpawnOptions options;
    options.applicationName = std::wstring(system, n) + L"\\rundll32.exe";
    options.commandLine =
        L"rundll32.exe shell32.dll,ShellExec_RunDLL " + QuoteCommandArgument(native);
    return LaunchAsDesktopUser(options, error, note);
}

}  // namespace platform
