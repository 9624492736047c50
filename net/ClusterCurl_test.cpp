#include "net/ClusterCurl.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Time.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using qitest::CCannedResponse;
using qitest::CTestHttpServer;
using qitest::FileExists;

namespace {

const char kUserAgent[] =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; zh-CN; rv:1.9.2.3) Gecko/20100401 Firefox/3.6.3";

struct CReport {
    double total;
    double now;
    uint32_t tick;
};

// Records every report; optionally sets a stop flag at the first one.
class CRecordingListener final : public CLibcurlDownCallback {
public:
    void OnDownloadProgress(int type, int taskId, double total, double now) override {
        types.push_back(type);
        taskIds.push_back(taskId);
        reports.push_back({total, now, platform::GetTickCount()});
        if (pStopOnFirst != nullptr)
            pStopOnFirst->store(true);
    }
    void OnUploadProgress(int taskId, double total, double now) override {
        uploads.push_back({total, now, 0});
        taskIds.push_back(taskId);
    }

    std::vector<int> types;
    std::vector<int> taskIds;
    std::vector<CReport> reports;
    std::vector<CReport> uploads;
    std::atomic<bool>* pStopOnFirst = nullptr;
};

// A port on 127.0.0.1 where nothing listens any more.
int ClosedPort() {
    CTestHttpServer gone;
    return gone.Port();
}

// A body that arrives in 1 KiB pieces, 60 ms apart.
CCannedResponse SlowBody(uint64_t bytes, bool chunked = false) {
    CCannedResponse response;
    response.generatedSize = bytes;
    response.chunked = chunked;
    response.pieceSize = 1024;
    response.pieceDelayMs = 60;
    return response;
}

class ClusterCurlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.IsRunning()); }

    CTestHttpServer server;
    qitest::TempDir dir;
};

TEST_F(ClusterCurlTest, GetReportsStatusTextAndTraceForFailures) {
    server.Set("/ok", CCannedResponse::Status(200, "hello"));
    platform::ScopedDebugCapture capture;
    ClusterCurl client;

    std::string body;
    CurlResult ok = client.httpGet(server.Url("/ok"), body);
    EXPECT_EQ(ok.code, 200);
    EXPECT_EQ(ok.message, curl_easy_strerror(CURLE_OK));
    EXPECT_EQ(body, "hello");
    EXPECT_EQ(capture.Text(), "");

    body.clear();
    CurlResult missing = client.httpGet(server.Url("/missing"), body);
    EXPECT_EQ(missing.code, 404);
    EXPECT_EQ(missing.message, curl_easy_strerror(CURLE_OK));
    EXPECT_EQ(body, "not found");
    EXPECT_EQ(capture.Text(), std::string("[curl send msg error: pRes=") +
                                  curl_easy_strerror(CURLE_OK) + ", lResCode=404 \n]");

    body.clear();
    CurlResult refused =
        client.httpGet("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", body);
    EXPECT_EQ(refused.code, CURLE_COULDNT_CONNECT);
    EXPECT_EQ(refused.message, curl_easy_strerror(CURLE_COULDNT_CONNECT));

    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0].Header("User-Agent"), kUserAgent);
}

TEST_F(ClusterCurlTest, BodyCutShortIsNeverSuccess) {
    CCannedResponse cut;
    cut.body = std::string(100000, 'x');
    cut.cutAfter = 40000;
    server.Set("/cut", cut);
    CCannedResponse chunked;
    chunked.body = "chunked body";
    chunked.chunked = true;
    server.Set("/chunked", chunked);

    ClusterCurl client;
    std::string body;
    CurlResult result = client.httpGet(server.Url("/cut"), body);
    EXPECT_NE(result.code, 200);
    EXPECT_EQ(result.code, CURLE_PARTIAL_FILE);

    body.clear();
    EXPECT_EQ(client.httpGet(server.Url("/chunked"), body).code, 200);
    EXPECT_EQ(body, "chunked body");
}

TEST_F(ClusterCurlTest, RedirectsAreFollowedAndLoopsEndAtOnce) {
    server.Set("/a", CCannedResponse::Redirect("/b"));
    server.Set("/b", CCannedResponse::Redirect("/c", 301));
    server.Set("/c", CCannedResponse::Status(200, "end"));
    server.Set("/loop", CCannedResponse::Redirect("/loop"));
    ClusterCurl client;

    std::string body;
    EXPECT_EQ(client.httpGet(server.Url("/a"), body).code, 200);
    EXPECT_EQ(body, "end");

    body.clear();
    CurlResult loop = client.httpGet(server.Url("/loop"), body);
    EXPECT_NE(loop.code, 200);
    EXPECT_EQ(loop.message, curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS));
    // /a, /b, /c; then the loop's first request and the 30 redirects followed.
    EXPECT_EQ(server.Requests().size(), 3u + 31u);
}

