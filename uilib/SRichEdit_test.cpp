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

namespace {

std::string ReadResource(const char* relative) {
    std::string path = std::string(QI_RESOURCES_DIR) + "/" + relative;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return {};
    std::string data;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        data.append(buf, n);
    std::fclose(f);
    return data;
}

void Mouse(SHostWnd* wnd, SMouseInput::Kind kind, CPoint pt, UINT flags = 0) {
    SMouseInput in;
    in.kind = kind;
    in.pt = pt;
    in.flags = flags;
    wnd->OnNativeMouse(in);
}

// A window of the given size filled by one rich edit showing `rtf`.
struct RichEditWindow {
    RichEditWindow(const std::string& rtf, int width, int height) {
        env.Add("RTF", "doc", rtf);
        env.Add("LAYOUT", "r",
                "<SOUI width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\"><root><richedit name=\"re\" pos=\"0,0,-0,-0\" rtf=\"RTF:doc\" "
                    "font=\"face:宋体\" colorBkgnd=\"#ffffffff\"/></root></SOUI>");
        ok = env.Commit();
        wnd = std::make_unique<SHostWnd>(L"LAYOUT:r");
        ok = ok && wnd->Create() != nullptr;
        re = ok ? wnd->FindChildByName2<SRichEdit>(L"re") : nullptr;
        ok = ok && re != nullptr;
    }
    SStringW Clipboard() {
        SStringW text;
        env.host.GetClipboardText(&text);
        return text;
    }
    SUiTestEnv env;
    std::unique_ptr<SHostWnd> wnd;
    SRichEdit* re = nullptr;
    bool ok = false;
};

// The rich edit's text area at the inset of 4 and the scroll bar of 12 pixels.
constexpr int kInsetAndBar = 4 + 4 + 12;

// Lines as (text, ends its paragraph), checked against the plain text: the lines in order
// make up the whole text, nothing lost or repeated.
std::vector<std::pair<SStringW, bool>> SplitLines(SRichEdit* re) {
    std::vector<std::pair<SStringW, bool>> out;
    const SStringW plain = re->GetPlainText();
    size_t at = 0;
    for (const SStringW& line : re->GetLineTexts()) {
        EXPECT_EQ(plain.compare(at, line.size(), line), 0) << "line at " << at;
        at += line.size();
        const bool last = at >= plain.size() || plain[at] == L'\n';
        if (at < plain.size() && plain[at] == L'\n')
            ++at;
        out.emplace_back(line, last);
    }
    EXPECT_EQ(at, plain.size()) << "the lines do not cover the text";
    return out;
}

}  // namespace

TEST(SRichEditTest, LicenceLinesBreakWhereTheChineseRulesAllow) {
    const std::string rtf = ReadResource("rtf/protocol.rtf");
    ASSERT_FALSE(rtf.empty());
    const SStringW closing = L"，。、；：？！）」』》】〕〉”’";
    const SStringW opening = L"（「『《【〔〈“‘";
    size_t previousLines = 0;
    // The program's width, and narrower ones that move every break.
    for (int textWidth : {576, 451, 333, 217}) {
        SCOPED_TRACE(textWidth);
        RichEditWindow w(rtf, textWidth + kInsetAndBar, 300);
        ASSERT_TRUE(w.ok);
        const SStringW plain = w.re->GetPlainText();
        ASSERT_GT(std::count_if(plain.begin(), plain.end(),
                                [&](wchar_t c) { return closing.find(c) != SStringW::npos; }),
                  100);
        auto lines = SplitLines(w.re);
        EXPECT_GT(lines.size(), previousLines);
        previousLines = lines.size();
        for (const auto& [line, last] : lines) {
            if (line.empty())
                continue;
            EXPECT_EQ(closing.find(line.front()), SStringW::npos) << "starts: " << line.c_str();
            SStringW trimmed = line.substr(0, line.find_last_not_of(L' ') + 1);
            if (!last && !trimmed.empty()) {
                EXPECT_EQ(opening.find(trimmed.back()), SStringW::npos) << "ends: " << line.c_str();
            }
        }
    }
}

TEST(SRichEditTest, LatinLinesBreakAfterSpacesAndOverlongWordsStillWrap) {
    {
        const std::string rtf = ReadResource("rtf/protocol_en.rtf");
        ASSERT_FALSE(rtf.empty());
        RichEditWindow w(rtf, 300 + kInsetAndBar, 300);
        ASSERT_TRUE(w.ok);
        auto lines = SplitLines(w.re);
        ASSERT_GT(lines.size(), 20u);
        for (const auto& [line, last] : lines) {
            if (!last && !line.empty()) {
                EXPECT_TRUE(line.back() == L' ' || line.back() == L'-' || line.back() == L'/')
                    << "a word was cut: " << line.c_str();
            }
        }
    }
    // A word wider than the line is cut where it no longer fits, never lost.
    RichEditWindow url("{\\rtf1\\ansi see " + std::string(150, 'x') + " end\\par}",
                       200 + kInsetAndBar, 300);
    ASSERT_TRUE(url.ok);
    auto urlLines = SplitLines(url.re);
    EXPECT_GE(urlLines.size(), 4u);
    EXPECT_EQ(urlLines.front().first, L"see ");
}

