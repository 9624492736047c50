// Downloads over lines that keep failing: the retry budget spent only by attempts without
// progress, the stall watchdog, a later run continuing an interrupted download from its
// resume record, mirrors, a redirect whose next connection fails, error pages, speed and
// failure classes, and a proxy lookup that does not answer. Against a real local server.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ClusterCurl.h"
#include "net/ResumeRecord.h"
#include "net/RetryPolicy.h"
#include "net/Sha256.h"
#include "net/TransferProgress.h"
#include "platform/DebugOutput.h"
#include "platform/Thread.h"
#include "tests/support/FileFaults.h"
#include "tests/support/SlowProxyLookup.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using qitest::CCannedResponse;
using qitest::CTestHttpServer;
using qitest::FileExists;

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * 1024;

std::string Generated(uint64_t size, uint64_t seed = 0) {
    return CTestHttpServer::GeneratedBytes(0, static_cast<size_t>(size), seed);
}

// The generated file of `size`, offering ranges with the ETag `etag`.
CCannedResponse Ranged(uint64_t size, const std::string& etag = "\"v1\"") {
    CCannedResponse r;
    r.generatedSize = size;
    r.acceptRanges = true;
    r.etag = etag;
    return r;
}

CCannedResponse CutAt(CCannedResponse r, uint64_t at) {
    r.cutAfter = at;
    return r;
}

class CStatsListener final : public CLibcurlDownCallback {
public:
    void OnDownloadProgress(int, int, double total, double now) override {
        plain.emplace_back(total, now);
    }
    void OnUploadProgress(int, double, double) override {}
    void OnDownloadStats(const CDownloadProgress& progress) override { stats.push_back(progress); }
    std::vector<std::pair<double, double>> plain;
    std::vector<CDownloadProgress> stats;
};

class DownloadResilienceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.IsRunning()); }

    static TransferOptions Retrying(int retries, const std::string& sha = "") {
        TransferOptions options = DefaultTransferOptions();
        options.retries = retries;
        options.sha256 = sha;
        options.firstBackoffMs = 5;  // retries without the real waits
        options.maxBackoffMs = 50;
        return options;
    }
    CurlResult Download(const TransferOptions& options, const std::string& path,
                        const std::string& name = "p.exe") {
        ClusterCurl client(options);
        return client.downloadFile(server.Url(path), dir.Path(), name);
    }
    bool Holds(const std::string& name, const std::string& bytes) const {
        std::string content;
        return qitest::ReadFile(dir / name, content) && content == bytes;
    }
    // Neither the temporary file nor its record is left.
    bool NoLeftovers(const std::string& name = "p.exe") const {
        return !FileExists(dir / (name + ".temp")) && !FileExists(dir / (name + ".temp.resume"));
    }

    CTestHttpServer server;
    qitest::TempDir dir;
};

// ------------------------------------------------------------------ the parts on their own

