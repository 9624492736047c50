#pragma once
// Devices and interfaces as sysfs shows them: PCI devices with the hardware id Windows forms
// for them, and the alias of a network interface.

#include <string>
#include <vector>

namespace platform {

struct PciDevice {
    std::wstring hardwareId;  // PCI\VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx
    bool hasDriver = false;   // a driver is bound to it
};

// Present PCI devices in bus-address order. False when the device list cannot be read.
bool ListPciDevices(std::vector<PciDevice>& devices);

// The alias of network interface `name`, or its name when it has none. False when there is no
// such interface (or the name is not a plain interface name).
bool GetInterfaceAlias(const std::string& name, std::string& alias);

// Test hook: read "<root>/bus/pci/devices" and "<root>/class/net" instead of /sys (an empty
// root restores /sys).
void SetSysfsRootForTest(std::string root);

}  // namespace platform
