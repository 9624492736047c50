// A DLL planted under the name of a DLL the installer imports: when it is loaded, it leaves
// a file named after itself in the folder QI_PLANTED_MARKERS names, and fails to load. It
// imports kernel32 only (in every process before anything is searched) and has no C runtime.
#include <windows.h>

static wchar_t s_path[2048];
static wchar_t s_self[1024];

BOOL WINAPI PlantedMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    const DWORD n = GetEnvironmentVariableW(L"QI_PLANTED_MARKERS", s_path, 1024);
    if (n > 0 && n < 1024 && GetModuleFileNameW(self, s_self, 1024) > 0) {
        const wchar_t* base = s_self;
        for (const wchar_t* p = s_self; *p != 0; ++p) {
            if (*p == L'\\' || *p == L'/')
                base = p + 1;
        }
        wchar_t* out = s_path + n;
        *out++ = L'\\';
        while (*base != 0 && out < s_path + 2040)
            *out++ = *base++;
        *out = 0;
        HANDLE marker = CreateFileW(s_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (marker != INVALID_HANDLE_VALUE)
            CloseHandle(marker);
    }
    return FALSE;
}
