// Devices from device set-up and the configuration manager; adapter names from the IP helper.
#include "platform/Devices.h"

#include <winsock2.h>  // before windows.h, as the IP helper's types need it

#include <windows.h>

#include <cfgmgr32.h>
#include <iphlpapi.h>
#include <setupapi.h>

namespace platform {
namespace {

// The first string of the device's hardware ids, the buffer grown while the system asks for
// more; empty when it has none.
std::wstring FirstHardwareId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::vector<BYTE> buffer(256);
    for (;;) {
        DWORD required = 0;
        if (::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                                buffer.data(), static_cast<DWORD>(buffer.size()),
                                                &required)) {
            break;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size())
            return std::wstring();
        buffer.resize(required);
    }
    buffer.resize(buffer.size() + sizeof(wchar_t), 0);  // terminated whatever the data says
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()));
}

}  // namespace

bool ListDevices(std::vector<DeviceEntry>& devices) {
    devices.clear();
    HDEVINFO set =
        ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        DeviceEntry entry;
        entry.hardwareId = FirstHardwareId(set, device);
        ULONG status = 0;
        ULONG problem = 0;
        entry.problemCode =
            ::CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS
                ? static_cast<int>(problem)
                : -1;
        devices.push_back(std::move(entry));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return true;
}

bool GetAdapterFriendlyName(const std::string& name, std::wstring& friendlyName) {
    if (name.empty())
        return false;
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                        GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the calls: a few tries with the size last asked for.
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result =
            ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS)
        return false;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr;
         a = a->Next) {
        if (a->AdapterName != nullptr && ::_stricmp(a->AdapterName, name.c_str()) == 0) {
            friendlyName = a->FriendlyName != nullptr ? a->FriendlyName : L"";
            if (friendlyName.empty())
                friendlyName.assign(name.begin(), name.end());  // a GUID name: ASCII
            return true;
        }
    }
    return false;
}

}  // namespace platform
