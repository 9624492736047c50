#include "net/ClusterCurl.h"

#include <curl/curl.h>

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <type_traits>

#include "net/Sha256.h"
#include "net/StopFlag.h"
#include "net/SystemProxy.h"
#include "net/TransferSettings.h"
#include "platform/DebugOutput.h"
#include "platform/File.h"
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
// The only schemes a transfer may use, also where a redirect leads.
constexpr const char* kAllowedProtocols = "http,https";
// Back-off between download attempts; a test makes it short.
constexpr uint32_t kFirstBackoffMs = 1000;
constexpr uint32_t kMaxBackoffMs = 30000;
std::atomic<uint32_t> g_firstBackoffMs{kFirstBackoffMs};
std::atomic<uint32_t> g_maxBackoffMs{kMaxBackoffMs};
// A download that may retry treats a line that brings nothing for this long as lost (a
// connection can die without a reset); a test makes it short.
constexpr long kStallSeconds = 60;
std::atomic<long> g_stallSeconds{kStallSeconds};
// The stop flag is looked at this often during a back-off wait.
constexpr uint32_t kBackoffSliceMs = 20;

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

// A file name in the narrow text encoding the messages are in: on Windows the file
// system's narrow form is UTF-8, the messages are ANSI.
std::string PathText(const std::string& path) {
    return platform::WideToMultiByte(platform::PathFromNarrow(path));
}

