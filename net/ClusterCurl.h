#pragma once
// The installer's HTTP client: one libcurl easy handle, blocking transfers on the calling
// thread. Made on the caller's stack, configured, used and destroyed in one scope.
//
// The texts given to it (URL, post data) and its messages are narrow text in the process
// locale's encoding; directories and file names are in the narrow form of file names
// (platform::PathToNarrow: UTF-8 on Windows). It writes its own diagnostic lines, "[...]"
// without time stamp, to the debugger output stream.
//
// A transfer succeeds only when libcurl reports no failure and the status is 200. A
// transfer run on a thread whose owner asks it to stop (platform/Thread.h) is aborted
// within about 100 ms.
//
// Every transfer checks the server's certificate and host name (m_bVerifyTls), speaks
// only http and https (also across redirects) and goes through the proxy of m_strProxy,
// or else the system's proxy for its URL. A download may retry transient failures and
// resume from the bytes it already has (m_nRetries), and may check the body's SHA-256
// before the file takes its final name (m_strSha256).
//
// Every call into libcurl is checked: an option libcurl refuses, a failed query of a
// finished transfer or a failed step of the multi interface is a diagnostic line, and the
// transfer it belongs to fails (with that libcurl code) instead of running on settings
// other than the caller's.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "net/CurlResult.h"
#include "net/LibcurlDownCallback.h"

// libcurl's handle types, as its own headers declare them; the header itself stays out of
// this one, since on Windows it brings windows.h and its macros to every includer.
typedef void CURL;
typedef void CURLM;
struct curl_slist;

class ClusterCurl {
public:
    ClusterCurl();
    ~ClusterCurl();
    ClusterCurl(const ClusterCurl&) = delete;
    ClusterCurl& operator=(const ClusterCurl&) = delete;

    // Both in seconds; they take effect at the next transfer.
    void setTimeout(int connectSeconds, int totalSeconds);

    // GET; the body is appended to `body`.
    CurlResult httpGet(const std::string& url, std::string& body);
    // Form POST of already form-encoded data; every call adds its Content-Type line to the
    // header list again.
    CurlResult httpPost(const std::string& url, const std::string& postData, std::string& body);
    // Adds "name: value" to the request headers of this and later transfers.
    bool addHeader(const std::string& name, const std::string& value);
    // GET into dir + "/" + fileName, through fileName + ".temp", which takes the final name
    // only after a successful transfer and while the stop flag is clear. The ".temp" file is
    // made afresh and exclusively, never through a symbolic link. With m_nRetries > 0 a
    // transient failure (refused, reset or lost connection, time-out, cut-off body, no byte
    // for 60 s, status
    // 408, 429, 500, 502, 503, 504) is tried again after a back-off (1 s, 2 s, 4 s ... at most
    // 30 s, with jitter; Retry-After up to 30 s), continuing from the bytes already received
    // when the server offers ranges with a validator (Range + If-Range), else from zero.
    // The stop flag or the owner's stop request ends a back-off wait within 100 ms. With
    // m_strSha256 set, a body of another digest is deleted and gives kSha256Mismatch.
    CurlResult downloadFile(const std::string& url, const std::string& dir,
                            const std::string& fileName);

    // downloadFile's code for a body whose SHA-256 is not m_strSha256; the message names
    // both digests ("sha256 mismatch expected=... actual=...").
    static constexpr int kSha256Mismatch = -3;
    // True for the failures downloadFile tries again: libcurl's codes for a refused, reset
    // or lost connection, a time-out or a cut-off body, and the statuses 408, 429, 500,
    // 502, 503 and 504.
    static bool IsTransientFailure(int code);
    // The back-off before retry `attempt` (1, 2, ...) after `failuresWithoutProgress`
    // failed attempts in a row that brought no new bytes: 1 s doubling, at most 30 s, plus
    // up to a quarter of jitter within that cap; a Retry-After of `retryAfterMs` (> 0)
    // takes the place of the back-off, also at most 30 s.
    static uint32_t BackoffDelayMs(int failuresWithoutProgress, uint32_t retryAfterMs);
    // Test hook: the first back-off delay and the cap, in ms (0, 0: 1000 and 30000 again).
    static void SetBackoffForTest(uint32_t firstMs, uint32_t capMs);
    // Test hook: seconds without a byte after which a download that may retry counts its
    // line as lost (0: 60 again).
    static void SetStallLimitForTest(long seconds);

