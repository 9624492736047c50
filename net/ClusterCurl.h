#pragma once
// The installer's HTTP client: one libcurl easy handle, blocking transfers on the calling
// thread. Made on the caller's stack, configured, used and destroyed in one scope.
//
// The texts given to it (URL, post data) and its messages are narrow text in the process
// locale's encoding; directories and file names are in the narrow form of file names
// (platform::PathToNarrow: UTF-8 on Windows). It writes its own diagnostic lines, "[...]"
// without time stamp, to the debugger output stream.
//
// What it does is set by its options (TransferOptions.h): time-outs, certificate checking,
// the proxy, the progress listener and stop flag, and for downloads retries, a SHA-256 pin,
// mirrors and the stall watchdog. A transfer succeeds only when libcurl reports no failure
// and the status is 200; every result carries the class of its failure (FailureReason.h).
// A transfer run on a thread whose owner asks it to stop (platform/Thread.h) is aborted
// within about 100 ms, also while the system's proxy is being looked up.
//
// Every transfer checks the server's certificate and host name (verifyTls), speaks only
// http and https (also across redirects) and goes through the proxy of the options, or
// else the system's proxy for its URL (ProxyLookup.h: bounded and cancellable).
//
// Every call into libcurl is checked: an option libcurl refuses, a failed query of a
// finished transfer or a failed step of the multi interface is a diagnostic line, and the
// transfer it belongs to fails (with that libcurl code) instead of running on settings
// other than the caller's.

#include <cstdint>
#include <memory>
#include <string>

#include "net/CurlResult.h"
#include "net/CurlRuntime.h"
#include "net/LibcurlDownCallback.h"
#include "net/TransferOptions.h"

// libcurl's handle types, as its own headers declare them; the header itself stays out of
// this one, since on Windows it brings windows.h and its macros to every includer.
typedef void CURL;
typedef void CURLM;
struct curl_slist;

class CCurlOptionSetter;
struct CDownloadState;

class ClusterCurl {
public:
    using Options = TransferOptions;

    // With DefaultTransferOptions(): the built-in defaults and the process-wide settings.
    ClusterCurl();
    explicit ClusterCurl(const TransferOptions& options);
    ~ClusterCurl();
    ClusterCurl(const ClusterCurl&) = delete;
    ClusterCurl& operator=(const ClusterCurl&) = delete;

    const TransferOptions& options() const { return m_options; }
    // Takes effect at the next transfer.
    void setOptions(const TransferOptions& options) { m_options = options; }

    // GET; the body is appended to `body`.
    CurlResult httpGet(const std::string& url, std::string& body);
    // Form POST of already form-encoded data; every call adds its Content-Type line to the
    // header list again.
    CurlResult httpPost(const std::string& url, const std::string& postData, std::string& body);
    // Adds "name: value" to the request headers of this and later transfers.
    bool addHeader(const std::string& name, const std::string& value);

    // GET into dir + "/" + fileName, through fileName + ".temp", which takes the final name
    // only after a successful transfer (and, with a sha256 pin, a matching digest of the
    // whole file) and while the stop flag is clear.
    //
    // A transient failure (refused, reset or lost connection, time-out, cut-off body, no
    // byte for stallSeconds, a redirect whose next connection fails, status 408, 429, 500,
    // 502, 503, 504) is tried again after a back-off (firstBackoffMs doubling up to
    // maxBackoffMs, with jitter; Retry-After up to maxBackoffMs) as long as fewer than
    // `retries` attempts in a row brought no new byte. The retry continues from the bytes
    // already received when the server offers ranges with a validator (Range + If-Range),
    // else from zero. Then the mirrors are tried in order; bytes go on to another URL only
    // with a sha256 pin. The stop flag or the owner's stop request ends a back-off wait
    // within about 20 ms.
    //
    // While the body comes, "<file>.temp.resume" beside the temporary file records what a
    // later run needs to continue it (ResumeRecord.h); a download that finds a record of the
    // same URL and pin continues with Range + If-Range from the bytes it vouches for, and
    // starts from zero on any other record or temporary file. A failed download keeps the
    // two only when they can be continued; success and a digest mismatch remove them.
    CurlResult downloadFile(const std::string& url, const std::string& dir,
                            const std::string& fileName);

