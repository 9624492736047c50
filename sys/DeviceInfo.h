#pragma once
// Device and adapter queries over the PCI device list and the network interfaces.

#include <cstdint>
#include <string>

// Problem code of the first device whose hardware id is exactly `hardwareId`
// ("PCI\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"): 0 with a driver bound, 28 without; -1 when no
// device matches.
int GetDeviceProblemCode(const std::wstring& hardwareId);

// The same for the device at `index` of the device list; false when there is no such device.
bool GetDeviceProblemCodeByIndex(uint32_t index, int& problemCode);

// The friendly name (alias, else the name) of the interface `adapterName`, in the system code
// page; empty when there is no such interface.
std::string GetAdapterFriendlyName(const std::string& adapterName);
