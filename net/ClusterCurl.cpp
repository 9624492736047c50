#include "net/ClusterCurl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/StopFlag.h"
#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Time.h"

namespace {

constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; zh-CN; rv:1.9.2.3) Gecko/20100401 Firefox/3.6.3";
// A redirect loop fails at once instead of running until the total time-out.
constexpr long kMaxRedirects = 30;
// Longest wait inside a transfer before the stop request of the thread's owner is looked at.
constexpr long kWakeMs = 100;
constexpr uint32_t kReportIntervalMs = 1000;
constexpr int kRenameAttempts = 1800;
constexpr uint32_t kRenameWaitMs = 100;
// Receive buffer of downloads: large pieces mean few writes to the file (a fixed size, so
// memory does not grow with the file).
constexpr long kDownloadBufferBytes = 256 * 1024;

// Formats into a zeroed 1024-byte buffer; longer texts are cut.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatText(const char* format, ...) {
    char buffer[1024] = {0};
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

// A text formatted beforehand is traced as it is: a '%' in it is not a conversion.
void TracePlain(const std::string& text) {
    traceError("%s", text.c_str());
}

bool PathExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The platform's "file in use" errors; the rename waits for them to clear.
bool IsInUseError(int error) {
    return error == EBUSY || error == ETXTBSY;
}

// Owner of the file a download writes.
class CFileHandle {
public:
    explicit CFileHandle(FILE* file) : m_pFile(file) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    FILE* Get() const { return m_pFile; }
    // True when the file is closed and everything written reached it.
    bool Close() {
        if (m_pFile == nullptr)
            return true;
        bool ok = std::fclose(m_pFile) == 0;
        m_pFile = nullptr;  // fclose releases the stream even when it fails
        return ok;
    }

private:
    FILE* m_pFile;
};

}  // namespace

void traceError(const char* format, ...) {
    char text[1024] = {0};
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    char line[1536] = {0};
    snprintf(line, sizeof(line), "[%s]", text);
    platform::OutputDebugStringA(line);
}

ClusterCurl::ClusterCurl()
    : m_nConnectTimeout(30),
      m_nTimeout(3600),
      m_pCurl(curl_easy_init()),
      m_pHeaders(nullptr),
      m_nTaskId(0),
      m_pCallback(nullptr),
      m_pStopFlag(nullptr),
      m_dwLastReport(0),
      m_pMulti(nullptr) {
    if (m_pCurl == nullptr)
        traceError("curl_easy_init() failed: %d\n", errno);
}

ClusterCurl::~ClusterCurl() {
    if (m_pHeaders != nullptr)
        curl_slist_free_all(m_pHeaders);
    m_pHeaders = nullptr;
    if (m_pMulti != nullptr)
        curl_multi_cleanup(m_pMulti);
    m_pMulti = nullptr;
    if (m_pCurl != nullptr)
        curl_easy_cleanup(m_pCurl);
    m_pCurl = nullptr;
}

void ClusterCurl::setTimeout(int connectSeconds, int totalSeconds) {
    m_nConnectTimeout = connectSeconds;
    m_nTimeout = totalSeconds;
}

bool ClusterCurl::checkHandle(CurlResult& result) {
    if (m_pCurl != nullptr)
        return true;
    traceError("curl_easy_init() failed: m_pCurl == NULL\n");
    result.code = -1;
    result.message = "m_pCurl == NULL";
    return false;
}

