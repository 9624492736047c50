// The demo runtime installer, run as a real child against a registry store of the test's own.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoTestSupport.h"

using namespace demotest;
using namespace platform;

namespace {

class DemoRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ::setenv("QI_REGISTRY_DIR", m_dir.Path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("QI_REGISTRY_DIR"); }

    int64_t RunRuntime(std::string* output = nullptr, const std::string& args = "") {
        return RunToEnd(Quoted(BinDir() + "/" + qidemo::kRuntimeProgram) + args, output);
    }

    // The subkeys of NDP, as the installer's check lists them.
    static std::vector<std::wstring> NdpVersions() {
        std::vector<std::wstring> names;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", 0,
                          KEY_READ, &key) != ERROR_SUCCESS)
            return names;
        wchar_t name[256];
        for (uint32_t i = 0;; ++i) {
            uint32_t chars = 256;
            if (RegEnumKeyExW(key, i, name, &chars) != ERROR_SUCCESS)
                break;
            names.emplace_back(name, chars);
        }
        RegCloseKey(key);
        return names;
    }

    static std::wstring FullValue(const wchar_t* name, uint32_t& type) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return L"<no key>";
        uint8_t data[256];
        uint32_t size = sizeof(data);
        LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return L"<no value>";
        if (type == REG_DWORD)
            return std::to_wstring(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
        return RegBytesToString(data, size > 2 ? size - 2 : 0);  // without the terminator
    }

    CTempFolder m_dir;
};

TEST_F(DemoRuntime, RegistersWhatTheInstallersCheckLooksFor) {
    // Something else already in the machine hive stays.
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &other, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);

    std::string output;
    ASSERT_EQ(RunRuntime(&output), 0) << output;
    EXPECT_NE(output.find(m_dir / "machine.reg"), std::string::npos) << output;
    EXPECT_EQ(NdpVersions(), std::vector<std::wstring>{L"v4"});
    uint32_t type = 0;
    EXPECT_EQ(FullValue(L"Install", type), L"1");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(FullValue(L"Version", type), L"4.5.50709");
    EXPECT_EQ(type, REG_SZ);

    // A second run changes nothing.
    const std::string hive = ReadFile(m_dir / "machine.reg");
    ASSERT_EQ(RunRuntime(), 0);
    EXPECT_EQ(ReadFile(m_dir / "machine.reg"), hive);
    HKEY kept = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other", 0, KEY_READ, &kept),
              ERROR_SUCCESS);
    RegCloseKey(kept);
}

TEST_F(DemoRuntime, FailsWithAMessageWhenTheStoreCannotBeWritten) {
    // A hive that does not parse is never overwritten.
    const std::string broken = "this is no registry file\n";
    WriteFile(m_dir / "machine.reg", broken);
    std::string output;
    EXPECT_EQ(RunRuntime(&output), 1);
    EXPECT_NE(output.find("cannot register the runtime"), std::string::npos) << output;
    EXPECT_EQ(ReadFile(m_dir / "machine.reg"), broken);

    // The store's folder is a file.
    ::setenv("QI_REGISTRY_DIR", (m_dir / "machine.reg").c_str(), 1);
    EXPECT_EQ(RunRuntime(&output), 1);
    EXPECT_NE(output.find("cannot register the runtime"), std::string::npos) << output;

    EXPECT_EQ(RunRuntime(&output, " /unknown"), 2);
    EXPECT_NE(output.find("usage: qi-demo-runtime"), std::string::npos);
}

}  // namespace
