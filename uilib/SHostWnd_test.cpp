#include "uilib/SHostWnd.h"

#include <gtest/gtest.h>

#include <functional>

#include <pugixml.hpp>

#include "platform/DebugOutput.h"
#include "uilib/SButton.h"
#include "uilib/SCheckBox.h"
#include "uilib/SHostDialog.h"
#include "uilib/SStatic.h"
#include "uilib/STabCtrl.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

const char* kUiDef = R"XML(<UIDEF><font face="宋体" size="15"/><skin src="values:skin"/>
  <color><red value="rgb(255,0,0)"/></color>
  <style><class name="blue" colorText="#0000ff"/></style></UIDEF>)XML";

const char* kSkins = R"XML(<skin>
  <imglist name="skin.check" src="PNG:check" states="8"/>
  <imgframe name="skin.btn" src="PNG:btn" states="4" left="2" top="2" margin-x="2" margin-y="2"/>
  <imglist name="skin.bad" src="PNG:missing" states="2"/>
</skin>)XML";

const char* kLayout =
    R"XML(<SOUI name="t" title="Test" width="400" height="300" margin="5,5,5,5" trCtx="ctx" wndType="appMain">
  <root colorBkgnd="#ffffffff">
    <window name="a" pos="10,20,-30,-40">
      <window name="a1" pos="5,5,-5,-5"/>
    </window>
    <window name="b" pos="|-50,|-10,@100,@20"/>
    <window name="c" pos="[5,{0,@30,@10"/>
    <window name="d" pos="{-5,[2,-0,-0" msgTransparent="1"/>
    <text name="label" pos="0,0,@-1,@-1" class="blue">Hi</text>
    <text name="wrap" pos="0,0,@-1,@-1" multiLines="1" maxWidth="60">one two three four five six</text>
    <check name="agree" pos="16,104,@115,@24" skin="skin.check">同意</check>
    <imgbtn name="ok" pos="200,200,@60,@30" skin="skin.btn">OK</imgbtn>
    <link name="lnk" pos="300,200,@50,@20">link</link>
    <tabctrl name="tabs" pos="0,250,@100,@50" curSel="1" tabHeight="0" colorBkgnd="#0000000">
      <page title="p0"><window name="in0" pos="0,0,-0,-0"/></page>
      <page title="p1"><imgbtn name="in1" pos="0,0,@10,@10"/></page>
    </tabctrl>
    <caption name="cap" pos="0,0,-0,@10"/>
    <window name="bad" msgTransparent="1" pos="oops" colorBkgnd="nope" unknownAttr="1"/>
  </root>
</SOUI>)XML";

const char* kDialog = R"XML(<SOUI name="dlg" title="消息" width="200" height="100">
  <root><imgbtn name="yes" id="7" pos="10,10,@50,@30"/><imgbtn name="no" pos="100,10,@50,@30"/></root>
</SOUI>)XML";

class CTestWnd : public SHostWnd {
public:
    CTestWnd() : SHostWnd(L"LAYOUT:test") {}
    std::vector<std::wstring> commands;
    std::vector<UINT> timers;
    int inits = 0;
    bool _HandleEvent(EventArgs* evt) override {
        if (evt->GetID() == EVT_CMD) {
            commands.push_back(evt->nameFrom);
            return true;
        }
        return SHostWnd::_HandleEvent(evt);
    }
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT&) override {
        if (msg == WM_INITDIALOG)
            ++inits;
        if (msg == WM_TIMER && wParam != 999) {
            timers.push_back(static_cast<UINT>(wParam));
            return TRUE;
        }
        return FALSE;
    }
};

class CTestDlg : public SHostDialog {
public:
    CTestDlg() : SHostDialog(L"LAYOUT:dlg") {}
    bool _HandleEvent(EventArgs* evt) override {
        if (evt->GetID() == EVT_CMD && evt->idFrom == 7) {
            EndDialog(42);
            return true;
        }
        return SHostDialog::_HandleEvent(evt);
    }
};

class SHostWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("UIDEF", "XML_INIT", kUiDef);
        env.Add("VALUES", "SKIN", kSkins);
        env.Add("PNG", "check",
                MakePng(24, 24,
                        {0xff0000ff, 0x00ff00ff, 0x0000ffff, 0x808080ff, 0xffff00ff, 0x00ffffff,
                         0xff00ffff, 0x404040ff}));
        env.Add("PNG", "btn", MakePng(20, 10, {0x102030ff, 0x405060ff, 0x708090ff, 0xa0b0c0ff}));
        env.Add("LAYOUT", "test", kLayout);
        env.Add("LAYOUT", "dlg", kDialog);
        ASSERT_TRUE(env.Commit(L"UIDEF:XML_INIT"));
    }
    CRect RectOf(SHostWnd& w, const wchar_t* name) {
        SWindow* c = w.FindChildByName(name);
        EXPECT_NE(c, nullptr) << name;
        return c ? c->GetWindowRect() : CRect();
    }
    SUiTestEnv env;
};

}  // namespace

TEST_F(SHostWndTest, LayoutRulesSolvedInTheWindow) {
    platform::ScopedDebugCapture log;
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    EXPECT_EQ(wnd.GetScreenRect().Size(), CSize(400, 300));
    EXPECT_EQ(RectOf(wnd, L"a"), CRect(10, 20, 370, 260));
    EXPECT_EQ(RectOf(wnd, L"a1"), CRect(15, 25, 365, 255));
    EXPECT_EQ(RectOf(wnd, L"b"), CRect(150, 140, 250, 160));
    EXPECT_EQ(RectOf(wnd, L"c"), CRect(255, 140, 285, 150));
    EXPECT_EQ(RectOf(wnd, L"d"), CRect(250, 152, 400, 300));
    CRect label = RectOf(wnd, L"label");
    EXPECT_GT(label.Width(), 5);
    EXPECT_GT(label.Height(), 5);
    CRect wrap = RectOf(wnd, L"wrap");
    EXPECT_LE(wrap.Width(), 60);
    EXPECT_GT(wrap.Height(), 2 * label.Height());  // wrapped over several lines
    // The host margin does not move the content; the bad attributes were logged and skipped.
    EXPECT_EQ(wnd.GetHostMargin(), CRect(5, 5, 5, 5));
    EXPECT_EQ(RectOf(wnd, L"bad"), CRect(0, 0, 400, 300));
    std::string text = log.Text();
    EXPECT_NE(text.find("pos=\"oops\""), std::string::npos);
    EXPECT_NE(text.find("colorBkgnd=\"nope\""), std::string::npos);
    EXPECT_NE(text.find("#0000000"), std::string::npos);
    EXPECT_NE(text.find("unknownAttr"), std::string::npos);
    // Style class and colour applied.
    EXPECT_EQ(wnd.FindChildByName(L"label")->GetStyle().crText[0], RGBA(0, 0, 255, 255));
    // Resizing re-solves the rules.
    wnd.SetWindowPos(nullptr, 0, 0, 500, 400, SWP_NOMOVE);
    EXPECT_EQ(RectOf(wnd, L"a"), CRect(10, 20, 470, 360));
    EXPECT_EQ(wnd.GetScreenRect().Size(), CSize(500, 400));
}

TEST_F(SHostWndTest, ClassChecksAndTabPages) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    EXPECT_NE(wnd.FindChildByName2<SCheckBox>(L"agree"), nullptr);
    EXPECT_EQ(wnd.FindChildByName2<SImageButton>(L"agree"), nullptr);
    EXPECT_NE(wnd.FindChildByName2<SButton>(L"ok"), nullptr);  // derived class passes
    EXPECT_EQ(wnd.FindChildByName(L"nothing"), nullptr);
    auto* tabs = wnd.FindChildByName2<STabCtrl>(L"tabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_FALSE(wnd.FindChildByName(L"in0")->IsVisible(true));
    EXPECT_TRUE(wnd.FindChildByName(L"in1")->IsVisible(true));
    EXPECT_EQ(RectOf(wnd, L"in0"), CRect(0, 250, 100, 300));
    wnd.FindChildByName(L"in1")->SetFocus();
    EXPECT_EQ(wnd.GetFocus(), wnd.FindChildByName(L"in1"));
    EXPECT_TRUE(tabs->SetCurSel(0));
    EXPECT_EQ(wnd.GetFocus(), nullptr);  // the focus left with its hidden page
    EXPECT_TRUE(wnd.FindChildByName(L"in0")->IsVisible(true));
    EXPECT_FALSE(SHeadlessHost::ClickByName(&wnd, L"in1"));  // hidden page
    EXPECT_FALSE(tabs->SetCurSel(5));
    EXPECT_EQ(tabs->GetCurSel(), 0);
}