void ClusterCurl::setCommonOptions() {
    curl_easy_setopt(m_pCurl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(m_pCurl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(m_pCurl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_nConnectTimeout));
    curl_easy_setopt(m_pCurl, CURLOPT_TIMEOUT, static_cast<long>(m_nTimeout));
    // Worker threads: time-outs must not be signals.
    curl_easy_setopt(m_pCurl, CURLOPT_NOSIGNAL, 1L);
}

CURLcode ClusterCurl::perform() {
    if (m_pMulti == nullptr)
        m_pMulti = curl_multi_init();
    if (m_pMulti == nullptr)
        return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(m_pMulti, m_pCurl) != CURLM_OK)
        return CURLE_FAILED_INIT;

    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(m_pMulti, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_pMulti, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_pCurl) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        if (platform::IsCurrentThreadCancelled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (curl_multi_poll(m_pMulti, nullptr, 0, kWakeMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(m_pMulti, m_pCurl);
    return result;
}

CurlResult ClusterCurl::makeResult(CURLcode curlCode) {
    CurlResult result;
    result.message = curl_easy_strerror(curlCode);
    long status = 0;
    curl_easy_getinfo(m_pCurl, CURLINFO_RESPONSE_CODE, &status);
    if (curlCode == CURLE_OK && status == 200) {
        result.code = 200;
        return result;
    }
    // A body that failed after a 200 status line is a failure, never a 200.
    if (status != 0 && status != 200)
        result.code = static_cast<int>(status);
    else
        result.code = static_cast<int>(curlCode);
    traceError("curl send msg error: pRes=%s, lResCode=%ld \n", result.message.c_str(),
               static_cast<long>(result.code));
    return result;
}

size_t ClusterCurl::httpDataWriter(char* data, size_t size, size_t nmemb, void* target) {
    auto* body = static_cast<std::string*>(target);
    if (body == nullptr) {
        traceError("ClusterCurl httpDataWriter data error(%d) \n", errno);
        return 0;
    }
    body->append(data, size * nmemb);
    return size * nmemb;
}

size_t ClusterCurl::fileDataWriter(char* data, size_t size, size_t nmemb, void* file) {
    return std::fwrite(data, size, nmemb, static_cast<FILE*>(file));
}

size_t ClusterCurl::fileDataReader(char* data, size_t size, size_t nmemb, void* file) {
    return std::fread(data, size, nmemb, static_cast<FILE*>(file));
}

int ClusterCurl::downloadProgress(void* client, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t,
                                  curl_off_t) {
    if (platform::IsCurrentThreadCancelled())
        return 1;  // the owner is going away
    auto* self = static_cast<ClusterCurl*>(client);
    if (self->m_pCallback == nullptr)
        return 0;
    if (self->m_pStopFlag != nullptr && self->m_pStopFlag->load())
        return 0;
    uint32_t now = platform::GetTickCount();
    if (now - self->m_dwLastReport < kReportIntervalMs)
        return 0;
    self->m_dwLastReport = now;
    self->m_pCallback->OnDownloadProgress(1, self->m_nTaskId, static_cast<double>(dlTotal),
                                          static_cast<double>(dlNow));
    return 0;
}

int ClusterCurl::uploadProgress(void* client, curl_off_t, curl_off_t, curl_off_t ulTotal,
                                curl_off_t ulNow) {
    if (platform::IsCurrentThreadCancelled())
        return 1;
    auto* self = static_cast<ClusterCurl*>(client);
    if (self->m_pCallback != nullptr)
        self->m_pCallback->OnUploadProgress(self->m_nTaskId, static_cast<double>(ulTotal),
                                            static_cast<double>(ulNow));
    return 0;
}

int ClusterCurl::cancelProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return platform::IsCurrentThreadCancelled() ? 1 : 0;
}

// A body collected in memory; the progress callback only watches for a stop request.
void ClusterCurl::setMemoryBody(std::string& body) {
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &ClusterCurl::httpDataWriter);
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(m_pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFOFUNCTION, &ClusterCurl::cancelProgress);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFODATA, this);
}

CurlResult ClusterCurl::httpGet(const std::string& url, std::string& body) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
    setCommonOptions();
    setMemoryBody(body);
    return makeResult(perform());
}

