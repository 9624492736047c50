// Downloads a user can trust and that survive a bad line: SHA-256, certificate checking,
// schemes, the temporary file, retries with resume, proxies. Against real local servers.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/ClusterCurl.h"
#include "net/Sha256.h"
#include "net/SystemProxy.h"
#include "net/TransferSettings.h"
#include "platform/DebugOutput.h"
#include "platform/Thread.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCerts.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using qitest::CCannedResponse;
using qitest::CTestHttpServer;
using qitest::FileExists;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// True when the file holds exactly the generated pattern of `size` bytes.
bool HoldsGenerated(const std::string& path, uint64_t size, uint64_t seed = 0) {
    std::ifstream in(qitest::FsPath(path), std::ios::binary);
    std::vector<char> buffer(kMiB);
    uint64_t at = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        if (std::string(buffer.data(), got) != CTestHttpServer::GeneratedBytes(at, got, seed))
            return false;
        at += got;
    }
    return at == size;
}

class CShareListener final : public CLibcurlDownCallback {
public:
    void OnDownloadProgress(int, int, double total, double now) override {
        shares.push_back(total > 0 ? now / total : -1);
    }
    void OnUploadProgress(int, double, double) override {}
    std::vector<double> shares;
};

class ClusterCurlTrustTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.IsRunning()); }
    void TearDown() override { SetDefaultTransferSettings(CTransferSettings()); }

    // Options with retries that do not wait as long as the real ones.
    static TransferOptions Retrying(int retries, const std::string& sha = "") {
        TransferOptions options = DefaultTransferOptions();
        options.retries = retries;
        options.sha256 = sha;
        options.firstBackoffMs = 5;
        options.maxBackoffMs = 50;
        return options;
    }
    CurlResult Download(const std::string& url, const std::string& name, int retries = 0,
                        const std::string& sha = "") {
        ClusterCurl client(Retrying(retries, sha));
        return client.downloadFile(url, dir.Path(), name);
    }

    CTestHttpServer server;
    qitest::TempDir dir;
};

// ------------------------------------------------------------------ SHA-256

TEST(Sha256Test, KnownDigestsPiecewiseAndFromFiles) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Fed in uneven pieces, and read back from a file larger than the read buffer.
    const std::string bytes = CTestHttpServer::GeneratedBytes(0, 3 * kMiB + 17);
    CSha256 sha;
    for (size_t at = 0; at < bytes.size(); at += 100003)
        sha.Update(bytes.data() + at, std::min<size_t>(100003, bytes.size() - at));
    const std::string whole = sha.FinalHex();
    EXPECT_EQ(whole, Sha256Hex(bytes));
    qitest::TempDir dir;
    std::string fromFile;
    ASSERT_TRUE(Sha256OfFile(dir.Write("f.bin", bytes), fromFile));
    EXPECT_EQ(fromFile, whole);
    EXPECT_FALSE(Sha256OfFile(dir / "missing", fromFile));
    EXPECT_FALSE(Sha256OfFile(dir.Path(), fromFile));  // a folder has no digest
    sha.Reset();
    EXPECT_EQ(sha.FinalHex(), Sha256Hex(""));
}

TEST(Sha256Test, OnlySixtyFourHexDigitsOfEitherCaseParse) {
    const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = lower;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string parsed;
    EXPECT_TRUE(ParseSha256Hex(upper, parsed));
    EXPECT_EQ(parsed, lower);
    for (const std::string& bad :
         {std::string(), lower.substr(1), lower + "0", "g" + lower.substr(1),
          lower.substr(0, 63) + " ", "0x" + lower.substr(2)})
        EXPECT_FALSE(ParseSha256Hex(bad, parsed)) << bad;
}

TEST_F(ClusterCurlTrustTest, DigestDecidesWhetherTheBodyTakesItsName) {
    const std::string body = CTestHttpServer::GeneratedBytes(0, 700000);
    CCannedResponse package;
    package.generatedSize = body.size();
    server.Set("/p.exe", package);

    EXPECT_EQ(Download(server.Url("/p.exe"), "good.exe", 0, Sha256Hex(body)).code, 200);
    EXPECT_TRUE(HoldsGenerated(dir / "good.exe", body.size()));

    platform::ScopedDebugCapture capture;
    const std::string wrong(64, 'a');
    CurlResult bad = Download(server.Url("/p.exe"), "bad.exe", 0, wrong);
    EXPECT_EQ(bad.code, ClusterCurl::kSha256Mismatch);
    EXPECT_EQ(bad.message, "sha256 mismatch expected=" + wrong + " actual=" + Sha256Hex(body));
    EXPECT_FALSE(FileExists(dir / "bad.exe"));
    EXPECT_FALSE(FileExists(dir / "bad.exe.temp"));
    EXPECT_NE(capture.Text().find(bad.message), std::string::npos);
}

