// The package steps through the real sequence: a real install thread, a local HTTP
// server for the package, and recording programs standing in for the setup program.

#include <gtest/gtest.h>

#include <signal.h>

#include <optional>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "install/InstallMgr.h"
#include "net/HttpMgr.h"
#include "net/Sha256.h"
#include "platform/Module.h"
#include "platform/Profile.h"
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

using qitest::CCannedResponse;
using qitest::InstallEventRecord;

namespace {

struct CExpected {
    int progress;
    int status;
    std::wstring text;
};

const wchar_t kNdp[] = L"Software\\Microsoft\\NET Framework Setup\\NDP";
const wchar_t kNdpV4[] = L"Software\\Microsoft\\NET Framework Setup\\NDP\\v4";

class InstallPackageTest : public ::testing::Test {
protected:
    qitest::CScopedWorkFolder workFolder;  // downloads and checks in a folder of the test
    qitest::CScopedPublisherKeys unkeyed;  // it serves unsigned files: a build without keys
    void SetUp() override {
        ASSERT_TRUE(server.IsRunning());
        ASSERT_TRUE(registry.Ok());
        // The runtime prerequisite is present in the test's own registry; should its check
        // still fail, its downloads lead nowhere.
        ASSERT_TRUE(CRegSettings(platform::HKEY_LOCAL_MACHINE, kNdpV4, true, true).IsOpen());
        setupDir = exeDir.Path();
        UseSetupFolder("http://127.0.0.1:1");
        installDir = target / "Program Files/Quillora";  // blanks reach the setup whole
    }
    void TearDown() override {
        mgr.reset();
        CHttpMgr::GetInstance()->TerminateAll();
    }
    std::optional<qitest::ScopedOverride> m_module;

    // The installer runs from `setupDir`, with an Install.ini there whose runtime URLs begin
    // with `runtimeBase`.
    void UseSetupFolder(const std::string& runtimeBase) {
        std::error_code ec;
        std::filesystem::create_directories(qitest::FsPath(setupDir), ec);
        m_module.reset();
        m_module.emplace(
            qitest::OverrideModuleFileName(platform::Utf8ToWide(setupDir + "/quillora-installer")));
        ASSERT_TRUE(qitest::WriteFile(
            setupDir + "/Install.ini",
            "[Config]\r\nnet40_url=" + runtimeBase + "/net40.exe\r\nnet45_url=" + runtimeBase +
                "/net45.exe\r\ninstall_pack_url=" + server.Url("/pack.exe") +
                "\r\ninstall_statistics_url=" + server.Url("/stats") + "\r\n"));
    }

    // The events of the runs so far, without the prerequisite check's own: the runtime is
    // present, so the check is not what these tests look at.
    std::vector<InstallEventRecord> Seen() const {
        std::vector<InstallEventRecord> seen;
        for (const InstallEventRecord& e : events.Seen())
            if (!(e.progress == 10 && e.text == L"检测Net环境"))
                seen.push_back(e);
        return seen;
    }

    // Where the package lands, is checked and runs; where one left beside the installer is.
    std::string PackagePath() const { return workFolder / "QuilloraSetup.exe"; }
    std::string BesidePath() const { return setupDir + "/QuilloraSetup.exe"; }
    // The package the server hands out: records its arguments, prints a line, exits.
    std::string PackageBytes(int exitCode) {
        std::string bytes = qitest::RecordingProgramBytes(PackagePath(), target / "args", exitCode,
                                                          "setup says hi");
        EXPECT_FALSE(bytes.empty());
        return bytes;
    }
    // The same package, already beside the installer.
    void PackageBeside(int exitCode) {
        ASSERT_TRUE(qitest::WriteFile(BesidePath(), PackageBytes(exitCode)));
    }

    // Runs the installation until its last event (100, or a failure).
    void RunInstallation() {
        mgr = std::make_unique<CInstallMgr>();
        mgr->SetInstallDir(platform::Utf8ToWide(installDir));
        mgr->BeginInstallThread();
        ASSERT_TRUE(events.PumpUntil([&] { return mgr->IsInstallThreadFinished(); }));
    }

