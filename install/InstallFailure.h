#pragma once
// Why an installation failed, in reasons a user can act on. Each reason keeps its number for
// good: the log carries it, and an unattended run ends with it as its exit code.

#include <cstdint>
#include <string>

#include "net/CurlResult.h"

enum class InstallFailure : int {
    None = 0,                   // installed
    Usage = 2,                  // the command line was not understood (the program's own)
    NoConnection = 10,          // no connection to the server (refused, reset, lost, no answer)
    NameNotResolved = 11,       // the server's (or the proxy's) name was not found
    CertificateRefused = 12,    // the server's certificate did not pass the check
    HttpStatus = 13,            // the server answered with an error status (value: the status)
    DigestMismatch = 14,        // a file is not the one Install.ini pins
    DiskFull = 15,              // no space left for a file
    DirectoryNotWritable = 16,  // a folder cannot be written
    Stalled = 17,               // the line brought no byte for too long
    FileInUse = 18,             // a file is held by another program
    WriteFailed = 19,           // a file could not be written for another reason
    BadAddress = 20,            // a download address the installer does not follow
    DownloadFailed = 21,        // any other download failure
    ProductRunning = 30,        // the product kept running and its setup failed
    RuntimeSetupFailed = 31,    // the .NET Framework installer failed (value: its exit code)
    SetupFailed = 32,           // the product's setup failed (value: its exit code)
    InvalidInstallDir = 33,     // the install folder cannot be used
    BadConfiguration = 34,      // Install.ini names something unusable (a malformed digest)
    SignatureInvalid = 35,      // a file to run lacks a valid signature by the publisher's key
    Cancelled = 40,             // the user or the system stopped the run
};

// The reason of a failed download.
InstallFailure InstallFailureOfDownload(const CurlResult& result);

// A short English name for the log ("no-connection", "http-status", ...).
const char* InstallFailureName(InstallFailure failure);

// The sentence a page shows, in the program's source language (Chinese) with "{n}" standing
// for `value` where the reason has one; a translator maps it, then FillReasonValue fills it.
const wchar_t* InstallFailureText(InstallFailure failure, int64_t value);
std::wstring FillReasonValue(std::wstring text, int64_t value);
