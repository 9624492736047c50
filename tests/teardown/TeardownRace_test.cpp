// Teardown of the notify center while request threads and an install thread post to it,
// as the program's teardown can meet them: nothing reaches a freed center, every event is
// released once (LeakSanitizer checks in the address build, ThreadSanitizer watches the
// threads in the thread build), and no queued event keeps or loses a sender's reference.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "install/EventInstallCallBack.h"
#include "install/InstallMgr.h"
#include "net/EventHttpCallBack.h"
#include "net/HttpMgr.h"
#include "platform/Thread.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TestHttpServer.h"
#include "uilib/SNotifyCenter.h"

namespace {

class CSenderCheck : public SOUI::IEventHandler {
public:
    explicit CSenderCheck(SOUI::IObject* installSender) : m_pInstallSender(installSender) {}
    bool _HandleEvent(SOUI::EventArgs* evt) override {
        if (evt->GetID() == EVT_INSTALL_CALLBACK)
            EXPECT_EQ(evt->sender, m_pInstallSender);
        else
            EXPECT_EQ(evt->sender, CHttpMgr::GetInstance());
        return true;
    }

private:
    SOUI::IObject* m_pInstallSender;
};

TEST(TeardownRace, RequestAndInstallThreadsPostWhileTheCenterIsTornDown) {
    qitest::CScopedWorkFolder workFolder;
    qitest::CTestHttpServer server;
    ASSERT_TRUE(server.IsRunning());
    server.Set("/report", qitest::CCannedResponse::Status(200, "ok"));
    const std::string narrowUrl = server.Url("/report");
    const std::wstring url(narrowUrl.begin(), narrowUrl.end());

    // The sender of install events, held as the main window holds it.
    auto* mgr = new CInstallMgr;
    CSenderCheck check(mgr);
    for (int round = 0; round < 200; ++round) {
        auto center = std::make_unique<SOUI::SNotifyCenter>();
        ASSERT_TRUE(center->IsValid());
        center->addEvent(EVT_INSTALL_CALLBACK, L"on_install_callback");
        center->addEvent(EVT_HTTP_CALLBACK, L"on_httpcallback");
        center->RegisterEventMap(&check);

        ASSERT_GT(CHttpMgr::GetInstance()->AsyncGet(url, round), 0);
        ASSERT_GT(CHttpMgr::GetInstance()->AsyncPost(L"k=v", round, url), 0);
        // The install thread posts its steps through the same function the steps use.
        platform::GatedThread install;
        ASSERT_TRUE(install.Start([mgr] {
            for (int step = 0; step < 40 && !platform::IsCurrentThreadCancelled(); ++step)
                PostInstallEvent(mgr, step, 0, L"step");
            return 0u;
        }));
        install.Resume();

        center->DispatchPending();
        center->UnregisterEventMap(&check);
        center.reset();  // while the threads may still post
        ASSERT_TRUE(install.Join());
        if (round % 50 == 49)
            CHttpMgr::GetInstance()->TerminateAll();  // as teardown does, now and then
    }
    CHttpMgr::GetInstance()->TerminateAll();
    EXPECT_FALSE(server.Requests().empty());
    EXPECT_EQ(mgr->RefCount(), 1) << "no event took or dropped a reference of its sender";
    mgr->Release();
}

}  // namespace