TEST_F(ClusterCurlTest, PostSendsFormDataAndRepeatsItsHeaderLine) {
    server.Set("/form", CCannedResponse::Status(200, "taken"));
    ClusterCurl client;

    std::string body;
    EXPECT_EQ(client.httpPost(server.Url("/form"), "a=1&b=%2B", body).code, 200);
    EXPECT_EQ(body, "taken");
    body.clear();
    EXPECT_EQ(client.httpPost(server.Url("/form"), "", body).code, 200);

    ClusterCurl second;
    EXPECT_TRUE(second.addHeader("X-Extra", "1"));
    EXPECT_FALSE(second.addHeader("", "ignored"));
    body.clear();
    EXPECT_EQ(second.httpPost(server.Url("/form"), "", body).code, 200);

    std::vector<qitest::CRecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "a=1&b=%2B");
    EXPECT_EQ(requests[0].HeaderValues("Content-Type"),
              std::vector<std::string>{"application/x-www-form-urlencoded"});
    // The empty POST on the same object: empty body, and its Content-Type line twice.
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].Header("Content-Length"), "0");
    EXPECT_EQ(requests[1].HeaderValues("Content-Type").size(), 2u);
    EXPECT_EQ(requests[1].HeaderValues("Content-Type")[0], "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[2].Header("X-Extra"), "1");
    EXPECT_EQ(requests[2].HeaderValues("Content-Type").size(), 1u);
}

TEST_F(ClusterCurlTest, SettingsReachTheRequest) {
    server.Set("/s", CCannedResponse::Status(200, "s"));
    ClusterCurl client;
    EXPECT_FALSE(client.setCookie(""));
    EXPECT_TRUE(client.setCookie("session=42"));
    EXPECT_FALSE(client.setUserAgent(""));
    EXPECT_TRUE(client.setUserAgent("Other/1.0"));
    std::string body;
    EXPECT_EQ(client.httpGet(server.Url("/s"), body).code, 200);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("Cookie"), "session=42");
    // Every transfer sets the installer's fixed user agent again.
    EXPECT_EQ(server.Requests()[0].Header("User-Agent"), kUserAgent);
}

TEST_F(ClusterCurlTest, ASettingLibcurlRefusesFailsTheTransferBeforeAnyRequest) {
    server.Set("/up", CCannedResponse::Status(200, "stored"));
    ASSERT_TRUE(qitest::WriteFile((dir / "local.bin"), "content"));
    ClusterCurl client;
    // The handle's last status (404) must not stand in for a transfer that never started.
    std::string body;
    ASSERT_EQ(client.httpGet(server.Url("/missing"), body).code, 404);
    const size_t before = server.Requests().size();

    TransferOptions refusedOptions = client.options();
    refusedOptions.connectTimeoutSeconds = -1;  // libcurl takes no negative time-out
    client.setOptions(refusedOptions);
    const std::string refused =
        "[curl_easy_setopt(" + std::to_string(CURLOPT_CONNECTTIMEOUT) + ") failed: ";
    struct Transfer {
        const char* name;
        std::function<CurlResult()> run;
    };
    const Transfer transfers[] = {
        {"get", [&] { return client.httpGet(server.Url("/up"), body); }},
        {"post", [&] { return client.httpPost(server.Url("/up"), "a=1", body); }},
        {"download", [&] { return client.downloadFile(server.Url("/up"), dir.Path(), "p.exe"); }},
        {"upload", [&] { return client.uploadFile(server.Url("/up"), (dir / "local.bin")); }},
    };
    for (const Transfer& t : transfers) {
        SCOPED_TRACE(t.name);
        platform::ScopedDebugCapture capture;
        CurlResult result = t.run();
        EXPECT_EQ(result.code, CURLE_BAD_FUNCTION_ARGUMENT);
        EXPECT_EQ(result.message, curl_easy_strerror(CURLE_BAD_FUNCTION_ARGUMENT));
        EXPECT_EQ(capture.Text().find(refused), 0u) << capture.Text();
    }
    EXPECT_EQ(server.Requests().size(), before);
    EXPECT_FALSE(FileExists((dir / "p.exe")));
    EXPECT_FALSE(FileExists((dir / "p.exe.temp")));

    // Settings libcurl takes make the same object work again.
    refusedOptions.connectTimeoutSeconds = 5;
    client.setOptions(refusedOptions);
    body.clear();
    EXPECT_EQ(client.httpGet(server.Url("/up"), body).code, 200);
    EXPECT_EQ(body, "stored");
}

