// The main window's logic on the headless host with its virtual clock: the commands of its
// controls, the install directory rules as the install button applies them, the progress
// display that follows the install events, the slides, and the start of the product.

#include "ui/CMainDlg.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "install/EventInstallCallBack.h"
#include "install/InstallMgr.h"
#include "net/HttpMgr.h"
#include "net/StopFlag.h"
#include "platform/Module.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "sys/SupportLog.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TestSignatures.h"
#include "tests/support/Wait.h"
#include "ui/CMsgBoxDlg.h"
#include "ui/SButtonEx.h"
#include "ui/testing/MainWindowFixture.h"
#include "uilib/SHeadlessHost.h"

using namespace SOUI;

namespace {

class MainDlgTest : public uitest::MainWindowFixture {
protected:
    qitest::CScopedWorkFolder workFolder;  // downloads and checks in a folder of the test
    qitest::CScopedPublisherKeys unkeyed;  // it serves unsigned files: a build without keys
    SWindow* Child(const wchar_t* name) { return m_dlg->FindChildByName(name); }
    SStringW Text(const wchar_t* name) { return Child(name)->GetWindowTextW(true); }
    int Page() { return m_dlg->FindChildByName2<STabCtrl>(L"tab_main")->GetCurSel(); }
    int Height() { return m_dlg->GetScreenRect().Height(); }
    void SetPath(const std::wstring& path) { Child(L"edit_path")->SetWindowTextW(path); }
    int Bar() { return m_dlg->FindChildByName2<SProgress>(L"pro_install")->GetValue(); }

    // Clicks the install button with the message box answered by `button`; true when the
    // message box showed.
    bool InstallExpectingMsgBox(const wchar_t* button = L"btn_confirm") {
        bool shown = false;
        m_host.PostTask([&] {
            if (CMsgBoxDlg* box = m_dlg->GetMsgBox()) {
                shown =
                    box->IsWindowVisible() &&
                    box->FindChildByName(L"text_msg")->GetWindowTextW(true) == L"  安装目录无效";
                SHeadlessHost::ClickByName(box, button);
            }
        });
        Click(L"btn_installer");
        return shown;
    }

    // Steps the virtual clock 10 ms at a time and records the bar after each step.
    std::vector<int> Steps(int count) {
        std::vector<int> seen;
        for (int i = 0; i < count; ++i) {
            m_host.Advance(10);
            seen.push_back(Bar());
        }
        return seen;
    }
};

TEST_F(MainDlgTest, StartsFoldedOnTheWelcomePageReadyToInstallIntoProgramFiles) {
    EXPECT_EQ(m_dlg->GetNativeTitle(), L"安装程序");
    EXPECT_EQ(m_dlg->GetScreenRect().Size(), CSize(640, 400));
    EXPECT_EQ(Page(), CMainDlg::kPageWelcome);
    EXPECT_TRUE(Child(L"agree")->IsChecked());
    EXPECT_FALSE(Child(L"btn_installer")->IsDisabled());
    EXPECT_EQ(Text(L"txt_percent"), L"0%");
    EXPECT_EQ(Bar(), 0);
    EXPECT_EQ(Text(L"edit_path"), W(m_tmp / "programs/Quillora"));
    EXPECT_TRUE(m_center->isEventDeclared(EventInstallCallBack::EventID));
}

TEST_F(MainDlgTest, TheAgreementBoxEnablesTheInstallButtonAndADisabledButtonDoesNothing) {
    ASSERT_TRUE(Click(L"agree"));
    EXPECT_FALSE(Child(L"agree")->IsChecked());
    EXPECT_TRUE(Child(L"btn_installer")->IsDisabled());
    Click(L"btn_installer");
    EXPECT_EQ(Page(), CMainDlg::kPageWelcome);
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "programs/Quillora"));

    ASSERT_TRUE(Click(L"agree"));
    EXPECT_FALSE(Child(L"btn_installer")->IsDisabled());
}

