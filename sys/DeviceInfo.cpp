#include "sys/DeviceInfo.h"

#include <vector>

#include "platform/SysfsDevices.h"
#include "sys/TextHelpers.h"

namespace {
// The configuration manager's codes: no problem, and "drivers not installed".
constexpr int kNoProblem = 0;
constexpr int kProblemFailedInstall = 28;

int ProblemOf(const platform::PciDevice& device) {
    return device.hasDriver ? kNoProblem : kProblemFailedInstall;
}
}  // namespace

int GetDeviceProblemCode(const std::wstring& hardwareId) {
    std::vector<platform::PciDevice> devices;
    if (!platform::ListPciDevices(devices))
        return -1;
    for (const platform::PciDevice& device : devices) {
        if (device.hardwareId == hardwareId)
            return ProblemOf(device);
    }
    return -1;
}

bool GetDeviceProblemCodeByIndex(uint32_t index, int& problemCode) {
    std::vector<platform::PciDevice> devices;
    if (!platform::ListPciDevices(devices) || index >= devices.size())
        return false;
    problemCode = ProblemOf(devices[index]);
    return true;
}

std::string GetAdapterFriendlyName(const std::string& adapterName) {
    std::string alias;
    if (!platform::GetInterfaceAlias(adapterName, alias))
        return std::string();
    return Utf8ToAnsi(alias);  // sysfs holds the alias as UTF-8
}