// ------------------------------------------------------------------ the temporary file

#ifndef _WIN32  // making a symbolic link needs a privilege on Windows
TEST_F(ClusterCurlTrustTest, TemporaryFileIsMadeAfreshNeverThroughALink) {
    server.Set("/p.exe", CCannedResponse::Status(200, "package"));
    const std::string victim = dir.Write("victim.txt", "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (dir / "p.exe.temp").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (dir / "p.exe").c_str()), 0);
    EXPECT_EQ(Download(server.Url("/p.exe"), "p.exe").code, 200);
    EXPECT_EQ(qitest::TempDir::Read(victim), "precious");
    struct stat info {};
    ASSERT_EQ(::lstat((dir / "p.exe").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(qitest::TempDir::Read(dir / "p.exe"), "package");

    // A dangling link is no obstacle either, and is not followed into a new file.
    ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "q.exe.temp").c_str()), 0);
    EXPECT_EQ(Download(server.Url("/p.exe"), "q.exe").code, 200);
    EXPECT_FALSE(FileExists(dir / "nowhere"));
}
#endif

// ------------------------------------------------------------------ schemes and TLS

TEST_F(ClusterCurlTrustTest, OnlyHttpAndHttpsAlsoAcrossRedirects) {
    const std::string secret = dir.Write("secret.txt", "local file");
    // file:///tmp/... here, file:///C:/... on Windows.
    const std::string fileUrl = (secret[0] == '/' ? "file://" : "file:///") + secret;
    server.Set("/to-file", CCannedResponse::Redirect(fileUrl));
    CurlResult redirected = Download(server.Url("/to-file"), "r.exe");
    // The redirect's status stands as the code; libcurl's text says why it was not followed
    // (on Windows its URL parser refuses a drive letter there before the scheme).
    EXPECT_EQ(redirected.code, 302);
    EXPECT_NE(redirected.message, curl_easy_strerror(CURLE_OK));
    EXPECT_FALSE(FileExists(dir / "r.exe"));
    EXPECT_FALSE(FileExists(dir / "r.exe.temp"));

    CurlResult direct = Download(fileUrl, "d.exe");
    EXPECT_EQ(direct.code, CURLE_UNSUPPORTED_PROTOCOL);
    EXPECT_FALSE(FileExists(dir / "d.exe"));

    ClusterCurl client;
    std::string body;
    EXPECT_EQ(client.httpGet(fileUrl, body).code, CURLE_UNSUPPORTED_PROTOCOL);
    EXPECT_EQ(body, "");
}

// Clients take the test CA as their CA file: without one, Wine's Schannel accepts any
// certificate at all.
class ClusterCurlTlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTransferSettings withCa;
        withCa.caFile = qitest::TestCaFile();
        SetDefaultTransferSettings(withCa);
    }
    void TearDown() override { SetDefaultTransferSettings(CTransferSettings()); }
    qitest::TempDir dir;
};

TEST_F(ClusterCurlTlsTest, OnlyACertificateOfTheTrustedCaForItsOwnNamePasses) {
    const qitest::CTlsSite issued(qitest::TlsCertificate::Issued);
    const qitest::CTlsSite wrongName(qitest::TlsCertificate::WrongName);
    const qitest::CTlsSite selfSigned(qitest::TlsCertificate::SelfSigned);
    for (const qitest::CTlsSite* site : {&issued, &wrongName, &selfSigned})
        ASSERT_TRUE(site->Put("/p.exe", "over tls"));

    ClusterCurl trusted;
    EXPECT_TRUE(trusted.options().verifyTls);  // the default
    EXPECT_EQ(trusted.downloadFile(issued.Url("/p.exe"), dir.Path(), "p.exe").code, 200);
    EXPECT_EQ(qitest::TempDir::Read(dir / "p.exe"), "over tls");

    for (const qitest::CTlsSite* site : {&wrongName, &selfSigned}) {
        ClusterCurl checked;
        CurlResult refused = checked.downloadFile(site->Url("/p.exe"), dir.Path(), "q.exe");
        EXPECT_EQ(refused.code, CURLE_PEER_FAILED_VERIFICATION) << site->Url("/p.exe");
        EXPECT_EQ(refused.failure, DownloadFailure::CertificateRefused);
        EXPECT_FALSE(FileExists(dir / "q.exe"));
        EXPECT_FALSE(FileExists(dir / "q.exe.temp"));
    }
}

