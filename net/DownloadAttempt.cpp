#include "net/DownloadAttempt.h"

#include <curl/curl.h>

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "net/BodyDigest.h"
#include "net/ClusterCurl.h"
#include "net/ClusterCurlInternal.h"
#include "net/Sha256.h"
#include "platform/Thread.h"
#include "platform/Time.h"

namespace {

constexpr uint32_t kReportIntervalMs = 1000;
// The record is written this often while the body comes, off the transfer's thread: a
// later run loses at most about this much of the line's work. (A cadence by bytes would
// sync back to back on a fast line, holding it to the disk's speed.)
constexpr uint32_t kCheckpointMs = 500;
constexpr int64_t kCheckpointBytes = 512 * 1024;
constexpr size_t kResumeReadBytes = 256 * 1024;

// The validator a later continuation can name in If-Range: a strong ETag, else the date.
std::string ValidatorOf(const std::string& etag, const std::string& lastModified) {
    if (!etag.empty() && etag.compare(0, 2, "W/") != 0)
        return etag;
    return lastModified;
}

// A non-negative decimal count at the start of `text`; -1 when there is none.
int64_t LeadingCount(std::string_view text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return -1;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        if (value > (INT64_MAX - 9) / 10)
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

// ------------------------------------------------------------------ the record

bool WriteCheckpoint(int fd, const std::string& path, const CResumeRecord& record) {
    // The record never vouches for more than reached the disk.
    if (platform::RealFileSystemCalls().fsync(fd) != 0) {
        traceError("downloadFile sync failed(%d): no resume record\n", errno);
        return false;
    }
    if (const int error = WriteResumeRecord(path, record); error != 0) {
        traceError("downloadFile resume record not written(%d)\n", error);
        return false;
    }
    return true;
}

CCheckpointWriter::~CCheckpointWriter() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending.reset();
        m_bStop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CCheckpointWriter::Post(int fd, const std::string& path, const CResumeRecord& record) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending = CJob{fd, path, record};
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                m_pending.reset();  // no thread: this checkpoint is skipped, the next may work
                return;
            }
        }
    }
    m_cv.notify_all();
}

void CCheckpointWriter::Drop() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_pending.reset();
    m_cv.wait(guard, [&] { return !m_bBusy; });
}

void CCheckpointWriter::Run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_cv.wait(guard, [&] { return m_bStop || m_pending.has_value(); });
        if (m_bStop)
            return;
        CJob job = std::move(*m_pending);
        m_pending.reset();
        m_bBusy = true;
        guard.unlock();
        WriteCheckpoint(job.fd, job.path, job.record);
        guard.lock();
        m_bBusy = false;
        m_cv.notify_all();
    }
}

// ------------------------------------------------------------------ the temporary file

bool CDownloadState::OpenFresh() {
    file = platform::OpenFile(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644, fileError);
    if (file.IsOpen()) {
        int error = 0;
        syncFile = platform::OpenFile(tempPath, O_WRONLY | O_NOFOLLOW, 0, error);
    }
    onDisk = 0;
    total = 0;
    validator.clear();
    validatorUrl.clear();
    ResetDigests();
    return file.IsOpen();
}

bool CDownloadState::OpenToResume(const CResumeRecord& record, std::string& why) {
    int error = 0;
    file = platform::OpenFile(tempPath, O_RDWR | O_NOFOLLOW, 0, error);
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "no temporary file";
        file.Close();
        return false;
    }
    const auto size = static_cast<int64_t>(info.st_size);
    if (size < record.kept || size > record.total) {
        why = "temporary file of " + std::to_string(size) + " bytes";
        file.Close();
        return false;
    }
    // The bytes the record vouches for are read (the digest covers the whole file); what
    // follows them was never vouched for and is written over.
    ResetDigests();
    std::vector<char> buffer(kResumeReadBytes);
    int64_t read = 0;
    while (read < record.kept) {
        const size_t want =
            static_cast<size_t>(std::min<int64_t>(record.kept - read, kResumeReadBytes));
        const ssize_t got = platform::ReadSome(file.Get(), buffer.data(), want);
        if (got <= 0) {
            why = "temporary file unreadable";
            file.Close();
            return false;
        }
        FeedDigests(buffer.data(), static_cast<size_t>(got));
        read += got;
    }
    syncFile = platform::OpenFile(tempPath, O_WRONLY | O_NOFOLLOW, 0, error);
    onDisk = record.kept;
    highWater = record.kept;
    total = record.total;
    validator = record.validator;
    validatorUrl = record.url;
    return true;
}

