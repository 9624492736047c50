// Input routing of the host window on the headless host: which window a press goes to
// (and when it reaches the caption), keys on the focused control, the windows Tab visits,
// and when the focus outline shows.
#include <gtest/gtest.h>

#include "uilib/SCheckBox.h"
#include "uilib/SHostWnd.h"
#include "uilib/STabCtrl.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

// A caption under a tab control whose page holds static content above and controls
// below, as a borderless window is built. The lower band grows with the window; its last
// row lies below its bottom until the window is 190 high or more.
const char* kLayout = R"XML(<SOUI name="r" title="Routing" width="300" height="200">
  <root colorBkgnd="#ffffffff">
    <caption name="cap" pos="0,0,-0,-0">
      <tabctrl name="tabs" pos="0,0,-0,-0" tabHeight="20" tabWidth="50" focusable="0">
        <page name="page0" title="p0">
          <window name="band" pos="0,0,-0,@100" msgTransparent="1">
            <img name="pic" pos="10,30,@20,@20"/>
            <text name="label" pos="40,30,@50,@20">label</text>
          </window>
          <window name="lower" pos="0,100,-0,-0">
            <imgbtn name="btn" pos="10,10,@60,@30" colorBkgnd="#c0c0c0ff">OK</imgbtn>
            <check name="chk" pos="80,10,@60,@20">chk</check>
            <imgbtn name="off" pos="150,10,@40,@30" disable="1"/>
            <window name="row" pos="0,70,-0,@30">
              <edit name="deep" pos="0,0,@100,@20"/>
            </window>
          </window>
          <edit name="field" pos="200,30,@80,@20"/>
          <link name="gone" pos="200,80,@50,@20" visible="0">gone</link>
        </page>
        <page name="page1" title="p1"><imgbtn name="other" pos="0,0,@20,@20"/></page>
      </tabctrl>
    </caption>
  </root>
</SOUI>)XML";

class CRoutingWnd : public SHostWnd {
public:
    CRoutingWnd() : SHostWnd(L"LAYOUT:routing") {}
    std::vector<std::wstring> commands;
    bool _HandleEvent(EventArgs* evt) override {
        if (evt->GetID() != EVT_CMD)
            return SHostWnd::_HandleEvent(evt);
        commands.push_back(evt->nameFrom);
        return true;
    }
};

class HostInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("LAYOUT", "routing", kLayout);
        ASSERT_TRUE(env.Commit());
        ASSERT_NE(wnd.Create(), nullptr);
        wnd.SetWindowPos(nullptr, 100, 100, 0, 0, SWP_NOSIZE);
    }
    SWindow* W(const wchar_t* name) {
        SWindow* w = wnd.FindChildByName(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    CPoint Center(const wchar_t* name) { return W(name)->GetWindowRect().CenterPoint(); }
    // A press at `from`, a move by (30, -20) and the release.
    void DragBy(CPoint from) { SHeadlessHost::Drag(&wnd, from, CPoint(from.x + 30, from.y - 20)); }
    std::vector<std::wstring> FocusOrderNames() {
        std::vector<std::wstring> names;
        for (SWindow* w : wnd.FocusOrder())
            names.push_back(w->GetName());
        return names;
    }
    void Key(UINT vk, bool bDown, UINT flags = 0) { wnd.OnNativeKey(vk, bDown, flags); }
    // The rendered pixels of a window's rectangle.
    std::vector<uint32_t> Pixels(const wchar_t* name) {
        IRenderTarget* rt = wnd.RenderAll();
        std::vector<uint32_t> px;
        if (rt == nullptr)
            return px;
        CRect rc = W(name)->GetWindowRect();
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                px.push_back(PixelAt(rt, x, y));
        return px;
    }

    SUiTestEnv env;
    CRoutingWnd wnd;  // after env: goes first
};

}  // namespace

