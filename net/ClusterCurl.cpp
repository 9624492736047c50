#include "net/ClusterCurl.h"

#include <curl/curl.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <type_traits>

#include "net/ClusterCurlInternal.h"
#include "net/ProxyLookup.h"
#include "net/RetryPolicy.h"
#include "platform/DebugOutput.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "sys/DebugLog.h"
#include "sys/SupportLog.h"

namespace {

constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; zh-CN; rv:1.9.2.3) Gecko/20100401 Firefox/3.6.3";
// A redirect loop fails at once instead of running until the total time-out.
constexpr long kMaxRedirects = 30;
// Longest wait inside a transfer before the stop request of the thread's owner is looked at.
constexpr long kWakeMs = 100;
// Receive buffer: large pieces mean few writes to a downloaded file (a fixed size, so memory
// does not grow with the file).
constexpr long kBufferBytes = 256 * 1024;
// The only schemes a transfer may use, also where a redirect leads.
constexpr const char* kAllowedProtocols = "http,https";

// Owner of the file an upload reads.
class CFileHandle {
public:
    explicit CFileHandle(FILE* file) : m_pFile(file) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    FILE* Get() const { return m_pFile; }
    void Close() {
        if (m_pFile != nullptr)
            std::fclose(m_pFile);
        m_pFile = nullptr;
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
    // The support log takes it as one time-stamped line, without the stream's line break.
    std::string trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == ' '))
        trimmed.pop_back();
    sys::AppendSupportLog(DebugLogTimeStamp() + platform::MultiByteToWide("[" + trimmed + "]"));
}

ClusterCurl::ClusterCurl() : ClusterCurl(DefaultTransferOptions()) {}

ClusterCurl::ClusterCurl(const TransferOptions& options)
    : m_options(options),
      m_pCurl(m_curlGlobal.Ok() ? curl_easy_init() : nullptr),
      m_pDownload(nullptr) {
    if (m_pCurl == nullptr) {
        traceError("curl_easy_init() failed: %d\n", errno);
        return;
    }
    // Set once, on the fresh handle: libcurl refuses it while a failed transfer still
    // holds its buffer.
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_BUFFERSIZE, kBufferBytes);
}

ClusterCurl::~ClusterCurl() = default;

bool ClusterCurl::checkHandle(CurlResult& result) {
    if (m_pCurl != nullptr)
        return true;
    traceError("curl_easy_init() failed: m_pCurl == NULL\n");
    result.code = -1;
    result.message = "m_pCurl == NULL";
    return false;
}

