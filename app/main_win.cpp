// Windows' entry point: a windowed program (no console of its own) that takes its command
// line in UTF-16, joins its parent's console when it has something to print there, sets up
// COM for the shell's dialogs, the clipboard and accessibility, and runs the program.

#include <windows.h>
// After windows.h:
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main.h"
#include "platform/Text.h"

namespace {

bool IsUsable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}

// A windowed program started from a console gets no standard streams unless they were
// redirected. Output meant for the user (--help, --silent, a wrong switch) then goes to the
// console it was started from, in UTF-8; the code page is put back at the end.
class CParentConsole {
public:
    CParentConsole() {
        const bool haveOut = IsUsable(::GetStdHandle(STD_OUTPUT_HANDLE));
        const bool haveErr = IsUsable(::GetStdHandle(STD_ERROR_HANDLE));
        if ((haveOut && haveErr) || !::AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        m_attached = true;
        m_oldCodePage = ::GetConsoleOutputCP();
        ::SetConsoleOutputCP(CP_UTF8);
        FILE* ignored = nullptr;
        if (!haveOut)
            ignored = std::freopen("CONOUT$", "w", stdout);
        if (!haveErr)
            ignored = std::freopen("CONOUT$", "w", stderr);
        (void)ignored;
    }
    ~CParentConsole() {
        if (!m_attached)
            return;
        std::fflush(stdout);
        std::fflush(stderr);
        if (m_oldCodePage != 0)
            ::SetConsoleOutputCP(m_oldCodePage);
        ::FreeConsole();
    }
    CParentConsole(const CParentConsole&) = delete;
    CParentConsole& operator=(const CParentConsole&) = delete;

private:
    bool m_attached = false;
    UINT m_oldCodePage = 0;
};

std::vector<std::string> CommandLineArgs() {
    std::vector<std::string> args;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr)
        return args;
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::WideToUtf8(argv[i]));
    ::LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: by name, DLLs come from System32 only. The program's
    // folder is usually Downloads, where anyone's file may sit beside it; the components
    // are loaded by full path (platform/Module_win.cpp), delayed DLLs by a hook of their
    // own (cmake/DelayLoadHook.c).
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    CParentConsole console;
    const HRESULT ole = ::OleInitialize(nullptr);
    const int result = ProgramMain(CommandLineArgs());
    if (SUCCEEDED(ole))
        ::OleUninitialize();
    return result;
}
