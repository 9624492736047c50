#include "uilib/SRichEdit.h"

#include <gtest/gtest.h>

#include "uilib/SHostWnd.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

TEST(SRtfParserTest, ParagraphsFormattingAndColours) {
    SRtfDocument doc = ParseRtf(
        R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}}{\colortbl ;\red255\green0\blue0;}
\pard\qc\b\fs32 Title\b0\par
\pard Plain {\i italic} {\ul under\ulnone} \cf1 red\cf0 \{x\}\par
})");
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    const auto& p0 = doc.paragraphs[0];
    EXPECT_EQ(p0.align, 1);
    ASSERT_EQ(p0.runs.size(), 1u);
    EXPECT_EQ(p0.runs[0].text, L"Title");
    EXPECT_TRUE(p0.runs[0].bold);
    EXPECT_EQ(p0.runs[0].sizeHalfPt, 32);
    const auto& p1 = doc.paragraphs[1];
    EXPECT_EQ(p1.align, 0);
    SStringW all;
    bool sawItalic = false, sawUnder = false, sawRed = false;
    for (const auto& r : p1.runs) {
        all += r.text;
        if (r.italic)
            sawItalic = r.text == L"italic";
        if (r.underline)
            sawUnder = r.text == L"under";
        if (r.color == RGBA(255, 0, 0, 255))
            sawRed = r.text.find(L"red") != SStringW::npos;
    }
    EXPECT_EQ(all, L"Plain italic under red{x}");  // the space after \\cf0 delimits it
    EXPECT_TRUE(sawItalic && sawUnder && sawRed);
    EXPECT_FALSE(p1.runs[0].bold);  // \b0 ended the bold
}

TEST(SRtfParserTest, CodePageAndUnicodeEscapes) {
    // "用户" in GBK is D3 C3 BB A7; \u escapes carry a fallback character to skip.
    SRtfDocument doc = ParseRtf(
        R"({\rtf1\ansi\ansicpg936 \'d3\'c3\'bb\'a7 \u21327?\u-30064?\uc2\u8212\'97\'97 end})");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    EXPECT_EQ(doc.codePage, 936);
    SStringW text;
    for (const auto& r : doc.paragraphs[0].runs)
        text += r.text;
    EXPECT_EQ(text, L"用户 协\u8a90\u2014 end");
}

TEST(SRtfParserTest, BrokenInputNeverFails) {
    for (const char* bad : {"", "{", "}}}", "{\\rtf1 \\'zz text", "{\\rtf1 \\u", "\\",
                            "{\\rtf1 {\\*\\unknown skip me} keep}", "{\\rtf1 \\fs-5 \\cf99 x}"}) {
        SRtfDocument doc = ParseRtf(bad);
        EXPECT_FALSE(doc.paragraphs.empty()) << bad;
    }
    SRtfDocument d = ParseRtf("{\\rtf1 {\\*\\unknown skip me} keep}");
    EXPECT_EQ(d.paragraphs[0].runs.at(0).text, L" keep");
}

TEST(SRichEditTest, WrapsScrollsWithTheWheelAndDrawsTheBar) {
    SUiTestEnv env;
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < 40; ++i)
        rtf += "This is a long sentence of the licence that wraps. \\par ";
    rtf += "}";
    env.Add("RTF", "doc", rtf);
    env.Add("PNG", "sb", MakePng(144, 48, {0x808080ff}));
    env.Add("VALUES", "skin", R"(<skin><scrollbar name="sb" src="PNG:sb" margin="3"/></skin>)");
    env.Add("UIDEF", "init", R"(<UIDEF><skin src="values:skin"/></UIDEF>)");
    env.Add("LAYOUT", "r", R"XML(<SOUI width="300" height="200"><root>
        <richedit name="re" pos="10,10,-10,-10" rtf="RTF:doc" wordwrap="1" vscrollBar="1" sbSkin="sb"/>
      </root></SOUI>)XML");
    ASSERT_TRUE(env.Commit(L"UIDEF:init"));
    SHostWnd wnd(L"LAYOUT:r");
    ASSERT_NE(wnd.Create(), nullptr);
    auto* re = wnd.FindChildByName2<SRichEdit>(L"re");
    ASSERT_NE(re, nullptr);
    EXPECT_EQ(re->GetDocument().paragraphs.size(), 40u);
    int height = re->GetContentHeight();
    EXPECT_GT(height, 40 * 2 * 10);  // every paragraph wrapped onto at least two lines
    EXPECT_EQ(re->GetScrollPos(), 0);
    SHeadlessHost::Wheel(&wnd, CPoint(100, 100), -2);
    EXPECT_GT(re->GetScrollPos(), 0);
    int pos = re->GetScrollPos();
    SHeadlessHost::Wheel(&wnd, CPoint(100, 100), 1);
    EXPECT_LT(re->GetScrollPos(), pos);
    SHeadlessHost::Wheel(&wnd, CPoint(100, 100), -1000);
    EXPECT_EQ(re->GetScrollPos(), height - (180 - 8));  // clamped at the end
    SHeadlessHost::Wheel(&wnd, CPoint(100, 100), 1000);
    EXPECT_EQ(re->GetScrollPos(), 0);
    // Dragging the thumb to the bottom scrolls to the end.
    SHeadlessHost::Drag(&wnd, CPoint(282, 40), CPoint(282, 400));
    EXPECT_GT(re->GetScrollPos(), height / 2);
    EXPECT_NE(wnd.RenderAll(), nullptr);
}
