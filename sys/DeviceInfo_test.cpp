#include "sys/DeviceInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "platform/Devices.h"
#include "platform/SystemInfo.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Whatever devices and adapters this machine has: each answers by index and by its id, and
// each adapter of the adapter list has a friendly name.
TEST(DeviceInfoTest, TheSystemsOwnDevicesAndAdapters) {
    std::vector<platform::DeviceEntry> devices;
    if (platform::ListDevices(devices)) {
        for (uint32_t i = 0; i < devices.size(); ++i) {
            int code = -2;
            ASSERT_TRUE(GetDeviceProblemCodeByIndex(i, code));
            EXPECT_EQ(code, devices[i].problemCode);
            // By id, the first device that has it answers.
            const std::wstring& id = devices[i].hardwareId;
            auto first = std::find_if(devices.begin(), devices.end(),
                                      [&](const auto& d) { return d.hardwareId == id; });
            if (!id.empty()) {
                EXPECT_EQ(GetDeviceProblemCode(id), first->problemCode);
            }
        }
        int code = 0;
        EXPECT_FALSE(GetDeviceProblemCodeByIndex(static_cast<uint32_t>(devices.size()), code));
    }
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_FFFF&DEV_FFFF&SUBSYS_00000000&REV_00"), -1);
    EXPECT_EQ(GetDeviceProblemCode(L""), -1);

    std::vector<platform::AdapterInfo> adapters;
    ASSERT_TRUE(platform::GetAdapters(adapters));
    for (const platform::AdapterInfo& adapter : adapters) {
        EXPECT_NE(GetAdapterFriendlyName(adapter.name), "") << adapter.name;
    }
    EXPECT_EQ(GetAdapterFriendlyName("no-such-adapter"), "");
    EXPECT_EQ(GetAdapterFriendlyName(""), "");
}

#ifndef _WIN32
// Linux only: the sysfs stand-in, given a tree of two PCI devices (one without a driver) and two
// interfaces.
class SysfsDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddDevice("0000:00:03.0", "0x8086", "0x100e", "0x8086", "0x001e", "0x02", true);
        AddDevice("0000:00:02.0", "0x1234", "0x1111", "0x1af4", "0x1100", "0x0a", false);
        m_dir.Write("sys/class/net/eth0/ifalias", "本地连接\n");
        m_dir.Write("sys/class/net/wlan0/ifalias", "\n");
        m_sysfs.emplace(qitest::OverrideSysfsRoot(m_dir / "sys"));
    }

    void AddDevice(const std::string& slot, const char* vendor, const char* device,
                   const char* subVendor, const char* subDevice, const char* revision,
                   bool driver) {
        std::string base = "sys/bus/pci/devices/" + slot + "/";
        m_dir.Write(base + "vendor", std::string(vendor) + "\n");
        m_dir.Write(base + "device", std::string(device) + "\n");
        m_dir.Write(base + "subsystem_vendor", std::string(subVendor) + "\n");
        m_dir.Write(base + "subsystem_device", std::string(subDevice) + "\n");
        m_dir.Write(base + "revision", std::string(revision) + "\n");
        if (driver) {
            fs::create_directories(m_dir / "sys/bus/pci/drivers/e1000");
            fs::create_directory_symlink(m_dir / "sys/bus/pci/drivers/e1000",
                                         m_dir / (base + "driver"));
        }
    }

    qitest::TempDir m_dir;
    std::optional<qitest::ScopedOverride> m_sysfs;
};

TEST_F(SysfsDevicesTest, HardwareIdsAsWindowsFormsThem) {
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"), 0);
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_1234&DEV_1111&SUBSYS_11001AF4&REV_0A"), 28);
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_8086&DEV_100e&SUBSYS_001E8086&REV_02"), -1);
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_8086&DEV_100E"), -1);  // exact match only
    int code = 5;
    ASSERT_TRUE(GetDeviceProblemCodeByIndex(0, code));  // bus order: 00:02.0 first
    EXPECT_EQ(code, 28);
    ASSERT_TRUE(GetDeviceProblemCodeByIndex(1, code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(GetDeviceProblemCodeByIndex(2, code));
    m_sysfs.reset();
    m_sysfs.emplace(qitest::OverrideSysfsRoot(m_dir / "nothing"));
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"), -1);
    EXPECT_FALSE(GetDeviceProblemCodeByIndex(0, code));
}

TEST_F(SysfsDevicesTest, AdapterFriendlyNames) {
    EXPECT_EQ(GetAdapterFriendlyName("wlan0"), "wlan0");
    EXPECT_EQ(GetAdapterFriendlyName("missing"), "");
    EXPECT_EQ(GetAdapterFriendlyName("../class/net/eth0"), "");
    EXPECT_EQ(GetAdapterFriendlyName(""), "");
    EXPECT_FALSE(GetAdapterFriendlyName("eth0").empty());
}
#endif

}  // namespace
