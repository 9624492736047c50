#pragma once
// Inside net/ only: the state of one ClusterCurl::downloadFile across its attempts and
// URLs, and how one attempt reads its response: which answer's body belongs to the file,
// how the bytes reach the temporary file, and the record that lets a later run go on.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "net/ResumeRecord.h"
#include "net/TransferProgress.h"
#include "platform/File.h"

class CBodyDigest;
class CSha256;

// Writes the resume record off the transfer's thread: syncing a large file can take seconds
// on a slow disk, and the line goes on meanwhile. One checkpoint at a time; a newer request
// replaces one not yet begun.
class CCheckpointWriter {
public:
    CCheckpointWriter() = default;
    ~CCheckpointWriter();  // drops a pending request and ends the thread
    CCheckpointWriter(const CCheckpointWriter&) = delete;
    CCheckpointWriter& operator=(const CCheckpointWriter&) = delete;

    // Syncs `fd` (not owned: open until Drop returns), then replaces the record at `path`.
    void Post(int fd, const std::string& path, const CResumeRecord& record);
    // Forgets a request not yet begun and waits for the one under way. Call before the file
    // is closed or started over, or its record removed.
    void Drop();

private:
    struct CJob {
        int fd;
        std::string path;
        CResumeRecord record;
    };
    void Run();

    std::mutex m_lock;
    std::condition_variable m_cv;
    std::optional<CJob> m_pending;  // guarded by m_lock, as the two below
    bool m_bBusy = false;
    bool m_bStop = false;
    std::thread m_thread;  // started by the first Post
};

// Syncs `fd` and writes `record`; false (with a log line) when either fails.
bool WriteCheckpoint(int fd, const std::string& path, const CResumeRecord& record);

struct CDownloadState {
    // ---- set by downloadFile before the first attempt
    std::string tempPath;
    std::string recordPath;
    std::string pin;                    // the sha256 option; empty: none
    CSha256* sha = nullptr;             // fed with every byte the file keeps; null without a pin
    CBodyDigest* bodyDigest = nullptr;  // the caller's, fed alike; null: none
    int64_t maxBytes = 0;               // the file's most; 0: no limit
    platform::FileDescriptor file;      // the temporary file, its offset at onDisk
    platform::FileDescriptor syncFile;  // the same file, for the checkpoints' syncs

    // ---- across attempts
    int64_t onDisk = 0;               // bytes of the file in the temporary file
    int64_t highWater = 0;            // the most it held in this download
    int64_t received = 0;             // bytes of the file received in this download, for the speed
    int64_t total = 0;                // the file's size; 0: unknown
    std::string validator;            // If-Range value that vouches for the bytes; empty: none
    std::string validatorUrl;         // the URL whose server gave it
    int fileError = 0;                // errno of the file step that failed
    uint32_t lastCheckpoint = 0;      // tick of the last record asked for
    int64_t lastCheckpointBytes = 0;  // onDisk then
    // Progress shown to the listener.
    CMonotonicProgress shown;
    CSpeedMeter speed;
    bool reported = false;
    uint32_t lastReport = 0;

    // ---- this attempt
    std::string url;
    int64_t resumeFrom = 0;      // first byte asked for (0: the whole body)
    bool ifRange = false;        // the continuation names the validator (If-Range)
    bool decided = false;        // the final response's body has been judged
    bool keepBody = false;       // that body goes to the file
    bool rangeMismatch = false;  // a 206 that does not continue where asked
    bool writeFailed = false;    // the file did not take a piece (or could not start over)
    bool setupFailed = false;    // libcurl refused a setting: the attempt never started
    bool stalled = false;        // the watchdog ended it: nothing came for too long
    uint32_t lastActivity = 0;   // tick of the last byte from the server
    int64_t wireBytes = 0;       // body bytes libcurl has seen in this attempt
    // The response whose header lines arrive; after a redirect, the last one.
    long status = 0;
    bool acceptRanges = false;
    std::string etag;
    std::string lastModified;
    int64_t contentLength = -1;  // -1: not given
    int64_t rangeStart = -1;     // first byte of its Content-Range
    int64_t rangeTotal = -1;     // the whole size its Content-Range gives; -1: "*" or none

    // Opens the temporary file afresh: exclusively, never through a link. False with
    // fileError set.
    bool OpenFresh();
    // Opens the temporary file an earlier run left to go on from `record` (checked by the
    // caller against this download): a regular file holding at least `record.kept` and at
    // most `record.total` bytes, of which the first `record.kept` are read (and hashed with
    // a pin or a caller's digest). False, with the file closed, when anything does not fit; `why`
    // says what.
    bool OpenToResume(const CResumeRecord& record, std::string& why);
    // Starts the body over: no record, a new empty temporary file.
    bool Restart();
    // Closes the file and removes it and its record.
    void Discard();
    // Closes the file once no checkpoint uses it; 0 or the errno of the close.
    int CloseFile();
    // The pin's digest and the caller's, started over or fed with bytes the file keeps.
    void ResetDigests();
    void FeedDigests(const void* data, size_t bytes);

    // Resets the attempt's fields for an attempt on `attemptUrl`.
    void BeginAttempt(const std::string& attemptUrl);
    void BeginResponse(long code);
    // One header line of the response, without its line end.
    void HeaderLine(std::string_view line);
    // Judges the final response at its first body byte (or its end, when it has none):
    // only a 200 or the 206 asked for goes to the file. False ends the attempt.
    bool Decide();
    // A piece of the body: written when it belongs to the file. The count taken (less than
    // `bytes` ends the attempt).
    size_t WriteBody(const char* data, size_t bytes);

    // True when the record can describe the file: a validator, a known size and part of it.
    bool Resumable() const;
    // Syncs the file and writes the record: half a second after the last one, off this
    // thread, or at once and here when `now`.
    void Checkpoint(bool now);

    CCheckpointWriter checkpoints;  // last: gone before the files it syncs close
};
