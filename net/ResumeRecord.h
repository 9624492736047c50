#pragma once
// What a later run needs to continue a download safely: kept beside its temporary file as
// "<file>.temp.resume", a small text file replaced atomically. It says which URL and which
// version of the file (the validator the server checks through If-Range) the bytes came
// from, the file's whole size, how many bytes of the temporary file were on disk (synced)
// when it was written, and the SHA-256 pin the download was started under.
//
//     quillora-resume 1
//     url http://host/pack.exe
//     validator "etag-or-date"
//     total 67108864
//     kept 33554432
//     sha256 - (or 64 lower-case hex digits)
//
// The file may have been written by anyone: Parse takes only exactly this form, with every
// field within its bounds, and a caller still checks each field against its own download.

#include <cstdint>
#include <string>
#include <string_view>

struct CResumeRecord {
    std::string url;        // as the download was asked for it
    std::string validator;  // strong ETag or Last-Modified, as the server sent it
    int64_t total = 0;      // the file's size, > 0
    int64_t kept = 0;       // bytes of the temporary file vouched for, 0 < kept < total
    std::string sha256;     // the pin; empty: none

    std::string Serialize() const;
    // True when `text` is a record of exactly the form above; `record` is then filled.
    static bool Parse(std::string_view text, CResumeRecord& record);
};

// The record's path beside the temporary file `tempPath`.
std::string ResumeRecordPath(const std::string& tempPath);
// False when there is no record, it cannot be read, is larger than a record can be or does
// not parse.
bool ReadResumeRecord(const std::string& path, CResumeRecord& record);
// Replaces the record atomically; 0 or the errno of the step that failed.
int WriteResumeRecord(const std::string& path, const CResumeRecord& record);