TEST(SRichEditTest, OddCharactersAndLineBreaksLoseNothing) {
    // A NUL, a lone surrogate half, tabs, forced line breaks (one at the very end), an
    // empty paragraph and runs of changing format: every character stays on some line.
    RichEditWindow w(
        "{\\rtf1\\ansi a\\u0?b\\u-10179?c\\tab d\\line e {\\b bold\\i mixed} "
        "\\fs60 big\\fs24 small\\line\\par\\par "
        "\\u20013?\\u25991?\\u65292?\\u20013?\\line\\par}",
        60 + kInsetAndBar, 300);
    ASSERT_TRUE(w.ok);
    auto lines = SplitLines(w.re);
    EXPECT_GE(lines.size(), 8u);
    SHeadlessHost::Click(w.wnd.get(), CPoint(5, 8));
    SHeadlessHost::KeyPress(w.wnd.get(), 'A', MK_CONTROL);
    EXPECT_EQ(w.re->GetSelText(), w.re->GetPlainText());
    EXPECT_NE(w.wnd->RenderAll(), nullptr);
}

TEST(SRichEditTest, MouseSelectsByDragWordAndShiftClickAndCopies) {
    RichEditWindow w("{\\rtf1\\ansi First paragraph here.\\par (note) Second line\\par}", 400, 200);
    ASSERT_TRUE(w.ok);
    SHostWnd* wnd = w.wnd.get();
    SRichEdit* re = w.re;
    const int h = re->GetContentHeight() / 2;  // two lines of one font
    const int y0 = 4 + h / 2, y1 = 4 + h + h / 2;

    SHeadlessHost::MoveMouse(wnd, CPoint(390, y0));
    EXPECT_EQ(re->GetCursor(), SCursor::Arrow);  // the scroll bar's strip
    SHeadlessHost::MoveMouse(wnd, CPoint(5, y0));
    EXPECT_EQ(re->GetCursor(), SCursor::IBeam);
    SHeadlessHost::Drag(wnd, CPoint(5, y0), CPoint(380, y0));
    EXPECT_TRUE(re->IsFocused());
    EXPECT_EQ(re->GetSelText(), L"First paragraph here.");
    SHeadlessHost::KeyPress(wnd, 'C', MK_CONTROL);
    EXPECT_EQ(w.Clipboard(), L"First paragraph here.");

    Mouse(wnd, SMouseInput::LDown, CPoint(380, y1), MK_SHIFT);
    Mouse(wnd, SMouseInput::LUp, CPoint(380, y1), MK_SHIFT);
    EXPECT_EQ(re->GetSelText(), L"First paragraph here.\n(note) Second line");

    // A click alone collapses the selection; a drag back upwards selects backwards.
    SHeadlessHost::Click(wnd, CPoint(5, y1));
    EXPECT_EQ(re->GetSelText(), L"");
    SHeadlessHost::Drag(wnd, CPoint(5, y1), CPoint(1, y0));
    EXPECT_EQ(re->GetSelText(), L"First paragraph here.\n");

    // Double click: the word under the pointer, or the one character there.
    Mouse(wnd, SMouseInput::LDblClk, CPoint(6, y0));
    EXPECT_EQ(re->GetSelText(), L"First");
    Mouse(wnd, SMouseInput::LDblClk, CPoint(5, y1));
    EXPECT_EQ(re->GetSelText(), L"(");

    SHeadlessHost::KeyPress(wnd, 'A', MK_CONTROL);
    SHeadlessHost::KeyPress(wnd, 'C', MK_CONTROL);
    EXPECT_EQ(w.Clipboard(), L"First paragraph here.\n(note) Second line");
    // Nothing selected: Ctrl+C leaves the clipboard alone.
    SHeadlessHost::Click(wnd, CPoint(5, y0));
    SHeadlessHost::KeyPress(wnd, 'C', MK_CONTROL);
    EXPECT_EQ(w.Clipboard(), L"First paragraph here.\n(note) Second line");
}

