#pragma once
// Devices and network adapters as device set-up and the routing configuration see them. On
// Windows setupapi and the configuration manager answer; on Linux sysfs stands in: the PCI
// devices, with the hardware id Windows forms for them, and the interface aliases.

#include <string>
#include <vector>

namespace platform {

struct DeviceEntry {
    // The first hardware id ("PCI\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"); empty when the
    // device has none.
    std::wstring hardwareId;
    // The configuration manager's problem number: 0 none; -1 when it cannot be read. On Linux 0
    // with a driver bound, 28 (drivers not installed) without.
    int problemCode = 0;
};

// The present devices of every class in the system's order (on Linux the PCI devices in
// bus-address order). False when the device list cannot be read.
bool ListDevices(std::vector<DeviceEntry>& devices);

// The friendly name of network adapter `name` (as GetAdapters gives it: on Windows the adapter's
// GUID name, on Linux the interface name, whose alias is its friendly name when it has one).
// False when there is no such adapter.
bool GetAdapterFriendlyName(const std::string& name, std::wstring& friendlyName);

#ifndef _WIN32
// Test hook: read "<root>/bus/pci/devices" and "<root>/class/net" instead of /sys (an empty
// root restores /sys).
void SetSysfsRootForTest(std::string root);
#endif

}  // namespace platform