CurlResult ClusterCurl::httpPost(const std::string& url, const std::string& postData,
                                 std::string& body) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    curl_easy_setopt(m_pCurl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
    addHeader("Content-Type", "application/x-www-form-urlencoded");
    setCommonOptions();
    setMemoryBody(body);
    if (!postData.empty()) {
        // libcurl does not copy the data; the caller's string outlives the transfer.
        curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDS, postData.data());
        curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDSIZE, static_cast<long>(postData.size()));
    } else {
        static const char kEmpty[] = "";
        curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDS, kEmpty);
        // Back to "no size" (length of the text): a size left by an earlier POST on this
        // handle would make libcurl read past the empty text.
        curl_easy_setopt(m_pCurl, CURLOPT_POSTFIELDSIZE, -1L);
    }
    return makeResult(perform());
}

bool ClusterCurl::addHeader(const std::string& name, const std::string& value) {
    if (name.empty())
        return false;
    std::string line = name + ": " + value;
    curl_slist* list = curl_slist_append(m_pHeaders, line.c_str());
    if (list == nullptr)
        return false;  // the old list stays intact and in use
    m_pHeaders = list;
    if (m_pCurl == nullptr)
        return false;
    return curl_easy_setopt(m_pCurl, CURLOPT_HTTPHEADER, m_pHeaders) == CURLE_OK;
}

CurlResult ClusterCurl::downloadFile(const std::string& url, const std::string& dir,
                                     const std::string& fileName) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    try {
        if (!PathExists(dir)) {
            // The exclamation mark is the full-width one, in the locale's encoding.
            result.message = FormatText("save dir=%s is not exsit%s", dir.c_str(),
                                        platform::WideToMultiByte(L"\uFF01").c_str());
            TracePlain(result.message);
            return result;
        }
        const std::string finalPath = dir + "/" + fileName;
        const std::string tempPath = finalPath + ".temp";
        if (PathExists(finalPath))
            std::remove(finalPath.c_str());
        if (PathExists(tempPath))
            std::remove(tempPath.c_str());

        CFileHandle file(std::fopen(tempPath.c_str(), "wb"));
        if (file.Get() == nullptr) {
            result.message =
                FormatText("downloadFile open file error(%d), %s", errno, finalPath.c_str());
            TracePlain(result.message);
            return result;
        }

        curl_easy_setopt(m_pCurl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
        setCommonOptions();
        curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &ClusterCurl::fileDataWriter);
        curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, file.Get());
        curl_easy_setopt(m_pCurl, CURLOPT_BUFFERSIZE, kDownloadBufferBytes);
        curl_easy_setopt(m_pCurl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_pCurl, CURLOPT_XFERINFOFUNCTION, &ClusterCurl::downloadProgress);
        curl_easy_setopt(m_pCurl, CURLOPT_XFERINFODATA, this);

        CURLcode curlCode = perform();
        // A body that did not reach the disk in full (full disk on the last flush) is a
        // failed write, whatever libcurl saw.
        if (!file.Close() && curlCode == CURLE_OK)
            curlCode = CURLE_WRITE_ERROR;
        result = makeResult(curlCode);
        if (result.code != 200) {
            TracePlain(result.message);
            if (PathExists(tempPath))
                std::remove(tempPath.c_str());
            return result;
        }

        const std::string okMessage = result.message;
        int lastError = 0;
        for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
            // Closing down: the finished body stays in the temporary file.
            if (m_pStopFlag != nullptr && m_pStopFlag->load())
                return result;
            if (std::rename(tempPath.c_str(), finalPath.c_str()) == 0) {
                result.code = 200;
                result.message = okMessage;
                return result;
            }
            lastError = errno;
            if (IsInUseError(lastError)) {
                result.code = -2;
                if (platform::SleepUnlessCancelled(kRenameWaitMs))
                    break;
            } else {
                result.code = -1;
            }
        }
        result.message = FormatText("rename error lasterror=[%d]", lastError);
        TracePlain(result.message);
        return result;
    } catch (...) {
        result.message = FormatText("downloadFile api exception(%d)\n", errno);
        TracePlain(result.message);
        return result;
    }
}

void ClusterCurl::setProxy(const std::string& proxy, const std::string& userPwd) {
    if (m_pCurl == nullptr)
        return;
    curl_easy_setopt(m_pCurl, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_SOCKS5));
    curl_easy_setopt(m_pCurl, CURLOPT_HTTPPROXYTUNNEL, 1L);
    if (!userPwd.empty())
        curl_easy_setopt(m_pCurl, CURLOPT_PROXYUSERPWD, userPwd.c_str());
}