std::string FormatText(const char* format, ...) {
    char buffer[1024] = {0};
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

std::string PathText(const std::string& path) {
    return platform::WideToMultiByte(platform::PathFromNarrow(path));
}

void TracePlain(const std::string& text) {
    traceError("%s", text.c_str());
}

namespace {

// What every transfer, the probes too, sets about security and the route. The system's
// proxy is looked up within the options' limit; a stop request during the lookup fails
// the transfer before it starts.
// Returns how the transfer goes: "direct", "proxy <url>" or "environment".
std::string SetSecurityAndRoute(CCurlOptionSetter& set, const std::string& url,
                                const TransferOptions& options) {
    set(CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    set(CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    set(CURLOPT_SSL_VERIFYPEER, options.verifyTls ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, options.verifyTls ? 2L : 0L);
    // Null puts libcurl's built-in bundle (the system's store) back.
    set(CURLOPT_CAINFO, options.caFile.empty() ? nullptr : options.caFile.c_str());
    if (!options.proxy.empty()) {
        set(CURLOPT_PROXY, options.proxy.c_str());
        return "proxy " + UrlWithoutCredentials(options.proxy) + " (Install.ini)";
    }
    std::string system;
    switch (LookUpProxy(url, options.proxyLookup, options.proxyLookupLimitMs, options.stopFlag,
                        system)) {
        case ProxyRoute::Answered:
            set(CURLOPT_PROXY, system.c_str());  // "": direct, no environment
            return system.empty() ? "direct" : "proxy " + UrlWithoutCredentials(system);
        case ProxyRoute::Cancelled:
            set.Fail(CURLE_ABORTED_BY_CALLBACK);
            return "cancelled";
        case ProxyRoute::NoAnswer:
        case ProxyRoute::TimedOut:
            set(CURLOPT_PROXY, static_cast<const char*>(nullptr));  // libcurl reads the environment
            break;
    }
    return "environment";
}

}  // namespace

void ClusterCurl::setCommonOptions(CCurlOptionSetter& set, const std::string& url) {
    set(CURLOPT_USERAGENT, kUserAgent);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    m_strRoute = SetSecurityAndRoute(set, url, m_options);
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_options.connectTimeoutSeconds));
    set(CURLOPT_TIMEOUT, static_cast<long>(m_options.totalTimeoutSeconds));
    // Worker threads: time-outs must not be signals.
    set(CURLOPT_NOSIGNAL, 1L);
}

namespace {
// A failed call of the multi interface: its diagnostic line, and the easy code a transfer
// fails with.
CURLcode MultiFailure(const char* call, CURLMcode code) {
    traceError("%s failed: %s\n", call, curl_multi_strerror(code));
    return CURLE_FAILED_INIT;
}
}  // namespace

static_assert(std::is_same_v<curl_off_t, int64_t>, "the progress callbacks' type");

void ClusterCurl::CEasyCleanup::operator()(CURL* curl) const {
    curl_easy_cleanup(curl);
}
void ClusterCurl::CMultiCleanup::operator()(CURLM* multi) const {
    curl_multi_cleanup(multi);
}
void ClusterCurl::CSlistFree::operator()(curl_slist* list) const {
    curl_slist_free_all(list);
}

int ClusterCurl::perform() {
    if (m_pMulti == nullptr)
        m_pMulti.reset(curl_multi_init());
    if (m_pMulti == nullptr) {
        traceError("curl_multi_init() failed\n");
        return CURLE_OUT_OF_MEMORY;
    }
    if (const CURLMcode added = curl_multi_add_handle(m_pMulti.get(), m_pCurl.get());
        added != CURLM_OK)
        return MultiFailure("curl_multi_add_handle", added);

    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (const CURLMcode code = curl_multi_perform(m_pMulti.get(), &running); code != CURLM_OK) {
            result = MultiFailure("curl_multi_perform", code);
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_pMulti.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_pCurl.get()) {
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
        if (const CURLMcode code = curl_multi_poll(m_pMulti.get(), nullptr, 0, kWakeMs, nullptr);
            code != CURLM_OK) {
            result = MultiFailure("curl_multi_poll", code);
            break;
        }
    }
    // A handle left in the multi handle could not be added again: the next transfer would
    // fail, so this one does.
    if (const CURLMcode removed = curl_multi_remove_handle(m_pMulti.get(), m_pCurl.get());
        removed != CURLM_OK) {
        const CURLcode failed = MultiFailure("curl_multi_remove_handle", removed);
        if (result == CURLE_OK)
            result = failed;
    }
    logTransfer(result);
    return result;
}

void ClusterCurl::logTransfer(int code) {
    if (sys::SupportLogPath().empty())
        return;  // nobody reads it
    const char* url = nullptr;
    long status = 0;
    curl_off_t bytes = 0;
    curl_off_t micros = 0;
    // A query that fails leaves its value as set above: the line is still worth having.
    curl_easy_getinfo(m_pCurl.get(), CURLINFO_EFFECTIVE_URL, &url);
    curl_easy_getinfo(m_pCurl.get(), CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(m_pCurl.get(), CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    curl_easy_getinfo(m_pCurl.get(), CURLINFO_TOTAL_TIME_T, &micros);
    char line[1536];
    snprintf(line, sizeof(line),
             "[transfer %s status=%ld bytes=%lld time=%.3fs route=%s result=%d %s]",
             url != nullptr ? UrlWithoutCredentials(url).c_str() : "?", status,
             static_cast<long long>(bytes), static_cast<double>(micros) / 1e6, m_strRoute.c_str(),
             code, curl_easy_strerror(static_cast<CURLcode>(code)));
    sys::AppendSupportLog(DebugLogTimeStamp() + platform::MultiByteToWide(line));
}

std::string UrlWithoutCredentials(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of("/?#", start);
    const size_t at = url.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start)
        return url;
    return url.substr(0, start) + url.substr(at + 1);
}

CurlResult ClusterCurl::setupFailure(int code) {
    const auto curlCode = static_cast<CURLcode>(code);
    CurlResult result;
    result.code = static_cast<int>(curlCode);
    result.message = curl_easy_strerror(curlCode);
    result.failure = ClassifyCurlFailure(curlCode);
    traceError("curl send msg error: pRes=%s, lResCode=%ld \n", result.message.c_str(),
               static_cast<long>(result.code));
    return result;
}

CurlResult ClusterCurl::makeResult(int code, long status) {
    auto curlCode = static_cast<CURLcode>(code);
    if (status < 0) {
        status = 0;
        if (const CURLcode info = curl_easy_getinfo(m_pCurl.get(), CURLINFO_RESPONSE_CODE, &status);
            info != CURLE_OK) {
            // Without the status the outcome is unknown: never a success.
            traceError("curl_easy_getinfo(CURLINFO_RESPONSE_CODE) failed: %s\n",
                       curl_easy_strerror(info));
            status = 0;
            if (curlCode == CURLE_OK)
                curlCode = info;
        }
    }
    CurlResult result;
    result.message = curl_easy_strerror(curlCode);
    // The rest of a continued download stands for the whole body.
    if (status == 206 && m_pDownload != nullptr)
        status = 200;
    if (curlCode == CURLE_OK && status == 200) {
        result.code = 200;
        result.failure = DownloadFailure::None;
        return result;
    }
    if (status / 100 == 3 && curlCode != CURLE_OK && CRetryPolicy::IsTransientFailure(curlCode)) {
        // A redirect was being followed when the line failed: that failure is the outcome.
        result.code = static_cast<int>(curlCode);
        result.failure = ClassifyCurlFailure(curlCode);
    } else if (status != 0 && status != 200) {
        // A body that failed after a 200 status line is a failure, never a 200.
        result.code = static_cast<int>(status);
        result.failure = DownloadFailure::HttpStatus;
    } else {
        result.code = static_cast<int>(curlCode);
        result.failure = ClassifyCurlFailure(curlCode);
    }
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

size_t ClusterCurl::fileDataReader(char* data, size_t size, size_t nmemb, void* file) {
    return std::fread(data, size, nmemb, static_cast<FILE*>(file));
}

int ClusterCurl::uploadProgress(void* client, int64_t, int64_t, int64_t ulTotal, int64_t ulNow) {
    if (platform::IsCurrentThreadCancelled())
        return 1;
    auto* self = static_cast<ClusterCurl*>(client);
    if (self->m_options.listener != nullptr)
        self->m_options.listener->OnUploadProgress(
            self->m_options.taskId, static_cast<double>(ulTotal), static_cast<double>(ulNow));
    return 0;
}

int ClusterCurl::cancelProgress(void*, int64_t, int64_t, int64_t, int64_t) {
    return platform::IsCurrentThreadCancelled() ? 1 : 0;
}

// A body collected in memory; the progress callback only watches for a stop request.
void ClusterCurl::setMemoryBody(CCurlOptionSetter& set, std::string& body) {
    set(CURLOPT_WRITEFUNCTION, &ClusterCurl::httpDataWriter);
    set(CURLOPT_WRITEDATA, &body);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &ClusterCurl::cancelProgress);
    set(CURLOPT_XFERINFODATA, this);
}

CurlResult ClusterCurl::httpGet(const std::string& url, std::string& body) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_URL, url.c_str());
    setCommonOptions(set, url);
    setMemoryBody(set, body);
    if (!set.Ok())
        return setupFailure(set.FirstError());
    return makeResult(perform());
}

