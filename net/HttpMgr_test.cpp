#include "net/HttpMgr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>

#include "net/EventHttpCallBack.h"
#include "net/TransferSettings.h"
#include "platform/DebugOutput.h"
#include "tests/support/EventPump.h"
#include "tests/support/SlowProxyLookup.h"
#include "tests/support/TestHttpServer.h"

using qitest::CCannedResponse;
using qitest::CEventPump;
using qitest::CTestHttpServer;

namespace {

struct CHttpOutcome {
    int userid;
    int param;
    std::wstring response;
    bool senderIsManager;
};

class HttpMgrTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.IsRunning()); }
    void TearDown() override { CHttpMgr::GetInstance()->TerminateAll(); }

    std::wstring Url(const std::string& path) {
        std::string url = server.Url(path);
        return std::wstring(url.begin(), url.end());
    }
    // Waits for the event of request `id`.
    bool WaitForOutcome(int id) {
        return pump.PumpUntil([&] { return outcomes.count(id) != 0; }, 30000);
    }
    // Waits until the request thread has written its exit line.
    bool WaitForExitLines(size_t count) {
        return pump.PumpUntil(
            [&] {
                std::string text = capture.Text();
                size_t found = 0;
                for (size_t at = text.find("退出"); at != std::string::npos;
                     at = text.find("退出", at + 1))
                    ++found;
                return found >= count;
            },
            30000);
    }

    CTestHttpServer server;
    platform::ScopedDebugCapture capture;
    std::map<int, CHttpOutcome> outcomes;
    CEventPump pump{{{EVT_HTTP_CALLBACK, L"on_httpcallback"}}, [this](SOUI::EventArgs* evt) {
                        auto* http = static_cast<EventHttpCallBack*>(evt);
                        ASSERT_TRUE(evt->IsClass(L"on_httpcallback"));
                        outcomes[http->userid] = {http->userid, http->param, http->response,
                                                  http->sender == CHttpMgr::GetInstance()};
                    }};
};

TEST_F(HttpMgrTest, RequestsAreNumberedInOrderAndRefusalsUseUpANumber) {
    server.Set("/n", CCannedResponse::Status(200, "n"));
    CHttpMgr* mgr = CHttpMgr::GetInstance();
    EXPECT_EQ(mgr, CHttpMgr::GetInstance());
    int first = mgr->AsyncGet(Url("/n"), 0);
    int second = mgr->AsyncPost(L"a=1", 0, Url("/n"));
    // A URL that does not fit the request record is refused rather than cut.
    int refused = mgr->AsyncGet(Url("/n?" + std::string(1024, 'q')), 0);
    int fourth = mgr->AsyncGet(Url("/n"), 0);
    EXPECT_EQ(first, 1);  // this is the program's first request
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(refused, -1);
    EXPECT_EQ(fourth, first + 3);
    ASSERT_TRUE(WaitForOutcome(first));
    ASSERT_TRUE(WaitForOutcome(second));
    ASSERT_TRUE(WaitForOutcome(fourth));
    EXPECT_EQ(outcomes.count(first + 2), 0u);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(HttpMgrTest, RequestRecordLimitsAreExact) {
    server.Set("/p", CCannedResponse::Status(200, "ok"));
    CHttpMgr* mgr = CHttpMgr::GetInstance();
    const std::string base = server.Url("/p?");
    std::wstring longestUrl = Url("/p?" + std::string(1023 - base.size(), 'u'));
    ASSERT_EQ(longestUrl.size(), 1023u);
    int fits = mgr->AsyncPost(std::wstring(4095, L'b'), 0, longestUrl);
    EXPECT_GT(fits, 0);
    EXPECT_EQ(mgr->AsyncPost(std::wstring(4096, L'b'), 0, Url("/p")), -1);
    ASSERT_TRUE(WaitForOutcome(fits));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body, std::string(4095, 'b'));
}