TEST_F(MainDlgTest, TheCustomPanelUnfoldsAndTheLicencePagesBackButtonFoldsIt) {
    const CPoint topLeft = m_dlg->GetScreenRect().TopLeft();
    ASSERT_TRUE(Click(L"btn_extend"));
    EXPECT_EQ(Height(), 445);
    EXPECT_TRUE(m_dlg->IsPanelExpanded());
    ASSERT_TRUE(Click(L"btn_extend"));
    EXPECT_EQ(Height(), 400);
    ASSERT_TRUE(Click(L"btn_extend"));
    EXPECT_EQ(Height(), 445);

    ASSERT_TRUE(Click(L"link_license"));
    EXPECT_EQ(Page(), CMainDlg::kPageLicence);
    ASSERT_TRUE(Click(L"btn_back"));
    EXPECT_EQ(Page(), CMainDlg::kPageWelcome);
    EXPECT_EQ(Height(), 400);
    EXPECT_FALSE(m_dlg->IsPanelExpanded());
    EXPECT_EQ(m_dlg->GetScreenRect().TopLeft(), topLeft);  // resizing never moves it
    // Folded again: the next toggle unfolds.
    ASSERT_TRUE(Click(L"btn_extend"));
    EXPECT_EQ(Height(), 445);
}

TEST_F(MainDlgTest, TheFolderPickerSetsTheDirectoryWithTheProductFolder) {
    m_host.QueueFolderAnswer(SStringW(L"/srv/apps"));
    ASSERT_TRUE(Click(L"btn_extend"));  // the directory row shows only unfolded
    ASSERT_TRUE(Click(L"btn_open"));
    EXPECT_EQ(m_host.LastFolderTitle(), L"从下面选文件夹目录:");
    EXPECT_EQ(Text(L"edit_path"), L"/srv/apps/Quillora");
    EXPECT_EQ(m_dlg->GetInstallDir(), L"/srv/apps/Quillora");

    m_host.QueueFolderAnswer(SStringW(L"/"));
    Click(L"btn_open");
    EXPECT_EQ(Text(L"edit_path"), L"/Quillora");

    m_host.QueueFolderAnswer(std::nullopt);  // cancelled: nothing changes
    Click(L"btn_open");
    EXPECT_EQ(Text(L"edit_path"), L"/Quillora");
}

TEST_F(MainDlgTest, AnInvalidDirectoryShowsTheMessageBoxAndRestoresTheRememberedOne) {
    const std::wstring remembered = m_dlg->GetInstallDir();
    for (const std::wstring& bad :
         {W(m_tmp / "two/missing"), std::wstring(L"relative"), W(m_tmp / "quote\"d")}) {
        SetPath(bad);
        EXPECT_TRUE(InstallExpectingMsgBox()) << platform::PathToNarrow(bad);
        EXPECT_EQ(m_dlg->GetMsgBox(), nullptr);
        EXPECT_EQ(Text(L"edit_path"), remembered);
        EXPECT_EQ(Page(), CMainDlg::kPageWelcome);
        EXPECT_FALSE(m_dlg->IsDisabled());  // the owner takes input again
    }
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "two"));
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "quote\"d"));
    EXPECT_FALSE(m_dlg->GetInstallMgr()->IsInstallThreadFinished());
}

TEST_F(MainDlgTest, ClosingWhileTheMessageBoxShowsEndsBothAndTheLoop) {
    SetPath(W(m_tmp / "two/missing"));
    m_host.PostTask([&] { m_dlg->SendMessageW(WM_CLOSE); });
    Click(L"btn_installer");
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_TRUE(g_bStopFlag);
}