TEST(RetryPolicyTest, OnlyAttemptsWithoutProgressSpendTheBudget) {
    CRetryPolicy policy(2, 1000, 30000);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(policy.AllowsRetry(true, true)) << i;  // always forward: never given up
    EXPECT_TRUE(policy.AllowsRetry(true, false));
    EXPECT_TRUE(policy.AllowsRetry(true, false));
    EXPECT_FALSE(policy.AllowsRetry(true, false));  // a third fruitless one in a row
    EXPECT_TRUE(policy.AllowsRetry(true, true));    // progress starts the count afresh
    EXPECT_FALSE(policy.AllowsRetry(false, true));  // a permanent failure is never retried
    EXPECT_FALSE(CRetryPolicy(0, 1000, 30000).AllowsRetry(true, true));

    for (int i = 0; i < 50; ++i) {
        EXPECT_GE(CRetryPolicy::BackoffDelayMs(0, 0, 1000, 30000), 1000u);
        EXPECT_LE(CRetryPolicy::BackoffDelayMs(0, 0, 1000, 30000), 1250u);
        EXPECT_GE(CRetryPolicy::BackoffDelayMs(2, 0, 1000, 30000), 4000u);
        EXPECT_LE(CRetryPolicy::BackoffDelayMs(2, 0, 1000, 30000), 5000u);
        EXPECT_EQ(CRetryPolicy::BackoffDelayMs(5, 0, 1000, 30000), 30000u);
        EXPECT_EQ(CRetryPolicy::BackoffDelayMs(40, 0, 1000, 30000), 30000u);
    }
    EXPECT_EQ(CRetryPolicy::BackoffDelayMs(0, 7000, 1000, 30000), 7000u);
    EXPECT_EQ(CRetryPolicy::BackoffDelayMs(0, 120000, 1000, 30000), 30000u);
    for (int code :
         {int{CURLE_COULDNT_CONNECT}, int{CURLE_RECV_ERROR}, int{CURLE_OPERATION_TIMEDOUT},
          int{CURLE_PARTIAL_FILE}, 408, 429, 500, 502, 503, 504})
        EXPECT_TRUE(CRetryPolicy::IsTransientFailure(code)) << code;
    for (int code : {int{CURLE_PEER_FAILED_VERIFICATION}, int{CURLE_WRITE_ERROR}, 403, 404, 416})
        EXPECT_FALSE(CRetryPolicy::IsTransientFailure(code)) << code;
}

TEST(TransferProgressTest, SpeedIsSmoothedAndSharesNeverGoBack) {
    CSpeedMeter meter;
    meter.Sample(500, 0);  // connecting: the clock has not started
    meter.Sample(1000, 1000);
    meter.Sample(1500, 51000);  // 100 000 B/s, but only half a second seen
    EXPECT_LT(meter.BytesPerSecond(), 0);
    meter.Sample(2000, 101000);
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 100000);
    meter.Sample(2100, 900000);  // too close to the last sample: waits
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 100000);
    for (uint32_t t = 3000; t <= 20000; t += 1000)
        meter.Sample(t, 101000 + (t - 2000) * 10);  // down to 10 000 B/s
    EXPECT_NEAR(meter.BytesPerSecond(), 10000, 500);

    CMonotonicProgress shown;
    int64_t done = 0, total = 0;
    shown.Update(300, 0, done, total);
    EXPECT_EQ(done, 300);  // no size yet: bytes only
    EXPECT_EQ(total, 0);
    shown.Update(600, 1000, done, total);
    EXPECT_EQ(done, 600);
    shown.Update(100, 1000, done, total);  // a retry from zero
    EXPECT_EQ(done, 600);
    shown.Update(100, 0, done, total);  // and its size not known yet
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(done, 600);
    shown.Update(800, 4000, done, total);  // another version of the file: the share stays
    EXPECT_EQ(total, 4000);
    EXPECT_EQ(done, 2400);
    shown.Update(4000, 4000, done, total);
    EXPECT_EQ(done, 4000);

    CDownloadProgress progress;
    progress.total = 10000;
    progress.done = 4000;
    EXPECT_EQ(progress.SecondsLeft(), -1);  // speed unknown
    progress.bytesPerSecond = 1000;
    EXPECT_EQ(progress.SecondsLeft(), 6);
    progress.bytesPerSecond = 7000;
    EXPECT_EQ(progress.SecondsLeft(), 1);  // rounded up
}

