#include "sys/DebugLog.h"

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/Time.h"
#include "sys/SupportLog.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

namespace {

platform::SystemTime FixedTime() {
    platform::SystemTime st;
    st.wYear = 2020;
    st.wMonth = 1;
    st.wDay = 2;
    st.wHour = 3;
    st.wMinute = 4;
    st.wSecond = 5;
    st.wMilliseconds = 9;
    return st;
}

class DebugLogTest : public ::testing::Test {
protected:
    const qitest::ScopedOverride m_time = qitest::OverrideLocalTime(&FixedTime);
    platform::ScopedDebugCapture m_capture;
};

TEST_F(DebugLogTest, PrefixMessageAndLineFeed) {
    DebugLog(L"%s 安装step=%d", L"CInstallMgr::DownNetFile", 20);
    EXPECT_EQ(m_capture.Text(), "[2020-01-02 03:04:05 9] CInstallMgr::DownNetFile 安装step=20\n");
}

// The support log gets the same whole lines, keeps the run before as ".1", and a log that
// cannot be made leaves the run going with no log.
TEST_F(DebugLogTest, SupportLogKeepsTheLinesAndTheRunBefore) {
    qitest::TempDir dir;
    const std::string path = dir / "state/日志/install.log";  // a folder that is not there yet
    const std::wstring wide = platform::PathFromNarrow(path);
    ASSERT_TRUE(sys::OpenSupportLog(wide));
    DebugLog(L"%s first run", L"A");
    ASSERT_TRUE(sys::OpenSupportLog(wide));
    EXPECT_EQ(sys::SupportLogPath(), wide);
    DebugLog(L"%s second run %d", L"B", 2);
    sys::CloseSupportLog();
    DebugLog(L"after the close");
    EXPECT_EQ(qitest::TempDir::Read(path), "[2020-01-02 03:04:05 9] B second run 2\n");
    EXPECT_EQ(qitest::TempDir::Read(path + ".1"), "[2020-01-02 03:04:05 9] A first run\n");
    EXPECT_TRUE(sys::SupportLogPath().empty());

    dir.Write("file", "x");
    EXPECT_FALSE(sys::OpenSupportLog(platform::PathFromNarrow(dir / "file/install.log")));
    EXPECT_TRUE(sys::SupportLogPath().empty());
    DebugLog(L"no log, no fault");
}

TEST_F(DebugLogTest, EmptyAndPlainFormats) {
    DebugLog(L"");
    DebugLog(L"100%% plain");
    EXPECT_EQ(m_capture.Text(), "[2020-01-02 03:04:05 9] \n[2020-01-02 03:04:05 9] 100% plain\n");
}

using platform::format_check::Accepts;
// Formats are checked against their arguments, in the Windows meaning of the conversions.
static_assert(Accepts<const wchar_t*, int>(L"%s 安装step=%d"));
static_assert(!Accepts<>(L"100% plain"));  // "% p" would read an argument that is not there
static_assert(Accepts<>(L"100%% plain"));
static_assert(!Accepts<const char*>(L"%s") && Accepts<const char*>(L"%hs"));
static_assert(Accepts<const char*>(L"%S") && Accepts<const wchar_t*>(L"%ls"));
static_assert(!Accepts<int>(L"%d %d") && !Accepts<int, int>(L"%d"));
static_assert(!Accepts<long long>(L"%d") && Accepts<long long, unsigned long>(L"%I64d %lu"));
static_assert(Accepts<int, const wchar_t*>(L"%-*s") && Accepts<double>(L"%.2f"));
static_assert(!Accepts<double>(L"%d") && !Accepts<int*>(L"%n") && !Accepts<int>(L"%"));

TEST_F(DebugLogTest, WindowsWidthsOfStringConversions) {
    DebugLog(L"%s|%hs|%S|%c|%5d|%-4s|", L"宽字符", "narrow", "also narrow", L'中', 42, L"ab");
    EXPECT_EQ(m_capture.Text(),
              "[2020-01-02 03:04:05 9] 宽字符|narrow|also narrow|中|   42|ab  |\n");
}

// Linux only: Windows' narrow text is the ANSI code page, never UTF-8 by locale.
#ifndef _WIN32
TEST_F(DebugLogTest, NarrowTextIsUtf8UnderThePlainLocale) {
    DebugLog(L"[%hs]", "\xE5\xAE\x89\xE8\xA3\x85 \xC3\xA9");
    EXPECT_EQ(m_capture.Text(), "[2020-01-02 03:04:05 9] [安装 é]\n");
}
#endif

TEST_F(DebugLogTest, OverlongMessageIsCutSafely) {
    std::wstring reply(10000, L'字');
    DebugLog(L"%s reply=%s", L"CHttpMgr::HttpThreadProc", reply.c_str());
    std::string text = m_capture.Text();
    const std::string prefix = "[2020-01-02 03:04:05 9] ";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix);
    ASSERT_EQ(text.back(), '\n');
    std::string message = text.substr(prefix.size(), text.size() - prefix.size() - 1);
    // 4095 characters: the 31-character head, then 4064 three-byte characters.
    EXPECT_EQ(message.size(), 31u + (4095u - 31u) * 3u);
}

TEST(DebugLogClock, MillisecondsHaveNoLeadingZeros) {
    platform::ScopedDebugCapture capture;
    DebugLog(L"x");
    std::string text = capture.Text();
    ASSERT_GE(text.size(), 24u);
    EXPECT_EQ(text[0], '[');
    size_t close = text.find("] x\n");
    ASSERT_NE(close, std::string::npos);
    std::string ms = text.substr(text.rfind(' ', close) + 1, close - text.rfind(' ', close) - 1);
    EXPECT_FALSE(ms.size() > 1 && ms[0] == '0') << ms;
}

}  // namespace