TEST_F(HttpMgrTest, FailedRequestStillDeliversTheBodyItReceived) {
    server.Set("/err", CCannedResponse::Status(500, "server says no"));
    int id = CHttpMgr::GetInstance()->AsyncPost(L"info=x", 42, Url("/err"));
    ASSERT_TRUE(WaitForOutcome(id));
    EXPECT_EQ(outcomes[id].param, 42);
    EXPECT_EQ(outcomes[id].response, L"server says no");
    EXPECT_TRUE(outcomes[id].senderIsManager);
    ASSERT_TRUE(WaitForExitLines(1));
    const std::string text = capture.Text();
    EXPECT_NE(text.find("CHttpMgr::HttpThreadProc userid=[" + std::to_string(id) +
                        "] responseType=[0] bRet=[0] resopnseData=[server says no]"),
              std::string::npos);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("CHttpMgr::HttpThreadProc 线程 threadid=\\[[0-9]+\\] 退出")));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "POST");
    EXPECT_EQ(server.Requests()[0].body, "info=x");
    EXPECT_EQ(server.Requests()[0].Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(HttpMgrTest, GetLogsResponseTypeOne) {
    server.Set("/g", CCannedResponse::Status(200, "got it"));
    int id = CHttpMgr::GetInstance()->AsyncGet(Url("/g"), 3);
    ASSERT_TRUE(WaitForOutcome(id));
    EXPECT_EQ(outcomes[id].response, L"got it");
    EXPECT_EQ(outcomes[id].param, 3);
    EXPECT_NE(capture.Text().find("userid=[" + std::to_string(id) +
                                  "] responseType=[1] bRet=[1] resopnseData=[got it]"),
              std::string::npos);
    EXPECT_EQ(server.Requests()[0].method, "GET");
}

TEST_F(HttpMgrTest, EmptyAndUnreachableUrlsEndNormallyWithEmptyResponse) {
    CHttpMgr* mgr = CHttpMgr::GetInstance();
    int empty = mgr->AsyncGet(L"", 0);
    int unreachable = mgr->AsyncPost(L"a=b", 0, L"http://127.0.0.1:1/none");
    ASSERT_GT(empty, 0);
    ASSERT_GT(unreachable, 0);
    ASSERT_TRUE(WaitForOutcome(empty));
    ASSERT_TRUE(WaitForOutcome(unreachable));
    EXPECT_EQ(outcomes[empty].response, L"");
    EXPECT_EQ(outcomes[unreachable].response, L"");
    ASSERT_TRUE(WaitForExitLines(2));
    EXPECT_NE(capture.Text().find("userid=[" + std::to_string(unreachable) +
                                  "] responseType=[0] bRet=[0] resopnseData=[]"),
              std::string::npos);
}

TEST_F(HttpMgrTest, TerminateAllStopsARunningRequestAndJoinsIt) {
    CCannedResponse stalled;
    stalled.body = std::string(4096, 's');
    stalled.pieceSize = 16;
    stalled.pieceDelayMs = 20000;
    server.Set("/stall", stalled);
    int id = CHttpMgr::GetInstance()->AsyncGet(Url("/stall"), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(server.WaitForRequests(1, 10000));
    EXPECT_TRUE(CHttpMgr::GetInstance()->TerminateAll());
    // The thread has ended: its exit line is written, and a request the program ended has
    // no one to tell, so nothing was queued.
    const std::string text = capture.Text();
    EXPECT_NE(text.find("userid=[" + std::to_string(id) + "] responseType=[1] bRet=[0]"),
              std::string::npos);
    EXPECT_NE(text.find("退出"), std::string::npos);
    EXPECT_EQ(pump.Center().DispatchPending(), 0u);
    EXPECT_EQ(outcomes.count(id), 0u);
}

TEST_F(HttpMgrTest, TerminateAllEndsARequestStillLookingUpItsProxy) {
    server.Set("/p", CCannedResponse::Status(200, "p"));
    auto slow = qitest::CSlowProxyLookup::Make();
    CTransferSettings settings = GetDefaultTransferSettings();
    settings.proxyLookup = slow->Fn();
    SetDefaultTransferSettings(settings);
    const int id = CHttpMgr::GetInstance()->AsyncGet(Url("/p"), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(slow->WaitStarted());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CHttpMgr::GetInstance()->TerminateAll());
    // Generous: the wait looks at the stop request every 20 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    SetDefaultTransferSettings(CTransferSettings());
    slow->Finish();
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(pump.Center().DispatchPending(), 0u);
}

TEST_F(HttpMgrTest, SyncRequestsRunOnTheCallersThread) {
    server.Set("/s", CCannedResponse::Status(200, "sync body"));
    CHttpMgr* mgr = CHttpMgr::GetInstance();
    std::wstring response;
    bool ok = false;
    mgr->SyncGet(Url("/missing"), response, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(response, L"not found");
    mgr->SyncPost(Url("/s"), L"k=v", response, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(response, L"sync body");
    EXPECT_EQ(server.Requests().back().body, "k=v");
    // No event follows a synchronous request.
    EXPECT_FALSE(pump.PumpUntil([&] { return !outcomes.empty(); }, 200));
}

TEST_F(HttpMgrTest, ThreadProcWithoutRecordOnlyLogs) {
    EXPECT_EQ(CHttpMgr::HttpThreadProc(nullptr), 0u);
    EXPECT_TRUE(std::regex_search(
        capture.Text(),
        std::regex("CHttpMgr::HttpThreadProc 线程参数有问题 threadid=\\[[0-9]+\\]")));
}

}  // namespace
