#include "platform/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, RoundTripsEveryPlane) {
    const std::wstring text = L"a\u00e9\u4e2d\U0001F600z";
    EXPECT_EQ(platform::WideToUtf8(text), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(platform::Utf8ToWide(platform::WideToUtf8(text)), text);
    EXPECT_EQ(platform::Utf16Length(text), 6u);  // the emoji takes a surrogate pair
}

TEST(Utf8, BadSequencesBecomeReplacementCharacters) {
    // A stray continuation byte, a cut-off sequence, an overlong form and a surrogate.
    EXPECT_EQ(platform::Utf8ToWide("a\x80"
                                   "b"),
              L"a\uFFFDb");
    EXPECT_EQ(platform::Utf8ToWide("\xE4\xB8"), L"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(platform::WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(Utf8, ConversionsStopAtTheFirstZero) {
    EXPECT_EQ(platform::Utf8ToWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(platform::WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(platform::WideToMultiByte(std::wstring(L"x\0y", 3)), "x");
}

}  // namespace

namespace {
TEST(EqualsNoCase, ComparesWholeNamesWithoutCase) {
    EXPECT_TRUE(platform::EqualsNoCase(L"Config", L"cONFIG"));
    EXPECT_TRUE(platform::EqualsNoCase(L"Ä", L"ä"));
    EXPECT_FALSE(platform::EqualsNoCase(L"v4", L"v40"));
    EXPECT_TRUE(platform::EqualsNoCase(L"", L""));
}
}  // namespace
