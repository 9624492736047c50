#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <filesystem>

#include "install/InstallMgr.h"
#include "net/HttpMgr.h"
#include "platform/Module.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Text.h"
#include "sys/RegSettings.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TestSignatures.h"

namespace {

const wchar_t kNdp[] = L"Software\\Microsoft\\NET Framework Setup\\NDP";

// An installer in a directory with blanks, its own registry hive and a local download server.
class InstallNetTest : public ::testing::Test {
protected:
    qitest::CScopedWorkFolder workFolder;  // downloads and checks in a folder of the test
    qitest::CScopedPublisherKeys unkeyed;  // it serves unsigned files: a build without keys
    void SetUp() override {
        ASSERT_TRUE(m_server.IsRunning());
        ASSERT_TRUE(m_registry.Ok());
        m_exeDir = m_dir / "Program Files (x86)/Quillora Setup";
        std::error_code ec;
        std::filesystem::create_directories(qitest::FsPath(m_exeDir), ec);
        m_module.emplace(
            qitest::OverrideModuleFileName(platform::Utf8ToWide(m_exeDir + "/installer")));
        m_dir.Write("Program Files (x86)/Quillora Setup/Install.ini",
                    "[Config]\r\nnet40_url=" + m_server.Url("/net40.exe") +
                        "\r\nnet45_url=" + m_server.Url("/net45.exe") +
                        "\r\ninstall_pack_url=" + m_server.Url("/pack.exe") +
                        "\r\ninstall_statistics_url=" + m_server.Url("/stats") + "\r\n");
        m_server.Set("/stats", qitest::CCannedResponse::Status(200, "ok"));
        // The .NET installers record how they were started; each carries its name at its end.
        for (const char* name : {"net40", "net45"})
            m_server.Set(std::string("/") + name + ".exe", Runtime(name, 0));
        m_install = m_dir / "target";
    }
    void TearDown() override {
        // The report's request thread posts to this test's notify center: end it first.
        CHttpMgr::GetInstance()->TerminateAll();
    }
    std::optional<qitest::ScopedOverride> m_module;
    const qitest::ScopedOverride m_systemInfo = qitest::ClearSystemInfoAtEnd();

    // A runtime installer that lands as net4.exe, records its arguments in "net-ran" and
    // exits with `exitCode`.
    qitest::CCannedResponse Runtime(const std::string& name, int exitCode) {
        return qitest::CCannedResponse::Status(
            200,
            qitest::RecordingProgramBytes(workFolder / "net4.exe", m_dir / "net-ran", exitCode) +
                "<" + name + ">");
    }

    void SetNdpVersions(const std::vector<std::wstring>& versions, bool view64 = true) {
        for (const std::wstring& v : versions) {
            CRegSettings key(platform::HKEY_LOCAL_MACHINE, (std::wstring(kNdp) + L"\\" + v).c_str(),
                             view64, true);
            ASSERT_TRUE(key.IsOpen());
        }
    }
    void PackageBesideInstaller(int exitCode) {
        ASSERT_TRUE(workFolder.PlaceRecordingProgram(m_exeDir + "/QuilloraSetup.exe",
                                                     m_dir / "pack-args", exitCode));
    }
    // Runs the whole sequence on the install thread and collects its events.
    void RunInstall() {
        CInstallMgr mgr;
        mgr.SetInstallDir(platform::Utf8ToWide(m_install));
        mgr.BeginInstallThread();
        ASSERT_TRUE(m_events.PumpUntil([&] { return mgr.IsInstallThreadFinished(); }));
    }
    std::vector<int> StepProgresses() const {
        std::vector<int> p;
        for (const auto& e : m_events.Seen()) {
            if (e.text != L"正在下载net包..." && e.text != L"正在下载安装包...")
                p.push_back(e.progress);
        }
        return p;
    }
    bool Saw(int progress, int status, const std::wstring& text) const {
        const auto& seen = m_events.Seen();
        return std::any_of(seen.begin(), seen.end(), [&](const auto& e) {
            return e.progress == progress && e.status == status && e.text == text;
        });
    }
    size_t Downloads(const std::string& path) const {
        size_t n = 0;
        for (const auto& r : m_server.Requests())
            n += r.path == path ? 1 : 0;
        return n;
    }

