// ClusterCurl::downloadFile: the temporary file and its resume record, the attempts on each
// URL under the retry policy, the mirrors, the digest and the final name.

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>

#include "net/ClusterCurl.h"
#include "net/ClusterCurlInternal.h"
#include "net/DownloadAttempt.h"
#include "net/RetryPolicy.h"
#include "net/Sha256.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Time.h"

namespace {

constexpr int kRenameAttempts = 1800;
constexpr uint32_t kRenameWaitMs = 100;
// The stop flag is looked at this often during a back-off wait.
constexpr uint32_t kBackoffSliceMs = 20;

// The code a finished attempt stands for (as makeResult gives it): a redirect whose next
// connection failed is that failure, not the redirect.
int AttemptCode(CURLcode curlCode, long status) {
    if (curlCode == CURLE_OK && (status == 200 || status == 206))
        return 200;
    if (status / 100 == 3 && curlCode != CURLE_OK && CRetryPolicy::IsTransientFailure(curlCode))
        return static_cast<int>(curlCode);
    if (status != 0 && status != 200 && status != 206)
        return static_cast<int>(status);
    return static_cast<int>(curlCode);
}

// Where the next attempt on `url` begins: the bytes the file holds go on with If-Range on
// the server that vouched for them, without it on another one only under a pin (the
// digest checks the whole file), else the body starts over.
bool PrepareContinuation(CDownloadState& download, const std::string& url) {
    download.resumeFrom = 0;
    download.ifRange = false;
    if (download.onDisk == 0)
        return true;
    if (!download.validator.empty() && download.validatorUrl == url) {
        download.resumeFrom = download.onDisk;
        download.ifRange = true;
        return true;
    }
    if (!download.pin.empty()) {
        download.resumeFrom = download.onDisk;
        return true;
    }
    return download.Restart();
}

}  // namespace

bool ClusterCurl::stopRequested() const {
    return platform::IsCurrentThreadCancelled() ||
           (m_options.stopFlag != nullptr && m_options.stopFlag->load());
}

bool ClusterCurl::waitBeforeRetry(uint32_t milliseconds) {
    const uint32_t start = platform::GetTickCount();
    for (;;) {
        if (m_options.stopFlag != nullptr && m_options.stopFlag->load())
            return false;
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed >= milliseconds)
            return true;
        if (platform::SleepUnlessCancelled(std::min(kBackoffSliceMs, milliseconds - elapsed)))
            return false;
    }
}

