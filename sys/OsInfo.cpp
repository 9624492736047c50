#include "sys/OsInfo.h"

#include <cstdio>
#include <vector>

#include "platform/SystemInfo.h"
#include "sys/TextHelpers.h"

bool IsOsVersionOrGreater(uint16_t major, uint16_t minor, uint16_t servicePack) {
    platform::OsVersionInfo info;
    if (!platform::GetVersionRecord(info))
        return false;
    if (info.dwMajorVersion != major)
        return info.dwMajorVersion > major;
    if (info.dwMinorVersion != minor)
        return info.dwMinorVersion > minor;
    return info.wServicePackMajor >= servicePack;
}

int GetOsVersionCode() {
    uint16_t arch = platform::GetNativeArchitecture();
    const int flag = (arch == platform::kArchAmd64 || arch == platform::kArchIa64) ? 1 : 0;
    if (IsOsVersionOrGreater(10, 0, 0))
        return 12 + flag;
    if (IsOsVersionOrGreater(6, 3, 0))
        return 10 + flag;
    if (IsOsVersionOrGreater(6, 2, 0))
        return 8 + flag;
    if (IsOsVersionOrGreater(6, 1, 1) || IsOsVersionOrGreater(6, 1, 0))
        return 6 + flag;
    if (IsOsVersionOrGreater(6, 0, 2) || IsOsVersionOrGreater(6, 0, 1) ||
        IsOsVersionOrGreater(6, 0, 0))
        return 4 + flag;
    if (IsOsVersionOrGreater(5, 1, 3))
        return 2;
    if (IsOsVersionOrGreater(5, 1, 2) || IsOsVersionOrGreater(5, 1, 1) ||
        IsOsVersionOrGreater(5, 1, 0))
        return flag ? 3 : 1;
    return 0;
}

namespace sys {
const wchar_t* OsDisplayNameForCode(int code) {
    static const wchar_t* const kNames[] = {
        L"未知系统",       L"xp系统",         L"xp_sp3系统",      L"xp 64位系统",
        L"vista 32位系统", L"vista 64系统",   L"win7 32位系统",   L"win7 64位系统",
        L"win8 32位系统",  L"win8 64位系统",  L"win8.1 32位系统", L"win8.1 64位系统",
        L"win10 32位系统", L"win10 64位系统",
    };
    if (code < 1 || code > 13)
        return kNames[0];
    return kNames[code];
}
}  // namespace sys

bool GetOsDisplayName(std::wstring& name) {
    name = sys::OsDisplayNameForCode(GetOsVersionCode());
    return true;
}

bool GetOsDisplayName(std::string& name) {
    name = WideToAnsi(sys::OsDisplayNameForCode(GetOsVersionCode()));
    return true;
}

bool IsWow64() {
    return platform::IsWow64Process();
}

bool Is64BitOs() {
    uint16_t arch = platform::GetNativeArchitecture();
    return arch == platform::kArchAmd64 || arch == platform::kArchIa64;
}

std::wstring GetMacAddressText() {
    std::vector<platform::AdapterInfo> adapters;
    if (!platform::GetAdapters(adapters))
        return std::wstring();
    for (const platform::AdapterInfo& a : adapters) {
        if (a.description.find("PCI") == std::string::npos && a.type != platform::kIfTypeIeee80211)
            continue;
        if (a.address.size() < 6)
            continue;
        char text[64] = {0};
        std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a.address[0],
                      a.address[1], a.address[2], a.address[3], a.address[4], a.address[5]);
        return AnsiToWide(text);
    }
    return std::wstring();
}