TEST(ResumeRecordTest, OnlyTheExactFormWithinItsBoundsIsTaken) {
    CResumeRecord record;
    record.url = "http://127.0.0.1:8/p.exe";
    record.validator = "\"v1\"";
    record.total = 1000;
    record.kept = 400;
    const std::string good = record.Serialize();
    CResumeRecord parsed;
    ASSERT_TRUE(CResumeRecord::Parse(good, parsed)) << good;
    EXPECT_EQ(parsed.url, record.url);
    EXPECT_EQ(parsed.validator, record.validator);
    EXPECT_EQ(parsed.total, 1000);
    EXPECT_EQ(parsed.kept, 400);
    EXPECT_EQ(parsed.sha256, "");
    record.sha256 = Sha256Hex("x");
    ASSERT_TRUE(CResumeRecord::Parse(record.Serialize(), parsed));
    EXPECT_EQ(parsed.sha256, record.sha256);

    auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string bad[] = {
        "",
        "quillora-resume 1",
        good.substr(0, good.size() - 1),                 // no last line end
        good + "extra 1\n",                              // a line too many
        with("quillora-resume 1", "quillora-resume 2"),  // another version
        with("\nurl ", "\nURL "),                        // names are exact
        with("\"v1\"", "\"v1\"\r\nX-Injected: 1"),       // a header line of its own
        with("\"v1\"", "W/\"weak\""),                    // If-Range takes no weak ETag
        with("\"v1\"", ""),                              // no validator
        with("\"v1\"", "\"v\xC3\xA9\""),                 // not ASCII
        with("total 1000", "total -1000"),
        with("total 1000", "total 01000"),
        with("total 1000", "total 1000000000000000000000"),  // beyond 64 bits
        with("total 1000", "total 1e3"),
        with("kept 400", "kept 1000"),  // the whole file is never resumed
        with("kept 400", "kept 0"),
        with("kept 400", "kept 4000"),
        with("sha256 -", "sha256 " + std::string(64, 'A')),
        with("sha256 -", "sha256 " + std::string(63, 'a')),
        with("url http", std::string("url \x01http")),
        std::string(1 << 20, 'q'),
        std::string("quillora-resume 1\n\0url", 23),
    };
    for (const std::string& text : bad)
        EXPECT_FALSE(CResumeRecord::Parse(text, parsed)) << text.substr(0, 120);
}

TEST(FailureReasonTest, ClassesHaveFixedNumbersAndShortTexts) {
    EXPECT_EQ(static_cast<int>(DownloadFailure::NoConnection), 1);
    EXPECT_EQ(static_cast<int>(DownloadFailure::Stalled), 9);
    EXPECT_EQ(ClassifyCurlFailure(CURLE_COULDNT_RESOLVE_HOST), DownloadFailure::NameNotResolved);
    EXPECT_EQ(ClassifyCurlFailure(CURLE_COULDNT_CONNECT), DownloadFailure::NoConnection);
    EXPECT_EQ(ClassifyCurlFailure(CURLE_PEER_FAILED_VERIFICATION),
              DownloadFailure::CertificateRefused);
    EXPECT_EQ(ClassifyCurlFailure(CURLE_ABORTED_BY_CALLBACK), DownloadFailure::Cancelled);
    EXPECT_EQ(ClassifyFileError(ENOSPC), DownloadFailure::DiskFull);
    EXPECT_EQ(ClassifyFileError(EACCES), DownloadFailure::DirectoryNotWritable);
    CurlResult status;
    status.code = 404;
    status.failure = DownloadFailure::HttpStatus;
    EXPECT_EQ(DescribeResult(status), "HTTP status 404");
    CurlResult other;
    other.code = 43;
    EXPECT_EQ(DescribeResult(other), "transfer failed (code 43)");
    EXPECT_STREQ(DescribeDownloadFailure(DownloadFailure::DigestMismatch), "file digest mismatch");
}

// ------------------------------------------------------------------ retries

