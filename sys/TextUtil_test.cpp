#include "sys/TextUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <regex>
#include <set>

#include "platform/Guid.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "tests/support/ScopedOverrides.h"

namespace {

TEST(TextUtilTest, SplitAndReplace) {
    std::vector<std::wstring> w{L"kept"};
    EXPECT_EQ(SplitText(std::wstring(L"a, ,,b,"), std::wstring(L","), w), 3);
    EXPECT_EQ(w, (std::vector<std::wstring>{L"kept", L"a", L" ", L"b"}));
    EXPECT_EQ(SplitText(std::wstring(L"abc"), std::wstring(L""), w), 0);
    EXPECT_EQ(SplitText(std::wstring(L""), std::wstring(L","), w), 0);

    std::vector<std::string> n;
    EXPECT_EQ(SplitText(std::string("::a::::b::"), std::string("::"), n, true), 4);
    EXPECT_EQ(n, (std::vector<std::string>{"", "a", "", "b"}));
    n.clear();
    EXPECT_EQ(SplitText(std::string("a\r\nb"), std::string("\r\n"), n), 2);

    std::wstring text = L"aXa";
    EXPECT_EQ(ReplaceAll(text, L"a", L"aa"), 2);  // scans on: never loops on its own output
    EXPECT_EQ(text, L"aaXaa");
    EXPECT_EQ(ReplaceAll(text, L"", L"y"), 0);
    std::string narrow = "C:\\x\\y";
    EXPECT_EQ(ReplaceAll(narrow, "\\", "/"), 2);
    EXPECT_EQ(narrow, "C:/x/y");
}

// A GBK character whose second byte is 'A' keeps both bytes; the letters around it change.
TEST(TextUtilTest, CaseConversionLeavesMultibyteCharactersWhole) {
    EXPECT_EQ(ToLowerAscii("MiXeD 1"), "mixed 1");
    EXPECT_EQ(ToUpperAscii("MiXeD 1"), "MIXED 1");
    std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "zh_CN.GBK") == nullptr)
        GTEST_SKIP() << "no zh_CN.GBK locale";
    EXPECT_EQ(ToLowerAscii("AB\x81\x41Z"), "ab\x81\x41z");
    EXPECT_EQ(ToUpperAscii("ab\x81\x61z"), "AB\x81\x61Z");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(ToLowerAscii("ÄB"), "Äb");  // UTF-8 (or C locale bytes) untouched, too
}

TEST(TextUtilTest, BomPrefixAndSuffix) {
    std::string s = "\xEF\xBB\xBFtext";
    StripUtf8Bom(s);
    EXPECT_EQ(s, "text");
    StripUtf8Bom(s);
    EXPECT_EQ(s, "text");
    char buffer[] = "\xEF\xBB\xBFok";
    StripUtf8Bom(buffer);
    EXPECT_STREQ(buffer, "ok");
    char shortBuffer[] = "\xEF\xBB";
    StripUtf8Bom(shortBuffer);
    EXPECT_STREQ(shortBuffer, "\xEF\xBB");

    EXPECT_TRUE(StartsWith(std::wstring(L"Quillora.exe"), std::wstring(L"Quill")));
    EXPECT_FALSE(StartsWith(std::wstring(L"Q"), std::wstring(L"Quill")));
    EXPECT_TRUE(EndsWith(std::string("setup.exe"), std::string(".exe")));
    EXPECT_FALSE(EndsWith(std::string("xe"), std::string(".exe")));
    EXPECT_TRUE(EndsWith(std::string("a"), std::string("")));
}

TEST(TextUtilTest, IpTexts) {
    EXPECT_EQ(IpTextToNumber("192.168.1.2"), 0xC0A80102u);
    EXPECT_EQ(IpNumberToText(0xC0A80102u), "192.168.1.2");
    EXPECT_EQ(IpNumberToText(IpTextToNumber("255.0.10.1")), "255.0.10.1");
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1..3.4", "1.2.3.4.", "256.1.1.1", "a.b.c.d",
                            "-1.2.3.4", " 1.2.3.4", "1.2.3.99999999999999999999"}) {
        EXPECT_EQ(IpTextToNumber(bad), 0u) << bad;
    }
}

TEST(TextUtilTest, NumbersAndRandomness) {
    EXPECT_EQ(RoundHalfAway(2.5), 3.0);
    EXPECT_EQ(RoundHalfAway(-2.5), -3.0);
    EXPECT_EQ(RoundHalfAway(0.49999999999999994), 0.0);  // floor(x + 0.5) would give 1
    EXPECT_EQ(RoundHalfAway(-0.4), -0.0);

    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int v = RandomInRange(-2, 2);
        ASSERT_GE(v, -2);
        ASSERT_LE(v, 2);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(RandomInRange(7, 7), 7);
    EXPECT_EQ(RandomInRange(9, 3), 9);
    int any = RandomInRange(INT_MIN, INT_MAX);  // the whole range: no overflow
    (void)any;
}

TEST(TextUtilTest, IdentifierAndDateTexts) {
    std::wregex guid(L"[0-9A-F]{32}");
    std::wstring g = NewGuidText();
    EXPECT_TRUE(std::regex_match(g, guid)) << platform::WideToUtf8(g);
    EXPECT_EQ(g[12], L'4');  // version 4
    EXPECT_NE(NewGuidText(), g);
    std::wregex random(L"\\{0000[0-7][0-9A-F]{3}([0-7][0-9A-F]{3}){6}\\}");
    std::wstring r = RandomGuidText();
    EXPECT_EQ(r.size(), 34u);
    EXPECT_TRUE(std::regex_match(r, random)) << platform::WideToUtf8(r);
    {
        const auto failing = qitest::OverrideGuidFailure();
        EXPECT_EQ(NewGuidText().size(), 34u);  // falls back to the random form
    }
    const auto date = qitest::OverrideLocalTime([] {
        platform::SystemTime t;
        t.wYear = 2024;
        t.wMonth = 2;
        t.wDay = 9;
        return t;
    });
    EXPECT_EQ(TodayText(), L"2024-02-09");
}

}  // namespace
