#pragma once
// Machine identity: the compatibility version record, the native architecture, WOW64,
// and the network adapters. On Windows the system answers (RtlGetVersion, GetNativeSystemInfo,
// IsWow64Process, GetAdaptersInfo); on Linux uname and /sys/class/net do.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The version record the program compares against (Windows numbering).
struct OsVersionInfo {
    uint32_t dwMajorVersion = 10;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint16_t wServicePackMajor = 0;
    uint16_t wServicePackMinor = 0;
};

// Fills `info` with the version record (RtlGetVersion's; on Linux 10.0, service pack 0); false
// when the query fails.
bool GetVersionRecord(OsVersionInfo& info);

// Test hooks. `std::nullopt` makes the version query fail.
void SetVersionRecordForTest(std::optional<OsVersionInfo> info);
void ResetVersionRecordForTest();

// Processor architecture numbers as Windows gives them.
constexpr uint16_t kArchIntel = 0;
constexpr uint16_t kArchArm = 5;
constexpr uint16_t kArchIa64 = 6;
constexpr uint16_t kArchAmd64 = 9;
constexpr uint16_t kArchArm64 = 12;
constexpr uint16_t kArchUnknown = 0xFFFF;

// The native architecture of the machine, Windows numbering.
uint16_t GetNativeArchitecture();
// True for a 32-bit build of this program on a 64-bit kernel.
bool IsWow64Process();

struct NativeOverride {
    uint16_t architecture;
    bool wow64;
};
// Test hook: answers for GetNativeArchitecture and IsWow64Process (nullopt restores).
void SetNativeSystemForTest(std::optional<NativeOverride> value);

// Interface type numbers as the adapter list gives them.
constexpr uint32_t kIfTypeEthernet = 6;
constexpr uint32_t kIfTypeIeee80211 = 71;

struct AdapterInfo {
    std::string name;         // adapter name ("{4D36E972-...}" on Windows, "eth0" on Linux)
    std::string description;  // on Linux starts with "PCI" when the device sits on the PCI bus
    uint32_t type = kIfTypeEthernet;
    std::vector<uint8_t> address;
};

// The adapters in the system's order (on Linux the interfaces with a 6-byte hardware address,
// in interface-index order). False when the list cannot be read.
bool GetAdapters(std::vector<AdapterInfo>& adapters);

// Test hook: GetAdapters answers this list (nullopt restores the system's; an empty
// optional list inside means "query fails" when `fail` is set).
void SetAdaptersForTest(std::optional<std::vector<AdapterInfo>> adapters, bool fail = false);

}  // namespace platform