TEST_F(MainDlgTest, TheInstallButtonAppendsTheProductFolderCaseSensitivelyAndCreatesOneLevel) {
    std::filesystem::create_directories(m_tmp / "apps/quillora");
    SetPath(W(m_tmp / "apps/quillora"));
    Click(L"btn_installer");
    EXPECT_EQ(Page(), CMainDlg::kPageProgress);
    EXPECT_EQ(m_dlg->GetInstallDir(), W(m_tmp / "apps/quillora/Quillora"));
    EXPECT_EQ(m_dlg->GetInstallMgr()->GetInstallDir(), m_dlg->GetInstallDir());
    EXPECT_TRUE(std::filesystem::is_directory(m_tmp / "apps/quillora/Quillora"));
}

TEST_F(MainDlgTest, ATypedPathEndingInASeparatorKeepsIt) {
    SetPath(W(m_tmp.Path()) + L"/");
    Click(L"btn_installer");
    EXPECT_EQ(m_dlg->GetInstallDir(), W(m_tmp.Path()) + L"//Quillora");
    EXPECT_TRUE(std::filesystem::is_directory(m_tmp / "Quillora"));
}

// The install thread reports 5, 10 and 20 at once and then waits on a runtime download
// that never comes: the display catches up one step per 10 ms.
class MainDlgProgressTest : public MainDlgTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.IsRunning());
        qitest::CCannedResponse stall;
        stall.generatedSize = 1 << 20;
        stall.pieceSize = 1;
        stall.pieceDelayMs = 60000;
        m_server.Set("/net45.exe", stall);
        MainDlgTest::SetUp();
        WriteInstallIni("[Config]\r\nnet40_url=" + m_server.Url("/net45.exe") +
                        "\r\nnet45_url=" + m_server.Url("/net45.exe") +
                        "\r\ninstall_pack_url=http://127.0.0.1:1/pack.exe\r\n");
        SetPath(W(m_tmp.Path()));
        Click(L"btn_installer");
        ASSERT_EQ(Page(), CMainDlg::kPageProgress);
        ASSERT_TRUE(m_server.WaitForRequests(1, 10000));
        // The thread posted 20 before it asked the server; give the queue a moment anyway.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    qitest::CTestHttpServer m_server;  // before the window: outlives its thread
};

TEST_F(MainDlgProgressTest, EventsArrivingTogetherRaiseTheBarOneStepPer10Ms) {
    std::vector<int> seen = Steps(30);
    std::vector<int> expected;
    for (int i = 1; i <= 30; ++i)
        expected.push_back(std::min(i, 20));
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(m_dlg->GetTargetProgress(), 20);
    EXPECT_EQ(Text(L"txt_percent"), L"20%");
}

TEST_F(MainDlgProgressTest, AFailureTextIsOverwrittenOnTheWayAndShowsWhereTheBarStops) {
    Steps(20);
    Post(80, -1, L"下载安装包失败");
    m_host.DispatchPending();
    EXPECT_EQ(Text(L"txt_percent"), L"下载安装包失败");
    Steps(1);
    EXPECT_EQ(Text(L"txt_percent"), L"21%");
    Steps(58);
    EXPECT_EQ(Text(L"txt_percent"), L"79%");
    Steps(1);
    EXPECT_EQ(Bar(), 80);
    EXPECT_EQ(Text(L"txt_percent"), L"下载安装包失败");
    Steps(100);
    EXPECT_EQ(Bar(), 80);
    EXPECT_EQ(Page(), CMainDlg::kPageProgress);
    EXPECT_EQ(Text(L"txt_percent"), L"下载安装包失败");
}

TEST_F(MainDlgProgressTest, AFailedStepFollowedByLaterStepsLeavesNoFailureText) {
    Steps(20);
    Post(40, -1, L"下载 Net Framework 组件失败");
    Post(50, 0, L"正在下载安装包...");
    Steps(40);
    EXPECT_EQ(Bar(), 50);
    EXPECT_EQ(Text(L"txt_percent"), L"50%");
}

