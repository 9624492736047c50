#pragma once
// The outcome of every HTTP transfer of ClusterCurl.

#include <string>

#include "net/FailureReason.h"

struct CurlResult {
    // 200: success (libcurl reported no failure and the status was 200). Any other HTTP
    // status: the server's answer. 1..99: libcurl's CURLcode when the transfer failed
    // with status 200 or without a status. -1: the client's own failure. -2: the final
    // rename of a download kept meeting a file in use. -3: a download whose digest was
    // not the pinned one (ClusterCurl::kSha256Mismatch).
    int code = -1;
    std::string message;  // libcurl's text for the transfer, or the client's own text
    // The class of the failure; None exactly when code is 200.
    DownloadFailure failure = DownloadFailure::Other;
    // downloadFile: the URL (the main one or a mirror) whose answer completed the file; what
    // belongs to the file (its signature) is fetched from there.
    std::string servedUrl;
};

// One line for a log or a page: the class, with the status for HttpStatus ("HTTP status
// 404") and the code for Other ("transfer failed (code 43)").
std::string DescribeResult(const CurlResult& result);
