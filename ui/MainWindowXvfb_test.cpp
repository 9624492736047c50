// The main window's layout from the embedded resources in a real GTK window on a real X
// server: its size, a click on the agreement box, and a screenshot of the welcome page; and
// the program's window closing while GTK's folder chooser runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "net/StopFlag.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "ui/CMainDlg.h"
#include "ui/testing/ProgramUi.h"
#include "uilib/SCheckBox.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SHostWnd.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/testing/SXvfb.h"

using namespace SOUI;
using namespace uitest;

namespace {

class MainWindowXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_xvfbUp)
            GTEST_SKIP() << "Xvfb could not start";
        ASSERT_TRUE(g_gtkUp) << "GTK did not open the Xvfb display";
        m_ui = std::make_unique<ProgramUi>(&m_host);
        ASSERT_TRUE(m_ui->Ok());
    }

    SGtkHost m_host;
    std::unique_ptr<ProgramUi> m_ui;  // after the host: goes first
};

// GTK's folder chooser while it shows; null otherwise.
GtkWidget* ShownChooser() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* shown = nullptr;
    for (GList* w = windows; w != nullptr; w = w->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
            shown = GTK_WIDGET(w->data);
    g_list_free(windows);
    return shown;
}

}  // namespace

// A close request (the close button, or SIGTERM through the same message) that comes while
// the folder chooser runs its own loop ends the chooser, then the window and the program's
// loop: nothing is left running.
TEST_F(MainWindowXvfbTest, ClosingWhileTheFolderChooserIsOpenEndsTheProgram) {
    qitest::TempDir tmp;
    qitest::TempRegistry registry;
    const auto module = qitest::OverrideModuleFileName(
        platform::PathFromNarrow(tmp / "installer/quillora-installer"));
    tmp.Write("installer/Install.ini", qitest::OfflineInstallIni());
    g_bStopFlag = false;
    SNotifyCenter center;
    CMainDlg dlg;
    ASSERT_NE(dlg.Create(), nullptr);
    dlg.SendMessageW(WM_INITDIALOG);
    dlg.ShowWindow(SW_SHOWNORMAL);

    bool chooserSeen = false;
    uint64_t open = 0, close = 0;
    open = m_host.AddTimer(50, [&] {
        m_host.RemoveTimer(open);
        SHeadlessHost::ClickByName(&dlg, L"btn_extend");
        SHeadlessHost::ClickByName(&dlg, L"btn_open");  // returns once the chooser is gone
    });
    close = m_host.AddTimer(50, [&] {
        if (ShownChooser() == nullptr)
            return;
        chooserSeen = true;
        m_host.RemoveTimer(close);
        dlg.SendMessageW(WM_CLOSE);
    });
    bool timedOut = false;
    const uint64_t guard = m_host.AddTimer(20000, [&] {
        timedOut = true;
        if (GtkWidget* chooser = ShownChooser())  // the test's own way out of a stuck chooser
            gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        m_host.QuitLoop(-1);
    });
    m_ui->App().Run(dlg.m_hWnd);
    m_host.RemoveTimer(guard);
    EXPECT_TRUE(chooserSeen) << "the chooser never showed";
    EXPECT_FALSE(timedOut) << "the loop outlived the window";
    EXPECT_FALSE(dlg.IsWindow());
    EXPECT_EQ(ShownChooser(), nullptr);
    EXPECT_TRUE(g_bStopFlag.load());
}

TEST_F(MainWindowXvfbTest, WelcomePageInARealWindow) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    const uint64_t framesBefore = SGtkHost::FramesDrawn();
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetWindowTextW(L"QiMainWindowUnderTest");
    wnd.SetWindowPos(nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    wnd.ShowWindow(SW_SHOWNORMAL);
    std::string id;
    ASSERT_TRUE(PumpUntil([&] {
        id = RunCmd("xdotool search --onlyvisible --name QiMainWindowUnderTest");
        return !id.empty();
    }));
    id = id.substr(0, id.find('\n'));
    std::string info = RunCmd("xwininfo -id " + id);
    EXPECT_EQ(XwinValue(info, "Width: "), 640) << info;
    EXPECT_EQ(XwinValue(info, "Height: "), 445) << info;

    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    ASSERT_NE(agree, nullptr);
    const bool before = agree->IsChecked();
    ASSERT_TRUE(WaitForFrame(framesBefore)) << "the window never drew";
    CRect rc = agree->GetWindowRect();
    const uint64_t beforeClick = SGtkHost::FramesDrawn();
    RunCmd("xdotool mousemove --window " + id + " " + std::to_string(rc.left + 8) + " " +
           std::to_string(rc.CenterPoint().y) + " click 1");
    EXPECT_TRUE(PumpUntil([&] { return agree->IsChecked() != before; }))
        << "the click did not toggle agree";
    EXPECT_TRUE(WaitForFrame(beforeClick)) << "the toggled box was never drawn";
    const std::string dir = QI_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    const std::string shot = dir + "/xvfb_main_welcome.png";
    std::filesystem::remove(shot);
    RunCmd("import -window " + id + " " + shot);
    ASSERT_TRUE(std::filesystem::exists(shot));
    EXPECT_GT(std::filesystem::file_size(shot), 5000u) << "the window looks empty";
    wnd.DestroyWindow();
}