void CDownloadState::ResetDigests() {
    if (sha != nullptr)
        sha->Reset();
    if (bodyDigest != nullptr)
        bodyDigest->Reset();
}

void CDownloadState::FeedDigests(const void* data, size_t bytes) {
    if (sha != nullptr)
        sha->Update(data, bytes);
    if (bodyDigest != nullptr)
        bodyDigest->Update(data, bytes);
}

int CDownloadState::CloseFile() {
    checkpoints.Drop();
    syncFile.Close();
    return file.Close();
}

bool CDownloadState::Restart() {
    CloseFile();
    if (platform::EntryExists(recordPath))
        platform::RemoveFile(recordPath);
    if (platform::EntryExists(tempPath))
        platform::RemoveFile(tempPath);
    return OpenFresh();
}

void CDownloadState::Discard() {
    CloseFile();
    if (platform::EntryExists(recordPath))
        platform::RemoveFile(recordPath);
    if (platform::EntryExists(tempPath))
        platform::RemoveFile(tempPath);
}

bool CDownloadState::Resumable() const {
    return file.IsOpen() && !validator.empty() && !validatorUrl.empty() && total > 0 &&
           onDisk > 0 && onDisk < total;
}

void CDownloadState::Checkpoint(bool now) {
    const uint32_t tick = platform::GetTickCount();
    // Every half second, and on a fast line every half MiB: a run killed in between fetches
    // again at most what came since. The writer thread coalesces what it cannot keep up with.
    if (!Resumable() || (!now && tick - lastCheckpoint < kCheckpointMs &&
                         onDisk - lastCheckpointBytes < kCheckpointBytes))
        return;
    lastCheckpoint = tick;
    lastCheckpointBytes = onDisk;
    CResumeRecord record;
    record.url = validatorUrl;
    record.validator = validator;
    record.total = total;
    record.kept = onDisk;
    record.sha256 = pin;
    if (now) {
        checkpoints.Drop();  // an older one must not land after this
        WriteCheckpoint(file.Get(), recordPath, record);
    } else if (syncFile.IsOpen()) {
        checkpoints.Post(syncFile.Get(), recordPath, record);
    }
}

// ------------------------------------------------------------------ the response

void CDownloadState::BeginAttempt(const std::string& attemptUrl) {
    url = attemptUrl;
    decided = false;
    keepBody = false;
    rangeMismatch = false;
    writeFailed = false;
    setupFailed = false;
    stalled = false;
    lastActivity = platform::GetTickCount();
    wireBytes = 0;
    BeginResponse(0);
}

void CDownloadState::BeginResponse(long code) {
    status = code;
    acceptRanges = false;
    etag.clear();
    lastModified.clear();
    contentLength = -1;
    rangeStart = -1;
    rangeTotal = -1;
}