TEST_F(DownloadResilienceTest, ALineThatBreaksOftenButMovesOnCompletes) {
    const uint64_t size = 2 * kMiB;
    std::vector<CCannedResponse> cuts;
    for (int i = 1; i <= 10; ++i)
        cuts.push_back(CutAt(Ranged(size), size * i / 11));
    cuts.push_back(Ranged(size));
    server.SetSequence("/p.exe", cuts);
    // Two retries in a row without progress are allowed; ten cuts that each move on pass.
    CurlResult result = Download(Retrying(2), "/p.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(Holds("p.exe", Generated(size)));
    EXPECT_EQ(server.Requests().size(), 11u);
    EXPECT_TRUE(NoLeftovers());

    // After progress, three answers in a row without a byte of the file end it.
    server.SetSequence("/q.exe", {CutAt(Ranged(size), size / 2), CCannedResponse::Status(503, "a"),
                                  CCannedResponse::Status(503, "b"),
                                  CCannedResponse::Status(503, "c"), Ranged(size)});
    const size_t before = server.Requests().size();
    CurlResult busy = Download(Retrying(2), "/q.exe", "q.exe");
    EXPECT_EQ(busy.code, 503);
    EXPECT_EQ(busy.failure, DownloadFailure::HttpStatus);
    EXPECT_EQ(server.Requests().size(), before + 4);
    // What arrived stays for a later run, with its record.
    EXPECT_TRUE(FileExists(dir / "q.exe.temp.resume"));
}

TEST_F(DownloadResilienceTest, ALineThatGoesSilentIsRetriedWithRange) {
    const uint64_t size = 256 * kKiB;
    CCannedResponse silent = Ranged(size);
    silent.pieceSize = 16 * kKiB;
    silent.silentAfter = size / 2;  // no reset, no end, just silence
    server.SetSequence("/p.exe", {silent, Ranged(size)});
    TransferOptions options = Retrying(5);
    options.stallSeconds = 1;
    CurlResult result = Download(options, "/p.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(Holds("p.exe", Generated(size)));
    const std::vector<qitest::CRecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Range"), "bytes=" + std::to_string(size / 2) + "-");

    // Without retries the stall is the outcome, and says so.
    server.Set("/s.exe", silent);
    options.retries = 0;
    CurlResult stalled = Download(options, "/s.exe", "s.exe");
    EXPECT_EQ(stalled.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(stalled.failure, DownloadFailure::Stalled);
}

TEST_F(DownloadResilienceTest, ARedirectWhoseNextConnectionFailsIsRetried) {
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(CTestHttpServer().Port());
    server.SetSequence("/r.exe", {CCannedResponse::Redirect(nowhere + "/p.exe", 303),
                                  CCannedResponse::Status(200, "after all")});
    CurlResult result = Download(Retrying(2), "/r.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(Holds("p.exe", "after all"));

    server.Set("/always.exe", CCannedResponse::Redirect(nowhere + "/p.exe", 303));
    const size_t before = server.Requests().size();
    CurlResult refused = Download(Retrying(2), "/always.exe", "a.exe");
    // The follow-up's failure, not the redirect's status.
    EXPECT_EQ(refused.code, CURLE_COULDNT_CONNECT);
    EXPECT_EQ(refused.failure, DownloadFailure::NoConnection);
    EXPECT_EQ(server.Requests().size(), before + 3);
}

TEST_F(DownloadResilienceTest, AnErrorPageIsNeitherProgressNorPartOfTheFile) {
    const uint64_t size = 20000;
    CCannedResponse page = CCannedResponse::Status(503, std::string(5000, 'e'));
    page.pieceSize = 1000;
    page.pieceDelayMs = 300;  // reports come while it arrives
    CCannedResponse cut = CutAt(Ranged(size), size / 2);
    cut.acceptRanges = false;
    CCannedResponse whole = Ranged(size);
    whole.acceptRanges = false;
    server.SetSequence("/p.exe", {cut, page, whole});
    CStatsListener listener;
    TransferOptions options = Retrying(5);
    options.listener = &listener;
    CurlResult result = Download(options, "/p.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(Holds("p.exe", Generated(size)));
    ASSERT_GE(listener.plain.size(), 2u);
    double last = 0;
    for (const auto& [total, now] : listener.plain) {
        EXPECT_TRUE(total == 0 || total == static_cast<double>(size)) << total;
        EXPECT_GE(now, last);
        last = now;
    }
}

// ------------------------------------------------------------------ reports

TEST_F(DownloadResilienceTest, ReportsCarryBytesTotalAndASmoothedSpeed) {
    CCannedResponse slow;
    slow.generatedSize = 64 * kKiB;
    slow.pieceSize = 2 * kKiB;
    slow.pieceDelayMs = 100;  // about 20 KiB/s for about 3 s
    server.Set("/p.exe", slow);
    CStatsListener listener;
    TransferOptions options;
    options.listener = &listener;
    options.taskId = 4;
    ASSERT_EQ(Download(options, "/p.exe").code, 200);
    ASSERT_GE(listener.stats.size(), 2u);
    ASSERT_EQ(listener.stats.size(), listener.plain.size());
    EXPECT_LT(listener.stats.front().bytesPerSecond, 0);  // not known at first
    const CDownloadProgress& late = listener.stats.back();
    EXPECT_EQ(late.taskId, 4);
    EXPECT_EQ(late.total, static_cast<int64_t>(64 * kKiB));
    EXPECT_EQ(static_cast<double>(late.done), listener.plain.back().second);
    // A rate in the range of the line's; the bounds are only generous.
    EXPECT_GT(late.bytesPerSecond, 2.0 * kKiB);
    EXPECT_LT(late.bytesPerSecond, 200.0 * kKiB);
    EXPECT_GE(late.SecondsLeft(), 0);
}

// ------------------------------------------------------------------ failure classes

TEST_F(DownloadResilienceTest, LocalFailuresAreClassified) {
    server.Set("/p.exe", Ranged(512 * kKiB));
    {
        qitest::ScopedFileFault full({qitest::FileStep::Write, ENOSPC});
        CurlResult result = Download(TransferOptions(), "/p.exe");
        EXPECT_EQ(result.code, CURLE_WRITE_ERROR);
        EXPECT_EQ(result.failure, DownloadFailure::DiskFull);
    }
    EXPECT_TRUE(NoLeftovers());
    {
        qitest::ScopedFileFault denied({qitest::FileStep::CreateTemporary, EACCES});
        CurlResult result = Download(TransferOptions(), "/p.exe");
        EXPECT_EQ(result.code, -1);
        EXPECT_EQ(result.failure, DownloadFailure::DirectoryNotWritable);
    }
    CurlResult ok = Download(TransferOptions(), "/p.exe");
    EXPECT_EQ(ok.failure, DownloadFailure::None);
}

// ------------------------------------------------------------------ a later run

TEST_F(DownloadResilienceTest, AnInterruptedDownloadIsContinuedByALaterRun) {
    const uint64_t size = 4 * kMiB;
    const std::string pin = Sha256Hex(Generated(size));
    CCannedResponse paced = Ranged(size);
    paced.pieceSize = 64 * kKiB;
    paced.pieceDelayMs = 5;
    paced.silentAfter = size / 2;  // the run ends there, whenever the test says
    server.Set("/p.exe", paced);

    // While the body comes, the record vouches for bytes already in the file.
    CurlResult first;
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        first = Download(Retrying(0, pin), "/p.exe");
        return 0u;
    }));
    thread.Resume();
    for (int i = 0; i < 1000 && qitest::TempDir::Read(dir / "p.exe.temp").size() < size / 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CResumeRecord record;
    for (int i = 0; i < 1000 && !ReadResumeRecord(dir / "p.exe.temp.resume", record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(record.kept, 0);
    EXPECT_LE(record.kept, static_cast<int64_t>(qitest::TempDir::Read(dir / "p.exe.temp").size()));
    EXPECT_EQ(record.url, server.Url("/p.exe"));
    EXPECT_EQ(record.validator, "\"v1\"");
    EXPECT_EQ(record.total, static_cast<int64_t>(size));
    EXPECT_EQ(record.sha256, pin);
    // Then the run ends abruptly; what it has stays for the next.
    thread.RequestCancel();
    thread.Join();
    EXPECT_EQ(first.failure, DownloadFailure::Cancelled);
    ASSERT_TRUE(ReadResumeRecord(dir / "p.exe.temp.resume", record));
    const auto kept = static_cast<uint64_t>(record.kept);
    EXPECT_EQ(kept, size / 2);
    // A process killed mid-write leaves bytes the record does not vouch for.
    const std::string temp = qitest::TempDir::Read(dir / "p.exe.temp");
    ASSERT_TRUE(qitest::WriteFile(dir / "p.exe.temp", temp + std::string(5000, '!')));

    server.Set("/p.exe", Ranged(size));
    const uint64_t sentBefore = server.BodyBytesSent();
    CurlResult second = Download(Retrying(0, pin), "/p.exe");  // a new client, as a new run
    ASSERT_EQ(second.code, 200) << second.message;
    EXPECT_TRUE(Holds("p.exe", Generated(size)));
    EXPECT_EQ(server.BodyBytesSent() - sentBefore, size - kept);
    const qitest::CRecordedRequest last = server.Requests().back();
    EXPECT_EQ(last.Header("Range"), "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(last.Header("If-Range"), "\"v1\"");
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(DownloadResilienceTest, ARecordThatDoesNotFitStartsFromZero) {
    const uint64_t size = 256 * kKiB;
    const uint64_t kept = 100 * kKiB;
    const std::string pin = Sha256Hex(Generated(size));
    server.Set("/p.exe", Ranged(size));
    CResumeRecord fits;
    fits.url = server.Url("/p.exe");
    fits.validator = "\"v1\"";
    fits.total = static_cast<int64_t>(size);
    fits.kept = static_cast<int64_t>(kept);
    fits.sha256 = pin;

    struct Case {
        const char* name;
        std::string record;
        std::string temp;
    };
    auto recordWith = [&](auto change) {
        CResumeRecord r = fits;
        change(r);
        return r.Serialize();
    };
    const std::string part = Generated(kept);
    const std::vector<Case> cases = {
        {"another URL", recordWith([&](CResumeRecord& r) { r.url = server.Url("/other.exe"); }),
         part},
        {"another pin", recordWith([](CResumeRecord& r) { r.sha256 = Sha256Hex("other"); }), part},
        {"no pin then", recordWith([](CResumeRecord& r) { r.sha256.clear(); }), part},
        {"garbled", "quillora-resume 1\nurl \xff\xfe\x00\x01", part},
        {"header injection",
         recordWith([](CResumeRecord& r) { r.validator = "\"v1\"\r\nX-Evil: 1"; }), part},
        {"temporary file shorter", fits.Serialize(), part.substr(0, kept - 1)},
        {"temporary file longer than the file", fits.Serialize(), part + Generated(size)},
        {"no temporary file", fits.Serialize(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(qitest::WriteFile(dir / "p.exe.temp.resume", c.record));
        if (!c.temp.empty()) {
            ASSERT_TRUE(qitest::WriteFile(dir / "p.exe.temp", c.temp));
        }
        const size_t before = server.Requests().size();
        platform::ScopedDebugCapture capture;
        CurlResult result = Download(Retrying(0, pin), "/p.exe");
        ASSERT_EQ(result.code, 200) << result.message;
        EXPECT_TRUE(Holds("p.exe", Generated(size)));
        ASSERT_EQ(server.Requests().size(), before + 1);
        EXPECT_EQ(server.Requests().back().Header("Range"), "");
        EXPECT_NE(capture.Text().find("starting from zero"), std::string::npos) << capture.Text();
        EXPECT_TRUE(NoLeftovers());
    }

    // A record in the place of a folder, or a folder in the place of the temporary file.
    for (const char* name : {"p.exe.temp.resume", "p.exe.temp"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path folder = qitest::FsPath(dir / name);
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        EXPECT_EQ(Download(Retrying(0, pin), "/p.exe").code,
                  std::string(name) == "p.exe.temp" ? -1 : 200);
        std::filesystem::remove(folder);
    }

    // The file changed on the server: If-Range brings the new one whole.
    fits.sha256.clear();
    ASSERT_TRUE(qitest::WriteFile(dir / "p.exe.temp.resume", fits.Serialize()));
    ASSERT_TRUE(qitest::WriteFile(dir / "p.exe.temp", part));
    CCannedResponse changed = Ranged(size, "\"v2\"");
    changed.patternSeed = 9;
    server.Set("/p.exe", changed);
    ASSERT_EQ(Download(Retrying(0), "/p.exe").code, 200);
    EXPECT_EQ(server.Requests().back().Header("If-Range"), "\"v1\"");
    EXPECT_TRUE(Holds("p.exe", Generated(size, 9)));
    EXPECT_TRUE(NoLeftovers());
}

// ------------------------------------------------------------------ mirrors

TEST_F(DownloadResilienceTest, MirrorsAreTriedInOrderAndContinueOnlyUnderAPin) {
    const uint64_t size = 512 * kKiB;
    server.Set("/gone.exe", CCannedResponse::Status(404, "no"));
    server.Set("/m.exe", Ranged(size));
    TransferOptions options = Retrying(3);
    options.mirrors = {"file:///etc/hostname", server.Url("/m.exe")};
    CurlResult result = Download(options, "/gone.exe");
    ASSERT_EQ(result.code, 200) << result.message;
    EXPECT_TRUE(Holds("p.exe", Generated(size)));
    // The 404 is tried once; the file mirror is refused as the main URL would be.
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0].path, "/gone.exe");
    EXPECT_EQ(server.Requests()[1].path, "/m.exe");

    // A main URL that breaks off and gives no more: the mirror goes on from its bytes only
    // under a pin (and without If-Range: the validator was another server's).
    for (bool pinned : {true, false}) {
        SCOPED_TRACE(pinned);
        server.Set("/main.exe", CutAt(Ranged(size), size / 4));
        const size_t before = server.Requests().size();
        TransferOptions withMirror = Retrying(0, pinned ? Sha256Hex(Generated(size)) : "");
        withMirror.mirrors = {server.Url("/m.exe")};
        CurlResult fromMirror = Download(withMirror, "/main.exe", "q.exe");
        ASSERT_EQ(fromMirror.code, 200) << fromMirror.message;
        EXPECT_TRUE(Holds("q.exe", Generated(size)));
        const std::vector<qitest::CRecordedRequest> requests = server.Requests();
        ASSERT_EQ(requests.size(), before + 2);
        EXPECT_EQ(requests.back().path, "/m.exe");
        EXPECT_EQ(requests.back().Header("Range"),
                  pinned ? "bytes=" + std::to_string(size / 4) + "-" : "");
        EXPECT_EQ(requests.back().Header("If-Range"), "");
        EXPECT_TRUE(NoLeftovers("q.exe"));
    }
}

// ------------------------------------------------------------------ the proxy lookup

TEST_F(DownloadResilienceTest, ASlowProxyLookupIsBoundedAndEndsAtAStopRequest) {
    server.Set("/p.exe", CCannedResponse::Status(200, "direct"));
    auto slow = qitest::CSlowProxyLookup::Make();
    TransferOptions options;
    options.proxyLookup = slow->Fn();

    // A stop request ends the wait at once; nothing was asked of the server.
    CurlResult stopped;
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        ClusterCurl client(options);
        stopped = client.downloadFile(server.Url("/p.exe"), dir.Path(), "p.exe");
        return 0u;
    }));
    thread.Resume();
    ASSERT_TRUE(slow->WaitStarted());
    const auto stopAt = std::chrono::steady_clock::now();
    thread.RequestCancel();
    for (int i = 0; i < 1000 && !thread.HasFinished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(thread.HasFinished());
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(1));
    thread.Join();
    EXPECT_EQ(stopped.failure, DownloadFailure::Cancelled);
    EXPECT_TRUE(server.Requests().empty());
    slow->Finish();

    // Without a stop, a lookup that does not answer in time is given up: direct, logged.
    auto slower = qitest::CSlowProxyLookup::Make();
    options.proxyLookup = slower->Fn();
    options.proxyLookupLimitMs = 300;
    platform::ScopedDebugCapture capture;
    CurlResult direct = Download(options, "/p.exe");
    slower->Finish();
    EXPECT_EQ(direct.code, 200) << direct.message;
    EXPECT_TRUE(Holds("p.exe", "direct"));
    EXPECT_NE(capture.Text().find("[proxy lookup for " + server.Url("")), std::string::npos)
        << capture.Text();
}

}  // namespace
