#include "sys/OsInfo.h"

#include <gtest/gtest.h>

#include "platform/SystemInfo.h"
#include "tests/support/ScopedOverrides.h"

namespace {

class OsInfoTest : public ::testing::Test {
protected:
    const qitest::ScopedOverride m_restore = qitest::ClearSystemInfoAtEnd();
    static void Version(uint32_t major, uint32_t minor, uint16_t sp) {
        platform::OsVersionInfo v;
        v.dwMajorVersion = major;
        v.dwMinorVersion = minor;
        v.wServicePackMajor = sp;
        platform::SetVersionRecordForTest(v);
    }
    static void Arch(uint16_t arch, bool wow64 = false) {
        platform::SetNativeSystemForTest({{arch, wow64}});
    }
};

TEST_F(OsInfoTest, VersionCodesForEveryRelease) {
    struct Case {
        uint32_t major, minor;
        uint16_t sp, arch;
        int code;
    } cases[] = {
        {10, 0, 0, platform::kArchAmd64, 13}, {11, 2, 0, platform::kArchIntel, 12},
        {6, 3, 0, platform::kArchAmd64, 11},  {6, 2, 0, platform::kArchIntel, 8},
        {6, 1, 1, platform::kArchIa64, 7},    {6, 1, 0, platform::kArchIntel, 6},
        {6, 0, 2, platform::kArchAmd64, 5},   {6, 0, 0, platform::kArchArm64, 4},
        {5, 2, 0, platform::kArchAmd64, 2},   {5, 1, 3, platform::kArchIntel, 2},
        {5, 1, 2, platform::kArchIntel, 1},   {5, 1, 0, platform::kArchAmd64, 3},
        {5, 0, 4, platform::kArchIntel, 0},
    };
    for (const Case& c : cases) {
        Version(c.major, c.minor, c.sp);
        Arch(c.arch);
        EXPECT_EQ(GetOsVersionCode(), c.code)
            << c.major << "." << c.minor << " sp" << c.sp << " arch " << c.arch;
    }
    platform::SetVersionRecordForTest(std::nullopt);  // the query fails
    EXPECT_EQ(GetOsVersionCode(), 0);
    EXPECT_FALSE(IsOsVersionOrGreater(0, 0, 0));
}

TEST_F(OsInfoTest, VersionComparison) {
    Version(6, 1, 1);
    EXPECT_TRUE(IsOsVersionOrGreater(6, 1, 1));
    EXPECT_FALSE(IsOsVersionOrGreater(6, 1, 2));
    EXPECT_TRUE(IsOsVersionOrGreater(6, 0, 9));  // a newer minor outweighs the service pack
    EXPECT_FALSE(IsOsVersionOrGreater(7, 0, 0));
}

TEST_F(OsInfoTest, BitnessComesFromTheNativeArchitecture) {
    Version(6, 1, 0);
    Arch(platform::kArchAmd64, true);  // a 32-bit build on a 64-bit system
    EXPECT_EQ(GetOsVersionCode(), 7);
    EXPECT_TRUE(IsWow64());
    EXPECT_TRUE(Is64BitOs());
    Arch(platform::kArchArm64);
    EXPECT_FALSE(Is64BitOs());
    std::wstring name;
    EXPECT_TRUE(GetOsDisplayName(name));
    EXPECT_EQ(name, L"win7 32位系统");
    EXPECT_STREQ(sys::OsDisplayNameForCode(5), L"vista 64系统");
    EXPECT_STREQ(sys::OsDisplayNameForCode(14), L"未知系统");
}

#ifndef _WIN32
// Linux only: Windows reports its own version.
TEST_F(OsInfoTest, DefaultRecordIsWindows10) {
    platform::ResetVersionRecordForTest();
    Arch(platform::kArchAmd64);
    EXPECT_EQ(GetOsVersionCode(), 13);
}
#endif

TEST_F(OsInfoTest, MacOfTheFirstPciOrWirelessAdapter) {
    using platform::AdapterInfo;
    AdapterInfo loop{"lo", "Virtual adapter lo", platform::kIfTypeEthernet, {0, 0, 0, 0, 0, 0}};
    AdapterInfo wifi{
        "wlan0", "Intel Wireless", platform::kIfTypeIeee80211, {0xa, 0xb, 0xc, 0xd, 0xe, 0xf}};
    AdapterInfo wired{"eth0",
                      "PCI network adapter eth0",
                      platform::kIfTypeEthernet,
                      {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}};
    AdapterInfo lower{"eth1", "pci lower case", platform::kIfTypeEthernet, {1, 1, 1, 1, 1, 1}};

    platform::SetAdaptersForTest(std::vector<AdapterInfo>{loop, lower, wired, wifi});
    EXPECT_EQ(GetMacAddressText(), L"00-1A-2B-3C-4D-5E");
    platform::SetAdaptersForTest(std::vector<AdapterInfo>{wifi, wired});
    EXPECT_EQ(GetMacAddressText(), L"0A-0B-0C-0D-0E-0F");
    platform::SetAdaptersForTest(std::vector<AdapterInfo>{loop, lower});
    EXPECT_EQ(GetMacAddressText(), L"");
    platform::SetAdaptersForTest(std::vector<AdapterInfo>{}, true);
    EXPECT_EQ(GetMacAddressText(), L"");
}

// The system's own answers, unhooked: a record to compare with, a known architecture, and a
// 64-bit build that is never WOW64.
TEST_F(OsInfoTest, TheSystemsOwnRecord) {
    platform::OsVersionInfo v;
    v.dwMajorVersion = 0;
    ASSERT_TRUE(platform::GetVersionRecord(v));
    EXPECT_GE(v.dwMajorVersion, 5u);
    EXPECT_TRUE(IsOsVersionOrGreater(5, 1, 0));
    EXPECT_GT(GetOsVersionCode(), 3);
    EXPECT_NE(platform::GetNativeArchitecture(), platform::kArchUnknown);
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(IsWow64());
        EXPECT_EQ(Is64BitOs(), platform::GetNativeArchitecture() == platform::kArchAmd64);
    }
}

TEST_F(OsInfoTest, MacTextFromThisMachineIsWellFormedOrEmpty) {
    std::wstring mac = GetMacAddressText();
    if (!mac.empty()) {
        ASSERT_EQ(mac.size(), 17u);
        for (size_t i = 2; i < 17; i += 3)
            EXPECT_EQ(mac[i], L'-');
    }
}

}  // namespace
