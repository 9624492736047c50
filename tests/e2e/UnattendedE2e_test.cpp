// The installer without a window, as a distributor's script runs it: --silent with --dir,
// --package and --log, a --layout for offline media, and each failure class as the exit
// code, against a local HTTP server. No display is needed.

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/InstallFailure.h"
#include "net/Sha256.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace e2e;
using qitest::CCannedResponse;

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Unattended : public ::testing::Test {
protected:
    void SetUp() override {
        if (RefusesUnsignedDeployments())
            GTEST_SKIP() << kKeyedBuildSkip;
        ASSERT_TRUE(m_server.IsRunning());
    }

    // Stages the installer with `ini` (empty: Ini()), the runtime marked present.
    void Stage(const std::string& ini = "") {
        m_staged = std::make_unique<CStagedInstaller>(ini.empty() ? Ini() : ini, false);
        ASSERT_TRUE(m_staged->Ok());
        ASSERT_TRUE(m_staged->MarkRuntimeInstalled());
    }
    std::string Ini() const { return InstallIni(m_server.Url("")); }
    std::string Temp(const std::string& name) const { return m_staged->Temp() / name; }
    // The setup package the server hands out: it records its arguments and exits with `code`.
    std::string Package(int code) {
        return qitest::RecordingProgramBytes(m_staged->AppDir() + "/QuilloraSetup.exe",
                                             Temp("args"), code, "setup ran");
    }

    qitest::CTestHttpServer m_server;
    std::unique_ptr<CStagedInstaller> m_staged;
    CInstallerRun m_run;  // after m_staged: ends before its folder goes
};