TEST_F(HostInputTest, PressesNoControlTakesReachTheCaptionAndDragTheWindow) {
    // Static content, a message-transparent band, an empty container and a disabled button:
    // the press goes up to the caption, which moves the window by the drag distance.
    for (const wchar_t* name : {L"pic", L"label", L"band", L"lower", L"off"}) {
        SCOPED_TRACE(testing::Message() << name);
        wnd.SetWindowPos(nullptr, 100, 100, 0, 0, SWP_NOSIZE);
        CPoint from = name == std::wstring(L"lower") ? CPoint(250, 185) : Center(name);
        if (name == std::wstring(L"band"))
            from = CPoint(150, 100);
        EXPECT_NE(wnd.HitTest(from), W(L"cap")) << "the caption is covered there";
        DragBy(from);
        EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(130, 80));
        // The release ended the drag: a later move leaves the window where it is.
        SHeadlessHost::MoveMouse(&wnd, CPoint(5, 190));
        EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(130, 80));
    }
    // Where the window system moves windows, the caption hands the drag over and the
    // window does not move itself.
    env.host.SetSystemMoves(true);
    wnd.SetWindowPos(nullptr, 100, 100, 0, 0, SWP_NOSIZE);
    DragBy(Center(L"pic"));
    EXPECT_EQ(env.host.SystemMovesBegun(), 1);
    EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(100, 100));
    env.host.SetSystemMoves(false);
    // Controls keep their presses: a button, a check box, an editor, a tab header.
    for (const wchar_t* name : {L"btn", L"chk", L"field"}) {
        SCOPED_TRACE(testing::Message() << name);
        wnd.SetWindowPos(nullptr, 100, 100, 0, 0, SWP_NOSIZE);
        DragBy(Center(name));
        EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(100, 100));
    }
    EXPECT_EQ(wnd.GetFocus(), W(L"field"));
    EXPECT_TRUE(wnd.commands.empty()) << "presses dragged off a control are no clicks";
    // A click on static text reaches the caption, which takes no focus: the field loses it.
    SHeadlessHost::ClickByName(&wnd, L"label");
    EXPECT_EQ(wnd.GetFocus(), nullptr);
    auto* tabs = wnd.FindChildByName2<STabCtrl>(L"tabs");
    DragBy(CPoint(75, 10));  // the header of page 1
    EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(100, 100));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    // Below the headers, beside the other page's button, the caption drags again.
    DragBy(CPoint(200, 100));
    EXPECT_EQ(wnd.GetScreenRect().TopLeft(), CPoint(130, 80));
}

TEST_F(HostInputTest, SpacePressesOnKeyDownAndActivatesOnKeyUp) {
    SWindow* btn = W(L"btn");
    btn->SetFocus();
    Key(VK_SPACE, true);
    Key(VK_SPACE, true);  // auto-repeat
    EXPECT_TRUE(btn->GetState() & WndState_PushDown);
    EXPECT_TRUE(wnd.commands.empty());
    Key(VK_SPACE, false);
    EXPECT_FALSE(btn->GetState() & WndState_PushDown);
    EXPECT_EQ(wnd.commands, (std::vector<std::wstring>{L"btn"}));

    // Enter clicks at once.
    Key(VK_RETURN, true);
    EXPECT_EQ(wnd.commands.size(), 2u);
    Key(VK_RETURN, false);
    EXPECT_EQ(wnd.commands.size(), 2u);

    // Moving the focus while Space is held cancels the press.
    auto* chk = wnd.FindChildByName2<SCheckBox>(L"chk");
    Key(VK_SPACE, true);
    Key(VK_TAB, true);
    Key(VK_TAB, false);
    ASSERT_EQ(wnd.GetFocus(), chk);
    EXPECT_FALSE(btn->GetState() & WndState_PushDown);
    Key(VK_SPACE, false);
    EXPECT_EQ(wnd.commands.size(), 2u);
    EXPECT_FALSE(chk->IsChecked());

    // The check box toggles on release, once per press.
    Key(VK_SPACE, true);
    EXPECT_FALSE(chk->IsChecked());
    Key(VK_SPACE, false);
    EXPECT_TRUE(chk->IsChecked());
    SHeadlessHost::KeyPress(&wnd, VK_SPACE);
    EXPECT_FALSE(chk->IsChecked());
}