TEST_F(ClusterCurlTlsTest, WithCheckingOffAnyCertificatePasses) {
    const qitest::CTlsSite selfSigned(qitest::TlsCertificate::SelfSigned);
    ASSERT_TRUE(selfSigned.Put("/p.exe", "unchecked"));
    TransferOptions off = DefaultTransferOptions();
    off.verifyTls = false;
    ClusterCurl unchecked(off);
    EXPECT_EQ(unchecked.downloadFile(selfSigned.Url("/p.exe"), dir.Path(), "p.exe").code, 200);
    EXPECT_EQ(qitest::TempDir::Read(dir / "p.exe"), "unchecked");

    // The process-wide default reaches new clients, the request manager's too.
    CTransferSettings offByDefault = GetDefaultTransferSettings();
    offByDefault.verifyTls = false;
    SetDefaultTransferSettings(offByDefault);
    ClusterCurl fromDefaults;
    std::string body;
    EXPECT_EQ(fromDefaults.httpGet(selfSigned.Url("/p.exe"), body).code, 200);
    EXPECT_EQ(body, "unchecked");
}

#ifndef _WIN32  // Wine's Schannel takes any certificate when no CA file is given
TEST_F(ClusterCurlTlsTest, WithoutACaFileTheSystemStoreDecides) {
    SetDefaultTransferSettings(CTransferSettings());
    const qitest::CTlsSite issued(qitest::TlsCertificate::Issued);
    ASSERT_TRUE(issued.Put("/p.exe", "issued"));
    ClusterCurl systemStore;  // the test CA is not in the system's store
    EXPECT_EQ(systemStore.downloadFile(issued.Url("/p.exe"), dir.Path(), "p.exe").code,
              CURLE_PEER_FAILED_VERIFICATION);
}
#endif

// ------------------------------------------------------------------ retries and resume

// A package that breaks off at each of `cuts` (fractions of `size`) in turn, then arrives.
std::vector<CCannedResponse> CutSequence(uint64_t size, std::vector<double> cuts, bool ranges) {
    std::vector<CCannedResponse> sequence;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        CCannedResponse r;
        r.generatedSize = size;
        r.acceptRanges = ranges;
        r.etag = ranges ? "\"v1\"" : "";
        if (i < cuts.size())
            r.cutAfter = static_cast<uint64_t>(static_cast<double>(size) * cuts[i]);
        sequence.push_back(r);
    }
    return sequence;
}