// One line per step, the setup run into --dir, the report sent, exit 0; the support log
// holds the configuration (without the password of an address), each transfer, the digest,
// the setup's command line and user.ini.
TEST_F(Unattended, SilentInstallPrintsItsStepsAndLogsEachOne) {
    Stage();
    const std::string package = Package(0);
    m_server.Set("/pack.exe", CCannedResponse::Status(200, package));
    m_server.Set("/stats", CCannedResponse::Status(200, "ok"));
    std::string ini = Ini();
    const std::string base = m_server.Url("");
    ini.replace(ini.find("install_pack_url=" + base), 17 + base.size(),
                "install_pack_url=http://fetch:s3cret@" + base.substr(7));
    ini += "install_pack_sha256=" + Sha256Hex(package) + "\n";
    m_staged->Temp().Write("app/Install.ini", ini);
    const std::string dir = Temp("target dir/Quillora");  // its last level is made
    m_staged->Temp().Write("target dir/.keep", "");
    const std::string log = Temp("logs/install.log");
    ASSERT_TRUE(m_run.Start(*m_staged, "", {}, {"--silent", "--dir", dir, "--log=" + log}));
    ASSERT_TRUE(m_run.WaitExit(60000));
    const std::string out = m_run.Output();
    EXPECT_EQ(m_run.ExitCode(), 0) << out;
    EXPECT_EQ(Count(out, "正在下载安装包..."), 1u) << out;  // progress reports stay quiet
    EXPECT_NE(out.find("[ 80%] 正在安装..."), std::string::npos) << out;
    // (The debugger stream, on standard error, is mixed in here.)
    EXPECT_NE(out.find("[100%] 安装完成\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\ninstalled\n"), std::string::npos) << out;
    EXPECT_EQ(qitest::ReadLines(Temp("args")),
              (std::vector<std::string>{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/DIR=" + dir}));
    bool reported = false;
    for (const auto& request : m_server.Requests())
        reported = reported || request.path == "/stats";
    EXPECT_TRUE(reported) << "the report left after the program";

    const std::string text = qitest::TempDir::Read(log);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_NE(text.find("install_pack_url=[http://" + base.substr(7) + "/pack.exe]"),
              std::string::npos);
    EXPECT_NE(text.find("[transfer " + base +
                        "/pack.exe status=200 bytes=" + std::to_string(package.size())),
              std::string::npos);
    EXPECT_NE(text.find("sha256 matches the pin: " + Sha256Hex(package)), std::string::npos);
    EXPECT_NE(text.find("/DIR=\"" + dir + "\"] strResult=[setup ran"), std::string::npos);
    EXPECT_NE(text.find("user.ini=[" + dir + "/user.ini]"), std::string::npos);
    EXPECT_NE(text.find("/stats status=200"), std::string::npos);
    EXPECT_NE(text.find("result=0 (none)"), std::string::npos);
}

// Each failure ends the run with its own exit code and names its reason on the last lines.
TEST_F(Unattended, EachFailureClassIsItsExitCode) {
    struct Case {
        const char* name;
        InstallFailure expected;
        std::function<void()> arrange;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"not found",
         InstallFailure::HttpStatus,
         [this] { m_server.Set("/pack.exe", CCannedResponse::Status(404, "no")); },
         {}},
        {"digest",
         InstallFailure::DigestMismatch,
         [this] {
             m_server.Set("/pack.exe", CCannedResponse::Status(200, "not the package"));
             m_staged->Temp().Write("app/Install.ini",
                                    Ini() + "install_pack_sha256=" + std::string(64, 'a'));
         },
         {}},
        {"setup",
         InstallFailure::SetupFailed,
         [this] { m_server.Set("/pack.exe", CCannedResponse::Status(200, Package(3))); },
         {}},
        {"address",
         InstallFailure::BadAddress,
         [this] { m_staged->Temp().Write("app/Install.ini", qitest::OfflineInstallIni()); },
         {}},
        {"folder", InstallFailure::InvalidInstallDir, [] {}, {"--dir", "/proc/no/such/folder"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stage();
        c.arrange();
        std::vector<std::string> args = {"--silent", "--dir", Temp("target")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CInstallerRun run;
        ASSERT_TRUE(run.Start(*m_staged, "", {}, args));
        ASSERT_TRUE(run.WaitExit(60000));
        const std::string out = run.Output();
        EXPECT_EQ(run.ExitCode(), static_cast<int>(c.expected)) << out;
        EXPECT_NE(out.find(InstallFailureName(c.expected)), std::string::npos) << out;
    }
    Stage();
    CInstallerRun missing;
    ASSERT_TRUE(missing.Start(*m_staged, "", {}, {"--silent", "--package", Temp("none.exe")}));
    ASSERT_TRUE(missing.WaitExit(10000));
    EXPECT_EQ(missing.ExitCode(), static_cast<int>(InstallFailure::Usage));
    EXPECT_NE(missing.Output().find("--package: no such file"), std::string::npos);
}

// Ctrl+C in the middle of a download ends the run at once as cancelled.
TEST_F(Unattended, AnInterruptStopsTheRunAsCancelled) {
    Stage();
    CCannedResponse slow;
    slow.generatedSize = 64 << 20;
    slow.pieceSize = 4096;
    slow.pieceDelayMs = 50;
    m_server.Set("/pack.exe", slow);
    ASSERT_TRUE(m_run.Start(*m_staged, "", {}, {"--silent", "--dir", Temp("target")}));
    ASSERT_TRUE(m_run.WaitForOutput("正在下载安装包...", 30000)) << m_run.Output();
    ::kill(m_run.Pid(), SIGINT);
    ASSERT_TRUE(m_run.WaitExit(10000));
    EXPECT_EQ(m_run.ExitCode(), static_cast<int>(InstallFailure::Cancelled)) << m_run.Output();
    EXPECT_FALSE(qitest::FileExists(Temp("args")));
}

// A layout puts the runtime installer and the checked package into its folder and runs
// neither.
TEST_F(Unattended, ALayoutFetchesTheRuntimeAndThePackageForOfflineUse) {
    Stage();
    const std::string package = Package(0);
    m_server.Set("/pack.exe", CCannedResponse::Status(200, package));
    m_server.Set("/net4.exe", CCannedResponse::Status(200, "runtime"));
    m_staged->Temp().Write("app/Install.ini",
                           Ini() + "install_pack_sha256=" + Sha256Hex(package) + "\n");
    ASSERT_TRUE(m_run.Start(*m_staged, "", {}, {"--layout", Temp("media")}));
    ASSERT_TRUE(m_run.WaitExit(60000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
    EXPECT_EQ(qitest::TempDir::Read(Temp("media/net4.exe")), "runtime");
    EXPECT_EQ(qitest::TempDir::Read(Temp("media/QuilloraSetup.exe")), package);
    EXPECT_FALSE(qitest::FileExists(Temp("args")));
    EXPECT_NE(m_run.Output().find("\ndone\n"), std::string::npos) << m_run.Output();
}

}  // namespace
