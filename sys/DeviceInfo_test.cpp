#include "sys/DeviceInfo.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/SysfsDevices.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A sysfs tree of two PCI devices (one without a driver) and two interfaces.
class DevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddDevice("0000:00:03.0", "0x8086", "0x100e", "0x8086", "0x001e", "0x02", true);
        AddDevice("0000:00:02.0", "0x1234", "0x1111", "0x1af4", "0x1100", "0x0a", false);
        m_dir.Write("sys/class/net/eth0/ifalias", "本地连接\n");
        m_dir.Write("sys/class/net/wlan0/ifalias", "\n");
        platform::SetSysfsRootForTest(m_dir / "sys");
    }
    void TearDown() override { platform::SetSysfsRootForTest(""); }

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
};

TEST_F(DevicesTest, HardwareIdsAsWindowsFormsThem) {
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
    platform::SetSysfsRootForTest(m_dir / "nothing");
    EXPECT_EQ(GetDeviceProblemCode(L"PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02"), -1);
    EXPECT_FALSE(GetDeviceProblemCodeByIndex(0, code));
}

TEST_F(DevicesTest, AdapterFriendlyNames) {
    EXPECT_EQ(GetAdapterFriendlyName("wlan0"), "wlan0");
    EXPECT_EQ(GetAdapterFriendlyName("missing"), "");
    EXPECT_EQ(GetAdapterFriendlyName("../class/net/eth0"), "");
    EXPECT_EQ(GetAdapterFriendlyName(""), "");
    EXPECT_FALSE(GetAdapterFriendlyName("eth0").empty());
}

}  // namespace