TEST_F(ClusterCurlTrustTest, CutsAreResumedWithRangeAndIfRange) {
    const uint64_t size = 64 * kMiB;
    server.SetSequence("/big.exe", CutSequence(size, {0.3, 0.6, 0.9}, true));
    platform::ScopedDebugCapture capture;
    CShareListener listener;
    TransferOptions options = Retrying(5, Sha256Hex(CTestHttpServer::GeneratedBytes(0, size)));
    options.listener = &listener;
    ClusterCurl client(options);
    CurlResult result = client.downloadFile(server.Url("/big.exe"), dir.Path(), "big.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(HoldsGenerated(dir / "big.exe", size));
    EXPECT_LT(static_cast<double>(server.BodyBytesSent()), 1.1 * static_cast<double>(size));

    std::vector<qitest::CRecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].Header("Range"), "");
    for (size_t i = 1; i < 4; ++i) {
        const uint64_t from = static_cast<uint64_t>(static_cast<double>(size) * (0.3 * i));
        EXPECT_EQ(requests[i].Header("Range"), "bytes=" + std::to_string(from) + "-");
        EXPECT_EQ(requests[i].Header("If-Range"), "\"v1\"");
    }
    // One line per retry, with its reason and its wait.
    const std::string log = capture.Text();
    size_t lines = 0;
    for (size_t at = log.find("[downloadFile retry "); at != std::string::npos;
         at = log.find("[downloadFile retry ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u) << log;
    // Each attempt brought bytes: none counts against the budget.
    EXPECT_NE(log.find("retry fruitless=0/5 reason=[Transferred a partial file] code=18 wait="),
              std::string::npos)
        << log;
    for (size_t i = 1; i < listener.shares.size(); ++i)
        EXPECT_GE(listener.shares[i], listener.shares[i - 1]);
}

TEST_F(ClusterCurlTrustTest, WithoutRangesOrWithAChangedFileItStartsOver) {
    const uint64_t size = 4 * kMiB;
    server.SetSequence("/plain.exe", CutSequence(size, {0.5}, false));
    EXPECT_EQ(Download(server.Url("/plain.exe"), "plain.exe", 5).code, 200);
    EXPECT_TRUE(HoldsGenerated(dir / "plain.exe", size));
    std::vector<qitest::CRecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Range"), "");

    // The file changes between the attempts: If-Range no longer matches, the server sends
    // the new file whole, and nothing of the old one stays.
    CCannedResponse oldFile = CutSequence(size, {0.5}, true)[0];
    CCannedResponse newFile = CutSequence(size, {}, true)[0];
    newFile.etag = "\"v2\"";
    newFile.patternSeed = 9;
    server.SetSequence("/changing.exe", {oldFile, newFile});
    EXPECT_EQ(Download(server.Url("/changing.exe"), "changing.exe", 5).code, 200);
    EXPECT_TRUE(HoldsGenerated(dir / "changing.exe", size, 9));
    requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].Header("If-Range"), "\"v1\"");

    // Last-Modified serves as the validator when there is no strong ETag.
    CCannedResponse dated = CutSequence(size, {0.25}, true)[0];
    dated.etag = "W/\"weak\"";
    dated.lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
    CCannedResponse datedRest = dated;
    datedRest.cutAfter = UINT64_MAX;
    server.SetSequence("/dated.exe", {dated, datedRest});
    EXPECT_EQ(Download(server.Url("/dated.exe"), "dated.exe", 5).code, 200);
    EXPECT_TRUE(HoldsGenerated(dir / "dated.exe", size));
    requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[5].Header("If-Range"), dated.lastModified);
    EXPECT_EQ(requests[5].Header("Range"), "bytes=" + std::to_string(size / 4) + "-");
}

TEST_F(ClusterCurlTrustTest, PermanentAnswersAreNotRetriedTransientOnesFiveTimes) {
    server.Set("/gone.exe", CCannedResponse::Status(404, "no"));
    EXPECT_EQ(Download(server.Url("/gone.exe"), "gone.exe", 5).code, 404);
    EXPECT_EQ(server.Requests().size(), 1u);

    server.Set("/busy.exe", CCannedResponse::Status(503, "busy"));
    CurlResult busy = Download(server.Url("/busy.exe"), "busy.exe", 5);
    EXPECT_EQ(busy.code, 503);
    EXPECT_EQ(server.Requests().size(), 1u + 6u);
    EXPECT_FALSE(FileExists(dir / "busy.exe"));
    EXPECT_FALSE(FileExists(dir / "busy.exe.temp"));

    // Each of the transient statuses is retried, then the package arrives.
    for (int status : {408, 429, 500, 502, 504}) {
        SCOPED_TRACE(status);
        server.SetSequence("/flaky.exe", {CCannedResponse::Status(status, "later"),
                                          CCannedResponse::Status(200, "finally")});
        EXPECT_EQ(Download(server.Url("/flaky.exe"), "flaky.exe", 5).code, 200);
        EXPECT_EQ(qitest::TempDir::Read(dir / "flaky.exe"), "finally");
    }
    // And no retry at all without retries: the behaviour of before.
    const size_t before = server.Requests().size();
    EXPECT_EQ(Download(server.Url("/busy.exe"), "busy.exe").code, 503);
    EXPECT_EQ(server.Requests().size(), before + 1);
}

TEST_F(ClusterCurlTrustTest, RefusedConnectionsAreRetriedAndRetryAfterIsHonoured) {
    CurlResult refused = Download("http://127.0.0.1:1/p.exe", "p.exe", 2);
    EXPECT_EQ(refused.code, CURLE_COULDNT_CONNECT);

    CCannedResponse later = CCannedResponse::Status(503, "later");
    later.headers.emplace_back("Retry-After", "1");
    server.SetSequence("/later.exe", {later, CCannedResponse::Status(200, "now")});
    platform::ScopedDebugCapture capture;
    TransferOptions options = Retrying(5);
    options.maxBackoffMs = 3000;
    ClusterCurl client(options);
    EXPECT_EQ(client.downloadFile(server.Url("/later.exe"), dir.Path(), "later.exe").code, 200);
    // The server's second, not the 5 ms back-off; and a later answer is capped at 3 s.
    EXPECT_NE(capture.Text().find("reason=[HTTP 503] code=503 wait=1000ms"), std::string::npos)
        << capture.Text();
    later.headers.back().second = "3600";
    server.SetSequence("/later.exe", {later, CCannedResponse::Status(200, "now")});
    EXPECT_EQ(client.downloadFile(server.Url("/later.exe"), dir.Path(), "later.exe").code, 200);
    EXPECT_NE(capture.Text().find("code=503 wait=3000ms"), std::string::npos) << capture.Text();
}