TEST_F(SHostWndTest, ClicksRaiseCommandsAndToggleTheCheckBox) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    EXPECT_FALSE(agree->IsChecked());
    ASSERT_TRUE(SHeadlessHost::ClickByName(&wnd, L"agree"));
    EXPECT_TRUE(agree->IsChecked());
    ASSERT_TRUE(SHeadlessHost::ClickByName(&wnd, L"ok"));
    ASSERT_TRUE(SHeadlessHost::ClickByName(&wnd, L"lnk"));
    SHeadlessHost::ClickByName(&wnd, L"b");  // a plain window raises nothing
    EXPECT_EQ(wnd.commands, (std::vector<std::wstring>{L"agree", L"ok", L"lnk"}));
    // Disabled: no command; a press dragged off the button is no click either.
    wnd.FindChildByName(L"ok")->EnableWindow(false, true);
    SHeadlessHost::ClickByName(&wnd, L"ok");
    wnd.FindChildByName(L"ok")->EnableWindow(true, true);
    SHeadlessHost::Drag(&wnd, CPoint(210, 210), CPoint(5, 5));
    EXPECT_EQ(wnd.commands.size(), 3u);
    // Mouse over a message-transparent window reaches what lies below.
    EXPECT_EQ(wnd.HitTest(CPoint(390, 290)), &wnd);
}

TEST_F(SHostWndTest, KeyboardFocusTabEnterSpace) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    SHeadlessHost::KeyPress(&wnd, VK_TAB);
    EXPECT_EQ(wnd.GetFocus(), wnd.FindChildByName(L"agree"));
    SHeadlessHost::KeyPress(&wnd, VK_SPACE);
    EXPECT_TRUE(wnd.FindChildByName(L"agree")->IsChecked());
    SHeadlessHost::KeyPress(&wnd, VK_TAB);
    EXPECT_EQ(wnd.GetFocus(), wnd.FindChildByName(L"ok"));
    SHeadlessHost::KeyPress(&wnd, VK_RETURN);
    SHeadlessHost::KeyPress(&wnd, VK_TAB);
    EXPECT_EQ(wnd.GetFocus(), wnd.FindChildByName(L"lnk"));
    SHeadlessHost::KeyPress(&wnd, VK_TAB, MK_SHIFT);
    EXPECT_EQ(wnd.GetFocus(), wnd.FindChildByName(L"ok"));
    EXPECT_EQ(wnd.commands, (std::vector<std::wstring>{L"agree", L"ok"}));
}

TEST_F(SHostWndTest, TimersFireWithTheirIdsOnTheVirtualClock) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetTimer(101, 10);
    wnd.SetTimer(102, 2000);
    env.host.Advance(35);
    EXPECT_EQ(wnd.timers, (std::vector<UINT>{101, 101, 101}));
    env.host.Advance(1970);
    EXPECT_EQ(std::count(wnd.timers.begin(), wnd.timers.end(), 102u), 1);
    EXPECT_EQ(std::count(wnd.timers.begin(), wnd.timers.end(), 101u), 200);
    wnd.KillTimer(101);
    wnd.timers.clear();
    env.host.Advance(2000);
    EXPECT_EQ(wnd.timers, (std::vector<UINT>{102}));
    EXPECT_FALSE(wnd.KillTimer(55));
    wnd.DestroyWindow();
    wnd.timers.clear();
    env.host.Advance(5000);
    EXPECT_TRUE(wnd.timers.empty());
}

TEST_F(SHostWndTest, MessagesAndGeometry) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SendMessageW(WM_INITDIALOG);
    EXPECT_EQ(wnd.inits, 1);
    env.host.SetScreenSize(CSize(1000, 800));
    wnd.CenterWindow();
    EXPECT_EQ(wnd.GetScreenRect(), CRect(300, 250, 700, 550));
    wnd.ShowWindow(SW_SHOWNORMAL);
    EXPECT_TRUE(wnd.IsWindowVisible());
    wnd.SendMessageW(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(wnd.IsIconic());
    wnd.SetWindowPos(nullptr, 0, 0, 640, 400, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(wnd.GetScreenRect(), CRect(300, 250, 940, 650));
    // Dragging the caption moves the window.
    SHeadlessHost::Drag(&wnd, CPoint(100, 5), CPoint(130, 25));
    EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(330, 270));
    HWND h = wnd.m_hWnd;
    EXPECT_EQ(SHostWnd::FromHandle(h), &wnd);
    wnd.SendMessageW(WM_CLOSE);
    EXPECT_FALSE(wnd.IsWindow());
    EXPECT_EQ(SHostWnd::FromHandle(h), nullptr);
}

