#pragma once
// Device and adapter queries over the system's device list and network adapters
// (platform/Devices.h).

#include <cstdint>
#include <string>

// Problem code of the first device whose hardware id is exactly `hardwareId`
// ("PCI\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"), as the configuration manager reports it
// (0: none; on Linux 28 for a device without a driver); -1 when no device matches or the code
// cannot be read.
int GetDeviceProblemCode(const std::wstring& hardwareId);

// The same for the device at `index` of the device list; false when there is no such device.
bool GetDeviceProblemCodeByIndex(uint32_t index, int& problemCode);

// The friendly name of adapter `adapterName` (as the adapter list names it) in the system code
// page; empty when there is no such adapter.
std::string GetAdapterFriendlyName(const std::string& adapterName);
