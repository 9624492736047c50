// Attribute values near the integer limits: clamped where they are parsed, so that
// solving, painting and scrolling never overflow (UndefinedBehaviorSanitizer halts on any
// signed overflow or division by zero here).
#include <gtest/gtest.h>

#include <climits>

#include "uilib/SHostWnd.h"
#include "uilib/SLayout.h"
#include "uilib/SRichEdit.h"
#include "uilib/SStyle.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

TEST(SAttributeLimits, ParsedQuantitiesAreClamped) {
    FontDesc base;
    base.size = 15;
    EXPECT_EQ(ParseFontDesc(L"size:2147483647,adding:1", base)->size, kMaxFontSize);
    EXPECT_EQ(ParseFontDesc(L"size:3000000", base)->size, kMaxFontSize);
    EXPECT_EQ(ParseFontDesc(L"size:-2147483647,adding:-5", base)->size, 1);
    EXPECT_EQ(ParseFontDesc(L"adding:0x7fffffff", base)->size, kMaxFontSize);

    EXPECT_EQ(ParseRect4(L"2147483647"), CRect(kMaxCoord, kMaxCoord, kMaxCoord, kMaxCoord));
    EXPECT_EQ(ParseRect4(L"-2147483648,0"), CRect(-kMaxCoord, 0, -kMaxCoord, 0));
    EXPECT_EQ(ParseCoord(L"0xffffffff"), -1);  // hex is read as a 32-bit pattern, as before
    EXPECT_EQ(ParseCoord(L"12"), 12);

    // Edges from the previous sibling and the parent's far edge, at the limits.
    auto pos = SLayoutPos::Parse(L"[2147483647,-2147483647,@2147483647,@2147483647");
    ASSERT_TRUE(pos);
    CRect prev(5, 5, 5, 5);
    CRect rc = pos->Solve(CRect(0, 0, 100, 100), &prev, CSize(0, 0));
    EXPECT_EQ(rc.left, 5 + kMaxCoord);
    EXPECT_EQ(rc.top, 100 - kMaxCoord);
    EXPECT_EQ(rc.Width(), kMaxCoord);
    EXPECT_EQ(rc.Height(), kMaxCoord);
    pos = SLayoutPos::Parse(L"|2147483647,{-2147483647,-2147483647,[2147483647");
    ASSERT_TRUE(pos);
    rc = pos->Solve(CRect(0, 0, 100, 100), &prev, CSize(0, 0));
    EXPECT_EQ(rc.left, 50 + kMaxCoord);
    EXPECT_EQ(rc.top, 5 - kMaxCoord);
    EXPECT_EQ(rc.right, 100 - kMaxCoord);
    EXPECT_EQ(rc.bottom, 5 + kMaxCoord);
}

TEST(SAttributeLimits, WindowsWithExtremeValuesPaintAndScroll) {
    SUiTestEnv env;
    env.Add("RTF", "huge", "{\\rtf1 \\fs2147483647 big\\par}");
    env.Add("LAYOUT", "w", R"XML(<SOUI width="200" height="120"><root>
        <text name="t1" pos="0,0,100,20" text="padded" padding="2147483647"/>
        <text name="t2" pos="0,20,100,40" text="padded" padding="-2147483648,0,2147483647,0"
              font="size:2147483647,adding:1"/>
        <text name="t3" pos="[2147483647,5,@10,@10" text="far"/>
        <text name="t4" pos="0,40" text="lines" multiLines="1" lineInter="2147483647"
              maxWidth="2147483647"/>
        <richedit name="re" pos="0,60,100,@40" vscrollBar="1" inset="25"/>
        <richedit name="re2" pos="0,70,100,90" rtf="RTF:huge" vscrollBar="1" inset="40"/>
        <progress name="p" pos="0,90,100,100" min="-2147483648" max="2147483647"
                  value="2147483647"/>
      </root></SOUI>)XML");
    ASSERT_TRUE(env.Commit());
    SHostWnd wnd(L"LAYOUT:w");
    ASSERT_NE(wnd.Create(), nullptr);
    EXPECT_NE(wnd.RenderAll(), nullptr);
    auto* re = wnd.FindChildByName2<SRichEdit>(L"re");
    ASSERT_NE(re, nullptr);
    // On the bar of an edit shorter than its inset, with nothing in it.
    SHeadlessHost::Drag(&wnd, CPoint(95, 80), CPoint(95, 300));
    SHeadlessHost::Wheel(&wnd, CPoint(50, 65), -3);
    SHeadlessHost::Drag(&wnd, CPoint(95, 72), CPoint(95, 3000));
    SHeadlessHost::Wheel(&wnd, CPoint(50, 80), -3);
    EXPECT_NE(wnd.RenderAll(), nullptr);
}
