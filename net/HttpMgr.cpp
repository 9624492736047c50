#include "net/HttpMgr.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "net/AutoLock.h"
#include "net/ClusterCurl.h"
#include "net/EventHttpCallBack.h"
#include "net/TransferOptions.h"
#include "platform/Time.h"
#include "sys/DebugLog.h"
#include "sys/TextHelpers.h"
#include "uilib/SNotifyCenter.h"

namespace {
constexpr int kConnectTimeoutSeconds = 5;
constexpr int kTotalTimeoutSeconds = 15;
// TerminateAll waits this long in all; cancelled transfers end within about 100 ms.
constexpr auto kTerminateBound = std::chrono::seconds(5);

// The requests' client: short time-outs, the process-wide settings.
TransferOptions RequestOptions() {
    TransferOptions options = DefaultTransferOptions();
    options.connectTimeoutSeconds = kConnectTimeoutSeconds;
    options.totalTimeoutSeconds = kTotalTimeoutSeconds;
    return options;
}
}  // namespace

std::atomic<CHttpMgr*> CHttpMgr::s_pInstance{nullptr};
CMutex CHttpMgr::s_lockInstance;
std::atomic<int> CHttpMgr::s_nRequestId{0};
std::map<int, CHttpMgr::ThreadPtr> CHttpMgr::s_mapThread;
std::vector<CHttpMgr::ThreadPtr> CHttpMgr::s_vecEnded;
CMutex CHttpMgr::s_lockThread;

// Stops and joins every request thread before the statics they use go away. Made on the
// first request, after the log and the statics above exist, so it is destroyed first.
struct CHttpMgrThreadsJoiner {
    ~CHttpMgrThreadsJoiner() {
        std::vector<CHttpMgr::ThreadPtr> threads;
        {
            CAutoLock lock(&CHttpMgr::s_lockThread);
            for (auto& entry : CHttpMgr::s_mapThread)
                threads.push_back(std::move(entry.second));
            CHttpMgr::s_mapThread.clear();
            for (auto& thread : CHttpMgr::s_vecEnded)
                threads.push_back(std::move(thread));
            CHttpMgr::s_vecEnded.clear();
        }
        for (auto& thread : threads)
            thread->RequestCancel();
        for (auto& thread : threads)
            thread->Join();
    }
};

CHttpMgr* CHttpMgr::GetInstance() {
    CHttpMgr* instance = s_pInstance.load();
    if (instance != nullptr)
        return instance;
    CAutoLock lock(&s_lockInstance);
    instance = s_pInstance.load();
    if (instance == nullptr) {
        instance = new CHttpMgr();  // never destroyed
        s_pInstance.store(instance);
    }
    return instance;
}

int CHttpMgr::AsyncPost(const std::wstring& postData, int param, const std::wstring& url) {
    return StartRequest(url, postData, 0, param);
}

int CHttpMgr::AsyncGet(const std::wstring& url, int param) {
    return StartRequest(url, std::wstring(), 1, param);
}

int CHttpMgr::StartRequest(const std::wstring& url, const std::wstring& postData, int responseType,
                           int param) {
    static CHttpMgrThreadsJoiner s_joiner;
    ReapFinished();

    const int requestId = ++s_nRequestId;
    const std::string narrowUrl = WideToAnsi(url);
    const std::string narrowData = WideToAnsi(postData);

    auto record = std::make_unique<HttpRequestParam>();
    std::memset(record.get(), 0, sizeof(HttpRequestParam));
    record->userid = -1;
    if (narrowUrl.size() >= sizeof(record->url) || narrowData.size() >= sizeof(record->postData))
        return -1;
    std::memcpy(record->url, narrowUrl.data(), narrowUrl.size());
    std::memcpy(record->postData, narrowData.data(), narrowData.size());
    record->userid = requestId;
    record->responseType = responseType;
    record->param = param;

    // The thread takes the record over when it runs; a thread stopped before its gate
    // opened never runs, and the record goes with the thread's procedure.
    auto box = std::make_shared<std::unique_ptr<HttpRequestParam>>(std::move(record));
    auto thread = std::make_unique<platform::GatedThread>();
    if (!thread->Start([box] { return HttpThreadProc(box->release()); }))
        return -1;

    {
        // Opened under the lock: a TerminateAll on another thread could otherwise join and
        // free the thread between its registration and its start.
        CAutoLock lock(&s_lockThread);
        platform::GatedThread* started = thread.get();
        s_mapThread[requestId] = std::move(thread);
        started->Resume();
    }
    return requestId;
}

