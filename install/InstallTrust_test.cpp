// The install steps with the keys of downloads a user can trust: digests of the package
// and the runtime, certificate checking, proxies, and a package that arrives over a line
// that keeps breaking. A real install thread, local servers, recording programs as the
// programs.

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "net/ClusterCurl.h"
#include "net/HttpMgr.h"
#include "net/Sha256.h"
#include "net/TransferSettings.h"
#include "platform/DebugOutput.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "sys/RegSettings.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TestSignatures.h"

using qitest::CCannedResponse;
using qitest::CTestHttpServer;
using qitest::InstallEventRecord;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class InstallTrustTest : public ::testing::Test {
protected:
    qitest::CScopedWorkFolder workFolder;  // downloads and checks in a folder of the test
    qitest::CScopedPublisherKeys unkeyed;  // it serves unsigned files: a build without keys
    void SetUp() override {
        ASSERT_TRUE(server.IsRunning());
        ASSERT_TRUE(registry.Ok());
        CTransferSettings quick;  // retries without the real waits
        quick.firstBackoffMs = 5;
        quick.maxBackoffMs = 50;
        SetDefaultTransferSettings(quick);
        m_module.emplace(
            qitest::OverrideModuleFileName(platform::Utf8ToWide(exeDir / "quillora-installer")));
        RuntimePresent(true);
        server.Set("/stats", CCannedResponse::Status(200, "ok"));
        installDir = target / "Program Files/Quillora";
    }
    void TearDown() override {
        mgr.reset();
        CHttpMgr::GetInstance()->TerminateAll();
        SetDefaultTransferSettings(CTransferSettings());
    }
    std::optional<qitest::ScopedOverride> m_module;

    void RuntimePresent(bool present) {
        const wchar_t ndp[] = L"Software\\Microsoft\\NET Framework Setup\\NDP";
        if (present)
            ASSERT_TRUE(CRegSettings(platform::HKEY_LOCAL_MACHINE,
                                     (std::wstring(ndp) + L"\\v4").c_str(), true, true)
                            .IsOpen());
        else
            CRegSettings(platform::HKEY_LOCAL_MACHINE, ndp, true, false).DeleteKeyTree(L"v4");
    }

    // Install.ini pointing at `base` (the test server unless said otherwise) plus `extra`.
    void WriteIni(const std::string& extra, const std::string& base = "") {
        const std::string b = base.empty() ? server.Url("") : base;
        exeDir.Write("Install.ini", "[Config]\r\nnet40_url=" + b + "/net.exe\r\nnet45_url=" + b +
                                        "/net.exe\r\ninstall_pack_url=" + b +
                                        "/pack.exe\r\ninstall_statistics_url=" +
                                        server.Url("/stats") + "\r\n" + extra);
    }

    // A setup package that records that it ran (in "ran"), padded to `size` bytes.
    std::string Package(size_t size = 0) {
        std::string bytes =
            qitest::RecordingProgramBytes(workFolder / "QuilloraSetup.exe", target / "ran", 0);
        EXPECT_FALSE(bytes.empty());
        if (size > bytes.size())
            bytes += CTestHttpServer::GeneratedBytes(0, size - bytes.size());
        return bytes;
    }
    // The same, already beside the installer.
    void PackageBeside() {
        ASSERT_TRUE(
            workFolder.PlaceRecordingProgram(exeDir / "QuilloraSetup.exe", target / "ran", 0));
    }
    // A runtime installer that records that it ran (in "net-ran").
    std::string Runtime() {
        return qitest::RecordingProgramBytes(workFolder / "net4.exe", target / "net-ran", 0);
    }
    bool Ran(const char* record) const { return qitest::FileExists(target / record); }
    void Forget(const char* record) {
        std::error_code ec;
        std::filesystem::remove(qitest::FsPath(target / record), ec);
    }

    void RunInstallation() {
        mgr = std::make_unique<CInstallMgr>();
        mgr->SetInstallDir(platform::Utf8ToWide(installDir));
        mgr->BeginInstallThread();
        ASSERT_TRUE(events.PumpUntil([&] { return mgr->IsInstallThreadFinished(); }));
    }

    const InstallEventRecord& Last() const { return events.Seen().back(); }
    bool Saw(int progress, int status, const std::wstring& text) const {
        const auto& seen = events.Seen();
        return std::any_of(seen.begin(), seen.end(), [&](const InstallEventRecord& e) {
            return e.progress == progress && e.status == status && e.text == text;
        });
    }
    bool Succeeded() const {
        return !events.Seen().empty() && Last().progress == 100 && Last().status == 0;
    }
    void ExpectRefusedPackage() {
        ASSERT_FALSE(events.Seen().empty());
        EXPECT_EQ(Last().progress, 80);
        EXPECT_EQ(Last().status, -1);
        EXPECT_EQ(Last().text, L"安装包校验失败");
        EXPECT_FALSE(qitest::FileExists(workFolder / "QuilloraSetup.exe"));
        EXPECT_FALSE(qitest::FileExists(workFolder / "QuilloraSetup.exe.temp"));
        EXPECT_FALSE(Ran("ran")) << "the package ran";
    }
    size_t Requests(const std::string& path) const {
        size_t n = 0;
        for (const auto& r : server.Requests())
            n += r.path == path ? 1 : 0;
        return n;
    }

    CTestHttpServer server;
    qitest::TempRegistry registry;
    qitest::TempDir exeDir;
    qitest::TempDir target;
    std::string installDir;
    qitest::InstallEvents events;
    std::unique_ptr<CInstallMgr> mgr;
};