TEST(SRichEditTest, ShiftKeysExtendTheSelectionAndPlainKeysOnlyScroll) {
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < 30; ++i)
        rtf += "Line " + std::to_string(i) + " of the document.\\par ";
    rtf += "}";
    RichEditWindow w(rtf, 400, 200);
    ASSERT_TRUE(w.ok);
    SHostWnd* wnd = w.wnd.get();
    SRichEdit* re = w.re;
    const SStringW plain = re->GetPlainText();
    SHeadlessHost::Click(wnd, CPoint(5, 8));
    auto key = [&](UINT vk, UINT flags = MK_SHIFT) { SHeadlessHost::KeyPress(wnd, vk, flags); };
    for (int i = 0; i < 4; ++i)
        key(VK_RIGHT);
    EXPECT_EQ(re->GetSelText(), L"Line");
    key(VK_LEFT);
    EXPECT_EQ(re->GetSelText(), L"Lin");
    key(VK_END);
    EXPECT_EQ(re->GetSelText(), L"Line 0 of the document.");
    key(VK_DOWN);
    EXPECT_EQ(re->GetSelText(), L"Line 0 of the document.\nLine 1 of the document.");
    key(VK_HOME);
    EXPECT_EQ(re->GetSelText(), L"Line 0 of the document.\n");
    key(VK_UP);
    EXPECT_EQ(re->GetSelText(), L"");

    // Plain keys scroll and keep the selection.
    key(VK_RIGHT);
    key(VK_NEXT, 0);
    EXPECT_GT(re->GetScrollPos(), 0);
    EXPECT_EQ(re->GetSelText(), L"L");
    key(VK_HOME, 0);
    EXPECT_EQ(re->GetScrollPos(), 0);

    // Page keys move the moving end by a page, and the view follows it.
    key(VK_NEXT);
    key(VK_NEXT);
    const SStringW twoPages = re->GetSelText();
    EXPECT_GT(twoPages.size(), 200u);
    EXPECT_EQ(plain.compare(0, twoPages.size(), twoPages), 0);
    EXPECT_GT(re->GetScrollPos(), 0);
    key(VK_PRIOR);
    EXPECT_LT(re->GetSelText().size(), twoPages.size());
    EXPECT_GT(re->GetSelText().size(), 0u);
    key(VK_END, MK_SHIFT | MK_CONTROL);
    EXPECT_EQ(re->GetSelText(), plain);
    EXPECT_EQ(re->GetScrollPos(), re->GetContentHeight() - (200 - 8));
    key(VK_HOME, MK_SHIFT | MK_CONTROL);
    EXPECT_EQ(re->GetSelText(), L"");
    EXPECT_EQ(re->GetScrollPos(), 0);

    // Holding a selecting drag below the text keeps scrolling down, and extends the
    // selection with it, until the button goes up.
    Mouse(wnd, SMouseInput::LDown, CPoint(5, 8));
    Mouse(wnd, SMouseInput::Move, CPoint(100, 230));
    const int first = re->GetScrollPos();
    const size_t selected = re->GetSelText().size();
    EXPECT_GT(first, 0);
    w.env.host.Advance(500);
    EXPECT_GT(re->GetScrollPos(), first);
    EXPECT_GT(re->GetSelText().size(), selected);
    Mouse(wnd, SMouseInput::LUp, CPoint(100, 230));
    const int released = re->GetScrollPos();
    w.env.host.Advance(500);
    EXPECT_EQ(re->GetScrollPos(), released);
}

TEST(SRichEditTest, TheEndOfAWrappedLineStaysOnThatLine) {
    // Ideographs wrap without spaces: the end of one line is the start of the next.
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < 60; ++i)
        rtf += "\\u20013?";
    RichEditWindow w(rtf + "\\par}", 200, 200);
    ASSERT_TRUE(w.ok);
    const std::vector<SStringW> lines = w.re->GetLineTexts();
    ASSERT_GE(lines.size(), 3u);
    SHeadlessHost::Click(w.wnd.get(), CPoint(5, 8));
    SHeadlessHost::KeyPress(w.wnd.get(), VK_END, MK_SHIFT);
    EXPECT_EQ(w.re->GetSelText(), lines[0]);
    SHeadlessHost::KeyPress(w.wnd.get(), VK_END, MK_SHIFT);
    EXPECT_EQ(w.re->GetSelText(), lines[0]);
    SHeadlessHost::KeyPress(w.wnd.get(), VK_DOWN, MK_SHIFT);
    EXPECT_EQ(w.re->GetSelText(), lines[0] + lines[1]);
    SHeadlessHost::KeyPress(w.wnd.get(), VK_HOME, MK_SHIFT);
    EXPECT_EQ(w.re->GetSelText(), lines[0]);
}

TEST(SRichEditTest, SelectionIsHighlightedAndANewDocumentClearsIt) {
    RichEditWindow w("{\\rtf1\\ansi Highlighted words\\par second\\par}", 400, 200);
    ASSERT_TRUE(w.ok);
    SHostWnd* wnd = w.wnd.get();
    const int h = w.re->GetContentHeight() / 2;
    auto highlighted = [&] {
        IRenderTarget* rt = wnd->RenderAll();
        int count = 0;
        for (int y = 4; y < 4 + 2 * h; ++y)
            for (int x = 4; x < 380; ++x)
                count += PixelAt(rt, x, y) == 0xffb4d5feu;
        return count;
    };
    EXPECT_EQ(highlighted(), 0);
    SHeadlessHost::Drag(wnd, CPoint(5, 4 + h / 2), CPoint(380, 4 + h / 2));
    const int line = highlighted();
    EXPECT_GT(line, 40 * h);  // most of the line's text width
    EXPECT_LT(line, 380 * h);
    SHeadlessHost::KeyPress(wnd, 'A', MK_CONTROL);
    EXPECT_GT(highlighted(), line);
    w.re->SetRtf("{\\rtf1 new\\par}");
    EXPECT_EQ(w.re->GetSelText(), L"");
    EXPECT_EQ(highlighted(), 0);
}