    // downloadFile's code for a body whose SHA-256 is not the pin; the message names both
    // digests ("sha256 mismatch expected=... actual=...").
    static constexpr int kSha256Mismatch = -3;

    // Further settings; false when libcurl refused one.
    bool setProxy(const std::string& proxy, const std::string& userPwd);  // SOCKS5
    bool setUserAgent(const std::string& userAgent);  // holds until the next transfer
    bool setCookie(const std::string& cookie);
    bool setCookieFile(const std::string& path);

    // HEAD probes on a handle of their own, with the process-wide settings.
    static bool getContentLength(const std::string& url, int64_t& length);  // -1: not announced
    static bool getRemoteFileName(const std::string& url, std::string& name);

    // PUT of a local file; upload progress goes to the listener.
    CurlResult uploadFile(const std::string& url, const std::string& localPath);

private:
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

    // What one URL of downloadFile came to.
    enum class UrlOutcome { Complete, Failed, Stopped };

    bool checkHandle(CurlResult& result);
    // The settings every transfer of this client shares. The system's proxy lookup may be
    // cut short by a stop request: the setter then holds CURLE_ABORTED_BY_CALLBACK.
    void setCommonOptions(CCurlOptionSetter& set, const std::string& url);
    void setMemoryBody(CCurlOptionSetter& set, std::string& body);
    // Runs the transfer configured on m_pCurl, waking at least every 100 ms so that a
    // stop request of the thread's owner is seen even while nothing arrives.
    // Codes are libcurl's CURLcode values. Each transfer leaves one line in the support log:
    // address, status, bytes, time, route and outcome.
    int perform();
    void logTransfer(int curlCode);
    // `status`: the status the transfer's own header parsing saw (-1: ask libcurl).
    CurlResult makeResult(int curlCode, long status = -1);
    // A HEAD request on a handle of its own; runs `read` on the finished handle.
    template <class Read>
    static bool probe(const std::string& url, Read read);
    // The result of a transfer that did not start: libcurl refused a setting of it (or a
    // stop request came while it was being set up).
    static CurlResult setupFailure(int curlCode);

    // downloadFile's parts (DownloadFile.cpp, DownloadAttempt.cpp).
    UrlOutcome downloadFrom(const std::string& url, CDownloadState& download, int& curlCode);
    // One attempt into the open temporary file of `download`.
    int downloadAttempt(const std::string& url, CDownloadState& download);
    CurlResult finishDownload(CDownloadState& download, const std::string& finalPath);
    CurlResult failedDownload(CDownloadState& download, int curlCode, bool cancelled);
    // Waits `milliseconds` unless the stop flag or the owner's stop request comes first
    // (then false, within about 20 ms).
    bool waitBeforeRetry(uint32_t milliseconds);
    bool stopRequested() const;

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

    CCurlGlobalUse m_curlGlobal;  // first made, last gone: outlives the handles below
    TransferOptions m_options;
    CEasyPtr m_pCurl;             // null when libcurl made none
    CMultiPtr m_pMulti;           // drives m_pCurl so that waits stay short
    CSlistPtr m_pHeaders;         // the caller's request headers
    CDownloadState* m_pDownload;  // during downloadFile only
    std::string m_strRoute;       // how the last transfer was routed, for the support log
};

// `url` without the user name and password it may carry ("http://u:p@host/" gives
// "http://host/"): what logs may show of an address.
std::string UrlWithoutCredentials(const std::string& url);

// The client's diagnostic line: the formatted text (at most 1023 bytes) in square
// brackets, written to the debugger output stream as it is.
void traceError(const char* format, ...) __attribute__((format(printf, 1, 2)));
