#include "install/InstallMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "install/EventInstallCallBack.h"
#include "platform/DebugOutput.h"
#include "platform/Module.h"
#include "platform/ProcessTable.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/Processes.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestFiles.h"

namespace {

using qitest::InstallEvents;

class InstallMgrTest : public ::testing::Test {
protected:
    qitest::CScopedWorkFolder workFolder;  // downloads and checks in a folder of the test
    void SetUp() override {
        ASSERT_TRUE(m_registry.Ok());  // an empty registry of our own
        // Later steps end quickly: no network, and a setup that fails at once.
        m_dir.Write("Install.ini", qitest::OfflineInstallIni());
        ASSERT_TRUE(
            workFolder.PlaceRecordingProgram(m_dir / "QuilloraSetup.exe", m_dir / "args", 1));
    }
    qitest::TempRegistry m_registry;
    qitest::TempDir m_dir;
    const qitest::ScopedOverride m_module =
        qitest::OverrideModuleFileName(platform::Utf8ToWide(m_dir / "installer"));
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
    // Nothing runs on: what the joined threads posted is all that ever comes.
    m_events.Pump(std::chrono::milliseconds(20));
    const size_t posted = m_events.Seen().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_events.Pump(std::chrono::milliseconds(20));
    EXPECT_EQ(m_events.Seen().size(), posted) << "a thread outlived its manager";
}

// The ids of the running processes of this name.
std::set<uint32_t> ProcessesNamed(const std::wstring& name) {
    std::set<uint32_t> pids;
    for (const platform::ProcessEntry& entry : platform::ListProcesses())
        if (entry.exeName == name)
            pids.insert(entry.pid);
    return pids;
}

TEST_F(InstallMgrTest, DestroyedWhileItsThreadWaitsOnTheSetupReturnsPromptly) {
    ASSERT_TRUE(
        workFolder.PlaceRecordingProgram(m_dir / "QuilloraSetup.exe", m_dir / "args", 0, "", 120));
    const std::set<uint32_t> before = ProcessesNamed(L"QuilloraSetup.exe");
    auto start = std::chrono::steady_clock::now();
    uint32_t setup = 0;
    {
        CInstallMgr mgr;
        mgr.SetInstallDir(platform::Utf8ToWide(m_dir / "target"));
        mgr.BeginInstallThread();
        // The setup runs once the process table lists a new process of its name.
        for (int waited = 0; setup == 0 && waited < 30000; waited += 10) {
            for (uint32_t pid : ProcessesNamed(L"QuilloraSetup.exe"))
                if (before.count(pid) == 0)
                    setup = pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GT(setup, 0u) << "the setup never started";
    }  // the destructor stops the wait, ends the setup and joins the thread
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_TRUE(qitest::WaitUntilGone(setup)) << "the setup outlived its manager";
    EXPECT_FALSE(qitest::FileExists(m_dir / "args"));  // ended before it came to record
    m_events.Pump(std::chrono::milliseconds(20));
    for (const auto& e : m_events.Seen())
        EXPECT_NE(e.progress, 90) << "no step after the cancelled one";
}

}  // namespace