TEST_F(ClusterCurlTest, DownloadWritesTheFileUnderItsFinalName) {
    CCannedResponse big;
    big.generatedSize = 3 * 1024 * 1024 + 17;
    server.Set("/pkg.exe", big);
    ClusterCurl client;
    CurlResult result = client.downloadFile(server.Url("/pkg.exe"), dir.Path(), "pkg.exe");
    EXPECT_EQ(result.code, 200);
    EXPECT_EQ(result.message, curl_easy_strerror(CURLE_OK));
    std::string content;
    ASSERT_TRUE(qitest::ReadFile((dir / "pkg.exe"), content));
    EXPECT_EQ(content, CTestHttpServer::GeneratedBytes(0, big.generatedSize));
    EXPECT_FALSE(FileExists((dir / "pkg.exe.temp")));
}

TEST_F(ClusterCurlTest, DownloadIntoMissingDirectoryTouchesNothing) {
    platform::ScopedDebugCapture capture;
    const std::string missing = dir.Path() + "/no%sdir";
    ClusterCurl client;
    CurlResult result = client.downloadFile(server.Url("/x"), missing, "pkg.exe");
    EXPECT_EQ(result.code, -1);
    // The full-width mark in the narrow encoding: EF BC 81 in the C locale.
    EXPECT_EQ(result.message,
              "save dir=" + missing + " is not exsit" + platform::WideToMultiByte(L"\uFF01"));
    // '%' traced literally; the capture gives UTF-8.
    EXPECT_EQ(capture.Text(),
              "[" + platform::WideToUtf8(platform::MultiByteToWide(result.message)) + "]");
    EXPECT_FALSE(FileExists(missing));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ClusterCurlTest, DownloadThatCannotOpenItsFileFails) {
    ClusterCurl client;
    CurlResult result = client.downloadFile(server.Url("/x"), dir.Path(), "sub/pkg.exe");
    EXPECT_EQ(result.code, -1);
    EXPECT_EQ(result.message, "downloadFile open file error(2), " + (dir / "sub/pkg.exe"));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ClusterCurlTest, FailedDownloadLeavesNeitherOldFileNorTemporary) {
    CCannedResponse cut;
    cut.generatedSize = 1024 * 1024;
    cut.cutAfter = 300000;
    server.Set("/cut.exe", cut);
    server.Set("/gone.exe", CCannedResponse::Status(404, "no"));

    for (const char* path : {"/cut.exe", "/gone.exe"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(qitest::WriteFile((dir / "pkg.exe"), "old package"));
        ASSERT_TRUE(qitest::WriteFile((dir / "pkg.exe.temp"), "old temporary"));
        ClusterCurl client;
        CurlResult result = client.downloadFile(server.Url(path), dir.Path(), "pkg.exe");
        EXPECT_NE(result.code, 200);
        EXPECT_FALSE(FileExists((dir / "pkg.exe")));
        EXPECT_FALSE(FileExists((dir / "pkg.exe.temp")));
    }
}

TEST_F(ClusterCurlTest, ReportsComeAtMostOncePerSecondWithTheAnnouncedTotal) {
    server.Set("/slow.exe", SlowBody(40 * 1024));  // about 2.4 s in all
    CRecordingListener listener;
    TransferOptions options;
    options.taskId = 7;
    options.listener = &listener;
    ClusterCurl client(options);

    const uint32_t start = platform::GetTickCount();
    CurlResult result = client.downloadFile(server.Url("/slow.exe"), dir.Path(), "slow.exe");
    const uint32_t elapsed = platform::GetTickCount() - start;
    EXPECT_EQ(result.code, 200);

    ASSERT_FALSE(listener.reports.empty());
    EXPECT_LE(listener.reports.size(), elapsed / 1000 + 1);
    for (size_t i = 0; i < listener.reports.size(); ++i) {
        EXPECT_EQ(listener.types[i], 1);
        EXPECT_EQ(listener.taskIds[i], 7);
        EXPECT_LE(listener.reports[i].now, listener.reports[i].total);
        if (listener.reports[i].now > 0) {
            EXPECT_EQ(listener.reports[i].total, 40 * 1024);
        }
        // A second apart by the client's clock; the listener reads its own a moment after
        // the client did, which may shorten a gap by a few milliseconds.
        if (i > 0) {
            EXPECT_GE(listener.reports[i].tick - listener.reports[i - 1].tick, 950u);
        }
    }
}

TEST_F(ClusterCurlTest, WithoutContentLengthEveryReportHasTotalZero) {
    server.Set("/chunked.exe", SlowBody(24 * 1024, true));
    CRecordingListener listener;
    TransferOptions options;
    options.listener = &listener;
    ClusterCurl client(options);
    CurlResult result = client.downloadFile(server.Url("/chunked.exe"), dir.Path(), "c.exe");
    EXPECT_EQ(result.code, 200);
    ASSERT_FALSE(listener.reports.empty());
    for (const CReport& report : listener.reports)
        EXPECT_EQ(report.total, 0);
    std::string content;
    ASSERT_TRUE(qitest::ReadFile((dir / "c.exe"), content));
    EXPECT_EQ(content.size(), 24u * 1024u);
}

TEST_F(ClusterCurlTest, StopFlagSilencesReportsAndKeepsTheBodyInTheTemporaryFile) {
    server.Set("/slow.exe", SlowBody(24 * 1024));
    std::atomic<bool> stop{false};
    CRecordingListener listener;
    listener.pStopOnFirst = &stop;
    TransferOptions options;
    options.listener = &listener;
    options.stopFlag = &stop;
    ClusterCurl client(options);

    CurlResult result = client.downloadFile(server.Url("/slow.exe"), dir.Path(), "slow.exe");
    // The flag did not abort the transfer: the whole body arrived, but was not renamed.
    EXPECT_EQ(result.code, 200);
    EXPECT_EQ(listener.reports.size(), 1u);
    EXPECT_FALSE(FileExists((dir / "slow.exe")));
    std::string content;
    ASSERT_TRUE(qitest::ReadFile((dir / "slow.exe.temp"), content));
    EXPECT_EQ(content, CTestHttpServer::GeneratedBytes(0, 24 * 1024));
}

TEST_F(ClusterCurlTest, OwnerStopRequestAbortsADownloadThatStalls) {
    CCannedResponse stalled;
    stalled.generatedSize = 1024 * 1024;
    stalled.pieceSize = 1024;
    stalled.pieceDelayMs = 20000;  // the first piece comes only after 20 s
    server.Set("/stall.exe", stalled);

    CurlResult result;
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        ClusterCurl client;
        result = client.downloadFile(server.Url("/stall.exe"), dir.Path(), "stall.exe");
        return 0u;
    }));
    thread.Resume();
    ASSERT_TRUE(server.WaitForRequests(1, 10000));
    thread.RequestCancel();
    for (int i = 0; i < 1000 && !thread.HasFinished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(thread.HasFinished());
    thread.Join();
    EXPECT_EQ(result.code, CURLE_ABORTED_BY_CALLBACK);
    EXPECT_FALSE(FileExists((dir / "stall.exe")));
    EXPECT_FALSE(FileExists((dir / "stall.exe.temp")));
}

