// The two layouts from the embedded resources, solved by the library on the headless host:
// the rectangles of the named controls against the position rules worked out by hand.
//
// The host's margin of 5 is the window's resize border, where its shadow shows; it does not
// move the layout, whose root covers the whole window. (With the root inset by the margin,
// the directory row would be cut off by the welcome page's band at 445 pixels.)

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/testing/ProgramUi.h"
#include "uilib/SApplication.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SHostWnd.h"
#include "uilib/STabCtrl.h"
#include "uilib/testing/SRecordingTarget.h"

using namespace SOUI;

namespace {

class LayoutsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_ui.Ok()); }

    static CRect RectOf(SHostWnd& wnd, const wchar_t* name) {
        SWindow* w = wnd.FindChildByName(name);
        EXPECT_NE(w, nullptr) << "no control named " << std::string(name, name + std::wcslen(name));
        return w != nullptr ? w->GetWindowRect() : CRect(-1, -1, -1, -1);
    }

    uitest::ProgramUi m_ui;  // the real renderer and decoder: skins load the real images
};

}  // namespace

TEST_F(LayoutsTest, MainWindowControlsAtTheLayoutSize) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.UpdateLayoutIfNeeded();
    EXPECT_EQ(wnd.GetWindowRect(), CRect(0, 0, 640, 445));

    // Frame "3,3,-3,-5" in (0,0,640,445) gives (3,3,637,440); the inner window, the caption,
    // the tab control and its pages fill it. Centre x = 320.
    EXPECT_EQ(RectOf(wnd, L"tab_main"), CRect(3, 3, 637, 440));
    // Welcome page: upper band (3,3,637,257), lower band "0,[0,-0,-0" (3,257,637,440).
    EXPECT_EQ(RectOf(wnd, L"btn_installer"), CRect(200, 289, 440, 329));  // "|-120,32,@240,@40"
    EXPECT_EQ(RectOf(wnd, L"win_border"), CRect(3, 401, 637, 441));       // "0,144,-0,@40"
    EXPECT_EQ(RectOf(wnd, L"edit_path"), CRect(4, 402, 520, 440));        // "1,1,@516,@38"
    EXPECT_EQ(RectOf(wnd, L"btn_open"), CRect(521, 403, 636, 439));       // "[1,{1,-1,-2"
    EXPECT_EQ(RectOf(wnd, L"agree"), CRect(19, 361, 134, 385));           // "16,104,@115,@24"
    EXPECT_EQ(RectOf(wnd, L"link_license"), CRect(134, 361, 228, 385));   // "[0,{0,@94,@24"
    EXPECT_EQ(RectOf(wnd, L"btn_extend"), CRect(515, 360, 625, 380));     // "512,103,@110,@20"
    // Title-bar buttons in the inner window (3,3,637,440).
    EXPECT_EQ(RectOf(wnd, L"btn_min"), CRect(567, 13, 597, 43));    // "-70,10,@30,@30"
    EXPECT_EQ(RectOf(wnd, L"btn_close"), CRect(597, 13, 627, 43));  // "-40,10,@30,@30"

    // The progress page, laid out once it is shown.
    auto* tab = wnd.FindChildByName2<STabCtrl>(L"tab_main");
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(tab->SetCurSel(2));
    wnd.UpdateLayoutIfNeeded();
    EXPECT_EQ(RectOf(wnd, L"img_gif"), CRect(212, 76, 435, 241));       // "209,73,@223,@165"
    EXPECT_EQ(RectOf(wnd, L"txt_gif"), CRect(155, 261, 485, 291));      // "|-165,[20,@330,@30"
    EXPECT_EQ(RectOf(wnd, L"txt_percent"), CRect(220, 360, 420, 380));  // "|-100,357,@200,@20"
    EXPECT_EQ(RectOf(wnd, L"pro_install"), CRect(4, 432, 636, 438));    // "1,-8,-1,@6"

    // The licence page: the rich edit starts 10 below the title text (40 + 20).
    ASSERT_TRUE(tab->SetCurSel(1));
    wnd.UpdateLayoutIfNeeded();
    EXPECT_EQ(RectOf(wnd, L"richedit_rtf"), CRect(23, 73, 617, 420));  // "20,[10,-20,-20"
    EXPECT_EQ(RectOf(wnd, L"btn_back"), CRect(23, 33, 73, 63));        // "20,30,@50,@30"
    wnd.DestroyWindow();
}

TEST_F(LayoutsTest, AtFourHundredPixelsTheDirectoryRowLiesBelowTheLowerBand) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    ASSERT_TRUE(wnd.SetWindowPos(nullptr, 0, 0, 640, 400, SWP_NOMOVE | SWP_NOZORDER));
    wnd.UpdateLayoutIfNeeded();
    // Lower band: (3,257,637,395); the row starts at 257 + 144 = 401.
    SWindow* row = wnd.FindChildByName(L"win_border");
    ASSERT_NE(row, nullptr);
    CRect band = row->GetParent()->GetWindowRect();
    EXPECT_EQ(band, CRect(3, 257, 637, 395));
    EXPECT_GE(row->GetWindowRect().top, band.bottom);
    EXPECT_TRUE((row->GetWindowRect() & band).IsRectEmpty());
    // What stays above it is unchanged.
    EXPECT_EQ(RectOf(wnd, L"btn_installer"), CRect(200, 289, 440, 329));
    EXPECT_EQ(RectOf(wnd, L"btn_extend"), CRect(515, 360, 625, 380));

    // Back at 445 the editor and the folder button lie wholly inside the band again.
    ASSERT_TRUE(wnd.SetWindowPos(nullptr, 0, 0, 640, 445, SWP_NOMOVE | SWP_NOZORDER));
    wnd.UpdateLayoutIfNeeded();
    band = row->GetParent()->GetWindowRect();
    EXPECT_EQ(band, CRect(3, 257, 637, 440));
    for (const wchar_t* name : {L"edit_path", L"btn_open"}) {
        CRect rc = RectOf(wnd, name);
        EXPECT_EQ(rc & band, rc);
    }
    wnd.DestroyWindow();
}

