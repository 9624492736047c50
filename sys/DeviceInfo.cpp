#include "sys/DeviceInfo.h"

#include <vector>

#include "platform/Devices.h"
#include "sys/TextHelpers.h"

int GetDeviceProblemCode(const std::wstring& hardwareId) {
    std::vector<platform::DeviceEntry> devices;
    if (hardwareId.empty() || !platform::ListDevices(devices))
        return -1;
    for (const platform::DeviceEntry& device : devices) {
        if (device.hardwareId == hardwareId)
            return device.problemCode;
    }
    return -1;
}

bool GetDeviceProblemCodeByIndex(uint32_t index, int& problemCode) {
    std::vector<platform::DeviceEntry> devices;
    if (!platform::ListDevices(devices) || index >= devices.size())
        return false;
    problemCode = devices[index].problemCode;
    return true;
}

std::string GetAdapterFriendlyName(const std::string& adapterName) {
    std::wstring name;
    if (!platform::GetAdapterFriendlyName(adapterName, name))
        return std::string();
    return WideToAnsi(name);
}
