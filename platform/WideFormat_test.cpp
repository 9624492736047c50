#include "platform/WideFormat.h"

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"

namespace {

TEST(FormatW, WindowsWidthsAndAnyLength) {
    EXPECT_EQ(platform::FormatW(L"%s|%hs|%S|%c|%I64d", L"宽", "narrow", "n", L'中', 1LL << 40),
              L"宽|narrow|n|中|1099511627776");
    std::wstring longText(100000, L'x');
    EXPECT_EQ(platform::FormatW(L"[%s]", longText.c_str()).size(), 100002u);
}

TEST(FormatW, AnArgumentThatIsNoTextFailsAtOnce) {
    platform::ScopedDebugCapture capture;
    // Not text in any encoding: neither a bigger buffer nor a cut result would help.
    EXPECT_EQ(platform::FormatW(L"x%hsy", "ab\xff\xfe"), L"");
    EXPECT_EQ(capture.Text(), "FormatW: cannot format \"x%hsy\": an argument is not valid text\n");
}

}  // namespace