void CDownloadState::HeaderLine(std::string_view line) {
    lastActivity = platform::GetTickCount();
    if (line.compare(0, 5, "HTTP/") == 0) {
        const size_t blank = line.find(' ');
        BeginResponse(blank == std::string_view::npos
                          ? 0
                          : std::max<int64_t>(LeadingCount(line.substr(blank + 1)), 0));
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    const std::string name(line.substr(0, colon));
    const size_t start = line.find_first_not_of(" \t", colon + 1);
    const std::string value(start == std::string_view::npos ? std::string_view()
                                                            : line.substr(start));
    if (strcasecmp(name.c_str(), "Accept-Ranges") == 0) {
        acceptRanges = strcasecmp(value.c_str(), "bytes") == 0;
    } else if (strcasecmp(name.c_str(), "ETag") == 0) {
        etag = value;
    } else if (strcasecmp(name.c_str(), "Last-Modified") == 0) {
        lastModified = value;
    } else if (strcasecmp(name.c_str(), "Content-Length") == 0) {
        contentLength = LeadingCount(value);
    } else if (strcasecmp(name.c_str(), "Content-Range") == 0) {
        // "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*"
        if (strncasecmp(value.c_str(), "bytes ", 6) == 0) {
            rangeStart = LeadingCount(std::string_view(value).substr(6));
            const size_t slash = value.find('/');
            rangeTotal = slash == std::string::npos
                             ? -1
                             : LeadingCount(std::string_view(value).substr(slash + 1));
        }
    }
}

bool CDownloadState::Decide() {
    decided = true;
    if (status == 206) {
        // Only the continuation asked for may be appended, and only of a file of the size
        // the bytes before it belong to.
        if (resumeFrom <= 0 || rangeStart != resumeFrom || onDisk != resumeFrom ||
            (rangeTotal > 0 && total > 0 && rangeTotal != total)) {
            rangeMismatch = true;
            return false;
        }
        if (rangeTotal > 0)
            total = rangeTotal;
        keepBody = true;
        // Later continuations name what this server vouches for; a continuation without
        // If-Range (another mirror, under a pin) keeps none when the server gave none.
        const std::string fresh = ValidatorOf(etag, lastModified);
        if (!fresh.empty() || !ifRange) {
            validator = fresh;
            validatorUrl = url;
        }
        return true;
    }
    if (status == 200) {
        // The whole body (the file changed, or the server ignores ranges): start over.
        if (onDisk > 0 && !Restart()) {
            writeFailed = true;
            return false;
        }
        keepBody = true;
        total = contentLength > 0 ? contentLength : 0;
        // A later attempt may continue these bytes only with a validator that the server
        // checks through If-Range; a weak ETag cannot be used there.
        validator = acceptRanges ? ValidatorOf(etag, lastModified) : std::string();
        validatorUrl = url;
        return true;
    }
    keepBody = false;  // an error page is not part of the file
    return true;
}

size_t CDownloadState::WriteBody(const char* data, size_t bytes) {
    if (!decided && !Decide())
        return 0;  // ends the attempt with CURLE_WRITE_ERROR
    if (!keepBody)
        return bytes;
    if (maxBytes > 0 && onDisk + static_cast<int64_t>(bytes) > maxBytes) {
        fileError = EFBIG;
        writeFailed = true;
        return 0;
    }
    if (const int error = platform::WriteAll(file.Get(), std::string_view(data, bytes));
        error != 0) {
        fileError = error;
        writeFailed = true;
        return 0;
    }
    onDisk += static_cast<int64_t>(bytes);
    received += static_cast<int64_t>(bytes);
    highWater = std::max(highWater, onDisk);
    FeedDigests(data, bytes);
    Checkpoint(false);
    return bytes;
}

// ------------------------------------------------------------------ one attempt

size_t ClusterCurl::fileDataWriter(char* data, size_t size, size_t nmemb, void* target) {
    return static_cast<CDownloadState*>(target)->WriteBody(data, size * nmemb);
}

size_t ClusterCurl::headerReader(char* data, size_t size, size_t nmemb, void* target) {
    const size_t bytes = size * nmemb;
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    static_cast<CDownloadState*>(target)->HeaderLine(line);
    return bytes;
}

int ClusterCurl::downloadProgress(void* client, int64_t, int64_t dlNow, int64_t, int64_t) {
    if (platform::IsCurrentThreadCancelled())
        return 1;  // the owner is going away
    auto* self = static_cast<ClusterCurl*>(client);
    CDownloadState* download = self->m_pDownload;
    if (download == nullptr)
        return 0;
    const uint32_t now = platform::GetTickCount();
    // The watchdog: a line that brings nothing for that long is lost (a connection can die
    // without a reset). libcurl calls this at least once a second, also while idle.
    if (dlNow != download->wireBytes) {
        download->wireBytes = dlNow;
        download->lastActivity = now;
    } else if (const int stall = self->m_options.stallSeconds;
               stall > 0 && now - download->lastActivity >= static_cast<uint32_t>(stall) * 1000u) {
        traceError("downloadFile no byte for %d s: the line counts as lost\n", stall);
        download->stalled = true;
        return 1;
    }
    download->speed.Sample(now, download->received);
    CLibcurlDownCallback* listener = self->m_options.listener;
    if (listener == nullptr ||
        (self->m_options.stopFlag != nullptr && self->m_options.stopFlag->load()))
        return 0;
    if (download->reported && now - download->lastReport < kReportIntervalMs)
        return 0;
    download->reported = true;
    download->lastReport = now;
    // Only bytes of the file count: an error page's body is no progress.
    CDownloadProgress progress;
    progress.taskId = self->m_options.taskId;
    download->shown.Update(download->onDisk, download->total, progress.done, progress.total);
    progress.bytesPerSecond = download->speed.BytesPerSecond();
    listener->OnDownloadProgress(1, progress.taskId, static_cast<double>(progress.total),
                                 static_cast<double>(progress.done));
    listener->OnDownloadStats(progress);
    return 0;
}

int ClusterCurl::downloadAttempt(const std::string& url, CDownloadState& download) {
    download.BeginAttempt(url);

    // A continuation asks for the rest of the body, and (with If-Range) only of the body
    // it started: a changed file comes back whole, with status 200.
    std::string range;
    CSlistPtr headers;
    if (download.resumeFrom > 0) {
        range = std::to_string(download.resumeFrom) + "-";
        if (download.ifRange) {
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
    }

    CCurlOptionSetter set(m_pCurl.get());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_URL, url.c_str());
    setCommonOptions(set, url);
    set(CURLOPT_WRITEFUNCTION, &ClusterCurl::fileDataWriter);
    set(CURLOPT_WRITEDATA, &download);
    set(CURLOPT_HEADERFUNCTION, &ClusterCurl::headerReader);
    set(CURLOPT_HEADERDATA, &download);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &ClusterCurl::downloadProgress);
    set(CURLOPT_XFERINFODATA, this);
    set(CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
    if (headers != nullptr)
        set(CURLOPT_HTTPHEADER, headers.get());

    download.setupFailed = !set.Ok();
    CURLcode code = download.setupFailed ? set.FirstError() : static_cast<CURLcode>(perform());

    // The watchdog's abort is a time-out of the line, which a retry may continue.
    if (code == CURLE_ABORTED_BY_CALLBACK && download.stalled)
        code = CURLE_OPERATION_TIMEDOUT;

    // Later transfers on this handle ask for whole bodies with the caller's own headers; a
    // handle that kept this attempt's settings fails this attempt.
    CCurlOptionSetter restore(m_pCurl.get());
    restore(CURLOPT_RANGE, static_cast<const char*>(nullptr));
    restore(CURLOPT_HTTPHEADER, m_pHeaders.get());
    restore(CURLOPT_HEADERFUNCTION, static_cast<curl_write_callback>(nullptr));
    restore(CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    if (code == CURLE_OK && !restore.Ok())
        code = restore.FirstError();
    headers.reset();

    // A response without a body never reached the writer.
    if (code == CURLE_OK && !download.decided && !download.Decide())
        code = CURLE_WRITE_ERROR;
    return code;
}