bool ClusterCurl::setUserAgent(const std::string& userAgent) {
    if (userAgent.empty() || m_pCurl == nullptr)
        return false;
    return curl_easy_setopt(m_pCurl, CURLOPT_USERAGENT, userAgent.c_str()) == CURLE_OK;
}

bool ClusterCurl::setCookie(const std::string& cookie) {
    if (cookie.empty() || m_pCurl == nullptr)
        return false;
    return curl_easy_setopt(m_pCurl, CURLOPT_COOKIE, cookie.c_str()) == CURLE_OK;
}

bool ClusterCurl::setCookieFile(const std::string& path) {
    if (path.empty() || m_pCurl == nullptr)
        return false;
    return curl_easy_setopt(m_pCurl, CURLOPT_COOKIEFILE, path.c_str()) == CURLE_OK;
}

void ClusterCurl::setListener(CLibcurlDownCallback* pCallback) {
    m_nTaskId = 0;
    m_pCallback = pCallback;
    m_pStopFlag = &g_bStopFlag;
}

namespace {

// A HEAD request on a handle of its own; runs `read` on the finished handle.
template <class Read>
bool Probe(const std::string& url, Read read) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return false;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // With CURLOPT_HEADER the header lines would go to standard output; drop them.
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t nmemb, void*) { return size * nmemb; });
    CURLcode code = curl_easy_perform(curl);
    bool ok = false;
    if (code == CURLE_OK) {
        ok = read(curl);
    } else {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        traceError("curl send msg error: pRes=%s, lResCode=%ld \n", curl_easy_strerror(code),
                   status);
    }
    curl_easy_cleanup(curl);
    return ok;
}

}  // namespace

bool ClusterCurl::getContentLength(const std::string& url, int64_t& length) {
    return Probe(url, [&](CURL* curl) {
        curl_off_t size = -1;
        if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK)
            return false;
        length = static_cast<int64_t>(size);
        return true;
    });
}

bool ClusterCurl::getRemoteFileName(const std::string& url, std::string& name) {
    return Probe(url, [&](CURL* curl) {
        char* effective = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK ||
            effective == nullptr)
            return false;
        std::string text = effective;
        size_t slash = text.rfind('/');
        name = slash == std::string::npos ? text : text.substr(slash + 1);
        return true;
    });
}

CurlResult ClusterCurl::uploadFile(const std::string& url, const std::string& localPath) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    CFileHandle file(std::fopen(localPath.c_str(), "rb"));
    struct stat info {};
    if (file.Get() == nullptr || ::fstat(::fileno(file.Get()), &info) != 0) {
        result.message = FormatText("uploadFile open file error(%d), %s", errno, localPath.c_str());
        TracePlain(result.message);
        return result;
    }
    setCommonOptions();
    curl_easy_setopt(m_pCurl, CURLOPT_READFUNCTION, &ClusterCurl::fileDataReader);
    curl_easy_setopt(m_pCurl, CURLOPT_READDATA, file.Get());
    curl_easy_setopt(m_pCurl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    curl_easy_setopt(m_pCurl, CURLOPT_UPLOAD, 1L);  // an HTTP upload is a PUT
    curl_easy_setopt(m_pCurl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFOFUNCTION, &ClusterCurl::uploadProgress);
    curl_easy_setopt(m_pCurl, CURLOPT_XFERINFODATA, this);
    // The response body of the upload is not wanted.
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEFUNCTION, &ClusterCurl::httpDataWriter);
    std::string body;
    curl_easy_setopt(m_pCurl, CURLOPT_WRITEDATA, &body);
    CURLcode code = perform();
    // Later transfers on this object are not uploads.
    curl_easy_setopt(m_pCurl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_pCurl, CURLOPT_READDATA, nullptr);
    file.Close();
    return makeResult(code);
}
