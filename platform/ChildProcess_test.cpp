#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/Text.h"
#include "tests/support/Processes.h"
#include "tests/support/ScopedEnv.h"
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

// The desktop user's start: the child runs, and `note` says when it ran as this process's
// user instead. Windows runs both ways under Wine (with its desktop's shell window, and as
// if there were none); Linux, as root, checks who the child is.
TEST(LaunchAsDesktopUser, StartsTheChildAndSaysWhenItFellBack) {
    qitest::TempDir dir;
    int error = 0;
    std::string note;
    const std::string marker = dir / "ran";
    ASSERT_TRUE(platform::LaunchAsDesktopUser(
        Options(
            kChild + L" run pid:" + platform::QuoteCommandArgument(platform::Utf8ToWide(marker)),
            false),
        error, &note))
        << error;
    EXPECT_NE(qitest::WaitForPidFile(marker), 0u);
#ifdef _WIN32
    EXPECT_EQ(note.empty(), ::GetShellWindow() != nullptr) << note;
    platform::SetNoDesktopShellForTesting(true);
    const std::string second = dir / "ran-without-shell";
    const bool started = platform::LaunchAsDesktopUser(
        Options(
            kChild + L" run pid:" + platform::QuoteCommandArgument(platform::Utf8ToWide(second)),
            false),
        error, &note);
    platform::SetNoDesktopShellForTesting(false);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(note, "no desktop shell: started as this process's user");
    EXPECT_NE(qitest::WaitForPidFile(second), 0u);
#else
    // Without sudo or pkexec: this process's user, nothing to say.
    EXPECT_EQ(note, "");
#endif
    EXPECT_FALSE(
        platform::LaunchAsDesktopUser(Options(L"\"/no/such/Quillora.exe\"", false), error, &note));
    EXPECT_EQ(error, 2);
}

#ifndef _WIN32
TEST(LaunchAsDesktopUser, AsRootForAUserRunsAsThatUserWithTheirEnvironment) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root";
    const passwd* nobody = ::getpwuid(65534);
    ASSERT_NE(nobody, nullptr);
    const std::string home = nobody->pw_dir;
    const std::string expected = "65534 " + std::to_string(nobody->pw_gid) + " " + home + " " +
                                 nobody->pw_name + " /run/user/65534 :7\n";
    qitest::TempDir dir;
    ::chmod(dir.Path().c_str(), 0777);
    qitest::ScopedEnv sudo("SUDO_UID", "65534");
    qitest::ScopedEnv pkexec("PKEXEC_UID", nullptr);
    qitest::ScopedEnv display("DISPLAY", ":7");
    qitest::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    qitest::ScopedEnv secret("QI_ROOT_ONLY", "kept from the user");
    const std::string out = dir / "who";
    int error = 0;
    std::string note;
    ASSERT_TRUE(platform::LaunchAsDesktopUser(
        Options(L"/bin/sh -c \"echo $(id -u) $(id -g) $HOME $USER $XDG_RUNTIME_DIR $DISPLAY"
                L"$QI_ROOT_ONLY > " +
                    platform::Utf8ToWide(out) + L".tmp && mv " + platform::Utf8ToWide(out) +
                    L".tmp " + platform::Utf8ToWide(out) + L"\"",
                false),
        error, &note))
        << error;
    EXPECT_EQ(note, "");
    std::string text;
    for (int i = 0; i < 500 && text.empty(); ++i) {
        text = qitest::TempDir::Read(out);
        if (text.empty())
            ::usleep(10000);
    }
    EXPECT_EQ(text, expected);
}
#endif

}  // namespace
