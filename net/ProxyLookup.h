#pragma once
// The system's proxy for a transfer without letting the lookup hold the transfer up: the
// lookup (libproxy may fetch a PAC file) runs on a thread of a process-wide service that
// outlives every caller, and the caller waits for it in short slices, so that a stop
// request ends the wait at once and a lookup that does not answer in time is given up.

#include <atomic>
#include <cstdint>
#include <string>

#include "net/TransferOptions.h"

enum class ProxyRoute {
    Answered,   // `proxy` holds the answer: a proxy URL, or "" for a direct connection
    NoAnswer,   // the lookup had none: libcurl's handling of the environment applies
    TimedOut,   // no answer within the limit (logged): as NoAnswer
    Cancelled,  // the caller's owner asked it to stop, or its stop flag was set
};

// Looks up the proxy for `url` through `lookup` (empty: ResolveSystemProxy) and waits at
// most `limitMs`. The wait ends within about 20 ms of a stop request of the calling
// thread's owner (platform/Thread.h) or of `stopFlag` (may be null). While one lookup has
// hung for longer than the limit, later ones give up at once instead of queueing behind it.
ProxyRoute LookUpProxy(const std::string& url, const ProxyLookupFn& lookup, uint32_t limitMs,
                       const std::atomic<bool>* stopFlag, std::string& proxy);

// "scheme://host:port" of a URL in lower case (the port only when given), without user
// information: the only part of the URL the log names.
std::string ProxyLookupKey(const std::string& url);
