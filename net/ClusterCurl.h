#pragma once
// The installer's HTTP client: one libcurl easy handle, blocking transfers on the calling
// thread. Made on the caller's stack, configured, used and destroyed in one scope.
//
// All texts given to it (URL, directory, file name, post data) are narrow text in the
// process locale's encoding. It writes its own diagnostic lines, "[...]" without time
// stamp, to the debugger output stream.
//
// A transfer succeeds only when libcurl reports no failure and the status is 200. A
// transfer run on a thread whose owner asks it to stop (platform/Thread.h) is aborted
// within about 100 ms.

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "net/CurlResult.h"
#include "net/LibcurlDownCallback.h"

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
    // only after a successful transfer and while the stop flag is clear.
    CurlResult downloadFile(const std::string& url, const std::string& dir,
                            const std::string& fileName);

    // Further settings.
    void setProxy(const std::string& proxy, const std::string& userPwd);  // SOCKS5
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
    CURL* m_pCurl;                         // owned; null when libcurl made none
    curl_slist* m_pHeaders;                // owned
    int m_nTaskId;                         // handed unchanged to every report
    CLibcurlDownCallback* m_pCallback;     // not owned; null: no reports
    const std::atomic<bool>* m_pStopFlag;  // not owned; null: no stop flag
    uint32_t m_dwLastReport;               // tick of the last progress report

private:
    bool checkHandle(CurlResult& result);
    void setCommonOptions();
    void setMemoryBody(std::string& body);
    // Runs the transfer configured on m_pCurl, waking at least every 100 ms so that a
    // stop request of the thread's owner is seen even while nothing arrives.
    CURLcode perform();
    CurlResult makeResult(CURLcode curlCode);

    static size_t httpDataWriter(char* data, size_t size, size_t nmemb, void* target);
    static size_t fileDataWriter(char* data, size_t size, size_t nmemb, void* file);
    static size_t fileDataReader(char* data, size_t size, size_t nmemb, void* file);
    static int downloadProgress(void* client, curl_off_t dlTotal, curl_off_t dlNow,
                                curl_off_t ulTotal, curl_off_t ulNow);
    static int uploadProgress(void* client, curl_off_t dlTotal, curl_off_t dlNow,
                              curl_off_t ulTotal, curl_off_t ulNow);
    static int cancelProgress(void* client, curl_off_t dlTotal, curl_off_t dlNow,
                              curl_off_t ulTotal, curl_off_t ulNow);

    CURLM* m_pMulti;  // owned; drives m_pCurl so that waits stay short
};

// The client's diagnostic line: the formatted text (at most 1023 bytes) in square
// brackets, written to the debugger output stream as it is.
void traceError(const char* format, ...) __attribute__((format(printf, 1, 2)));