    // The events of the last run, which began after the first `from` events.
    void ExpectEvents(const std::vector<CExpected>& expected, size_t from = 0) {
        std::vector<InstallEventRecord> all = Seen();
        std::vector<InstallEventRecord> seen(all.begin() + from, all.end());
        ASSERT_EQ(seen.size(), expected.size()) << ::testing::PrintToString(events.Progresses());
        for (size_t i = 0; i < seen.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(seen[i].progress, expected[i].progress);
            EXPECT_EQ(seen[i].status, expected[i].status);
            EXPECT_EQ(seen[i].text, expected[i].text);
            EXPECT_EQ(seen[i].sender, mgr.get());
        }
    }

    std::vector<std::string> RecordedArguments() { return qitest::ReadLines(target / "args"); }

    qitest::CTestHttpServer server;
    qitest::TempRegistry registry;
    qitest::TempDir exeDir;
    qitest::TempDir target;
    std::string setupDir;  // where the installer runs from
    std::string installDir;
    qitest::InstallEvents events;
    std::unique_ptr<CInstallMgr> mgr;
};

TEST_F(InstallPackageTest, DownloadedPackageRunsSilentlyIntoTheChosenDirectory) {
    CCannedResponse package;
    package.body = PackageBytes(0) + std::string(30000, 'p');
    package.pieceSize = package.body.size() / 30;
    package.pieceDelayMs = 50;  // about 1.5 s: progress reports arrive on the way
    server.Set("/pack.exe", package);
    RunInstallation();

    std::vector<InstallEventRecord> seen = Seen();
    ASSERT_GE(seen.size(), 7u) << ::testing::PrintToString(events.Progresses());
    for (const auto& e : seen)
        EXPECT_EQ(e.sender, mgr.get());
    EXPECT_EQ(seen[0].progress, 5);
    EXPECT_EQ(seen[1].progress, 50);
    EXPECT_EQ(seen[1].text, L"正在下载安装包...");
    // Reports from the transfer, mapped onto 50..79 and never going back.
    const size_t reports = seen.size() - 6;
    ASSERT_GE(reports, 1u);
    int last = 50;
    for (size_t i = 2; i < 2 + reports; ++i) {
        EXPECT_GE(seen[i].progress, last);
        EXPECT_LE(seen[i].progress, 79);
        EXPECT_EQ(seen[i].status, 0);
        EXPECT_EQ(seen[i].text, L"正在下载安装包...");
        last = seen[i].progress;
    }
    std::vector<InstallEventRecord> tail(seen.end() - 4, seen.end());
    std::vector<CExpected> expectedTail = {
        {80, 0, L"正在安装..."}, {80, 0, L"安装完成"}, {90, 0, L"安装完成"}, {100, 0, L"安装完成"}};
    for (size_t i = 0; i < expectedTail.size(); ++i) {
        EXPECT_EQ(tail[i].progress, expectedTail[i].progress);
        EXPECT_EQ(tail[i].status, 0);
        EXPECT_EQ(tail[i].text, expectedTail[i].text);
    }

    // The package stays beside the installer, runnable by its owner.
    std::error_code ec;
    const auto perms = std::filesystem::status(qitest::FsPath(PackagePath()), ec).permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none);
    EXPECT_FALSE(qitest::FileExists(PackagePath() + ".temp"));
    EXPECT_EQ(RecordedArguments(),
              (std::vector<std::string>{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/DIR=" + installDir}));
    ASSERT_GE(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "GET");
    EXPECT_EQ(server.Requests()[0].path, "/pack.exe");
}

TEST_F(InstallPackageTest, PackageBesideTheInstallerIsUsedWithoutDownload) {
    // Not executable yet: the step sets the owner's execute bit itself.
    PackageBeside(0);
    std::error_code ec;
    std::filesystem::permissions(qitest::FsPath(BesidePath()), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::remove, ec);
    RunInstallation();
    ExpectEvents({{5, 0, L"检测环境..."},
                  {80, 0, L"正在安装..."},
                  {80, 0, L"安装完成"},
                  {90, 0, L"安装完成"},
                  {100, 0, L"安装完成"}});
    EXPECT_EQ(RecordedArguments().size(), 3u);
    // The only request is the report.
    ASSERT_TRUE(server.WaitForRequests(1, 30000));
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.path, "/stats");
}

TEST_F(InstallPackageTest, SetupExitingWithOneEndsTheRun) {
    PackageBeside(1);
    RunInstallation();
    ExpectEvents({{5, 0, L"检测环境..."}, {80, 0, L"正在安装..."}, {80, -1, L"安装失败"}});
    EXPECT_EQ(mgr->GetResult(), InstallFailure::SetupFailed);
    EXPECT_EQ(mgr->GetResultValue(), 1);
    EXPECT_EQ(RecordedArguments().size(), 3u);
    // No after-install step: no settings file and no report.
    EXPECT_FALSE(qitest::FileExists(installDir + "/user.ini"));
    EXPECT_TRUE(server.Requests().empty());
}

#ifndef _WIN32
// A copy of the product that is still running when its setup fails is the reason given: the
// setup here starts one (as a product that cannot be ended would be) and fails.
TEST_F(InstallPackageTest, AProductStillRunningIsTheReasonOfAFailedSetup) {
    const std::string product = target / "Quillora.exe";
    std::error_code ec;
    std::filesystem::copy_file("/bin/sleep", qitest::FsPath(product), ec);
    ASSERT_FALSE(ec);
    // The product counts once it runs under its own name: the setup waits for its exec.
    const std::string setup = "'" + product + "' 30 &\np=$!\ni=0\n" +
                              "while [ \"$(readlink /proc/$p/exe)\" != '" + product +
                              "' ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done\n" +
                              "echo $p > '" + (target / "pid") + "'\nexit 5\n";
    exeDir.WriteScript("QuilloraSetup.exe", setup);
    RunInstallation();
    EXPECT_EQ(mgr->GetResult(), InstallFailure::ProductRunning);
    EXPECT_EQ(mgr->GetResultValue(), 5);
    const std::string pid = qitest::TempDir::Read(target / "pid");
    if (!pid.empty())
        ::kill(std::stoi(pid), SIGKILL);
}
#endif

TEST_F(InstallPackageTest, DirectoryThatCouldBreakTheCommandLineIsRefused) {
    for (const char* dir : {"/a\" /EVIL=\"x", "/a\nb"}) {
        SCOPED_TRACE(dir);
        const size_t from = Seen().size();
        installDir = target / dir;
        PackageBeside(0);
        RunInstallation();
        ExpectEvents({{5, 0, L"检测环境..."}, {80, 0, L"正在安装..."}, {80, -1, L"安装失败"}},
                     from);
        EXPECT_FALSE(qitest::FileExists(target / "args"));  // nothing ran
        EXPECT_EQ(mgr->GetResult(), InstallFailure::InvalidInstallDir);
    }
}

TEST_F(InstallPackageTest, DirectoryEndingInBackslashStaysOneArgument) {
    installDir = target / "odd\\";
    PackageBeside(0);
    RunInstallation();
    EXPECT_EQ(RecordedArguments(),
              (std::vector<std::string>{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/DIR=" + installDir}));
}

TEST_F(InstallPackageTest, FailedDownloadEndsTheRunWithoutLeftovers) {
    server.Set("/pack.exe", CCannedResponse::Status(404, "gone"));
    RunInstallation();
    std::vector<InstallEventRecord> seen = Seen();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front().progress, 5);
    // The step's own 50, then perhaps a report of the short transfer, also at 50.
    for (size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].progress, 50);
        EXPECT_EQ(seen[i].text, L"正在下载安装包...");
    }
    EXPECT_EQ(seen.back().progress, 80);
    EXPECT_EQ(seen.back().status, -1);
    EXPECT_EQ(seen.back().text, L"下载安装包失败");
    EXPECT_EQ(mgr->GetResult(), InstallFailure::HttpStatus);
    EXPECT_EQ(mgr->GetResultValue(), 404);
    EXPECT_FALSE(qitest::FileExists(PackagePath()));
    EXPECT_FALSE(qitest::FileExists(PackagePath() + ".temp"));
}

TEST_F(InstallPackageTest, AFolderBesideTheInstallerIsNoPackage) {
    ASSERT_TRUE(std::filesystem::create_directory(qitest::FsPath(BesidePath())));
    server.Set("/pack.exe", CCannedResponse::Status(200, PackageBytes(0)));
    server.Set("/stats", CCannedResponse::Status(200, "ok"));
    RunInstallation();
    EXPECT_EQ(mgr->GetResult(), InstallFailure::None);
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_EQ(server.Requests()[0].path, "/pack.exe");
}

TEST_F(InstallPackageTest, ManagerDestroyedDuringADownloadStopsIt) {
    CCannedResponse endless;
    endless.generatedSize = 1ull << 30;
    endless.pieceSize = 512;
    endless.pieceDelayMs = 100;
    server.Set("/pack.exe", endless);
    mgr = std::make_unique<CInstallMgr>();
    mgr->SetInstallDir(platform::Utf8ToWide(installDir));
    mgr->BeginInstallThread();
    ASSERT_TRUE(events.PumpUntil([&] { return Seen().size() >= 3; }));  // a report came
    mgr.reset();  // asks the install thread to stop and joins it
    EXPECT_FALSE(qitest::FileExists(PackagePath()));
    EXPECT_FALSE(qitest::FileExists(PackagePath() + ".temp"));
    EXPECT_FALSE(qitest::FileExists(target / "args"));
}

// A folder outside the ANSI code page, for the installer and for the product: "ÿ" is in
// code page 1252 but not in 936, "𠀀" (U+20000) in neither. The runtime and the package are
// downloaded into the one and run, and user.ini is written into the other.
TEST_F(InstallPackageTest, FoldersOutsideTheAnsiCodePageWorkThroughout) {
    const std::string odd = "\xC3\xBF \xF0\xA0\x80\x80";
    setupDir = exeDir / ("Setup " + odd);
    UseSetupFolder(server.Url(""));
    installDir = target / ("Quillora " + odd);
    std::error_code ec;
    std::filesystem::create_directories(qitest::FsPath(installDir), ec);  // as the setup would
    ASSERT_TRUE(CRegSettings(platform::HKEY_LOCAL_MACHINE, kNdp, true, false).DeleteKeyTree(L"v4"));
    const std::string runtime =
        qitest::RecordingProgramBytes(workFolder / "net4.exe", target / "net-args", 0);
    server.Set("/net40.exe", CCannedResponse::Status(200, runtime));
    server.Set("/net45.exe", CCannedResponse::Status(200, runtime));
    server.Set("/pack.exe", CCannedResponse::Status(200, PackageBytes(0)));
    server.Set("/stats", CCannedResponse::Status(200, "ok"));
    RunInstallation();

    ASSERT_FALSE(events.Seen().empty());
    EXPECT_EQ(events.Seen().back().progress, 100);
    EXPECT_EQ(events.Seen().back().text, L"安装完成");
    for (const InstallEventRecord& e : events.Seen())
        EXPECT_EQ(e.status, 0) << e.progress << " " << platform::WideToUtf8(e.text);
    EXPECT_TRUE(qitest::FileExists(target / "net-args"));
    EXPECT_TRUE(qitest::FileExists(PackagePath()));
    EXPECT_EQ(RecordedArguments(),
              (std::vector<std::string>{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/DIR=" + installDir}));
    wchar_t channel[64] = {0};
    platform::GetPrivateProfileStringW(L"Config", L"channel", L"<missing>", channel, 64,
                                       platform::Utf8ToWide(installDir + "/user.ini").c_str());
    EXPECT_STREQ(channel, L"mokra");
    ASSERT_TRUE(server.WaitForRequests(3, 30000));  // the runtime, the package, the report
    EXPECT_EQ(server.Requests().back().path, "/stats");
    EXPECT_EQ(server.Requests().back().body.compare(0, 5, "info="), 0);
    EXPECT_EQ(mgr->GetResult(), InstallFailure::None);
}

// A package named on the command line is checked against the pin and runs from where it is;
// a mismatch ends the run and leaves the user's file alone. Nothing is downloaded.
TEST_F(InstallPackageTest, APackageNamedOnTheCommandLineIsCheckedAndKept) {
    const std::string own = target / "media/QuilloraSetup.exe";
    std::error_code ec;
    std::filesystem::create_directories(qitest::FsPath(target / "media"), ec);
    ASSERT_TRUE(qitest::WriteRecordingScript(own, target / "args", 0, "setup says hi"));
    std::string bytes;
    ASSERT_TRUE(qitest::ReadFile(own, bytes));
    const std::string ini = setupDir + "/Install.ini";
    for (const bool matches : {false, true}) {
        SCOPED_TRACE(matches);
        const std::string pin = matches ? Sha256Hex(bytes) : std::string(64, '0');
        ASSERT_TRUE(platform::WritePrivateProfileStringW(L"Config", L"install_pack_sha256",
                                                         platform::Utf8ToWide(pin).c_str(),
                                                         platform::Utf8ToWide(ini).c_str()));
        mgr = std::make_unique<CInstallMgr>();
        mgr->SetInstallDir(platform::Utf8ToWide(installDir));
        mgr->SetPackageFile(platform::PathFromNarrow(own));
        mgr->BeginInstallThread();
        ASSERT_TRUE(events.PumpUntil([&] { return mgr->IsInstallThreadFinished(); }));
        EXPECT_EQ(mgr->GetResult(),
                  matches ? InstallFailure::None : InstallFailure::DigestMismatch);
        EXPECT_EQ(qitest::FileExists(target / "args"), matches);
        EXPECT_TRUE(qitest::FileExists(own));
    }
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.path, "/stats");
}

// A layout fetches the runtime installer and the package into its folder and runs nothing;
// the installer started from that folder then uses both as they are, offline, once they
// match their pins.
TEST_F(InstallPackageTest, ALayoutMakesMediaThatInstallOffline) {
    const std::string layout = target / "offline/media";
    std::error_code ec;
    std::filesystem::create_directories(qitest::FsPath(layout), ec);
    const std::string runtime =
        qitest::RecordingProgramBytes(layout + "/net4.exe", target / "net-args", 0);
    const std::string package = qitest::RecordingProgramBytes(layout + "/QuilloraSetup.exe",
                                                              target / "args", 0, "setup says hi");
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    server.Set("/net45.exe", CCannedResponse::Status(200, runtime));
    server.Set("/net40.exe", CCannedResponse::Status(200, runtime));
    UseSetupFolder(server.Url(""));
    mgr = std::make_unique<CInstallMgr>();
    mgr->SetLayoutDir(platform::PathFromNarrow(layout));
    mgr->BeginInstallThread();
    ASSERT_TRUE(events.PumpUntil([&] { return mgr->IsInstallThreadFinished(); }));
    EXPECT_EQ(mgr->GetResult(), InstallFailure::None);
    EXPECT_EQ(qitest::TempDir::Read(layout + "/net4.exe"), runtime);
    EXPECT_EQ(qitest::TempDir::Read(layout + "/QuilloraSetup.exe"), package);
    EXPECT_FALSE(qitest::FileExists(target / "args"));
    EXPECT_FALSE(qitest::FileExists(target / "net-args"));

    // Offline: every address is dead, the runtime is missing.
    setupDir = layout;
    UseSetupFolder("http://127.0.0.1:1");
    server.Set("/pack.exe", CCannedResponse::Status(404, "gone"));
    for (const char* key : {"net40_sha256", "net45_sha256", "install_pack_sha256"})
        ASSERT_TRUE(platform::WritePrivateProfileStringW(
            L"Config", platform::Utf8ToWide(key).c_str(),
            platform::Utf8ToWide(Sha256Hex(key[0] == 'n' ? runtime : package)).c_str(),
            platform::Utf8ToWide(layout + "/Install.ini").c_str()));
    ASSERT_TRUE(CRegSettings(platform::HKEY_LOCAL_MACHINE, kNdp, true, false).DeleteKeyTree(L"v4"));
    RunInstallation();
    EXPECT_EQ(mgr->GetResult(), InstallFailure::None);
    EXPECT_TRUE(qitest::FileExists(target / "net-args"));
    EXPECT_EQ(RecordedArguments().size(), 3u);
}

}  // namespace