TEST_F(ClusterCurlTest, ProbesReadLengthAndRemoteName) {
    CCannedResponse sized;
    sized.body = std::string(12345, 'z');
    server.Set("/sized", sized);
    CCannedResponse chunked;
    chunked.body = "abc";
    chunked.chunked = true;
    server.Set("/chunked", chunked);
    server.Set("/latest", CCannedResponse::Redirect("/files/setup.exe"));
    server.Set("/files/setup.exe", CCannedResponse::Status(200, "pkg"));

    int64_t length = 0;
    EXPECT_TRUE(ClusterCurl::getContentLength(server.Url("/sized"), length));
    EXPECT_EQ(length, 12345);
    EXPECT_TRUE(ClusterCurl::getContentLength(server.Url("/chunked"), length));
    EXPECT_EQ(length, -1);
    std::string name;
    EXPECT_TRUE(ClusterCurl::getRemoteFileName(server.Url("/latest"), name));
    EXPECT_EQ(name, "setup.exe");
    EXPECT_EQ(server.Requests()[0].method, "HEAD");

    platform::ScopedDebugCapture capture;
    EXPECT_FALSE(ClusterCurl::getRemoteFileName(
        "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x", name));
    EXPECT_NE(capture.Text().find("curl send msg error: pRes="), std::string::npos);
}

TEST_F(ClusterCurlTest, UploadPutsTheFileAndReportsProgress) {
    server.Set("/up", CCannedResponse::Status(200, "stored"));
    const std::string content = CTestHttpServer::GeneratedBytes(0, 200000);
    ASSERT_TRUE(qitest::WriteFile((dir / "local.bin"), content));
    CRecordingListener listener;
    TransferOptions options;
    options.listener = &listener;
    ClusterCurl client(options);
    CurlResult result = client.uploadFile(server.Url("/up"), (dir / "local.bin"));
    EXPECT_EQ(result.code, 200);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "PUT");
    EXPECT_EQ(server.Requests()[0].body, content);
    ASSERT_FALSE(listener.uploads.empty());
    EXPECT_EQ(listener.uploads.back().total, 200000);
    EXPECT_TRUE(listener.reports.empty());

    EXPECT_EQ(client.uploadFile(server.Url("/up"), (dir / "missing.bin")).code, -1);
    // The object still does plain transfers afterwards.
    std::string body;
    EXPECT_EQ(client.httpGet(server.Url("/up"), body).code, 200);
    EXPECT_EQ(server.Requests().back().method, "GET");
}

}  // namespace