// ------------------------------------------------------------------ digests

TEST_F(InstallTrustTest, DigestKeysReadStrictly) {
    WriteIni("install_pack_sha256= " + Upper(std::string(64, 'c')) +
             " \r\nnet40_sha256=\r\nnet45_sha256=xyz\r\n");
    const std::wstring ini = GetInstallIniPath();
    CDigestSetting pack = GetConfigDigest(ini, L"install_pack_sha256");
    EXPECT_TRUE(pack.set && pack.valid);
    EXPECT_EQ(pack.hex, std::string(64, 'c'));
    CDigestSetting empty = GetConfigDigest(ini, L"net40_sha256");
    EXPECT_TRUE(empty.set);  // present but empty: malformed, never "not set"
    EXPECT_FALSE(empty.valid);
    EXPECT_FALSE(GetConfigDigest(ini, L"net45_sha256").valid);
    EXPECT_FALSE(GetConfigDigest(L"/nonexistent/Install.ini", L"install_pack_sha256").set);
    for (const char* odd : {"\x01", "\x02", "\x01\x02"}) {  // any text at all is a value
        WriteIni(std::string("install_pack_sha256=") + odd + "\r\n");
        CDigestSetting setting = GetConfigDigest(ini, L"install_pack_sha256");
        EXPECT_TRUE(setting.set && !setting.valid) << int(odd[0]);
    }
    EXPECT_TRUE(GetConfigTlsVerify(ini));
    WriteIni("tls_verify=0\r\nproxy=socks5h://127.0.0.1:9\r\n");
    EXPECT_FALSE(GetConfigTlsVerify(ini));
    EXPECT_EQ(GetConfigProxy(ini), L"socks5h://127.0.0.1:9");
    WriteIni("tls_verify=off\r\n");
    EXPECT_TRUE(GetConfigTlsVerify(ini));  // only 0 turns it off
}