TEST_F(ClusterCurlTrustTest, AStopEndsTheBackoffWaitAtOnce) {
    server.Set("/busy.exe", CCannedResponse::Status(503, "busy"));

    for (bool ownerCancels : {false, true}) {
        SCOPED_TRACE(ownerCancels);
        std::atomic<bool> stop{false};
        CurlResult result;
        std::atomic<int64_t> returnedAt{0};
        platform::GatedThread thread;
        const size_t before = server.Requests().size();
        ASSERT_TRUE(thread.Start([&] {
            TransferOptions options = Retrying(5);
            options.firstBackoffMs = 20000;
            options.maxBackoffMs = 30000;
            options.stopFlag = &stop;
            ClusterCurl client(options);
            result = client.downloadFile(server.Url("/busy.exe"), dir.Path(), "busy.exe");
            returnedAt = std::chrono::steady_clock::now().time_since_epoch().count();
            return 0u;
        }));
        thread.Resume();
        ASSERT_TRUE(server.WaitForRequests(before + 1, 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into the wait
        const auto stopAt = std::chrono::steady_clock::now();
        if (ownerCancels)
            thread.RequestCancel();
        else
            stop = true;
        for (int i = 0; i < 1000 && !thread.HasFinished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(thread.HasFinished());
        thread.Join();
        const auto took =
            std::chrono::steady_clock::duration(returnedAt.load()) - stopAt.time_since_epoch();
        // The wait looks at the stop every 20 ms; the bound here is only generous.
        EXPECT_LT(took, std::chrono::milliseconds(1000));
        EXPECT_EQ(result.code, 503);
        EXPECT_EQ(result.failure, DownloadFailure::Cancelled);
        EXPECT_EQ(server.Requests().size(), before + 1);  // no second attempt
        EXPECT_FALSE(FileExists(dir / "busy.exe.temp"));
    }
}

// ------------------------------------------------------------------ proxies

using qitest::ScopedEnv;

TEST_F(ClusterCurlTrustTest, ExplicitAndEnvironmentProxiesCarryTheTransfer) {
    qitest::CTestHttpProxy proxy;
    ASSERT_TRUE(proxy.IsRunning());
    server.Set("/p.exe", CCannedResponse::Status(200, "via proxy"));
    ScopedEnv noProxy("no_proxy", nullptr);
    ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    ScopedEnv allProxy("all_proxy", nullptr);
    ScopedEnv allProxyUpper("ALL_PROXY", nullptr);

    {
        ScopedEnv httpProxy("http_proxy", nullptr);
        TransferOptions viaProxy = DefaultTransferOptions();
        viaProxy.proxy = proxy.Url();
        ClusterCurl client(viaProxy);
        EXPECT_EQ(client.downloadFile(server.Url("/p.exe"), dir.Path(), "a.exe").code, 200);
        EXPECT_EQ(qitest::TempDir::Read(dir / "a.exe"), "via proxy");
        ASSERT_EQ(proxy.Targets().size(), 1u);
        EXPECT_EQ(proxy.Targets()[0], server.Url("/p.exe"));

        // Without a proxy anywhere, the transfer goes direct.
        ClusterCurl direct;
        EXPECT_EQ(direct.downloadFile(server.Url("/p.exe"), dir.Path(), "b.exe").code, 200);
        EXPECT_EQ(proxy.Targets().size(), 1u);
    }
    {
        ScopedEnv httpProxy("http_proxy", proxy.Url().c_str());
        ClusterCurl fromEnvironment;
        EXPECT_EQ(fromEnvironment.downloadFile(server.Url("/p.exe"), dir.Path(), "c.exe").code,
                  200);
        EXPECT_EQ(proxy.Targets().size(), 2u);
        std::string viaResolver;
        if (HasSystemProxyResolver()) {
            ASSERT_TRUE(ResolveSystemProxy(server.Url("/p.exe"), viaResolver));
            EXPECT_EQ(viaResolver, proxy.Url());
        }
    }
}

}  // namespace
