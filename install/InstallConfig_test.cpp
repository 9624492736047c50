#include "install/InstallConfig.h"

#include <gtest/gtest.h>

#include <optional>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Module.h"
#include "platform/Text.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

namespace {

class InstallConfigTest : public ::testing::Test {
protected:
    qitest::TempDir m_dir;
    const qitest::ScopedOverride m_module =
        qitest::OverrideModuleFileName(platform::Utf8ToWide(m_dir / "installer"));
};

TEST_F(InstallConfigTest, PathIsBesideTheExecutable) {
    // Compared as paths: Windows gives the folder back with its own separators.
    EXPECT_EQ(std::filesystem::path(GetInstallIniPath()),
              std::filesystem::path(platform::Utf8ToWide(m_dir / "Install.ini")));
}

TEST_F(InstallConfigTest, EveryKeyHasItsDefaultWithoutTheFile) {
    std::wstring ini = GetInstallIniPath();
    EXPECT_EQ(GetConfigVersion(ini), L"0.0.0.0");
    EXPECT_EQ(GetConfigChannel(ini), L"mokra");
    EXPECT_EQ(GetConfigLanguage(ini), 1);
    auto endsWith = [](const std::wstring& s, const std::wstring& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    EXPECT_TRUE(endsWith(GetConfigNet40Url(ini), L"/software/third_party/NETFramework4.0.exe"));
    EXPECT_TRUE(endsWith(GetConfigNet45Url(ini), L"/software/third_party/NETFramework4.5.exe"));
    EXPECT_TRUE(endsWith(GetConfigInstallPackUrl(ini), L"/software/install_pack/quillora1.0.exe"));
    EXPECT_TRUE(endsWith(GetConfigStatisticsUrl(ini), L"/Soft/Sys/InstallationPackage"));
    for (const std::wstring& url : {GetConfigNet40Url(ini), GetConfigNet45Url(ini),
                                    GetConfigInstallPackUrl(ini), GetConfigStatisticsUrl(ini)}) {
        EXPECT_EQ(url.rfind(L"http://", 0), 0u) << platform::WideToUtf8(url);
        EXPECT_EQ(url.find(L':', 7), std::wstring::npos) << "no port in a default URL";
    }
}

TEST_F(InstallConfigTest, ValuesAsTheDistributorWroteThem) {
    m_dir.Write(
        "Install.ini",
        "[Config]\r\nversion=" + std::string(70, '9') +
            "\r\nchannel=\r\nlanguage=abc\r\ninstall_pack_url=\"http://127.0.0.1:8080/p.exe\"\r\n");
    std::wstring ini = GetInstallIniPath();
    EXPECT_EQ(GetConfigVersion(ini), std::wstring(63, L'9'));
    EXPECT_EQ(GetConfigChannel(ini), L"");  // present and empty is not the default
    EXPECT_EQ(GetConfigLanguage(ini), 0);
    EXPECT_EQ(GetConfigInstallPackUrl(ini), L"http://127.0.0.1:8080/p.exe");
    m_dir.Write("Install.ini", "[Config]\nlanguage=3\n");  // read afresh each time
    EXPECT_EQ(GetConfigLanguage(ini), 3);
}

TEST_F(InstallConfigTest, MirrorsAndTheStallLimit) {
    std::wstring ini = GetInstallIniPath();
    EXPECT_TRUE(GetConfigMirrors(ini, L"install_pack_mirrors").empty());
    EXPECT_EQ(GetConfigStallTimeout(ini), 20);
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += " http://m" + std::to_string(i) + "/p.exe";
    m_dir.Write("Install.ini",
                "[Config]\r\ninstall_pack_mirrors= http://a/p.exe\t https://b/p.exe  "
                "\r\nnet40_mirrors=\r\nnet45_mirrors=" +
                    many + "\r\nstall_timeout=45\r\n");
    EXPECT_EQ(GetConfigMirrors(ini, L"install_pack_mirrors"),
              (std::vector<std::wstring>{L"http://a/p.exe", L"https://b/p.exe"}));
    EXPECT_TRUE(GetConfigMirrors(ini, L"net40_mirrors").empty());
    const std::vector<std::wstring> capped = GetConfigMirrors(ini, L"net45_mirrors");
    ASSERT_EQ(capped.size(), kMaxMirrors);
    EXPECT_EQ(capped.back(), L"http://m7/p.exe");
    EXPECT_EQ(GetConfigStallTimeout(ini), 45);
    for (const auto& [value, seconds] : std::vector<std::pair<std::string, int>>{
             {"0", 20}, {"-3", 20}, {"soon", 20}, {"1", 5}, {"100000", 600}}) {
        m_dir.Write("Install.ini", "[Config]\nstall_timeout=" + value + "\n");
        EXPECT_EQ(GetConfigStallTimeout(ini), seconds) << value;
    }
}

TEST_F(InstallConfigTest, FileInTheCurrentDirectoryIsNotRead) {
    qitest::TempDir cwd;
    cwd.Write("Install.ini", "[Config]\nchannel=wrong\n");
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(qitest::FsPath(cwd.Path()));
    std::wstring channel = GetConfigChannel(GetInstallIniPath());
    std::filesystem::current_path(saved);
    EXPECT_EQ(channel, L"mokra");
}

}  // namespace
