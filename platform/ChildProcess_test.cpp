#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

namespace {

using Args = std::vector<std::wstring>;

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

TEST(SpawnProcess, ReportsWhyAProgramCannotStart) {
    qitest::TempDir dir;
    platform::ChildProcess child;
    int error = 0;
    platform::SpawnOptions missing{L"no-such-program-qi --flag", L"", true};
    EXPECT_FALSE(platform::SpawnProcess(missing, child, error));
    EXPECT_EQ(error, 2);

    std::string notExecutable = dir.Write("plain.txt", "data");
    platform::SpawnOptions denied{
        L"\"" + std::wstring(notExecutable.begin(), notExecutable.end()) + L"\"", L"", false};
    EXPECT_FALSE(platform::SpawnProcess(denied, child, error));
    EXPECT_EQ(error, 13);  // permission denied
    EXPECT_FALSE(child.IsValid());
}

TEST(SpawnProcess, ChildLeadsItsOwnGroupAndKillGroupEndsGrandchildren) {
    qitest::TempDir dir;
    std::string marker = dir / "grandchild.pid";
    std::string script =
        dir.WriteScript("spawner.sh", "sleep 60 &\necho $! > " + marker + "\nwait\n");
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess({std::wstring(script.begin(), script.end()), L"", false},
                                       child, error));
    EXPECT_EQ(::getpgid(child.Pid()), child.Pid());
    pid_t grandchild = qitest::WaitForPidFile(marker);
    ASSERT_GT(grandchild, 0);
    child.KillGroup();
    EXPECT_TRUE(child.HasExited());
    EXPECT_EQ(child.ExitCode(), 128u + 9u);
    EXPECT_TRUE(qitest::WaitUntilGone(grandchild));  // reparented, but ended with the group
}

}  // namespace
