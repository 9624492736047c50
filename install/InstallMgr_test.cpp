#include "install/InstallMgr.h"

#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>

#include "install/EventInstallCallBack.h"
#include "platform/DebugOutput.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

namespace {

using qitest::InstallEvents;

class InstallMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetModuleFileNameForTest(platform::Utf8ToWide(m_dir / "installer"));
        ::setenv("QI_REGISTRY_DIR", m_dir.Path().c_str(), 1);  // an empty store of our own
        // Later steps end quickly: no network, and a setup that fails at once.
        m_dir.Write("Install.ini", qitest::OfflineInstallIni());
        m_dir.WriteScript("QuilloraSetup.exe", "exit 1\n");
    }
    void TearDown() override {
        platform::SetModuleFileNameForTest(L"");
        ::unsetenv("QI_REGISTRY_DIR");
    }
    qitest::TempDir m_dir;
    InstallEvents m_events;
};

TEST_F(InstallMgrTest, NullThreadArgumentLogsOnceAndPostsNothing) {
    platform::ScopedDebugCapture capture;
    EXPECT_EQ(CInstallMgr::ThreadInstall(nullptr), 0u);
    std::string log = capture.Text();
    EXPECT_NE(log.find("CInstallMgr::ThreadInstall 线程参数有问题 threadid=["), std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    m_events.Pump(std::chrono::milliseconds(50));
    EXPECT_TRUE(m_events.Seen().empty());
}

TEST_F(InstallMgrTest, ThreadLogsItsStartAndEndAndPostsTheFirstStep) {
    platform::ScopedDebugCapture capture;
    {
        CInstallMgr mgr;
        mgr.SetInstallDir(L"/opt/Quillora");
        EXPECT_EQ(mgr.GetInstallDir(), L"/opt/Quillora");
        mgr.BeginInstallThread();
        ASSERT_TRUE(m_events.PumpUntil([&] { return mgr.IsInstallThreadFinished(); }));
        mgr.BeginInstallThread();  // a second start neither crashes nor starts a thread
    }
    m_events.Pump(std::chrono::milliseconds(20));
    ASSERT_FALSE(m_events.Seen().empty());
    const auto& first = m_events.Seen().front();
    EXPECT_EQ(first.progress, 5);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.text, L"检测环境...");
    std::string log = capture.Text();
    EXPECT_NE(log.find("CInstallMgr::BeginInstallThread 创建安装线程\n"), std::string::npos);
    EXPECT_NE(log.find("CInstallMgr::IntallSoftware 安装step=5\n"), std::string::npos);
    EXPECT_NE(log.find("CInstallMgr::ThreadInstall 安装完成 线程threadid=["), std::string::npos);
}

TEST_F(InstallMgrTest, EventCarriesItsKindAndSender) {
    CInstallMgr mgr;
    PostInstallEvent(&mgr, 42, -1, L"失败");
    m_events.Pump(std::chrono::milliseconds(20));
    ASSERT_EQ(m_events.Seen().size(), 1u);
    EXPECT_EQ(m_events.Seen()[0].sender, &mgr);
    EXPECT_EQ(m_events.Seen()[0].progress, 42);
    EXPECT_EQ(m_events.Seen()[0].status, -1);
    EventInstallCallBack evt(&mgr);
    EXPECT_EQ(evt.GetID(), 10000001);
    EXPECT_TRUE(evt.IsClass(L"on_install_callback"));
    EXPECT_TRUE(evt.IsClass(L"eventargs"));
    EXPECT_FALSE(evt.IsClass(L"on_httpcallback"));
    EXPECT_EQ(evt.GetObjectType(), -1);
    evt.AddRef();  // lives on the stack here: keep the count above zero
}

TEST_F(InstallMgrTest, DestroyedBeforeItsThreadRunsLeavesNothingBehind) {
    for (int i = 0; i < 20; ++i) {
        CInstallMgr mgr;
        mgr.BeginInstallThread();
    }  // each destructor asks the thread to stop and joins it; the sanitizers watch
    m_events.Pump(std::chrono::milliseconds(20));  // events of ended managers are harmless
}

TEST_F(InstallMgrTest, DestroyedWhileItsThreadWaitsOnTheSetupReturnsPromptly) {
    std::string marker = m_dir / "setup.pid";
    m_dir.WriteScript("QuilloraSetup.exe", "echo $$ > \"" + marker + "\"\nexec sleep 120\n");
    auto start = std::chrono::steady_clock::now();
    pid_t setup = 0;
    {
        CInstallMgr mgr;
        mgr.SetInstallDir(platform::Utf8ToWide(m_dir / "target"));
        mgr.BeginInstallThread();
        setup = qitest::WaitForPidFile(marker, 30000);
        ASSERT_GT(setup, 0) << "the setup never started";
    }  // the destructor stops the wait, ends the setup and joins the thread
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_TRUE(qitest::WaitUntilGone(setup)) << "the setup outlived its manager";
    m_events.Pump(std::chrono::milliseconds(20));
    for (const auto& e : m_events.Seen())
        EXPECT_NE(e.progress, 90) << "no step after the cancelled one";
}

}  // namespace
