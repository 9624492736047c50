// Machine identity from the system: RtlGetVersion, GetNativeSystemInfo and IsWow64Process
// looked up at run time (older systems lack some of them), and GetAdaptersInfo.
#include "platform/SystemInfo.h"

#include <windows.h>

#include <iphlpapi.h>

namespace platform {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

template <typename Fn>
Fn Lookup(const wchar_t* module, const char* name) {
    HMODULE handle = ::GetModuleHandleW(module);
    if (handle == nullptr)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name)));
}

}  // namespace

bool SystemVersionRecord(OsVersionInfo& info) {
    // Looked up once; a missing function stays missing for the life of the process.
    static const RtlGetVersionFn rtlGetVersion =
        Lookup<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    if (rtlGetVersion == nullptr)
        return false;
    RTL_OSVERSIONINFOEXW record{};
    record.dwOSVersionInfoSize = sizeof record;
    if (rtlGetVersion(&record) != 0)
        return false;
    info.dwMajorVersion = record.dwMajorVersion;
    info.dwMinorVersion = record.dwMinorVersion;
    info.dwBuildNumber = record.dwBuildNumber;
    info.wServicePackMajor = record.wServicePackMajor;
    info.wServicePackMinor = record.wServicePackMinor;
    return true;
}

uint16_t SystemNativeArchitecture() {
    SYSTEM_INFO system{};
    auto getNative = Lookup<GetNativeSystemInfoFn>(L"kernel32.dll", "GetNativeSystemInfo");
    if (getNative != nullptr) {
        getNative(&system);
    } else {
        ::GetSystemInfo(&system);
    }
    return system.wProcessorArchitecture;
}

bool SystemIsWow64Process() {
    // IsWow64Process2 also knows an x86 process on ARM64, which IsWow64Process calls native.
    if (auto wow64Process2 = Lookup<IsWow64Process2Fn>(L"kernel32.dll", "IsWow64Process2")) {
        USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
        USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
        if (wow64Process2(::GetCurrentProcess(), &process, &native))
            return process != IMAGE_FILE_MACHINE_UNKNOWN;
    }
    auto wow64Process = Lookup<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return wow64Process != nullptr && wow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool SystemAdapters(std::vector<AdapterInfo>& adapters) {
    adapters.clear();
    // One record first; the second call has the size the first one asked for.
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<unsigned char> buffer(size);
    ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    buffer.resize(size);
    const DWORD result =
        ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    if (result == ERROR_NO_DATA)
        return true;
    if (result != ERROR_SUCCESS)
        return false;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); a != nullptr;
         a = a->Next) {
        AdapterInfo info;
        info.name = a->AdapterName;
        info.description = a->Description;
        info.type = a->Type;
        const UINT length = a->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH
                                ? a->AddressLength
                                : MAX_ADAPTER_ADDRESS_LENGTH;
        info.address.assign(a->Address, a->Address + length);
        adapters.push_back(std::move(info));
    }
    return true;
}

}  // namespace platform
