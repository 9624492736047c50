// The main window's layout from the embedded resources in a real GTK window on a real X
// server: its size, a click on the agreement box, and a screenshot of the welcome page.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ui/testing/ProgramUi.h"
#include "uilib/SCheckBox.h"
#include "uilib/SHostWnd.h"
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

}  // namespace

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