TEST_F(SHostWndTest, ModalDialogReturnsTheEndDialogCode) {
    CTestWnd owner;
    ASSERT_NE(owner.Create(), nullptr);
    {
        CTestDlg dlg;
        env.host.PostTask([&] {
            EXPECT_TRUE(owner.FindChildByName(L"ok")->IsDisabled(true));  // owner blocked
            SHeadlessHost::ClickByName(&dlg, L"no");  // not handled: the dialog stays
            SHeadlessHost::ClickByName(&dlg, L"yes");
        });
        EXPECT_EQ(dlg.DoModal(owner.m_hWnd), 42);
        EXPECT_FALSE(dlg.IsWindow());
    }
    EXPECT_FALSE(owner.FindChildByName(L"ok")->IsDisabled(true));
    CTestDlg closed;
    env.host.PostTask([&] { closed.SendMessageW(WM_CLOSE); });
    EXPECT_EQ(closed.DoModal(owner.m_hWnd), IDCANCEL);
}

TEST_F(SHostWndTest, RunEndsWhenTheMainWindowIsDestroyed) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetTimer(1, 10);
    env.host.PostTask([&] { wnd.FindChildByName(L"ok")->FireCommand(); });
    wnd.SubscribeEvent(EVT_CMD, [](EventArgs*) { return false; });
    env.host.PostTask([&] { wnd.DestroyWindow(); });
    EXPECT_EQ(env.app->Run(wnd.m_hWnd), 0);
    EXPECT_EQ(wnd.commands.size(), 1u);
}

TEST_F(SHostWndTest, HoverFadeRunsOnTheClock) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    SWindow* ok = wnd.FindChildByName(L"ok");
    ok->SetAttribute(L"animate", L"1", FALSE);
    SHeadlessHost::MoveMouse(&wnd, CPoint(210, 210));
    EXPECT_TRUE(ok->GetState() & WndState_Hover);
    EXPECT_LT(ok->GetAnimateAlpha(), 255);
    BYTE before = ok->GetAnimateAlpha();
    env.host.Advance(30);
    EXPECT_GT(ok->GetAnimateAlpha(), before);
    env.host.Advance(500);
    EXPECT_EQ(ok->GetAnimateAlpha(), 255);
    SHeadlessHost::MoveMouse(&wnd, CPoint(5, 290));
    EXPECT_FALSE(ok->GetState() & WndState_Hover);
}

TEST_F(SHostWndTest, RendersPixelsAndWritesPng) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    IRenderTarget* rt = wnd.RenderAll();
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(PixelAt(rt, 390, 10), 0xffffffffu);  // root background
    EXPECT_EQ(PixelAt(rt, 20, 116), 0xffff0000u);  // check box frame 0 is red
    agree->SetCheck(true);
    rt = wnd.RenderAll();
    EXPECT_EQ(PixelAt(rt, 20, 116), 0xffffff00u);  // frame 4 (checked) is yellow
    std::string path = ::testing::TempDir() + "host_render.png";
    EXPECT_TRUE(SHeadlessHost::RenderToPng(&wnd, path.c_str()));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char sig[8] = {};
    EXPECT_EQ(std::fread(sig, 1, 8, f), 8u);
    std::fclose(f);
    EXPECT_EQ(sig[1], 'P');
    std::remove(path.c_str());
}

