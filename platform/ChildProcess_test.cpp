#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/Text.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::wstring>;

const std::wstring kChild = L"\"" + platform::Utf8ToWide(QI_TEST_CHILD) + L"\"";

platform::SpawnOptions Options(std::wstring commandLine, bool captureOutput) {
    platform::SpawnOptions options;
    options.commandLine = std::move(commandLine);
    options.captureOutput = captureOutput;
    return options;
}

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    EXPECT_EQ(platform::SplitCommandLine(L"a\tb  c "), (Args{L"a", L"b", L"c"}));
    EXPECT_EQ(platform::SplitCommandLine(L"\"/dir with blanks/setup.exe\" /DIR=\"C:/x y\""),
              (Args{L"/dir with blanks/setup.exe", L"/DIR=C:/x y"}));
    EXPECT_EQ(platform::SplitCommandLine(LR"(x a\\\"b c\\"d e" f\\g)"),
              (Args{L"x", LR"(a\"b)", LR"(c\d e)", LR"(f\\g)"}));
    EXPECT_EQ(platform::SplitCommandLine(LR"(x "a""b" "")"), (Args{L"x", LR"(a"b)", L""}));
    EXPECT_EQ(platform::SplitCommandLine(L""), Args{});
    EXPECT_EQ(platform::SplitCommandLine(L"\"unterminated arg"), (Args{L"unterminated arg"}));
}

TEST(SplitCommandLine, TheProgramNameHasItsOwnRules) {
    // Backslashes stay literal, also before the closing quote; the name ends at that quote.
    EXPECT_EQ(platform::SplitCommandLine(LR"("C:\dir\" /S)"), (Args{LR"(C:\dir\)", L"/S"}));
    EXPECT_EQ(platform::SplitCommandLine(LR"("a b"c d)"), (Args{L"a b", L"c", L"d"}));
    EXPECT_EQ(platform::SplitCommandLine(LR"(a\"b c)"), (Args{LR"(a\"b)", L"c"}));
    EXPECT_EQ(platform::SplitCommandLine(LR"(a"b c" d)"), (Args{LR"(a"b)", L"c d"}));
    EXPECT_EQ(platform::SplitCommandLine(L"  a b"), (Args{L"", L"a", L"b"}));
}

// Whatever the argument holds, both quoted forms split back into exactly it.
TEST(SplitCommandLine, QuotedArgumentsSplitBackWhole) {
    for (const std::wstring arg :
         {L"plain", L"with blanks", L"x\"y", L"tail\\", L"a\\\"b", L"", L"\\\\server\\share\\",
          L"/dir with blanks/net4.exe", L"t\tab"}) {
        for (const std::wstring& form :
             {platform::QuoteCommandArgument(arg), platform::CommandLineArgument(arg)}) {
            const Args argv = platform::SplitCommandLine(L"prog " + form + L" next");
            ASSERT_EQ(argv.size(), 3u) << platform::WideToUtf8(form);
            EXPECT_EQ(argv[1], arg);
            EXPECT_EQ(argv[2], L"next");
        }
    }
    EXPECT_EQ(platform::CommandLineArgument(L"/S"), L"/S");
    EXPECT_TRUE(platform::MayStandQuoted(L"C:\\Program Files\\质量 (x86)"));
    for (const wchar_t* bad : {L"a\"b", L"a\nb", L"a\x7F",
                               L"a\x85"
                               L"b",
                               L"a\x9F"})
        EXPECT_FALSE(platform::MayStandQuoted(bad)) << platform::WideToUtf8(bad);
}

// Everything the child writes until it ends, read for at most a minute.
std::string CollectOutput(platform::ChildProcess& child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::string out;
    std::vector<char> buffer(1 << 16);
    while (std::chrono::steady_clock::now() < deadline) {
        const bool ended = child.WaitForOutputOrExit(100);
        int64_t n;
        while ((n = child.ReadOutput(buffer.data(), buffer.size())) > 0)
            out.append(buffer.data(), static_cast<size_t>(n));
        if (ended && child.PendingOutput() == 0)
            break;
    }
    return out;
}

// On Windows the child's C runtime splits the line; on Linux SplitCommandLine does. The
// lines avoid what runtimes read differently ("" inside quotes, quotes in the program name).
TEST(SpawnProcess, TheChildGetsTheArgumentsSplitCommandLineReads) {
    const std::wstring lines[] = {
        L" /VERYSILENT /DIR=\"C:/my dir/安装\" /LOG",
        LR"( a\\\"b c\\"d e" f\\g "" "x \"y\"")",
        L"\t  spaced\targs  ",
    };
    for (const std::wstring& args : lines) {
        const std::wstring line = kChild + L" args" + args;
        platform::ChildProcess child;
        int error = 0;
        ASSERT_TRUE(platform::SpawnProcess(Options(line, true), child, error)) << error;
        std::string expected;
        Args words = platform::SplitCommandLine(line);
        for (size_t i = 2; i < words.size(); ++i)
            expected += "[" + platform::WideToUtf8(words[i]) + "]";
        EXPECT_EQ(CollectOutput(child), expected) << platform::WideToUtf8(line);
        EXPECT_EQ(child.ExitCode(), 0u);
    }
}

TEST(SpawnProcess, CapturesBothStreamsByteForByte) {
    // Zero bytes, and far more than any pipe holds, through standard output and error.
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess(
        Options(kChild + L" run out:a\\0b err:c fill:3000000 err:end exit:7", true), child, error));
    std::string expected("a\0bc", 4);
    for (size_t i = 0; i < 3000000; ++i)
        expected.push_back(static_cast<char>(i % 251));
    expected += "end";
    const std::string out = CollectOutput(child);
    EXPECT_EQ(out.size(), expected.size());
    EXPECT_TRUE(out == expected);
    EXPECT_EQ(child.ExitCode(), 7u);
}

TEST(SpawnProcess, NoOtherHandleReachesTheChild) {
    qitest::TempDir dir;
    const std::string held = dir.Write("held.txt", "x");
#ifdef _WIN32  // the C runtime opens files in inheritable handles
    const int fd = ::_open(held.c_str(), _O_RDONLY);
    const intptr_t handle = ::_get_osfhandle(fd);
#else  // without O_CLOEXEC a descriptor stays open across exec
    const int fd = ::open(held.c_str(), O_RDONLY);
    const intptr_t handle = fd;
#endif
    ASSERT_GE(fd, 0);
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess(
        Options(kChild + L" run held:" + std::to_wstring(handle), true), child, error));
    EXPECT_EQ(CollectOutput(child), "");
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
}

