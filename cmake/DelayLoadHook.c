// Linked as an object into every Windows executable and module of the build (DelayLoad.cmake).
//
// mingw-w64's __delayLoadHelper2 asks this hook before it loads a delayed DLL and would
// otherwise call LoadLibraryA with the bare name, which searches the program's folder (and,
// without SetDefaultDllDirectories, the current one). Here the DLL comes from System32 only.
// When it is not there, the helper's own failure (the delay-load exception) is raised rather
// than letting it try the name elsewhere.
#include <windows.h>

#include <delayimp.h>

static FARPROC WINAPI LoadDelayedFromSystem32(unsigned notify, PDelayLoadInfo info) {
    if (notify != dliNotePreLoadLibrary)
        return NULL;
    HMODULE module = LoadLibraryExA(info->szDll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == NULL) {
        info->dwLastError = GetLastError();
        ULONG_PTR argument = (ULONG_PTR)info;
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    }
    return (FARPROC)module;
}

// Defined here, so the library's empty definition is never linked.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystem32;