    // Further settings; false when libcurl refused one.
    bool setProxy(const std::string& proxy, const std::string& userPwd);  // SOCKS5
    bool setUserAgent(const std::string& userAgent);  // holds until the next transfer
    bool setCookie(const std::string& cookie);
    bool setCookieFile(const std::string& path);
    // Listener for progress, task 0, and the process-wide stop flag.
    void setListener(CLibcurlDownCallback* pCallback);

    // HEAD probes on a handle of their own.
    static bool getContentLength(const std::string& url, int64_t& length);  // -1: not announced
    static bool getRemoteFileName(const std::string& url, std::string& name);

    // PUT of a local file; upload progress goes to the listener.
    CurlResult uploadFile(const std::string& url, const std::string& localPath);

    int m_nConnectTimeout;                 // seconds
    int m_nTimeout;                        // seconds
    int m_nTaskId;                         // handed unchanged to every report
    CLibcurlDownCallback* m_pCallback;     // not owned; null: no reports
    const std::atomic<bool>* m_pStopFlag;  // not owned; null: no stop flag
    uint32_t m_dwLastReport;               // tick of the last progress report
    // From the process-wide defaults (net/TransferSettings.h) at construction:
    bool m_bVerifyTls;        // peer certificate and host name are checked
    std::string m_strCaFile;  // CA bundle; empty: libcurl's, the system's store
    std::string m_strProxy;   // proxy URL; empty: the system's settings for each URL
    // downloadFile only; none after construction:
    int m_nRetries;           // further attempts after a transient failure
    std::string m_strSha256;  // expected digest, 64 lower-case hex digits; empty: none

private:
    struct CDownload;  // the state of one downloadFile across its attempts
    class COptions;    // checked curl_easy_setopt calls of one transfer

    struct CEasyCleanup {
        void operator()(CURL* curl) const;
    };
    struct CMultiCleanup {
        void operator()(CURLM* multi) const;
    };
    struct CSlistFree {
        void operator()(curl_slist* list) const;
    };
    using CEasyPtr = std::unique_ptr<CURL, CEasyCleanup>;
    using CMultiPtr = std::unique_ptr<CURLM, CMultiCleanup>;
    using CSlistPtr = std::unique_ptr<curl_slist, CSlistFree>;

    bool checkHandle(CurlResult& result);
    void setCommonOptions(COptions& set, const std::string& url);
    void setMemoryBody(COptions& set, std::string& body);
    // Runs the transfer configured on m_pCurl, waking at least every 100 ms so that a
    // stop request of the thread's owner is seen even while nothing arrives.
    // Codes are libcurl's CURLcode values.
    int perform();
    CurlResult makeResult(int curlCode);
    // A HEAD request on a handle of its own; runs `read` on the finished handle.
    template <class Read>
    static bool probe(const std::string& url, Read read);
    // The result of a transfer that did not start: libcurl refused a setting of it.
    static CurlResult setupFailure(int curlCode);
    // One attempt of downloadFile into the open temporary file of `download`.
    int downloadAttempt(const std::string& url, CDownload& download);
    // Waits `milliseconds` unless the stop flag or the owner's stop request comes first
    // (then false, within about 20 ms).
    bool waitBeforeRetry(uint32_t milliseconds);

    static size_t httpDataWriter(char* data, size_t size, size_t nmemb, void* target);
    static size_t fileDataWriter(char* data, size_t size, size_t nmemb, void* download);
    static size_t headerReader(char* data, size_t size, size_t nmemb, void* download);
    static size_t fileDataReader(char* data, size_t size, size_t nmemb, void* file);
    // int64_t is libcurl's curl_off_t on both systems (checked where they are defined).
    static int downloadProgress(void* client, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                                int64_t ulNow);
    static int uploadProgress(void* client, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                              int64_t ulNow);
    static int cancelProgress(void* client, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                              int64_t ulNow);

    CEasyPtr m_pCurl;         // null when libcurl made none
    CMultiPtr m_pMulti;       // drives m_pCurl so that waits stay short; made on first use
    CSlistPtr m_pHeaders;     // the caller's request headers
    CDownload* m_pDownload;   // during downloadFile only
    double m_dReportedShare;  // share of the body last reported; -1: none with a size yet
};

// The client's diagnostic line: the formatted text (at most 1023 bytes) in square
// brackets, written to the debugger output stream as it is.
void traceError(const char* format, ...) __attribute__((format(printf, 1, 2)));