TEST_F(LayoutsTest, MessageBoxControlsAtTheLayoutSize) {
    SHostWnd wnd(L"LAYOUT:XML_MSGBOX_DLG");
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.UpdateLayoutIfNeeded();
    EXPECT_EQ(wnd.GetWindowRect(), CRect(0, 0, 410, 250));
    // Frame "5,5,-5,-5" in (0,0,410,250): (5,5,405,245). Caption "0,0,-0,46" (5,5,405,51),
    // line (13,51,397,53), body "0,[0,-0,-80" (5,53,405,165), button row (5,165,405,245).
    EXPECT_EQ(RectOf(wnd, L"txt_title"), CRect(25, 5, 225, 51));
    EXPECT_EQ(RectOf(wnd, L"btn_close"), CRect(367, 13, 397, 43));
    EXPECT_EQ(RectOf(wnd, L"line"), CRect(13, 51, 397, 53));
    EXPECT_EQ(RectOf(wnd, L"body"), CRect(5, 53, 405, 165));
    EXPECT_EQ(RectOf(wnd, L"btn_confirm"), CRect(279, 165, 375, 197));
    EXPECT_EQ(RectOf(wnd, L"btn_buy_vip"), CRect(279, 165, 375, 197));
    EXPECT_EQ(RectOf(wnd, L"btn_cancel"), CRect(40, 165, 136, 197));
    EXPECT_EQ(RectOf(wnd, L"btn_continue"), CRect(40, 165, 136, 197));
    // "28,32,@-1,@-1": at (33,85), sized to the text "文本" in its font.
    SWindow* msg = wnd.FindChildByName(L"text_msg");
    ASSERT_NE(msg, nullptr);
    CRect one = msg->GetWindowRect();
    EXPECT_EQ(one.TopLeft(), CPoint(33, 85));
    EXPECT_EQ(one.Size(), msg->GetDesiredSize(nullptr));
    EXPECT_GT(one.Width(), 16);
    EXPECT_GT(one.Height(), 10);

    // A long message wraps inside the 340 pixels that maxWidth allows.
    msg->SetWindowTextW(SStringW(60, L'字'));
    wnd.UpdateLayoutIfNeeded();
    CRect rc = msg->GetWindowRect();
    EXPECT_EQ(rc.left, 33);
    EXPECT_LE(rc.Width(), 340);
    EXPECT_GT(rc.Width(), 300) << "lines fill the width";
    EXPECT_GE(rc.Height(), 2 * one.Height()) << "more than one line";
    wnd.DestroyWindow();
}

// The four pages of the main window and the message box as the headless host draws them,
// kept in the build folder (screenshots/) for a person to look at.
// Skin images are decoded when a page first draws them, not when the skins load.
TEST_F(LayoutsTest, ScreenshotsOfEveryPageAndTheMessageBox) {
    const std::string dir = QI_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    EXPECT_EQ(m_ui.App().DecodedImageCount(), 0u);
    std::vector<size_t> decoded;
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    auto* tab = wnd.FindChildByName2<STabCtrl>(L"tab_main");
    ASSERT_NE(tab, nullptr);
    const char* pages[] = {"main_welcome.png", "main_licence.png", "main_progress.png",
                           "main_finished.png"};
    for (int page = 0; page < 4; ++page) {
        ASSERT_TRUE(tab->SetCurSel(page));
        wnd.UpdateLayoutIfNeeded();
        std::string path = dir + "/" + pages[page];
        std::filesystem::remove(path);
        ASSERT_TRUE(SHeadlessHost::RenderToPng(&wnd, path.c_str())) << path;
        EXPECT_GT(std::filesystem::file_size(path), 2000u) << path << " looks empty";
        decoded.push_back(m_ui.App().DecodedImageCount());
    }
    EXPECT_LT(decoded[0], decoded[2]) << "the progress page's images wait for that page";
    wnd.DestroyWindow();

    SHostWnd box(L"LAYOUT:XML_MSGBOX_DLG");
    ASSERT_NE(box.Create(), nullptr);
    SWindow* msg = box.FindChildByName(L"text_msg");
    ASSERT_NE(msg, nullptr);
    msg->SetWindowTextW(L"  安装目录无效");
    box.UpdateLayoutIfNeeded();
    std::string path = dir + "/message_box.png";
    ASSERT_TRUE(SHeadlessHost::RenderToPng(&box, path.c_str()));
    EXPECT_GT(std::filesystem::file_size(path), 2000u);
    box.DestroyWindow();
}
