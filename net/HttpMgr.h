#pragma once
// Background HTTP requests: each request runs on a fresh thread of its own and posts its
// outcome to the UI thread as an EventHttpCallBack. A process-wide singleton, never
// destroyed.
//
// Request threads never outlive the manager's statics: at exit (and in TerminateAll)
// they are asked to stop, which aborts their transfer within about 100 ms, and joined.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/Mutex.h"
#include "platform/Thread.h"
#include "uilib/SObject.h"

// What a starting operation hands to its request thread.
struct HttpRequestParam {
    char url[1024];       // narrow, at most 1023 bytes
    char postData[4096];  // narrow, at most 4095 bytes; empty for a GET
    int userid;           // the request number; -1 until set
    int responseType;     // 0: POST, 1: GET
    int param;            // the caller's value
};

class CHttpMgr : public SOUI::SObjectImpl<SOUI::IObject> {
public:
    static CHttpMgr* GetInstance();

    // Start a request and return its number (1, 2, 3, ...), or -1 when no thread was
    // started: the thread could not be made, or the converted URL or body does not fit
    // HttpRequestParam (a cut URL or body would send wrong data). Call from one thread
    // at a time.
    int AsyncPost(const std::wstring& postData, int param, const std::wstring& url);
    int AsyncGet(const std::wstring& url, int param);

    // The request thread's procedure; takes over the record. Returns 0.
    static unsigned HttpThreadProc(HttpRequestParam* pParam);

    // Requests on the caller's thread; no event, no log line.
    void SyncPost(const std::wstring& url, const std::wstring& postData, std::wstring& response,
                  bool& bSuccess);
    void SyncGet(const std::wstring& url, std::wstring& response, bool& bSuccess);

    // Asks every request thread to stop and joins them, waiting at most about 5 s in all;
    // a thread that has not ended by then stays registered (a log line says how many) and
    // is joined at exit. A request ended this way posts no event. True when every thread
    // has ended: only then may libcurl's state go (CurlRuntime.h: ReleaseCurlGlobal). The
    // program calls it before the notify center goes.
    bool TerminateAll();

    // Waits until no request is in flight, at most `limitMs`; true when none is. An
    // unattended run calls it so that its report leaves before the program does.
    static bool WaitForRequests(uint32_t limitMs);

private:
    CHttpMgr() = default;
    int StartRequest(const std::wstring& url, const std::wstring& postData, int responseType,
                     int param);
    // Joins threads that have taken themselves out of the map.
    static void ReapFinished();

    using ThreadPtr = std::unique_ptr<platform::GatedThread>;

    static std::atomic<CHttpMgr*> s_pInstance;
    static CMutex s_lockInstance;
    static std::atomic<int> s_nRequestId;
    static std::map<int, ThreadPtr> s_mapThread;  // guarded by s_lockThread
    static std::vector<ThreadPtr> s_vecEnded;     // threads that left the map; guarded too
    static CMutex s_lockThread;

    friend struct CHttpMgrThreadsJoiner;
};
