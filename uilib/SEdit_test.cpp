#include "uilib/SEdit.h"

#include <gtest/gtest.h>

#include "uilib/SHostWnd.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

class SEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("LAYOUT", "e", R"XML(<SOUI width="300" height="60"><root>
            <edit name="ed" pos="10,10,@200,@30" extend="4" cueText="输入路径"/>
            <edit name="ro" pos="10,40,@200,@20" readOnly="1" maxLength="5">abcdef</edit>
            <imgbtn name="other" pos="220,10,@50,@30"/>
          </root></SOUI>)XML");
        ASSERT_TRUE(env.Commit());
        ASSERT_NE(wnd.Create(), nullptr);
        ed = wnd.FindChildByName2<SEdit>(L"ed");
        ASSERT_NE(ed, nullptr);
        SHeadlessHost::ClickByName(&wnd, L"ed");
    }
    SStringW Text() { return ed->GetWindowTextW(true); }
    void Key(UINT vk, UINT flags = 0) { SHeadlessHost::KeyPress(&wnd, vk, flags); }

    SUiTestEnv env;
    SHostWnd wnd{L"LAYOUT:e"};
    SEdit* ed = nullptr;
};

}  // namespace

TEST_F(SEditTest, TypingMovesTheCaretAndEditingKeysWork) {
    EXPECT_EQ(wnd.GetFocus(), ed);
    SHeadlessHost::TypeText(&wnd, L"C:/Apps");
    EXPECT_EQ(Text(), L"C:/Apps");
    EXPECT_EQ(ed->GetCaretPos(), 7);
    Key(VK_LEFT);
    Key(VK_LEFT);
    SHeadlessHost::TypeText(&wnd, L"X");
    EXPECT_EQ(Text(), L"C:/ApXps");
    Key(VK_BACK);
    Key(VK_DELETE);
    EXPECT_EQ(Text(), L"C:/Aps");
    Key(VK_HOME);
    Key(VK_DELETE);
    EXPECT_EQ(Text(), L":/Aps");
    Key(VK_END);
    SHeadlessHost::TypeText(&wnd, L"\t\x01z");  // control characters are dropped
    EXPECT_EQ(Text(), L":/Apsz");
}

TEST_F(SEditTest, SelectionWithKeysMouseAndClipboard) {
    SHeadlessHost::TypeText(&wnd, L"hello world");
    Key(VK_HOME);
    for (int i = 0; i < 5; ++i)
        Key(VK_RIGHT, MK_SHIFT);
    EXPECT_EQ(ed->GetSelText(), L"hello");
    Key('C', MK_CONTROL);
    Key(VK_END);
    Key('V', MK_CONTROL);
    EXPECT_EQ(Text(), L"hello worldhello");
    Key('A', MK_CONTROL);
    Key('X', MK_CONTROL);
    EXPECT_EQ(Text(), L"");
    SStringW clip;
    EXPECT_TRUE(env.host.GetClipboardText(&clip));
    EXPECT_EQ(clip, L"hello worldhello");
    env.host.SetClipboardText(L"a\nb");
    Key('V', MK_CONTROL);
    EXPECT_EQ(Text(), L"a b");  // one line only
    // Mouse: drag from the far left to the far right selects everything.
    CRect rc = ed->GetWindowRect();
    SHeadlessHost::Drag(&wnd, CPoint(rc.left + 1, rc.top + 5), CPoint(rc.right - 1, rc.top + 5));
    EXPECT_EQ(ed->GetSelText(), L"a b");
    SHeadlessHost::TypeText(&wnd, L"中文");
    EXPECT_EQ(Text(), L"中文");
}

TEST_F(SEditTest, InputMethodCompositionAndCommit) {
    SHeadlessHost::TypeText(&wnd, L"ab");
    SHeadlessHost::Preedit(&wnd, L"zhong");
    EXPECT_EQ(ed->GetComposition(), L"zhong");
    EXPECT_EQ(Text(), L"ab");  // preedit is not text yet
    SHeadlessHost::Preedit(&wnd, L"");
    SHeadlessHost::TypeText(&wnd, L"中");
    EXPECT_EQ(Text(), L"ab中");
    EXPECT_TRUE(ed->GetComposition().empty());
    EXPECT_NE(wnd.RenderAll(), nullptr);  // paints with caret and selection without trouble
}

TEST_F(SEditTest, ReadOnlyMaxLengthAndCueText) {
    auto* ro = wnd.FindChildByName2<SEdit>(L"ro");
    EXPECT_EQ(ro->GetWindowTextW(true), L"abcdef");
    SHeadlessHost::ClickByName(&wnd, L"ro");
    EXPECT_EQ(wnd.GetFocus(), ro);
    SHeadlessHost::TypeText(&wnd, L"x");
    Key(VK_BACK);
    EXPECT_EQ(ro->GetWindowTextW(true), L"abcdef");
    ro->SetAttribute(L"readOnly", L"0", FALSE);
    Key('A', MK_CONTROL);
    SHeadlessHost::TypeText(&wnd, L"1234567");
    EXPECT_EQ(ro->GetWindowTextW(true), L"12345");  // maxLength
    EXPECT_EQ(ed->GetCueText(), L"输入路径");
    SHeadlessHost::ClickByName(&wnd, L"other");
    EXPECT_NE(wnd.GetFocus(), ed);
    // The cue shows while empty and unfocused: the caret and text paths are not taken.
    EXPECT_NE(wnd.RenderAll(), nullptr);
}