CurlResult ClusterCurl::httpPost(const std::string& url, const std::string& postData,
                                 std::string& body) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_POST, 1L);
    set(CURLOPT_URL, url.c_str());
    // A request without its Content-Type line would be read as other data.
    if (!addHeader("Content-Type", "application/x-www-form-urlencoded")) {
        traceError("httpPost: the Content-Type header could not be added\n");
        return setupFailure(CURLE_OUT_OF_MEMORY);
    }
    setCommonOptions(set, url);
    setMemoryBody(set, body);
    if (!postData.empty()) {
        // libcurl does not copy the data; the caller's string outlives the transfer.
        set(CURLOPT_POSTFIELDS, postData.data());
        set(CURLOPT_POSTFIELDSIZE, static_cast<long>(postData.size()));
    } else {
        static const char kEmpty[] = "";
        set(CURLOPT_POSTFIELDS, kEmpty);
        // Back to "no size" (length of the text): a size left by an earlier POST on this
        // handle would make libcurl read past the empty text.
        set(CURLOPT_POSTFIELDSIZE, -1L);
    }
    if (!set.Ok())
        return setupFailure(set.FirstError());
    return makeResult(perform());
}

bool ClusterCurl::addHeader(const std::string& name, const std::string& value) {
    if (name.empty())
        return false;
    std::string line = name + ": " + value;
    curl_slist* list = curl_slist_append(m_pHeaders.get(), line.c_str());
    if (list == nullptr)
        return false;  // the old list stays intact and in use
    // The list grew in place when it had a head: the holder keeps that head.
    if (m_pHeaders == nullptr)
        m_pHeaders.reset(list);
    if (m_pCurl == nullptr)
        return false;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_HTTPHEADER, m_pHeaders.get());
    return set.Ok();
}