// The speed line shows while a download reports speed and time left, and goes with the
// next step; the bar never goes back.
TEST_F(MainDlgProgressTest, ADownloadShowsItsSpeedAndTimeLeftUntilTheNextStep) {
    SWindow* speed = Child(L"txt_speed");
    ASSERT_NE(speed, nullptr);
    EXPECT_FALSE(speed->IsVisible(true));
    PostDownloadEvent(m_dlg->GetInstallMgr(), 60, L"正在下载安装包...", 12.3 * 1024 * 1024, 8);
    Steps(60);
    EXPECT_TRUE(speed->IsVisible(true));
    EXPECT_EQ(Text(L"txt_speed"), L"12.3 MB/s · 剩余 8 秒");
    EXPECT_EQ(Bar(), 60);
    PostDownloadEvent(m_dlg->GetInstallMgr(), 62, L"正在下载安装包...", 850 * 1024, 3725);
    Steps(2);
    EXPECT_EQ(Text(L"txt_speed"), L"850 KB/s · 剩余 1 小时 2 分");
    PostDownloadEvent(m_dlg->GetInstallMgr(), 63, L"正在下载安装包...", 2e6, 125);
    Steps(1);
    EXPECT_EQ(Text(L"txt_speed"), L"1.9 MB/s · 剩余 2 分 5 秒");
    Post(80, 0, L"正在安装...");
    Steps(1);
    EXPECT_FALSE(speed->IsVisible(true));
}

TEST_F(MainDlgProgressTest, SlidesChangeEvery2SecondsFromSlideTwoOn) {
    EXPECT_EQ(m_dlg->GetSlide(), 1);
    m_host.Advance(1990);
    EXPECT_EQ(m_dlg->GetSlide(), 1);
    m_host.Advance(10);
    EXPECT_EQ(m_dlg->GetSlide(), 2);
    EXPECT_EQ(Text(L"txt_gif"), L"7 x 12小时在线客服");
    m_host.Advance(2000);
    EXPECT_EQ(Text(L"txt_gif"), L"专业团队，精心研发");
    m_host.Advance(2000);
    EXPECT_EQ(m_dlg->GetSlide(), 1);
    EXPECT_EQ(Text(L"txt_gif"), L"智能识别文件");
}

TEST_F(MainDlgProgressTest, AtOneHundredBothTimersStopAndTheFinishedPageShows) {
    Post(100, 0, L"安装完成");
    Steps(99);
    EXPECT_EQ(Page(), CMainDlg::kPageProgress);
    Steps(1);
    EXPECT_EQ(Bar(), 100);
    EXPECT_EQ(Text(L"txt_percent"), L"100%");
    EXPECT_EQ(Page(), CMainDlg::kPageFinished);
    const int slide = m_dlg->GetSlide();
    m_host.Advance(10000);
    EXPECT_EQ(m_dlg->GetSlide(), slide);
    // A late failure only changes the hidden label.
    Post(80, -1, L"安装失败");
    m_host.Advance(100);
    EXPECT_EQ(Page(), CMainDlg::kPageFinished);
    EXPECT_EQ(Bar(), 100);
}

TEST_F(MainDlgProgressTest, ClosingDuringTheDownloadStopsTheThreadAndSetsTheStopFlag) {
    ASSERT_TRUE(Click(L"btn_close"));
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_TRUE(g_bStopFlag);
    const auto start = std::chrono::steady_clock::now();
    m_dlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MainDlgTest, TheFinishedPageStartsTheProductQuotedAndCloses) {
    const std::string dir = m_tmp / "with blank";
    std::filesystem::create_directories(dir);
    SetPath(W(dir));
    Click(L"btn_installer");
    ASSERT_TRUE(m_dlg->GetInstallMgr() != nullptr);
    // Let the offline run end before the product is placed: it ends running copies.
    ASSERT_TRUE(qitest::WaitUntil([&] {
        return m_dlg->GetInstallMgr()->IsInstallThreadFinished();
    })) << "the offline run did not end";
    // The product: a stand-in that records its start (and its arguments: none).
    const std::string marker = m_tmp / "started";
    ASSERT_TRUE(qitest::WriteRecordingScript(dir + "/Quillora/Quillora.exe", marker, 0));
    Post(100, 0, L"安装完成");
    Steps(101);
    ASSERT_EQ(Page(), CMainDlg::kPageFinished);

    ASSERT_TRUE(Click(L"btn_start"));
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_TRUE(g_bStopFlag);
    // A new process under Wine can take seconds to start while other tests run beside it.
    EXPECT_TRUE(qitest::WaitUntil([&] { return qitest::FileExists(marker); }, 30000))
        << "the product never started";
    EXPECT_EQ(qitest::TempDir::Read(marker), "");
}