    qitest::TempRegistry m_registry;
    qitest::TempDir m_dir;
    qitest::CTestHttpServer m_server;
    qitest::InstallEvents m_events;
    std::string m_exeDir;
    std::string m_install;
};

TEST_F(InstallNetTest, OnlyNamesBeginningWithLowerCaseV4CountAsPresent) {
    struct Case {
        std::vector<std::wstring> versions;
        bool present;
    };
    const Case cases[] = {
        {{L"v2.0.50727", L"v3.5", L"v4"}, true},
        {{L"v4.0"}, true},
        {{L"V4"}, false},
        {{L"v40"}, true},
        {{L"v3.5", L"v"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        CRegSettings(platform::HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup",
                     true, true)
            .DeleteKeyTree(L"NDP");
        SetNdpVersions(c.versions);
        CInstallMgr mgr;
        EXPECT_EQ(mgr.CheckNetFile(), c.present) << c.versions.size();
    }
    m_events.Pump(std::chrono::milliseconds(50));
    EXPECT_TRUE(Saw(10, 0, L"检测Net环境"));
    EXPECT_EQ(m_server.Requests().size(), 0u);
}

// A 32-bit build on a 64-bit system looks in the native view, not under WOW6432Node.
#ifndef _WIN32  // there the views follow the program's real build, which no test hook changes
TEST_F(InstallNetTest, ThirtyTwoBitInstallerReadsTheNativeView) {
    platform::SetNativeSystemForTest(platform::NativeOverride{platform::kArchAmd64, true});
    SetNdpVersions({L"v4"}, false);  // the redirected view only
    CInstallMgr mgr;
    EXPECT_FALSE(mgr.CheckNetFile());
    SetNdpVersions({L"v4"}, true);
    EXPECT_TRUE(mgr.CheckNetFile());
}
#endif

TEST_F(InstallNetTest, OsVersionChoosesTheInstaller) {
    CInstallMgr mgr;
    platform::OsVersionInfo xp;  // Windows XP SP3: code 2
    xp.dwMajorVersion = 5;
    xp.dwMinorVersion = 1;
    xp.wServicePackMajor = 3;
    platform::SetVersionRecordForTest(xp);
    ASSERT_TRUE(mgr.DownNetFile());
    EXPECT_EQ(Downloads("/net40.exe"), 1u);
    EXPECT_NE(qitest::TempDir::Read(workFolder / "net4.exe").find("<net40>"), std::string::npos);

    platform::OsVersionInfo vista;  // Windows Vista, 32-bit: code 4
    vista.dwMajorVersion = 6;
    vista.dwMinorVersion = 0;
    platform::SetVersionRecordForTest(vista);
    platform::SetNativeSystemForTest(platform::NativeOverride{platform::kArchIntel, false});
    ASSERT_TRUE(mgr.DownNetFile());
    EXPECT_EQ(Downloads("/net45.exe"), 1u);
    EXPECT_NE(qitest::TempDir::Read(workFolder / "net4.exe").find("<net45>"), std::string::npos);
}

// No .NET 4: downloaded, started from the directory with blanks without any switch, then the
// package installs.
TEST_F(InstallNetTest, MissingRuntimeIsDownloadedAndRunBeforeThePackage) {
    SetNdpVersions({L"v3.5"});
    PackageBesideInstaller(0);
    RunInstall();
    EXPECT_EQ(Downloads("/net45.exe"), 1u);
    EXPECT_EQ(Downloads("/net40.exe"), 0u);
    EXPECT_TRUE(qitest::FileExists(m_dir / "net-ran"));
    EXPECT_TRUE(qitest::ReadLines(m_dir / "net-ran").empty());  // no switch
    EXPECT_EQ(qitest::ReadLines(m_dir / "pack-args").size(), 3u);
    EXPECT_EQ(StepProgresses(), (std::vector<int>{5, 10, 20, 40, 40, 80, 80, 90, 100}));
    EXPECT_TRUE(Saw(20, 0, L"下载 Net Framework 组件"));
    EXPECT_TRUE(Saw(40, 0, L"开始安装 Net Framework 组件"));
    EXPECT_TRUE(Saw(40, 0, L"安装 Net Framework 组件成功"));
}

TEST_F(InstallNetTest, NetFailuresAreReportedAndThePackageStillInstalls) {
    PackageBesideInstaller(0);
    m_server.Set("/net45.exe", qitest::CCannedResponse::Status(404, "gone"));
    RunInstall();
    EXPECT_TRUE(Saw(40, -1, L"下载 Net Framework 组件失败"));
    EXPECT_FALSE(Saw(40, 0, L"开始安装 Net Framework 组件"));
    ASSERT_FALSE(m_events.Seen().empty());
    EXPECT_EQ(m_events.Seen().back().progress, 100);
    EXPECT_EQ(m_events.Seen().back().status, 0);
    EXPECT_EQ(m_events.Seen().back().text, L"安装完成");

    m_server.Set("/net45.exe", Runtime("net45", 3));
    RunInstall();
    EXPECT_TRUE(Saw(40, -1, L"安装 Net Framework 组件失败"));
    EXPECT_EQ(m_events.Seen().back().progress, 100);
}

TEST_F(InstallNetTest, RuntimePresentAndPackageBesideMakeTheShortestRun) {
    SetNdpVersions({L"v4"});
    PackageBesideInstaller(0);
    RunInstall();
    EXPECT_EQ(m_events.Progresses(), (std::vector<int>{5, 10, 80, 80, 90, 100}));
    EXPECT_EQ(Downloads("/net45.exe") + Downloads("/net40.exe") + Downloads("/pack.exe"), 0u);
}

}  // namespace