ClusterCurl::UrlOutcome ClusterCurl::downloadFrom(const std::string& url, CDownloadState& download,
                                                  int& curlCode) {
    CRetryPolicy policy(m_options.retries, m_options.firstBackoffMs, m_options.maxBackoffMs);
    for (;;) {
        if (!PrepareContinuation(download, url)) {
            download.writeFailed = true;
            curlCode = CURLE_WRITE_ERROR;
            return UrlOutcome::Stopped;
        }
        const int64_t before = download.highWater;
        curlCode = downloadAttempt(url, download);
        const int code = AttemptCode(static_cast<CURLcode>(curlCode), download.status);
        if (code == 200)
            return UrlOutcome::Complete;
        if (download.writeFailed || download.setupFailed || stopRequested())
            return UrlOutcome::Stopped;

        // A continuation the server would not give: once more from zero, at once.
        const bool refused =
            download.rangeMismatch || (download.status == 416 && download.resumeFrom > 0);
        if (refused && download.resumeFrom > 0) {
            traceError("downloadFile range not continued at %lld: starting over\n",
                       static_cast<long long>(download.resumeFrom));
            if (!download.Restart()) {
                download.writeFailed = true;
                curlCode = CURLE_WRITE_ERROR;
                return UrlOutcome::Stopped;
            }
            continue;
        }
        const bool progressed = download.highWater > before;
        if (!policy.AllowsRetry(refused || CRetryPolicy::IsTransientFailure(code), progressed))
            return UrlOutcome::Failed;

        // What arrived stays usable by a later run, should this one end during the wait.
        download.Checkpoint(true);
        curl_off_t retryAfter = 0;
        if (const CURLcode info =
                curl_easy_getinfo(m_pCurl.get(), CURLINFO_RETRY_AFTER, &retryAfter);
            info != CURLE_OK) {
            traceError("curl_easy_getinfo(CURLINFO_RETRY_AFTER) failed: %s\n",
                       curl_easy_strerror(info));
            retryAfter = 0;  // the back-off of its own applies
        }
        const uint32_t delay = policy.DelayMs(
            retryAfter > 0 ? static_cast<uint32_t>(std::min<curl_off_t>(retryAfter, 86400) * 1000)
                           : 0);
        const std::string reason =
            code >= 100 ? "HTTP " + std::to_string(code)
                        : std::string(curl_easy_strerror(static_cast<CURLcode>(curlCode)));
        traceError("downloadFile retry fruitless=%d/%d reason=[%s] code=%d wait=%ums have=%lld\n",
                   policy.FruitlessInRow(), policy.Retries(), reason.c_str(), code, delay,
                   static_cast<long long>(download.onDisk));
        if (!waitBeforeRetry(delay))
            return UrlOutcome::Stopped;  // closing down: the last failure stands
    }
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
            result.failure = DownloadFailure::DirectoryNotWritable;
            TracePlain(result.message);
            return result;
        }
        const std::string finalPath = dir + "/" + fileName;
        // Whatever stands under the final name goes, a symbolic link itself rather than
        // what it points to.
        if (platform::EntryExists(finalPath))
            platform::RemoveFile(finalPath);

        CSha256 sha;
        CDownloadState download;
        download.tempPath = finalPath + ".temp";
        download.recordPath = ResumeRecordPath(download.tempPath);
        download.pin = m_options.sha256;
        download.sha = download.pin.empty() ? nullptr : &sha;
        download.bodyDigest = m_options.bodyDigest;
        download.maxBytes = m_options.maxBytes;
        m_pDownload = &download;
        struct CDetach {
            ClusterCurl* self;
            ~CDetach() { self->m_pDownload = nullptr; }
        } detach{this};

        // An earlier run's bytes are taken only as its record vouches for them, and only for
        // the same URL and pin; anything else under those names goes.
        CResumeRecord record;
        std::string why = "no resume record";
        bool resumed = false;
        if (ReadResumeRecord(download.recordPath, record)) {
            if (record.url != url)
                why = "recorded for another URL";
            else if (record.sha256 != download.pin)
                why = "recorded under another digest";
            else
                resumed = download.OpenToResume(record, why);
        } else if (platform::EntryExists(download.recordPath)) {
            why = "resume record unreadable";
        }
        if (resumed) {
            traceError("downloadFile resuming at %lld of %lld bytes\n",
                       static_cast<long long>(download.onDisk),
                       static_cast<long long>(download.total));
        } else {
            if (platform::EntryExists(download.tempPath) ||
                platform::EntryExists(download.recordPath)) {
                traceError("downloadFile starting from zero: %s\n", why.c_str());
                download.Discard();
            }
            if (!download.OpenFresh()) {
                const int error = download.fileError != 0 ? download.fileError : errno;
                result.message = FormatText("downloadFile open file error(%d), %s", error,
                                            PathText(finalPath).c_str());
                result.failure = ClassifyFileError(error);
                TracePlain(result.message);
                return result;
            }
        }

        std::vector<std::string> urls{url};
        urls.insert(urls.end(), m_options.mirrors.begin(), m_options.mirrors.end());
        int curlCode = CURLE_OK;
        for (size_t i = 0; i < urls.size(); ++i) {
            if (i > 0)
                traceError("downloadFile trying mirror %d of %d\n", static_cast<int>(i),
                           static_cast<int>(urls.size() - 1));
            const UrlOutcome outcome = downloadFrom(urls[i], download, curlCode);
            if (outcome == UrlOutcome::Stopped)
                return failedDownload(download, curlCode, stopRequested());
            if (outcome == UrlOutcome::Failed)
                continue;
            // A body of another digest never takes the final name; another URL may still
            // have the right one.
            if (!download.pin.empty()) {
                const std::string actual = sha.FinalHex();
                if (actual != download.pin) {
                    result.code = kSha256Mismatch;
                    result.message =
                        "sha256 mismatch expected=" + download.pin + " actual=" + actual;
                    result.failure = DownloadFailure::DigestMismatch;
                    TracePlain(result.message);
                    if (i + 1 < urls.size() && download.Restart())
                        continue;
                    download.Discard();
                    return result;
                }
                traceError("downloadFile sha256 matches the pin: %s\n", actual.c_str());
            }
            CurlResult done = finishDownload(download, finalPath);
            done.servedUrl = urls[i];
            return done;
        }
        return failedDownload(download, curlCode, false);
    } catch (...) {
        result.message = FormatText("downloadFile api exception(%d)\n", errno);
        result.failure = DownloadFailure::Other;
        TracePlain(result.message);
        return result;
    }
}

CurlResult ClusterCurl::failedDownload(CDownloadState& download, int curlCode, bool cancelled) {
    CurlResult result =
        download.setupFailed ? setupFailure(curlCode) : makeResult(curlCode, download.status);
    if (download.writeFailed && download.fileError != 0)
        result.failure = ClassifyFileError(download.fileError);
    else if (cancelled)
        result.failure = DownloadFailure::Cancelled;
    else if (download.stalled)
        result.failure = DownloadFailure::Stalled;
    TracePlain(result.message);
    // Bytes a later run can go on from stay with their record; anything else goes.
    if (download.Resumable() && !download.writeFailed) {
        download.Checkpoint(true);
        download.CloseFile();
        traceError("downloadFile kept %lld of %lld bytes for a later run\n",
                   static_cast<long long>(download.onDisk), static_cast<long long>(download.total));
    } else {
        download.Discard();
    }
    return result;
}

CurlResult ClusterCurl::finishDownload(CDownloadState& download, const std::string& finalPath) {
    CurlResult result = makeResult(CURLE_OK, 200);
    // The body is whole: no record may offer it for a continuation any more.
    const int closeError = download.CloseFile();
    if (platform::EntryExists(download.recordPath))
        platform::RemoveFile(download.recordPath);
    if (closeError != 0) {
        result.code = CURLE_WRITE_ERROR;
        result.message = curl_easy_strerror(CURLE_WRITE_ERROR);
        result.failure = DownloadFailure::WriteFailed;
        TracePlain(result.message);
        download.Discard();
        return result;
    }

    const std::string okMessage = result.message;
    int lastError = 0;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        // Closing down: the finished body stays in the temporary file.
        if (m_options.stopFlag != nullptr && m_options.stopFlag->load())
            return result;
        lastError = platform::RenameFile(download.tempPath, finalPath);
        if (lastError == 0) {
            result.code = 200;
            result.message = okMessage;
            result.failure = DownloadFailure::None;
            return result;
        }
        if (platform::IsInUseError(lastError)) {
            result.code = -2;
            result.failure = DownloadFailure::FileInUse;
            if (platform::SleepUnlessCancelled(kRenameWaitMs))
                break;
        } else {
            result.code = -1;
            result.failure = ClassifyFileError(lastError);
        }
    }
    result.message = FormatText("rename error lasterror=[%d]", lastError);
    TracePlain(result.message);
    return result;
}