TEST(SpawnProcess, ReportsWhyAProgramCannotStart) {
    qitest::TempDir dir;
    platform::ChildProcess child;
    int error = 0;
    EXPECT_FALSE(
        platform::SpawnProcess(Options(L"no-such-program-qi --flag", false), child, error));
    EXPECT_EQ(error, 2);
    EXPECT_FALSE(platform::SpawnProcess(Options(L"  ", false), child, error));
    EXPECT_EQ(error, 2);

    const std::wstring plain = platform::Utf8ToWide(dir.Write("plain.txt", "data"));
    EXPECT_FALSE(platform::SpawnProcess(Options(L"\"" + plain + L"\"", false), child, error));
#ifdef _WIN32
    EXPECT_EQ(error, 193);  // not a program: Windows names the bad format
#else
    EXPECT_EQ(error, 13);  // not a program: Linux only sees that it may not run it
#endif
    EXPECT_FALSE(child.IsValid());
}

TEST(SpawnProcess, KillGroupEndsTheChildAndWhatItStarted) {
    qitest::TempDir dir;
    const std::string marker = dir / "grandchild.pid";
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess(
        Options(kChild + L" run spawn:60000:\"" + platform::Utf8ToWide(marker) + L"\" sleep:60000",
                false),
        child, error));
    const uint32_t grandchild = qitest::WaitForPidFile(marker);
    ASSERT_NE(grandchild, 0u);
    EXPECT_FALSE(child.WaitForExit(0));
    EXPECT_EQ(child.ExitCode(), platform::kStillActive);
    child.KillGroup();
    EXPECT_TRUE(child.HasExited());
    EXPECT_EQ(child.ExitCode(), platform::kExitCodeKilled);
    EXPECT_TRUE(qitest::WaitUntilGone(grandchild));
}

}  // namespace
