#include "platform/WideFormat.h"

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"
#include "platform/Text.h"

namespace {

TEST(FormatW, WindowsWidthsAndAnyLength) {
    EXPECT_EQ(platform::FormatW(L"%s|%hs|%S|%c|%I64d", L"宽", "narrow", "n", L'中', 1LL << 40),
              L"宽|narrow|n|中|1099511627776");
    // Narrow text is read in the system's narrow encoding, as MultiByteToWide reads it.
    const std::string narrow = platform::WideToMultiByte(L"中文é");
    EXPECT_EQ(platform::FormatW(L"[%hs]", narrow.c_str()),
              L"[" + platform::MultiByteToWide(narrow) + L"]");
    std::wstring longText(100000, L'x');
    EXPECT_EQ(platform::FormatW(L"[%s]", longText.c_str()).size(), 100002u);
}

// Linux only, as the next ones: Windows' code pages give every byte string some reading.
#ifndef _WIN32
TEST(FormatW, AnArgumentThatIsNoTextFailsAtOnce) {
    platform::ScopedDebugCapture capture;
    // Not text in any encoding: neither a bigger buffer nor a cut result would help.
    EXPECT_EQ(platform::FormatW(L"x%hsy", "ab\xff\xfe"), L"");
    EXPECT_EQ(capture.Text(), "FormatW: cannot format \"x%hsy\": an argument is not valid text\n");
}
#endif

}  // namespace

namespace {

// Narrow text reaches %hs as MultiByteToWide reads it: UTF-8 under the plain C locale of
// this test program, and what is not well formed is refused there as well.
#ifndef _WIN32
TEST(FormatW, NarrowTextDecodesLikeTheCodec) {
    ASSERT_TRUE(platform::NarrowIsUtf8());
    const char* utf8 = "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(platform::FormatW(L"[%hs]", utf8), L"[" + platform::MultiByteToWide(utf8) + L"]");
    EXPECT_EQ(platform::FormatW(L"[%S]", utf8), L"[\u00E9\u4E2D\U0001F600]");

    platform::ScopedDebugCapture capture;
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8"}) {
        EXPECT_FALSE(platform::IsValidUtf8(bad));
        EXPECT_EQ(platform::FormatW(L"%hs", bad), L"") << "refused, not guessed";
    }
}
#endif

}  // namespace