bool ClusterCurl::setProxy(const std::string& proxy, const std::string& userPwd) {
    if (m_pCurl == nullptr)
        return false;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_PROXY, proxy.c_str());
    set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_SOCKS5));
    set(CURLOPT_HTTPPROXYTUNNEL, 1L);
    if (!userPwd.empty())
        set(CURLOPT_PROXYUSERPWD, userPwd.c_str());
    return set.Ok();
}

bool ClusterCurl::setUserAgent(const std::string& userAgent) {
    if (userAgent.empty() || m_pCurl == nullptr)
        return false;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_USERAGENT, userAgent.c_str());
    return set.Ok();
}

bool ClusterCurl::setCookie(const std::string& cookie) {
    if (cookie.empty() || m_pCurl == nullptr)
        return false;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_COOKIE, cookie.c_str());
    return set.Ok();
}

bool ClusterCurl::setCookieFile(const std::string& path) {
    if (path.empty() || m_pCurl == nullptr)
        return false;
    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_COOKIEFILE, path.c_str());
    return set.Ok();
}

template <class Read>
bool ClusterCurl::probe(const std::string& url, Read read) {
    CCurlGlobalUse global;
    CEasyPtr handle(global.Ok() ? curl_easy_init() : nullptr);
    if (handle == nullptr) {
        traceError("curl_easy_init() failed: %d\n", errno);
        return false;
    }
    CURL* curl = handle.get();
    CCurlOptionSetter set(curl);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HEADER, 1L);
    set(CURLOPT_NOBODY, 1L);
    set(CURLOPT_CONNECTTIMEOUT, 10L);
    set(CURLOPT_TIMEOUT, 20L);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    SetSecurityAndRoute(set, url, DefaultTransferOptions());
    set(CURLOPT_NOSIGNAL, 1L);
    // With CURLOPT_HEADER the header lines would go to standard output; drop them.
    set(
        CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t nmemb, void*) { return size * nmemb; });
    if (!set.Ok())
        return false;
    CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK)
        return read(curl);
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        status = 0;  // no status line: the line below says so with 0
    traceError("curl send msg error: pRes=%s, lResCode=%ld \n", curl_easy_strerror(code), status);
    return false;
}

bool ClusterCurl::getContentLength(const std::string& url, int64_t& length) {
    return probe(url, [&](CURL* curl) {
        curl_off_t size = -1;
        if (const CURLcode info =
                curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
            info != CURLE_OK) {
            traceError("curl_easy_getinfo(CURLINFO_CONTENT_LENGTH_DOWNLOAD_T) failed: %s\n",
                       curl_easy_strerror(info));
            return false;
        }
        length = static_cast<int64_t>(size);
        return true;
    });
}

bool ClusterCurl::getRemoteFileName(const std::string& url, std::string& name) {
    return probe(url, [&](CURL* curl) {
        char* effective = nullptr;
        if (const CURLcode info = curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
            info != CURLE_OK || effective == nullptr) {
            traceError("curl_easy_getinfo(CURLINFO_EFFECTIVE_URL) failed: %s\n",
                       curl_easy_strerror(info));
            return false;
        }
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
    int openError = 0;
    CFileHandle file(platform::StreamFromDescriptor(
        platform::OpenFile(localPath, O_RDONLY, 0, openError), "rb"));
    struct stat info {};
    if (file.Get() == nullptr || ::fstat(::fileno(file.Get()), &info) != 0) {
        result.message =
            FormatText("uploadFile open file error(%d), %s", openError != 0 ? openError : errno,
                       PathText(localPath).c_str());
        TracePlain(result.message);
        return result;
    }
    CCurlOptionSetter set(m_pCurl.get());
    setCommonOptions(set, url);
    set(CURLOPT_READFUNCTION, &ClusterCurl::fileDataReader);
    set(CURLOPT_READDATA, file.Get());
    set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    set(CURLOPT_UPLOAD, 1L);  // an HTTP upload is a PUT
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &ClusterCurl::uploadProgress);
    set(CURLOPT_XFERINFODATA, this);
    // The response body of the upload is not wanted.
    set(CURLOPT_WRITEFUNCTION, &ClusterCurl::httpDataWriter);
    std::string body;
    set(CURLOPT_WRITEDATA, &body);
    const bool configured = set.Ok();
    CURLcode code = configured ? static_cast<CURLcode>(perform()) : set.FirstError();
    // Later transfers on this object are not uploads.
    CCurlOptionSetter restore(m_pCurl.get());
    restore(CURLOPT_UPLOAD, 0L);
    restore(CURLOPT_READDATA, static_cast<void*>(nullptr));
    file.Close();
    if (!configured)
        return setupFailure(code);
    if (code == CURLE_OK && !restore.Ok())
        code = restore.FirstError();
    return makeResult(code);
}