// A text formatted beforehand is traced as it is: a '%' in it is not a conversion.
void TracePlain(const std::string& text) {
    traceError("%s", text.c_str());
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

// Sets options on one easy handle, checking each: a refusal is a diagnostic line naming
// the option, and the first refused option's code is what the transfer fails with.
class ClusterCurl::COptions {
public:
    explicit COptions(CURL* curl) : m_curl(curl) {}

    template <class Value>
    void operator()(CURLoption option, Value value) {
        const CURLcode code = curl_easy_setopt(m_curl, option, value);
        if (code == CURLE_OK)
            return;
        traceError("curl_easy_setopt(%d) failed: %s\n", static_cast<int>(option),
                   curl_easy_strerror(code));
        if (m_firstError == CURLE_OK)
            m_firstError = code;
    }
    bool Ok() const { return m_firstError == CURLE_OK; }
    CURLcode FirstError() const { return m_firstError; }

private:
    CURL* m_curl;
    CURLcode m_firstError = CURLE_OK;
};

ClusterCurl::ClusterCurl()
    : m_nConnectTimeout(30),
      m_nTimeout(3600),
      m_nTaskId(0),
      m_pCallback(nullptr),
      m_pStopFlag(nullptr),
      m_dwLastReport(0),
      m_bVerifyTls(true),
      m_nRetries(0),
      m_pCurl(curl_easy_init()),
      m_pDownload(nullptr),
      m_dReportedShare(-1) {
    const CTransferSettings settings = GetDefaultTransferSettings();
    m_bVerifyTls = settings.verifyTls;
    m_strCaFile = settings.caFile;
    m_strProxy = settings.proxy;
    if (m_pCurl == nullptr)
        traceError("curl_easy_init() failed: %d\n", errno);
}

ClusterCurl::~ClusterCurl() = default;

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

namespace {

// What every transfer, the probes too, sets about security and the route.
template <class Options>
void SetSecurityAndRoute(Options& set, const std::string& url, bool verifyTls,
                         const std::string& caFile, const std::string& proxy) {
    set(CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    set(CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    set(CURLOPT_SSL_VERIFYPEER, verifyTls ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, verifyTls ? 2L : 0L);
    // Null puts libcurl's built-in bundle (the system's store) back.
    set(CURLOPT_CAINFO, caFile.empty() ? nullptr : caFile.c_str());
    if (!proxy.empty()) {
        set(CURLOPT_PROXY, proxy.c_str());
        return;
    }
    std::string system;
    if (ResolveSystemProxy(url, system))
        set(CURLOPT_PROXY, system.c_str());  // "": direct, no environment
    else
        set(CURLOPT_PROXY, static_cast<const char*>(nullptr));  // libcurl reads the environment
}

}  // namespace

void ClusterCurl::setCommonOptions(COptions& set, const std::string& url) {
    set(CURLOPT_USERAGENT, kUserAgent);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    SetSecurityAndRoute(set, url, m_bVerifyTls, m_strCaFile, m_strProxy);
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_nConnectTimeout));
    set(CURLOPT_TIMEOUT, static_cast<long>(m_nTimeout));
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
    return result;
}

CurlResult ClusterCurl::setupFailure(int code) {
    const auto curlCode = static_cast<CURLcode>(code);
    CurlResult result;
    result.code = static_cast<int>(curlCode);
    result.message = curl_easy_strerror(curlCode);
    traceError("curl send msg error: pRes=%s, lResCode=%ld \n", result.message.c_str(),
               static_cast<long>(result.code));
    return result;
}

CurlResult ClusterCurl::makeResult(int code) {
    auto curlCode = static_cast<CURLcode>(code);
    long status = 0;
    if (const CURLcode info = curl_easy_getinfo(m_pCurl.get(), CURLINFO_RESPONSE_CODE, &status);
        info != CURLE_OK) {
        // Without the status the outcome is unknown: never a success.
        traceError("curl_easy_getinfo(CURLINFO_RESPONSE_CODE) failed: %s\n",
                   curl_easy_strerror(info));
        status = 0;
        if (curlCode == CURLE_OK)
            curlCode = info;
    }
    CurlResult result;
    result.message = curl_easy_strerror(curlCode);
    // The rest of a continued download stands for the whole body.
    if (status == 206 && m_pDownload != nullptr)
        status = 200;
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

// The state of one downloadFile across its attempts.
struct ClusterCurl::CDownload {
    FILE* file = nullptr;    // the temporary file, open for writing
    CSha256* sha = nullptr;  // fed with every byte the file keeps; null: no digest wanted
    // Across attempts.
    int64_t onDisk = 0;     // body bytes in the file
    std::string validator;  // If-Range value that vouches for those bytes; empty: none
    // This attempt.
    int64_t resumeFrom = 0;      // first byte asked for (0: the whole body)
    bool decided = false;        // the final response's body has been judged
    bool keepBody = false;       // that body goes to the file
    bool rangeMismatch = false;  // a 206 that does not continue where asked
    bool writeFailed = false;    // the file did not take a piece
    bool setupFailed = false;    // libcurl refused a setting: the attempt never started
    // The response whose header lines arrive; after a redirect, the last one.
    long status = 0;
    bool acceptRanges = false;
    std::string etag;
    std::string lastModified;
    int64_t rangeStart = -1;   // first byte of its Content-Range
    int64_t progressBase = 0;  // bytes of the file before its body

    void BeginResponse(long code) {
        status = code;
        acceptRanges = false;
        etag.clear();
        lastModified.clear();
        rangeStart = -1;
        progressBase = 0;
    }

    // Empties the file for a body that starts over.
    bool Truncate() {
        if (!platform::TruncateStream(file))
            return false;
        onDisk = 0;
        validator.clear();
        if (sha != nullptr)
            sha->Reset();
        return true;
    }

    // Judges the final response at its first body byte (or its end, when it has none).
    bool Decide() {
        decided = true;
        if (status == 206) {
            // Only the continuation asked for may be appended.
            if (resumeFrom <= 0 || rangeStart != resumeFrom || onDisk != resumeFrom) {
                rangeMismatch = true;
                return false;
            }
            keepBody = true;
            return true;
        }
        if (status == 200) {
            // The whole body (the file changed, or the server ignores ranges): start over.
            if (onDisk > 0 && !Truncate()) {
                writeFailed = true;
                return false;
            }
            keepBody = true;
            // A later attempt may continue these bytes only with a validator that the
            // server checks through If-Range; a weak ETag cannot be used there.
            if (acceptRanges) {
                if (!etag.empty() && etag.compare(0, 2, "W/") != 0)
                    validator = etag;
                else if (!lastModified.empty())
                    validator = lastModified;
            }
            return true;
        }
        keepBody = false;  // an error page is not part of the file
        return true;
    }
};

size_t ClusterCurl::fileDataWriter(char* data, size_t size, size_t nmemb, void* target) {
    auto* download = static_cast<CDownload*>(target);
    const size_t bytes = size * nmemb;
    if (!download->decided && !download->Decide())
        return 0;  // ends the attempt with CURLE_WRITE_ERROR
    if (!download->keepBody)
        return bytes;
    const size_t written = std::fwrite(data, 1, bytes, download->file);
    if (written > 0) {
        download->onDisk += static_cast<int64_t>(written);
        if (download->sha != nullptr)
            download->sha->Update(data, written);
    }
    if (written != bytes)
        download->writeFailed = true;
    return written;
}

size_t ClusterCurl::headerReader(char* data, size_t size, size_t nmemb, void* target) {
    auto* download = static_cast<CDownload*>(target);
    const size_t bytes = size * nmemb;
    std::string line(data, bytes);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
        size_t blank = line.find(' ');
        download->BeginResponse(
            blank == std::string::npos ? 0 : std::strtol(line.c_str() + blank + 1, nullptr, 10));
        return bytes;
    }
    if (line.empty()) {  // the end of this response's header
        if (download->status == 206 && download->rangeStart == download->resumeFrom)
            download->progressBase = download->resumeFrom;
        return bytes;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos)
        return bytes;
    const std::string name = line.substr(0, colon);
    size_t start = line.find_first_not_of(" \t", colon + 1);
    const std::string value = start == std::string::npos ? "" : line.substr(start);
    if (strcasecmp(name.c_str(), "Accept-Ranges") == 0) {
        download->acceptRanges = strcasecmp(value.c_str(), "bytes") == 0;
    } else if (strcasecmp(name.c_str(), "ETag") == 0) {
        download->etag = value;
    } else if (strcasecmp(name.c_str(), "Last-Modified") == 0) {
        download->lastModified = value;
    } else if (strcasecmp(name.c_str(), "Content-Range") == 0) {
        if (strncasecmp(value.c_str(), "bytes ", 6) == 0 && value.size() > 6 && value[6] >= '0' &&
            value[6] <= '9')
            download->rangeStart = std::strtoll(value.c_str() + 6, nullptr, 10);
    }
    return bytes;
}

size_t ClusterCurl::fileDataReader(char* data, size_t size, size_t nmemb, void* file) {
    return std::fread(data, size, nmemb, static_cast<FILE*>(file));
}

int ClusterCurl::downloadProgress(void* client, int64_t dlTotal, int64_t dlNow, int64_t, int64_t) {
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
    double total = static_cast<double>(dlTotal);
    double got = static_cast<double>(dlNow);
    if (self->m_pDownload != nullptr) {
        // A continued body counts from the bytes the file had before it.
        const double base = static_cast<double>(self->m_pDownload->progressBase);
        if (dlTotal > 0)
            total += base;
        got += base;
        // Reports never go back, also when a retry starts over: they wait until the new
        // attempt has passed the share already shown.
        if (total > 0) {
            double share = got / total;
            if (share < self->m_dReportedShare)
                return 0;
            self->m_dReportedShare = share;
        } else if (self->m_dReportedShare > 0) {
            return 0;  // no size (yet): it would show as the start of the range
        }
    }
    self->m_dwLastReport = now;
    self->m_pCallback->OnDownloadProgress(1, self->m_nTaskId, total, got);
    return 0;
}

int ClusterCurl::uploadProgress(void* client, int64_t, int64_t, int64_t ulTotal, int64_t ulNow) {
    if (platform::IsCurrentThreadCancelled())
        return 1;
    auto* self = static_cast<ClusterCurl*>(client);
    if (self->m_pCallback != nullptr)
        self->m_pCallback->OnUploadProgress(self->m_nTaskId, static_cast<double>(ulTotal),
                                            static_cast<double>(ulNow));
    return 0;
}

int ClusterCurl::cancelProgress(void*, int64_t, int64_t, int64_t, int64_t) {
    return platform::IsCurrentThreadCancelled() ? 1 : 0;
}

// A body collected in memory; the progress callback only watches for a stop request.
void ClusterCurl::setMemoryBody(COptions& set, std::string& body) {
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
    COptions set(m_pCurl.get());
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
    COptions set(m_pCurl.get());
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
    COptions set(m_pCurl.get());
    set(CURLOPT_HTTPHEADER, m_pHeaders.get());
    return set.Ok();
}

bool ClusterCurl::IsTransientFailure(int code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:     // refused
        case CURLE_PARTIAL_FILE:        // body cut off
        case CURLE_OPERATION_TIMEDOUT:  // connect or transfer time-out
        case CURLE_GOT_NOTHING:         // closed before an answer
        case CURLE_SEND_ERROR:          // reset while sending
        case CURLE_RECV_ERROR:          // reset or lost while receiving
        case CURLE_HTTP2:               // framing broken off
        case CURLE_HTTP2_STREAM:        // stream reset
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

uint32_t ClusterCurl::BackoffDelayMs(int step, uint32_t retryAfterMs) {
    const uint64_t cap = g_maxBackoffMs.load();
    if (retryAfterMs > 0)
        return static_cast<uint32_t>(std::min<uint64_t>(retryAfterMs, cap));
    uint64_t delay = g_firstBackoffMs.load();
    for (int i = 0; i < step && delay < cap; ++i)
        delay *= 2;
    delay = std::min(delay, cap);
    // Jitter: installers that lost the same server do not all come back at once.
    thread_local std::mt19937 rng(std::random_device{}());
    const uint64_t jitter = std::uniform_int_distribution<uint64_t>(0, delay / 4)(rng);
    return static_cast<uint32_t>(std::min(delay + jitter, cap));
}

void ClusterCurl::SetBackoffForTest(uint32_t firstMs, uint32_t capMs) {
    g_firstBackoffMs = firstMs > 0 ? firstMs : kFirstBackoffMs;
    g_maxBackoffMs = capMs > 0 ? capMs : kMaxBackoffMs;
}

void ClusterCurl::SetStallLimitForTest(long seconds) {
    g_stallSeconds = seconds > 0 ? seconds : kStallSeconds;
}

bool ClusterCurl::waitBeforeRetry(uint32_t milliseconds) {
    const uint32_t start = platform::GetTickCount();
    for (;;) {
        if (m_pStopFlag != nullptr && m_pStopFlag->load())
            return false;
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed >= milliseconds)
            return true;
        if (platform::SleepUnlessCancelled(std::min(kBackoffSliceMs, milliseconds - elapsed)))
            return false;
    }
}

int ClusterCurl::downloadAttempt(const std::string& url, CDownload& download) {
    download.decided = false;
    download.keepBody = false;
    download.rangeMismatch = false;
    download.writeFailed = false;
    download.setupFailed = false;
    download.BeginResponse(0);

    // A continuation asks for the rest of the body, and only of the body it started
    // (If-Range): a changed file comes back whole, with status 200.
    std::string range;
    CSlistPtr headers;
    if (download.resumeFrom > 0) {
        range = std::to_string(download.resumeFrom) + "-";
        bool ok = true;
        for (curl_slist* line = m_pHeaders.get(); line != nullptr && ok; line = line->next) {
            curl_slist* grown = curl_slist_append(headers.get(), line->data);
            ok = grown != nullptr;
            if (ok && headers == nullptr)
                headers.reset(grown);
        }
        curl_slist* grown =
            ok ? curl_slist_append(headers.get(), ("If-Range: " + download.validator).c_str())
               : nullptr;
        if (grown == nullptr)
            return CURLE_OUT_OF_MEMORY;
        if (headers == nullptr)
            headers.reset(grown);
    }

    COptions set(m_pCurl.get());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_URL, url.c_str());
    setCommonOptions(set, url);
    set(CURLOPT_WRITEFUNCTION, &ClusterCurl::fileDataWriter);
    set(CURLOPT_WRITEDATA, &download);
    set(CURLOPT_HEADERFUNCTION, &ClusterCurl::headerReader);
    set(CURLOPT_HEADERDATA, &download);
    set(CURLOPT_BUFFERSIZE, kDownloadBufferBytes);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &ClusterCurl::downloadProgress);
    set(CURLOPT_XFERINFODATA, this);
    set(CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
    if (m_nRetries > 0) {
        // Less than a byte a second for that long: the line is lost; the retry resumes.
        set(CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(CURLOPT_LOW_SPEED_TIME, g_stallSeconds.load());
    }
    if (headers != nullptr)
        set(CURLOPT_HTTPHEADER, headers.get());

    download.setupFailed = !set.Ok();
    CURLcode code = download.setupFailed ? set.FirstError() : static_cast<CURLcode>(perform());

    // Later transfers on this handle ask for whole bodies with the caller's own headers,
    // without a stall limit; a handle that kept this attempt's settings fails this attempt.
    COptions restore(m_pCurl.get());
    restore(CURLOPT_RANGE, static_cast<const char*>(nullptr));
    restore(CURLOPT_LOW_SPEED_LIMIT, 0L);
    restore(CURLOPT_LOW_SPEED_TIME, 0L);
    restore(CURLOPT_HTTPHEADER, m_pHeaders.get());
    restore(CURLOPT_HEADERFUNCTION, static_cast<curl_write_callback>(nullptr));
    restore(CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    if (code == CURLE_OK && !restore.Ok())
        code = restore.FirstError();
    headers.reset();

    // A response without a body never reached the writer.
    if (code == CURLE_OK && !download.decided && !download.Decide())
        code = CURLE_WRITE_ERROR;
    if (std::fflush(download.file) != 0 && code == CURLE_OK)
        code = CURLE_WRITE_ERROR;
    return code;
}

CurlResult ClusterCurl::downloadFile(const std::string& url, const std::string& dir,
                                     const std::string& fileName) {
    CurlResult result;
    if (!checkHandle(result))
        return result;
    try {
        if (!platform::EntryExists(dir)) {
            // The exclamation mark is the full-width one, in the locale's encoding.
            result.message = FormatText("save dir=%s is not exsit%s", PathText(dir).c_str(),
                                        platform::WideToMultiByte(L"\uFF01").c_str());
            TracePlain(result.message);
            return result;
        }
        const std::string finalPath = dir + "/" + fileName;
        const std::string tempPath = finalPath + ".temp";
        // Whatever stands under either name goes, a symbolic link itself rather than
        // what it points to.
        if (platform::EntryExists(finalPath))
            platform::RemoveFile(finalPath);
        if (platform::EntryExists(tempPath))
            platform::RemoveFile(tempPath);

        // Made afresh: never an existing file, never through a link put there meanwhile.
        int openError = 0;
        CFileHandle file(platform::StreamFromDescriptor(
            platform::OpenFile(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644, openError),
            "wb"));
        if (file.Get() == nullptr) {
            result.message =
                FormatText("downloadFile open file error(%d), %s",
                           openError != 0 ? openError : errno, PathText(finalPath).c_str());
            TracePlain(result.message);
            return result;
        }

        CSha256 sha;
        CDownload download;
        download.file = file.Get();
        download.sha = m_strSha256.empty() ? nullptr : &sha;
        m_pDownload = &download;
        m_dReportedShare = -1;
        struct CDetach {
            ClusterCurl* self;
            ~CDetach() { self->m_pDownload = nullptr; }
        } detach{this};

        CURLcode curlCode = CURLE_OK;
        int backoffStep = 0;
        for (int attempt = 0;; ++attempt) {
            const int64_t before = download.onDisk;
            curlCode = static_cast<CURLcode>(downloadAttempt(url, download));
            const long status = download.status;
            if (curlCode == CURLE_OK && (status == 200 || status == 206))
                break;
            // The code makeResult will give, for the retry decision.
            const int code = (status != 0 && status != 200 && status != 206)
                                 ? static_cast<int>(status)
                                 : static_cast<int>(curlCode);
            const bool restart =
                download.rangeMismatch || (status == 416 && download.resumeFrom > 0);
            if (attempt >= m_nRetries || !(restart || IsTransientFailure(code)) ||
                download.writeFailed || download.setupFailed ||
                platform::IsCurrentThreadCancelled() ||
                (m_pStopFlag != nullptr && m_pStopFlag->load()))
                break;

            const bool progressed = download.onDisk > before;
            const bool resume = !restart && download.onDisk > 0 && !download.validator.empty();
            if (!resume && download.onDisk > 0 && !download.Truncate()) {
                curlCode = CURLE_WRITE_ERROR;
                break;
            }
            download.resumeFrom = resume ? download.onDisk : 0;
            if (progressed)
                backoffStep = 0;
            curl_off_t retryAfter = 0;
            if (const CURLcode info =
                    curl_easy_getinfo(m_pCurl.get(), CURLINFO_RETRY_AFTER, &retryAfter);
                info != CURLE_OK) {
                traceError("curl_easy_getinfo(CURLINFO_RETRY_AFTER) failed: %s\n",
                           curl_easy_strerror(info));
                retryAfter = 0;  // the back-off of its own applies
            }
            const uint32_t delay = BackoffDelayMs(
                backoffStep++, retryAfter > 0 ? static_cast<uint32_t>(
                                                    std::min<curl_off_t>(retryAfter, 86400) * 1000)
                                              : 0);
            const std::string reason = code >= 100
                                           ? "HTTP " + std::to_string(code)
                                           : (restart ? std::string("range not continued")
                                                      : std::string(curl_easy_strerror(curlCode)));
            traceError("downloadFile retry %d/%d reason=[%s] code=%d wait=%ums from=%lld\n",
                       attempt + 1, m_nRetries, reason.c_str(), code, delay,
                       static_cast<long long>(download.resumeFrom));
            if (!waitBeforeRetry(delay))
                break;  // closing down: the last failure stands
        }

        // A body that did not reach the disk in full (full disk on the last flush) is a
        // failed write, whatever libcurl saw.
        if (!file.Close() && curlCode == CURLE_OK)
            curlCode = CURLE_WRITE_ERROR;
        result = download.setupFailed ? setupFailure(curlCode) : makeResult(curlCode);
        if (result.code != 200) {
            TracePlain(result.message);
            if (platform::EntryExists(tempPath))
                platform::RemoveFile(tempPath);
            return result;
        }

        // A body of another digest never takes the final name.
        if (!m_strSha256.empty()) {
            const std::string actual = sha.FinalHex();
            if (actual != m_strSha256) {
                platform::RemoveFile(tempPath);
                result.code = kSha256Mismatch;
                result.message = "sha256 mismatch expected=" + m_strSha256 + " actual=" + actual;
                TracePlain(result.message);
                return result;
            }
        }

        const std::string okMessage = result.message;
        int lastError = 0;
        for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
            // Closing down: the finished body stays in the temporary file.
            if (m_pStopFlag != nullptr && m_pStopFlag->load())
                return result;
            lastError = platform::RenameFile(tempPath, finalPath);
            if (lastError == 0) {
                result.code = 200;
                result.message = okMessage;
                return result;
            }
            if (platform::IsInUseError(lastError)) {
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

bool ClusterCurl::setProxy(const std::string& proxy, const std::string& userPwd) {
    if (m_pCurl == nullptr)
        return false;
    COptions set(m_pCurl.get());
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
    COptions set(m_pCurl.get());
    set(CURLOPT_USERAGENT, userAgent.c_str());
    return set.Ok();
}

bool ClusterCurl::setCookie(const std::string& cookie) {
    if (cookie.empty() || m_pCurl == nullptr)
        return false;
    COptions set(m_pCurl.get());
    set(CURLOPT_COOKIE, cookie.c_str());
    return set.Ok();
}

bool ClusterCurl::setCookieFile(const std::string& path) {
    if (path.empty() || m_pCurl == nullptr)
        return false;
    COptions set(m_pCurl.get());
    set(CURLOPT_COOKIEFILE, path.c_str());
    return set.Ok();
}

void ClusterCurl::setListener(CLibcurlDownCallback* pCallback) {
    m_nTaskId = 0;
    m_pCallback = pCallback;
    m_pStopFlag = &g_bStopFlag;
}

template <class Read>
bool ClusterCurl::probe(const std::string& url, Read read) {
    CEasyPtr handle(curl_easy_init());
    if (handle == nullptr) {
        traceError("curl_easy_init() failed: %d\n", errno);
        return false;
    }
    CURL* curl = handle.get();
    COptions set(curl);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HEADER, 1L);
    set(CURLOPT_NOBODY, 1L);
    set(CURLOPT_CONNECTTIMEOUT, 10L);
    set(CURLOPT_TIMEOUT, 20L);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    const CTransferSettings settings = GetDefaultTransferSettings();
    SetSecurityAndRoute(set, url, settings.verifyTls, settings.caFile, settings.proxy);
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
    COptions set(m_pCurl.get());
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
    COptions restore(m_pCurl.get());
    restore(CURLOPT_UPLOAD, 0L);
    restore(CURLOPT_READDATA, static_cast<void*>(nullptr));
    file.Close();
    if (!configured)
        return setupFailure(code);
    if (code == CURLE_OK && !restore.Ok())
        code = restore.FirstError();
    return makeResult(code);
}