TEST_F(InstallTrustTest, CorrectDigestOfEitherCaseInstalls) {
    const std::string package = Package(200000);
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    WriteIni("install_pack_sha256=" + Sha256Hex(package) + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_TRUE(Ran("ran"));

    // Found beside the installer on the next run, an upper-case digest still matches.
    Forget("ran");
    WriteIni("install_pack_sha256=" + Upper(Sha256Hex(package)) + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_EQ(Requests("/pack.exe"), 1u);  // not fetched again
    EXPECT_TRUE(Ran("ran"));
}

TEST_F(InstallTrustTest, WrongDigestNeverRunsTheFileDownloadedOrBeside) {
    const std::string package = Package();
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    const std::string wrong = Sha256Hex("something else");
    WriteIni("install_pack_sha256=" + wrong + "\r\n");
    platform::ScopedDebugCapture capture;
    RunInstallation();
    ExpectRefusedPackage();
    // Both digests are in the log.
    EXPECT_NE(capture.Text().find(wrong), std::string::npos);
    EXPECT_NE(capture.Text().find(Sha256Hex(package)), std::string::npos);

    // Beside the installer: its copy is refused, so it is downloaded (and refused) instead.
    PackageBeside();
    RunInstallation();
    ExpectRefusedPackage();
    EXPECT_EQ(Requests("/pack.exe"), 2u);
}

TEST_F(InstallTrustTest, MalformedDigestRefusesWithAClearLine) {
    server.Set("/pack.exe", CCannedResponse::Status(200, Package()));
    WriteIni("install_pack_sha256=" + std::string(63, 'a') + "\r\n");
    platform::ScopedDebugCapture capture;
    RunInstallation();
    ExpectRefusedPackage();
    EXPECT_EQ(Requests("/pack.exe"), 0u);
    EXPECT_NE(capture.Text().find("install_pack_sha256=[" + std::string(63, 'a') + "]"),
              std::string::npos)
        << capture.Text();

    PackageBeside();
    for (const char* value : {"", "\x01"}) {  // present and empty, or odd, is no digest either
        WriteIni(std::string("install_pack_sha256=") + value + "\r\n");
        RunInstallation();
        ExpectRefusedPackage();
    }
}

TEST_F(InstallTrustTest, RuntimeDigestFailsItsOwnStepOnly) {
    RuntimePresent(false);
    server.Set("/net.exe", CCannedResponse::Status(200, Runtime()));
    server.Set("/pack.exe", CCannedResponse::Status(200, Package()));
    WriteIni("net45_sha256=" + Sha256Hex("not the runtime") +
             "\r\nnet40_sha256=" + Sha256Hex(Runtime()) + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Saw(40, -1, L"下载 Net Framework 组件失败"));
    EXPECT_FALSE(Ran("net-ran"));
    EXPECT_FALSE(qitest::FileExists(workFolder / "net4.exe"));
    EXPECT_TRUE(Succeeded());  // the package installs all the same

    std::error_code ec;
    std::filesystem::remove(qitest::FsPath(workFolder / "QuilloraSetup.exe"), ec);
    WriteIni("net45_sha256=" + Upper(Sha256Hex(Runtime())) + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Saw(40, 0, L"安装 Net Framework 组件成功"));
    EXPECT_TRUE(Ran("net-ran"));
}

// ------------------------------------------------------------------ a line that breaks

TEST_F(InstallTrustTest, PackageCutAtThirtySixtyAndNinetyPercentIsResumed) {
    const uint64_t size = 64 * kMiB;
    const std::string package = Package(size);
    std::vector<CCannedResponse> sequence;
    for (double cut : {0.3, 0.6, 0.9, 2.0}) {
        CCannedResponse r;
        r.body = package;
        r.acceptRanges = true;
        r.etag = "\"pack-1\"";
        if (cut < 1)
            r.cutAfter = static_cast<uint64_t>(static_cast<double>(size) * cut);
        sequence.push_back(std::move(r));
    }
    server.SetSequence("/pack.exe", sequence);
    WriteIni("install_pack_sha256=" + Sha256Hex(package) + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_EQ(Requests("/pack.exe"), 4u);
    EXPECT_LT(static_cast<double>(server.BodyBytesSent()), 1.1 * static_cast<double>(size));
    std::string digest;
    ASSERT_TRUE(Sha256OfFile(workFolder / "QuilloraSetup.exe", digest));
    EXPECT_EQ(digest, Sha256Hex(package));
    // The bar never went back while the attempts came and went.
    int last = 0;
    for (const InstallEventRecord& e : events.Seen()) {
        EXPECT_GE(e.progress, last);
        last = e.progress;
    }
}

TEST_F(InstallTrustTest, FiveFailuresEndWithTheDownloadFailure) {
    server.Set("/pack.exe", CCannedResponse::Status(503, "busy"));
    WriteIni("");
    RunInstallation();
    EXPECT_EQ(Requests("/pack.exe"), 6u);
    ASSERT_FALSE(events.Seen().empty());
    EXPECT_EQ(Last().progress, 80);
    EXPECT_EQ(Last().status, -1);
    EXPECT_EQ(Last().text, L"下载安装包失败");

    server.Set("/gone.exe", CCannedResponse::Status(404, "gone"));
    exeDir.Write("Install.ini", "[Config]\r\ninstall_pack_url=" + server.Url("/gone.exe") +
                                    "\r\ninstall_statistics_url=" + server.Url("/stats") + "\r\n");
    RunInstallation();
    EXPECT_EQ(Requests("/gone.exe"), 1u);  // a permanent answer is tried once
    EXPECT_EQ(Last().text, L"下载安装包失败");
}

TEST_F(InstallTrustTest, MirrorKeysCarryTheDownloadsWhenTheMainUrlsFail) {
    RuntimePresent(false);
    server.Set("/net-mirror.exe", CCannedResponse::Status(200, Runtime()));
    server.Set("/pack-mirror.exe", CCannedResponse::Status(200, Package()));
    // The main URLs answer 404 (nothing is set for them): each mirror list is tried in order,
    // the unusable entries as the main URL would be.
    WriteIni("install_pack_mirrors=ftp://127.0.0.1:1/p.exe " + server.Url("/pack-mirror.exe") +
             "\r\nnet40_mirrors=" + server.Url("/net-mirror.exe") +
             "\r\nnet45_mirrors=" + server.Url("/net-mirror.exe") + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_TRUE(Ran("net-ran"));
    EXPECT_TRUE(Ran("ran"));
    EXPECT_EQ(Requests("/pack.exe"), 1u);  // a permanent answer: no retries
    EXPECT_EQ(Requests("/net.exe"), 1u);
}

// ------------------------------------------------------------------ certificates, proxies

// The client is given the test CA (the self-signed certificate is not of it): without a CA
// file, Wine's Schannel would accept any certificate.
TEST_F(InstallTrustTest, SelfSignedServerNeedsTlsVerifyZero) {
    CTransferSettings withCa = GetDefaultTransferSettings();
    withCa.caFile = qitest::TestCaFile();
    SetDefaultTransferSettings(withCa);
    const qitest::CTlsSite site(qitest::TlsCertificate::SelfSigned);
    ASSERT_TRUE(site.Put("/pack.exe", Package()));

    WriteIni("", site.Url(""));
    RunInstallation();
    EXPECT_EQ(Last().text, L"下载安装包失败");
    EXPECT_FALSE(Ran("ran"));

    platform::ScopedDebugCapture capture;
    WriteIni("tls_verify=0\r\n", site.Url(""));
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_TRUE(Ran("ran"));
    EXPECT_NE(capture.Text().find("CInstallMgr::DownInstallFile warning tls_verify=0"),
              std::string::npos)
        << capture.Text();
}

TEST_F(InstallTrustTest, ProxyKeyCarriesTheDownloads) {
    qitest::CTestHttpProxy proxy;
    ASSERT_TRUE(proxy.IsRunning());
    server.Set("/pack.exe", CCannedResponse::Status(200, Package()));
    WriteIni("proxy=" + proxy.Url() + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    const std::vector<std::string> targets = proxy.Targets();
    EXPECT_NE(std::find(targets.begin(), targets.end(), server.Url("/pack.exe")), targets.end());
}

}  // namespace

// ------------------------------------------------------------------ publisher signatures

// A build with the publisher's key (the test's own key pair in place of compiled-in ones).
class InstallSignedTest : public InstallTrustTest {
protected:
    InstallSignedTest() : keys(KeySet(publisher)) {}
    static CPublisherKeySet KeySet(const qitest::CTestSigner& signer) {
        CPublisherKeySet set;
        set.keys = {signer.Key()};
        return set;
    }
    std::string Signed(const std::string& bytes, const std::string& name) const {
        return publisher.Sign(bytes, qitest::CTestSigner::CommentFor(name));
    }
    void ExpectSignatureRefused(const wchar_t* text = L"安装包签名无效") {
        ASSERT_FALSE(events.Seen().empty());
        EXPECT_EQ(Last().status, -1);
        EXPECT_EQ(Last().text, text);
        EXPECT_EQ(mgr->GetResult(), InstallFailure::SignatureInvalid);
        EXPECT_FALSE(Ran("ran")) << "the package ran";
        for (const char* left : {"QuilloraSetup.exe", "QuilloraSetup.exe.minisig", "net4.exe"})
            EXPECT_FALSE(qitest::FileExists(workFolder / left)) << left;
    }

    qitest::CTestSigner publisher;
    qitest::CScopedPublisherKeys keys;
};

TEST_F(InstallSignedTest, OnlyAPackageSignedForItsNameRuns) {
    const std::string package = Package();
    const std::string good = Signed(package, "pack.exe");
    qitest::CTestSigner stranger;
    const std::vector<std::pair<const char*, CCannedResponse>> bad = {
        {"unsigned", CCannedResponse::Status(404, "no signature")},
        {"wrong key",
         CCannedResponse::Status(
             200, stranger.Sign(package, qitest::CTestSigner::CommentFor("pack.exe")))},
        {"truncated", CCannedResponse::Status(200, good.substr(0, good.size() / 2))},
        // The runtime's own valid signature, served for the package.
        {"cross-named", CCannedResponse::Status(200, Signed(Runtime(), "net.exe"))},
        {"other file", CCannedResponse::Status(200, Signed(package + "x", "pack.exe"))},
        // A hostile server's endless "signature" is cut off, not stored whole.
        {"oversized", CCannedResponse::Status(200, good + std::string(size_t{1} << 20, '#'))},
    };
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    WriteIni("install_pack_sha256=" + Sha256Hex(package) + "\r\n");  // the pin holds as well
    for (const auto& [what, signature] : bad) {
        SCOPED_TRACE(what);
        server.Set("/pack.exe.minisig", signature);
        RunInstallation();
        ExpectSignatureRefused();
    }
    server.Set("/pack.exe.minisig", CCannedResponse::Status(200, good));
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_TRUE(Ran("ran"));
}

TEST_F(InstallSignedTest, APlantedFileBesideTheInstallerNeverRuns) {
    const std::string package = Package();
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    server.Set("/pack.exe.minisig", CCannedResponse::Status(200, Signed(package, "pack.exe")));
    WriteIni("");
    // Planted without a signature, then with a valid one of another file.
    ASSERT_TRUE(
        workFolder.PlaceRecordingProgram(exeDir / "QuilloraSetup.exe", target / "planted", 0));
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_FALSE(Ran("planted"));
    EXPECT_TRUE(Ran("ran"));
    ASSERT_TRUE(
        qitest::WriteFile(exeDir / "QuilloraSetup.exe.minisig", Signed(package, "pack.exe")));
    Forget("ran");
    RunInstallation();
    EXPECT_FALSE(Ran("planted"));
    EXPECT_TRUE(Ran("ran"));
    EXPECT_EQ(Requests("/pack.exe"), 2u);

    // Signed media beside it (as --layout makes them) are used without a download.
    ASSERT_TRUE(qitest::WriteFile(exeDir / "QuilloraSetup.exe", package));
    ASSERT_TRUE(
        qitest::WriteFile(exeDir / "QuilloraSetup.exe.minisig", Signed(package, "pack.exe")));
    Forget("ran");
    RunInstallation();
    EXPECT_TRUE(Ran("ran"));
    EXPECT_EQ(Requests("/pack.exe"), 2u);
}

TEST_F(InstallSignedTest, TheSignatureComesFromTheMirrorThatServedTheFile) {
    const std::string package = Package();
    server.Set("/pack.exe", CCannedResponse::Status(404, "gone"));
    server.Set("/pack.exe.minisig", CCannedResponse::Status(200, Signed("stale", "pack.exe")));
    server.Set("/mirror/pack.exe", CCannedResponse::Status(200, package));
    server.Set("/mirror/pack.exe.minisig",
               CCannedResponse::Status(200, Signed(package, "pack.exe")));
    WriteIni("install_pack_mirrors=" + server.Url("/mirror/pack.exe") + "\r\n");
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    EXPECT_EQ(Requests("/pack.exe.minisig"), 0u);
    EXPECT_EQ(Requests("/mirror/pack.exe.minisig"), 1u);
}

// The prehashed form is checked against the digest taken during the download, which must
// then cover the bytes an earlier run left; the legacy form reads the file.
TEST_F(InstallSignedTest, APackageResumedInALaterRunIsCheckedWhole) {
    const uint64_t size = 4 * kMiB;
    const std::string package = Package(size);
    for (bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "legacy" : "prehashed");
        CCannedResponse whole;
        whole.body = package;
        whole.acceptRanges = true;
        whole.etag = "\"pack-1\"";
        CCannedResponse cut = whole;
        cut.cutAfter = size / 2;
        std::vector<CCannedResponse> sequence{cut};
        sequence.resize(1 + 6, CCannedResponse::Status(503, "busy"));  // the first run gives up
        sequence.push_back(whole);
        server.SetSequence("/pack.exe", sequence);
        server.Set(
            "/pack.exe.minisig",
            CCannedResponse::Status(
                200, publisher.Sign(package, qitest::CTestSigner::CommentFor("pack.exe"), legacy)));
        WriteIni("");
        const uint64_t sentBefore = server.BodyBytesSent();
        RunInstallation();
        EXPECT_FALSE(Succeeded());
        RunInstallation();
        EXPECT_TRUE(Succeeded());
        EXPECT_TRUE(Ran("ran"));
        EXPECT_LT(static_cast<double>(server.BodyBytesSent() - sentBefore),
                  1.1 * static_cast<double>(size))
            << "the second run did not go on from the first one's bytes";
        Forget("ran");
        std::error_code ec;
        std::filesystem::remove(qitest::FsPath(workFolder / "QuilloraSetup.exe"), ec);
    }
}

TEST_F(InstallSignedTest, AnUnsignedRuntimeInstallerEndsTheRun) {
    RuntimePresent(false);
    const std::string package = Package();
    server.Set("/net.exe", CCannedResponse::Status(200, Runtime()));
    server.Set("/pack.exe", CCannedResponse::Status(200, package));
    server.Set("/pack.exe.minisig", CCannedResponse::Status(200, Signed(package, "pack.exe")));
    WriteIni("");
    RunInstallation();
    ExpectSignatureRefused(L"Net Framework 组件签名无效");
    EXPECT_FALSE(Ran("net-ran"));
    EXPECT_EQ(Requests("/pack.exe"), 0u);
}

TEST_F(InstallTrustTest, AnUnkeyedBuildSaysOnceThatNothingWasSignatureChecked) {
    server.Set("/pack.exe", CCannedResponse::Status(200, Package()));
    WriteIni("");
    platform::ScopedDebugCapture capture;
    RunInstallation();
    EXPECT_TRUE(Succeeded());
    const std::string log = capture.Text();
    const size_t first = log.find("not signature-checked");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("not signature-checked", first + 1), std::string::npos);
    EXPECT_EQ(Requests("/pack.exe.minisig"), 0u);
}
