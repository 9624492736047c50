// The GTK host on a HiDPI screen: GDK_SCALE=2 under Xvfb (a real X server started with
// -displayfd). GDK reads the scale when it opens the display, so this is a program of its
// own. Skips only when Xvfb cannot start.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "uilib/SCheckBox.h"
#include "uilib/SHostWnd.h"
#include "uilib/gtk/SGtkHost.h"
#include "uilib/testing/SSharpness.h"
#include "uilib/testing/SUiTestEnv.h"
#include "uilib/testing/SXvfb.h"

using namespace SOUI;
using namespace uitest;

namespace {

// Before the Xvfb environment opens the display.
const bool g_scaleSet = setenv("GDK_SCALE", "2", 1) == 0;

const char* kLayout =
    R"XML(<SOUI name="probe" title="QiGtkScaleProbe" width="640" height="445">
  <root colorBkgnd="#ffffffff">
    <text name="title" pos="20,20,@300,@30" colorText="#383838ff" font="face:微软雅黑,size:20">安装程序的中文文本</text>
    <check name="agree" pos="16,104,@115,@24" skin="skin.check" font="face:微软雅黑,size:14">已阅读和同意</check>
  </root></SOUI>)XML";

class SGtkScaleTest : public SGtkProbeTest {
protected:
    const char* ProbeLayout() const override { return kLayout; }
};

}  // namespace

TEST_F(SGtkScaleTest, WindowHasTwiceTheDevicePixelsAndDrawsAtThatResolution) {
    ASSERT_TRUE(g_scaleSet);
    SHostWnd wnd(L"LAYOUT:probe");
    const uint64_t framesBefore = SGtkHost::FramesDrawn();
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetWindowPos(nullptr, 0, 30, 0, 0, SWP_NOSIZE);  // the screen is 1280 wide
    wnd.ShowWindow(SW_SHOWNORMAL);
    std::string id;
    ASSERT_TRUE(PumpUntil([&] {
        id = RunCmd("xdotool search --onlyvisible --name QiGtkScaleProbe");
        return !id.empty();
    }));
    id = id.substr(0, id.find('\n'));
    std::string info = RunCmd("xwininfo -id " + id);
    EXPECT_EQ(XwinValue(info, "Width: "), 1280) << info;
    EXPECT_EQ(XwinValue(info, "Height: "), 890) << info;
    EXPECT_EQ(XwinValue(info, "Absolute upper-left Y: "), 60) << info;

    // Layout in logical pixels, as at scale 1.
    SWindow* title = wnd.FindChildByName(L"title");
    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(agree, nullptr);
    EXPECT_EQ(title->GetWindowRect(), CRect(20, 20, 320, 50));
    EXPECT_EQ(agree->GetWindowRect(), CRect(16, 104, 131, 128));

    // A click at device pixels lands on the control under them in logical pixels.
    ASSERT_TRUE(WaitForFrame(framesBefore)) << "the window never drew";
    EXPECT_FALSE(agree->IsChecked());
    RunCmd("xdotool mousemove --window " + id + " 60 232 click 1");
    EXPECT_TRUE(PumpUntil([&] { return agree->IsChecked(); }));
    const uint64_t beforeLeave = SGtkHost::FramesDrawn();
    RunCmd("xdotool mousemove --window " + id + " 1200 800");
    EXPECT_TRUE(WaitForFrame(beforeLeave)) << "leaving the box drew nothing";

    std::string shot = ::testing::TempDir() + "gtk_scale2.png";
    RunCmd("import -window " + id + " " + shot);
    cairo_surface_t* png = cairo_image_surface_create_from_png(shot.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS) << shot;
    EXPECT_EQ(cairo_image_surface_get_width(png), 1280);
    EXPECT_EQ(cairo_image_surface_get_height(png), 890);
    cairo_surface_flush(png);
    const unsigned char* shotBits = cairo_image_surface_get_data(png);
    int shotStride = cairo_image_surface_get_stride(png);

    // The same title drawn at scale 1 and enlarged smoothly, as a host without HiDPI
    // drawing would show it, has softer edges than what the window shows.
    IRenderTarget* single = nullptr;
    ASSERT_TRUE(
        SApplication::getSingleton().GetRenderFactory()->CreateRenderTarget(&single, 640, 445));
    wnd.PaintTree(single, CRect(0, 0, 640, 445));
    double soft = EnlargedSharpness(single, 40, 40, 600, 60);
    double crisp = Sharpness(shotBits, shotStride, 40, 40, 600, 60);
    EXPECT_GT(soft, 0.0);
    EXPECT_GT(crisp, 1.5 * soft) << "window " << crisp << ", enlarged " << soft;
    single->Release();
    cairo_surface_destroy(png);

    wnd.DestroyWindow();
    EXPECT_TRUE(PumpUntil(
        [&] { return RunCmd("xdotool search --onlyvisible --name QiGtkScaleProbe").empty(); }));
}
