#pragma once
// Why a transfer failed, in classes a user can act on. Each class keeps its number for good:
// logs and reports carry it, and pages map it to their own text.

#include <string>

enum class DownloadFailure : int {
    None = 0,                  // no failure
    NoConnection = 1,          // refused, reset, lost, timed out while connecting, no answer
    NameNotResolved = 2,       // the host (or the proxy) has no address
    CertificateRefused = 3,    // the server's certificate or host name did not pass the check
    HttpStatus = 4,            // the server answered with a status other than success (code)
    DigestMismatch = 5,        // the file arrived whole but is not the one pinned by SHA-256
    DiskFull = 6,              // no space left (or quota) for the file
    DirectoryNotWritable = 7,  // the folder is missing, read-only or not ours to write
    Cancelled = 8,             // the owner or the window asked the transfer to stop
    Stalled = 9,               // the line brought no byte for too long
    FileInUse = 10,            // the final name kept being held by another program
    WriteFailed = 11,          // the file could not be written for another reason
    BadAddress = 12,           // an address or redirect the client does not follow (scheme, loop)
    Other = 99,                // anything else; the message says more
};

// A short English description of the class ("no connection", "HTTP status", ...).
const char* DescribeDownloadFailure(DownloadFailure failure);

// The class of a libcurl failure (a CURLcode value).
DownloadFailure ClassifyCurlFailure(int curlCode);

// The class of a failed file step (an errno value).
DownloadFailure ClassifyFileError(int error);
