#pragma once
// The outcome of every HTTP transfer of ClusterCurl.

#include <string>

struct CurlResult {
    // 200: success (libcurl reported no failure and the status was 200). Any other HTTP
    // status: the server's answer. 1..99: libcurl's CURLcode when the transfer failed
    // with status 200 or without a status. -1: the client's own failure. -2: the final
    // rename of a download kept meeting a file in use.
    int code = -1;
    std::string message;  // libcurl's text for the transfer, or the client's own text
};
