#include "uilib/SStyle.h"

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"

using namespace SOUI;

TEST(SStyleTest, ColoursWithAndWithoutAlpha) {
    EXPECT_EQ(ParseColor(L"#385e8b"), RGBA(0x38, 0x5e, 0x8b, 0xff));
    EXPECT_EQ(ParseColor(L"#004445ff"), RGBA(0x00, 0x44, 0x45, 0xff));
    EXPECT_EQ(ParseColor(L"#ff000080"), RGBA(0xff, 0, 0, 0x80));
    EXPECT_EQ(ParseColor(L"rgb(255,0,0)"), RGBA(255, 0, 0, 255));
    EXPECT_EQ(ParseColor(L"RGB( 0, 0, 255 )"), RGBA(0, 0, 255, 255));
    EXPECT_EQ(ParseColor(L"rgba(1,2,3,4)"), RGBA(1, 2, 3, 4));
    // The tab control's seven-digit value, and other malformed texts.
    for (const wchar_t* bad :
         {L"#0000000", L"#12345", L"#gg0000", L"rgb(256,0,0)", L"rgb(1,2)", L"red", L""})
        EXPECT_FALSE(ParseColor(bad).has_value()) << bad;
}

TEST(SStyleTest, FontDescriptorsBuildOnTheDefault) {
    FontDesc base;
    base.face = L"宋体";
    base.size = 15;
    auto f = ParseFontDesc(L"face:微软雅黑,adding:-2", base);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->face, L"微软雅黑");
    EXPECT_EQ(f->size, 13);
    auto g = ParseFontDesc(L"face:微软雅黑,bold:1,size:20", base);
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->bold);
    EXPECT_EQ(g->size, 20);
    auto h = ParseFontDesc(L"underline:1,italic:1", base);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->face, L"宋体");
    EXPECT_TRUE(h->underline && h->italic && !h->bold);
    EXPECT_EQ(ParseFontDesc(L"size:20,adding:4", base)->size, 24);
    EXPECT_EQ(ParseFontDesc(L"", base), base);
    EXPECT_FALSE(ParseFontDesc(L"size:big", base).has_value());
    EXPECT_FALSE(ParseFontDesc(L"colour:1", base).has_value());
}

TEST(SStyleTest, StyleAttributesAndBadValues) {
    SwndStyle style;
    bool ok = false;
    EXPECT_TRUE(style.SetAttribute(L"textMode", L"0x25", &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(style.textMode, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_TRUE(style.SetAttribute(L"colorText", L"#385e8b", &ok));
    EXPECT_TRUE(style.SetAttribute(L"colorTextDisable", L"#91a7c0", &ok));
    EXPECT_EQ(style.GetTextColor(SwndStyle::kHover), RGBA(0x38, 0x5e, 0x8b, 0xff));
    EXPECT_EQ(style.GetTextColor(SwndStyle::kDisable), RGBA(0x91, 0xa7, 0xc0, 0xff));
    EXPECT_TRUE(style.SetAttribute(L"colorBkgnd", L"#0000000", &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(style.crBg, CR_INVALID);  // the bad value changed nothing
    EXPECT_TRUE(style.SetAttribute(L"margin-x", L"3", &ok));
    EXPECT_EQ(style.rcMargin, CRect(3, 0, 3, 0));
    EXPECT_TRUE(style.SetAttribute(L"padding", L"1,2,3,4", &ok));
    EXPECT_EQ(style.GetPadding(), CRect(1, 2, 3, 4));
    EXPECT_TRUE(style.SetAttribute(L"cursor", L"hand", &ok));
    EXPECT_EQ(style.cursor, SCursor::Hand);
    EXPECT_FALSE(style.SetAttribute(L"nonsense", L"1", &ok));
}

TEST(SStyleTest, IntegersDecimalAndHex) {
    EXPECT_EQ(ParseInt(L"42"), 42);
    EXPECT_EQ(ParseInt(L"-7"), -7);
    EXPECT_EQ(ParseInt(L"0x25"), 0x25);
    EXPECT_FALSE(ParseInt(L"12a").has_value());
    EXPECT_FALSE(ParseInt(L"0x").has_value());
    EXPECT_FALSE(ParseInt(L"99999999999").has_value());
}