// On a HiDPI screen the window keeps its layout in logical pixels and renders each of
// them as 2 x 2 device pixels.
TEST_F(SHostWndTest, ScaledWindowKeepsItsLayoutAndRendersDevicePixels) {
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    std::vector<CRect> before;
    std::function<void(SWindow*, std::vector<CRect>*)> collect = [&](SWindow* w, auto* out) {
        out->push_back(w->GetWindowRect());
        for (size_t i = 0; i < w->GetChildrenCount(); ++i)
            collect(w->GetChild(i), out);
    };
    wnd.RenderAll();
    collect(&wnd, &before);

    env.host.SetWindowScale(2);
    IRenderTarget* rt = wnd.RenderAll();
    ASSERT_NE(rt, nullptr);
    std::vector<CRect> after;
    collect(&wnd, &after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(rt->GetScale(), 2);
    EXPECT_EQ(rt->GetSize(), CSize(400, 300));
    EXPECT_EQ(PixelAt(rt, 40, 232), 0xffff0000u);  // the check box at logical (20, 116)
    EXPECT_EQ(PixelAt(rt, 780, 20), 0xffffffffu);

    // Input stays in logical pixels.
    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    SHeadlessHost::Click(&wnd, CPoint(20, 116));
    EXPECT_TRUE(agree->IsChecked());
    uint32_t checkedAtTwo = PixelAt(wnd.RenderAll(), 41, 233);
    EXPECT_NE(checkedAtTwo, 0xffff0000u);

    std::string path = ::testing::TempDir() + "host_render_x2.png";
    ASSERT_TRUE(SHeadlessHost::RenderToPng(&wnd, path.c_str()));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char head[24] = {};
    EXPECT_EQ(std::fread(head, 1, sizeof head, f), sizeof head);
    std::fclose(f);
    std::remove(path.c_str());
    auto be32 = [&](int at) {
        return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
    };
    EXPECT_EQ(be32(16), 800);  // IHDR width and height
    EXPECT_EQ(be32(20), 600);

    env.host.SetWindowScale(1);
    rt = wnd.RenderAll();
    EXPECT_EQ(rt->GetScale(), 1);
    EXPECT_EQ(PixelAt(rt, 20, 116), checkedAtTwo);  // the same frame, one pixel each
}

TEST_F(SHostWndTest, MissingLayoutAndUnknownClassesFailSoftly) {
    platform::ScopedDebugCapture log;
    SHostWnd none(L"LAYOUT:nothing");
    EXPECT_EQ(none.Create(), nullptr);
    EXPECT_FALSE(env.app->CreateWindowByName(L"nosuchclass"));
    EXPECT_EQ(env.app->GetNamedID(L"x"), 0);
    SNamedID ids[] = {{L"_name_start", 65535}, {L"agree", 65542}};
    env.app->InitXmlNamedID(ids, 2, true);
    CTestWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    EXPECT_EQ(wnd.FindChildByName(L"agree")->GetID(), 65542);
    EXPECT_EQ(wnd.FindChildByID(65542), wnd.FindChildByName(L"agree"));
}

namespace {

std::string NestedLayout(int depth) {
    std::string xml = R"(<SOUI width="100" height="100"><root>)";
    for (int i = 0; i < depth; ++i)
        xml += R"(<window pos="0,0,-0,-0">)";
    xml += R"(<text name="leaf" pos="0,0,10,10">x</text>)";
    for (int i = 0; i < depth; ++i)
        xml += "</window>";
    return xml + "</root></SOUI>";
}

TEST(SHostWndDepthTest, LayoutsNestedTooDeepAreRefusedWithALogLine) {
    SUiTestEnv env;
    // The leaf sits at level depth + 2 below <SOUI>: root, the windows, the leaf.
    env.Add("LAYOUT", "ok", NestedLayout(SWindow::kMaxLayoutDepth - 2));
    env.Add("LAYOUT", "deep", NestedLayout(SWindow::kMaxLayoutDepth - 1));
    env.Add("LAYOUT", "abyss", NestedLayout(20000));  // would overflow the stack
    ASSERT_TRUE(env.Commit());
    platform::ScopedDebugCapture capture;
    {
        SHostWnd wnd(L"LAYOUT:ok");
        ASSERT_NE(wnd.Create(), nullptr);
        EXPECT_NE(wnd.FindChildByName(L"leaf"), nullptr);
        EXPECT_NE(wnd.RenderAll(), nullptr);
    }
    EXPECT_EQ(capture.Text().find("deeper"), std::string::npos);
    for (const wchar_t* name : {L"LAYOUT:deep", L"LAYOUT:abyss"}) {
        capture.Clear();
        SHostWnd wnd(name);
        EXPECT_EQ(wnd.Create(), nullptr);
        EXPECT_NE(capture.Text().find("layout nested deeper than 256 levels refused"),
                  std::string::npos);
    }
    // Children created into an existing window count from that window.
    SHostWnd host(L"LAYOUT:ok");
    ASSERT_NE(host.Create(), nullptr);
    pugi::xml_document doc;
    std::string deep;
    for (int i = 0; i < SWindow::kMaxLayoutDepth + 1; ++i)
        deep += "<window>";
    for (int i = 0; i < SWindow::kMaxLayoutDepth + 1; ++i)
        deep += "</window>";
    ASSERT_TRUE(doc.load_string(deep.c_str()));
    const size_t before = host.GetChildrenCount();
    EXPECT_FALSE(host.CreateChildren(doc));
    EXPECT_EQ(host.GetChildrenCount(), before);
}

}  // namespace
