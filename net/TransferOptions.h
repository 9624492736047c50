#pragma once
// What a ClusterCurl does on its transfers: one record with documented defaults, given at
// construction or through setOptions and read afresh at each transfer.
//
//     TransferOptions options = DefaultTransferOptions();  // with the process-wide settings
//     options.retries = 5;
//     options.sha256 = pin;
//     ClusterCurl client(options);

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CBodyDigest;  // BodyDigest.h
class CLibcurlDownCallback;

// A lookup of the system's proxy for a URL: true with a proxy URL libcurl takes, or "" for a
// direct connection; false when there is no answer (libcurl's handling of the proxy
// environment variables then applies). It runs on the proxy lookup's own thread and may
// outlast the transfer that asked: it must not capture what the caller destroys.
using ProxyLookupFn = std::function<bool(const std::string& url, std::string& proxy)>;

struct TransferOptions {
    // ---- every transfer
    int connectTimeoutSeconds = 30;  // to have a connection
    int totalTimeoutSeconds = 3600;  // for one attempt in all; 0: no limit
    bool verifyTls = true;           // peer certificate and host name are checked
    std::string caFile;              // CA bundle (PEM); empty: libcurl's, the system's store
    std::string proxy;               // proxy URL for every transfer; empty: the system's
    ProxyLookupFn proxyLookup;       // the system's proxy lookup; empty: SystemProxy.h's
    // A proxy lookup that has not answered within this many ms is given up for this
    // transfer (a log line; it goes on as without an answer). Stop requests end the wait.
    uint32_t proxyLookupLimitMs = 3000;

    // ---- progress and stopping
    CLibcurlDownCallback* listener = nullptr;     // not owned; null: no reports
    int taskId = 0;                               // handed unchanged to every report
    const std::atomic<bool>* stopFlag = nullptr;  // not owned; null: none (StopFlag.h)

    // ---- downloadFile only
    // Further attempts after a transient failure that brought no new byte of the file; an
    // attempt that did bring some does not count. 0: a single attempt per URL.
    int retries = 0;
    std::string sha256;  // expected digest, 64 lower-case hex digits; empty: none
    // Not owned; null: none. Complete (the whole file) only when downloadFile returns 200.
    CBodyDigest* bodyDigest = nullptr;
    // A body longer than this ends the download as a failed write (EFBIG); 0: no limit. For
    // small files of a known kind (a signature), so a hostile server cannot fill the disk.
    int64_t maxBytes = 0;
    // Further URLs of the same file, tried in order when the one before failed (after its
    // retries, or at once on a permanent answer). Bytes already received go on to the next
    // URL only with a sha256 pin; without one a mirror starts from zero.
    std::vector<std::string> mirrors;
    // No byte for this many seconds counts as a lost line (and is retried). 0: no watchdog.
    int stallSeconds = 20;
    // The wait before a retry: firstBackoffMs doubling per fruitless attempt, at most
    // maxBackoffMs (also for a server's Retry-After), plus jitter within that cap.
    uint32_t firstBackoffMs = 1000;
    uint32_t maxBackoffMs = 30000;
};

// The defaults above with the process-wide settings of TransferSettings.h applied.
TransferOptions DefaultTransferOptions();
