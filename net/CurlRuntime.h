#pragma once
// libcurl's process-wide state. The first transfer sets it up (so a program that never
// fetches never loads libcurl's TLS stack), and the program releases it at the end, once
// nothing can use it any more:
//
//     const bool ended = CHttpMgr::GetInstance()->TerminateAll();
//     ReleaseCurlGlobal(ended);

// curl_global_init, once, on first use; thread-safe. True when libcurl is set up (also when
// it already was). Every ClusterCurl calls it before it makes a handle.
bool EnsureCurlGlobal();

// curl_global_cleanup when libcurl was set up, `allThreadsEnded` is true and no client
// (ClusterCurl, probe) exists; otherwise a log line, and libcurl's state stays for the
// process's end (a thread still inside libcurl must not lose it). A later EnsureCurlGlobal
// sets it up again.
void ReleaseCurlGlobal(bool allThreadsEnded);

// Holds libcurl's state for one client: set up when it is made, and counted so that
// ReleaseCurlGlobal leaves it alone while the client lives.
class CCurlGlobalUse {
public:
    CCurlGlobalUse();
    ~CCurlGlobalUse();
    CCurlGlobalUse(const CCurlGlobalUse&) = delete;
    CCurlGlobalUse& operator=(const CCurlGlobalUse&) = delete;
    bool Ok() const { return m_bOk; }

private:
    bool m_bOk;
};