TEST_F(HostInputTest, OnlyAnEnabledEditableFieldTakesTextInput) {
    EXPECT_FALSE(wnd.WantsTextInput());
    W(L"btn")->SetFocus();
    EXPECT_FALSE(wnd.WantsTextInput());
    W(L"field")->SetFocus();
    EXPECT_TRUE(wnd.WantsTextInput());
    W(L"field")->SetAttribute(L"readOnly", L"1", FALSE);
    EXPECT_FALSE(wnd.WantsTextInput());
    W(L"field")->SetAttribute(L"readOnly", L"0", FALSE);
    W(L"lower")->EnableWindow(false);
    EXPECT_TRUE(wnd.WantsTextInput()) << "the field is not inside the disabled band";
    W(L"page0")->EnableWindow(false);
    EXPECT_FALSE(wnd.WantsTextInput());
}

TEST_F(HostInputTest, TabVisitsOnlyWhatCanBeSeen) {
    // Disabled, hidden, on a hidden page, or clipped away by its parent: skipped.
    EXPECT_EQ(FocusOrderNames(), (std::vector<std::wstring>{L"btn", L"chk", L"deep", L"field"}));
    wnd.SetWindowPos(nullptr, 0, 0, 300, 180, SWP_NOMOVE);
    EXPECT_EQ(FocusOrderNames(), (std::vector<std::wstring>{L"btn", L"chk", L"field"}));
    for (const wchar_t* expected : {L"btn", L"chk", L"field", L"btn"}) {
        SHeadlessHost::KeyPress(&wnd, VK_TAB);
        EXPECT_EQ(wnd.GetFocus(), W(expected)) << expected;
    }
    SHeadlessHost::KeyPress(&wnd, VK_TAB, MK_SHIFT);
    EXPECT_EQ(wnd.GetFocus(), W(L"field"));
    SHeadlessHost::KeyPress(&wnd, VK_TAB, MK_SHIFT);
    EXPECT_EQ(wnd.GetFocus(), W(L"chk"));
    // Wholly outside the window: at 130 the lower band keeps only its top ten pixels. The
    // focused box that went out of sight gives up the focus.
    wnd.SetWindowPos(nullptr, 0, 0, 300, 130, SWP_NOMOVE);
    EXPECT_EQ(FocusOrderNames(), (std::vector<std::wstring>{L"field"}));
    EXPECT_EQ(wnd.GetFocus(), nullptr);
    SHeadlessHost::KeyPress(&wnd, VK_TAB);
    EXPECT_EQ(wnd.GetFocus(), W(L"field"));
    W(L"off")->EnableWindow(true);
    wnd.SetWindowPos(nullptr, 0, 0, 300, 200, SWP_NOMOVE);
    EXPECT_EQ(FocusOrderNames(),
              (std::vector<std::wstring>{L"btn", L"chk", L"off", L"deep", L"field"}));
}

TEST_F(HostInputTest, FocusOutlineShowsAfterTabAndNotAfterAClick) {
    const CPoint away(250, 185);
    SHeadlessHost::MoveMouse(&wnd, away);
    const std::vector<uint32_t> plain = Pixels(L"btn");
    ASSERT_FALSE(plain.empty());

    SHeadlessHost::ClickByName(&wnd, L"btn");
    SHeadlessHost::MoveMouse(&wnd, away);
    ASSERT_EQ(wnd.GetFocus(), W(L"btn"));
    EXPECT_FALSE(wnd.ShowsFocusCues());
    EXPECT_EQ(Pixels(L"btn"), plain) << "a click drew a focus outline";

    SHeadlessHost::KeyPress(&wnd, VK_TAB);
    SHeadlessHost::KeyPress(&wnd, VK_TAB, MK_SHIFT);
    ASSERT_EQ(wnd.GetFocus(), W(L"btn"));
    EXPECT_TRUE(wnd.ShowsFocusCues());
    std::vector<uint32_t> outlined = Pixels(L"btn");
    ASSERT_EQ(outlined.size(), plain.size());
    size_t differ = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        differ += outlined[i] != plain[i];
    // The outline runs round the inside of the 60 x 30 button.
    EXPECT_GT(differ, 100u);

    // The next press hides the cues again, on whichever control it focuses.
    SHeadlessHost::ClickByName(&wnd, L"btn");
    SHeadlessHost::MoveMouse(&wnd, away);
    EXPECT_FALSE(wnd.ShowsFocusCues());
    EXPECT_EQ(Pixels(L"btn"), plain);
}