// A run that fails says why under its failure text, with a link that opens the support log
// and one that runs the installation again; the retry here succeeds, the package having
// meanwhile come beside the installer.
TEST_F(MainDlgTest, AFailedRunShowsItsReasonOpensTheLogAndRetries) {
    const std::string log = m_tmp / "install.log";
    ASSERT_TRUE(sys::OpenSupportLog(W(log)));
    SetPath(W(m_tmp.Path()));
    Click(L"btn_installer");
    CInstallMgr* mgr = m_dlg->GetInstallMgr();
    ASSERT_TRUE(qitest::WaitUntil([&] { return mgr->IsInstallThreadFinished(); }));
    Steps(100);
    EXPECT_EQ(mgr->GetResult(), InstallFailure::BadAddress);  // the offline ftp:// address
    EXPECT_EQ(Text(L"txt_percent"), L"下载安装包失败");
    EXPECT_TRUE(Child(L"txt_reason")->IsVisible(true));
    EXPECT_EQ(Text(L"txt_reason"), L"下载地址无效");
    EXPECT_TRUE(Child(L"link_retry")->IsVisible(true));
    EXPECT_TRUE(Child(L"link_log")->IsVisible(true));

#ifndef _WIN32
    // The desktop's opener gets the log's path.
    const std::string opened = m_tmp / "opened";
    m_tmp.WriteScript("bin/xdg-open", "echo \"$1\" > '" + opened + "'\n");
    const std::string path = (m_tmp / "bin") + ":" + std::getenv("PATH");
    qitest::ScopedEnv onPath("PATH", path.c_str());
    ASSERT_TRUE(Click(L"link_log"));
    EXPECT_TRUE(qitest::WaitUntil([&] { return !qitest::TempDir::Read(opened).empty(); }));
    EXPECT_EQ(qitest::TempDir::Read(opened), log + "\n");
#endif

    ASSERT_TRUE(workFolder.PlaceRecordingProgram(m_tmp / "installer/QuilloraSetup.exe",
                                                 m_tmp / "args", 0, "ok"));
    ASSERT_TRUE(Click(L"link_retry"));
    EXPECT_FALSE(Child(L"txt_reason")->IsVisible(true));
    EXPECT_FALSE(Child(L"link_retry")->IsVisible(true));
    EXPECT_EQ(Bar(), 0);
    ASSERT_TRUE(qitest::WaitUntil([&] { return mgr->IsInstallThreadFinished(); }));
    Steps(101);
    EXPECT_EQ(mgr->GetResult(), InstallFailure::None);
    EXPECT_EQ(Page(), CMainDlg::kPageFinished);
    EXPECT_EQ(qitest::ReadLines(m_tmp / "args").size(), 3u);
    sys::CloseSupportLog();
}

TEST_F(MainDlgTest, MinimiseAndCloseButtons) {
    ASSERT_TRUE(Click(L"btn_min"));
    EXPECT_TRUE(m_dlg->IsIconic());
    ASSERT_TRUE(Click(L"btn_close"));
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_TRUE(g_bStopFlag);
}

}  // namespace