bool CHttpMgr::WaitForRequests(uint32_t limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        {
            CAutoLock lock(&s_lockThread);
            if (s_mapThread.empty())
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

unsigned CHttpMgr::HttpThreadProc(HttpRequestParam* pParam) {
    if (pParam == nullptr) {
        DebugLog(L"%s 线程参数有问题 threadid=[%d]", L"CHttpMgr::HttpThreadProc",
                 static_cast<int>(platform::GetCurrentThreadId()));
        return 0;
    }
    std::unique_ptr<HttpRequestParam> record(pParam);
    ClusterCurl client(RequestOptions());
    std::string body;
    CurlResult result = record->responseType == 0
                            ? client.httpPost(record->url, record->postData, body)
                            : client.httpGet(record->url, body);
    const bool ok = result.code == 200;
    const std::wstring response = AnsiToWide(body);
    DebugLog(L"%s userid=[%d] responseType=[%d] bRet=[%d] resopnseData=[%s]",
             L"CHttpMgr::HttpThreadProc", record->userid, record->responseType, ok ? 1 : 0,
             response.c_str());

    // A request ended by TerminateAll has no one left to tell: the program is going down.
    if (!platform::IsCurrentThreadCancelled()) {
        auto evt = SOUI::AdoptRef(new EventHttpCallBack(GetInstance()));
        evt->userid = record->userid;
        evt->param = record->param;
        evt->response = response;
        SOUI::SNotifyCenter::PostEvent(evt.detach());  // a no-op once the center is gone
    }

    // The thread cannot join itself: it hands its own entry over to be joined later.
    {
        CAutoLock lock(&s_lockThread);
        auto it = s_mapThread.find(record->userid);
        if (it != s_mapThread.end()) {
            s_vecEnded.push_back(std::move(it->second));
            s_mapThread.erase(it);
        }
    }

    record.reset();
    DebugLog(L"%s 线程 threadid=[%d] 退出", L"CHttpMgr::HttpThreadProc",
             static_cast<int>(platform::GetCurrentThreadId()));
    return 0;
}

void CHttpMgr::ReapFinished() {
    std::vector<ThreadPtr> finished;
    {
        CAutoLock lock(&s_lockThread);
        for (auto it = s_vecEnded.begin(); it != s_vecEnded.end();) {
            if ((*it)->HasFinished()) {
                finished.push_back(std::move(*it));
                it = s_vecEnded.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& thread : finished)
        thread->Join();
}

void CHttpMgr::SyncPost(const std::wstring& url, const std::wstring& postData,
                        std::wstring& response, bool& bSuccess) {
    ClusterCurl client(RequestOptions());
    std::string body;
    CurlResult result = client.httpPost(WideToAnsi(url), WideToAnsi(postData), body);
    bSuccess = result.code == 200;
    response = AnsiToWide(body);
}

void CHttpMgr::SyncGet(const std::wstring& url, std::wstring& response, bool& bSuccess) {
    ClusterCurl client(RequestOptions());
    std::string body;
    CurlResult result = client.httpGet(WideToAnsi(url), body);
    bSuccess = result.code == 200;
    response = AnsiToWide(body);
}

bool CHttpMgr::TerminateAll() {
    std::vector<ThreadPtr> threads;
    {
        CAutoLock lock(&s_lockThread);
        for (auto& entry : s_mapThread)
            threads.push_back(std::move(entry.second));
        s_mapThread.clear();
        for (auto& thread : s_vecEnded)
            threads.push_back(std::move(thread));
        s_vecEnded.clear();
    }
    for (auto& thread : threads)
        thread->RequestCancel();

    const auto deadline = std::chrono::steady_clock::now() + kTerminateBound;
    std::vector<ThreadPtr> late;
    for (auto& thread : threads) {
        while (!thread->HasFinished() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (thread->HasFinished())
            thread->Join();
        else
            late.push_back(std::move(thread));
    }
    if (late.empty())
        return true;
    DebugLog(L"%s %d 个请求线程未在时限内结束", L"CHttpMgr::TerminateAll",
             static_cast<int>(late.size()));
    CAutoLock lock(&s_lockThread);
    for (auto& thread : late)
        s_vecEnded.push_back(std::move(thread));
    return false;
}
