// The INI profile functions on Windows: kernel32's own, with the caller's wide file name.
#include "platform/Profile.h"

#include <windows.h>

namespace platform {

uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                  const wchar_t* fileName) {
    if (buffer == nullptr || size == 0)
        return 0;
    return ::GetPrivateProfileStringW(section, key, defaultValue, buffer, size, fileName);
}

int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue,
                          const wchar_t* fileName) {
    return static_cast<int>(::GetPrivateProfileIntW(section, key, defaultValue, fileName));
}

bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName) {
    // Without a file name Windows would write win.ini.
    if (fileName == nullptr || *fileName == 0)
        return false;
    return ::WritePrivateProfileStringW(section, key, value, fileName) != FALSE;
}

}  // namespace platform
