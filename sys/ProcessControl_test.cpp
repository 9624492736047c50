#include "sys/ProcessControl.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

namespace {

std::wstring W(const std::string& s) {
    return platform::Utf8ToWide(s);
}
std::wstring Quoted(const std::string& path) {
    return L"\"" + W(path) + L"\"";
}

TEST(RunAndCapture, CollectsBurstsInOrderWithBothStreams) {
    qitest::TempDir dir;
    std::string script = dir.WriteScript(
        "bursts.sh",
        "printf 'one '\nsleep 0.2\nprintf 'two ' >&2\nsleep 0.2\nprintf '三'\nexit 0\n");
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(Quoted(script), out, code, 60000));
    EXPECT_EQ(out, L"one two 三");
    EXPECT_EQ(code, 0u);
}

TEST(RunAndCapture, QuietChildAndExitCodes) {
    std::wstring out = L"stale";
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(L"true", out, code, 60000));
    EXPECT_EQ(out, L"");
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(RunAndCapture(L"sh -c \"echo bad; exit 3\"", out, code, 60000));
    EXPECT_EQ(out, L"bad\n");
    EXPECT_EQ(code, 3u);
}

TEST(RunAndCapture, EachReadIsCutAtItsFirstZeroByte) {
    // The child writes each burst only once the one before has been read, so that every
    // burst arrives in a read of its own.
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(Quoted(QI_TEST_CHILD) + L" bursts abc\\0def ghi \\0jkl mn", out, code,
                              60000));
    EXPECT_EQ(out, L"abcghimn");
    EXPECT_EQ(code, 0u);
}

TEST(RunAndCapture, ChildPastItsLimitIsEndedWithItsGroup) {
    qitest::TempDir dir;
    std::string marker = dir / "grandchild.pid";
    std::string script = dir.WriteScript(
        "slow.sh", "echo partial\nsleep 60 &\necho $! > " + marker + "\nsleep 60\n");
    std::wstring out;
    uint32_t code = 0;
    EXPECT_FALSE(RunAndCapture(Quoted(script), out, code, 500));
    EXPECT_EQ(out, L"time out!");  // output so far is dropped
    EXPECT_EQ(code, 0xFFFFFFFDu);
    pid_t grandchild = qitest::WaitForPidFile(marker);
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(qitest::WaitUntilGone(grandchild))
        << "a grandchild kept running after the time-out";
}

TEST(RunAndCapture, GrandchildHoldingThePipeDoesNotHoldTheCall) {
    // The child ends at once; what it left behind keeps the pipe open. The call returns
    // when the child has ended and the pipe is drained, as the original did.
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(L"sh -c \"echo hi; sleep 3 & exit 0\"", out, code, 20000));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, L"hi\n");
}

TEST(RunAndCapture, MissingProgram) {
    std::wstring out;
    uint32_t code = 0;
    EXPECT_FALSE(RunAndCapture(L"\"/no/such/dir/QuilloraSetup.exe\" /VERYSILENT", out, code, 1000));
    EXPECT_EQ(out, L"CreateProcess error!");
    EXPECT_EQ(code, 2u);
    EXPECT_FALSE(RunAndCapture(L"", out, code, 1000));
    EXPECT_EQ(code, 2u);
}

TEST(RunAndCapture, ArgumentsArriveWhole) {
    qitest::TempDir dir;
    std::string script =
        dir.WriteScript("args.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done\n");
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(Quoted(script) + L" /VERYSILENT /DIR=\"/opt/my dir/安装\"", out, code,
                              60000));
    EXPECT_EQ(out, L"[/VERYSILENT][/DIR=/opt/my dir/安装]");
}

TEST(FindProcessByName, ExactNameFirstInTheTable) {
    qitest::TempDir dir;
    qitest::NamedProcesses procs(dir, "QiProbeTool.exe", 2);
    ASSERT_EQ(procs.Pids().size(), 2u);
    pid_t pid = -7;
    EXPECT_FALSE(FindProcessByName(L"qiprobetool.exe", pid));  // case-sensitive
    EXPECT_EQ(pid, -7);                                        // untouched
    EXPECT_FALSE(FindProcessByName(L"QiProbeTool", pid));
    ASSERT_TRUE(FindProcessByName(L"QiProbeTool.exe", pid));
    EXPECT_EQ(pid, std::min(procs.Pids()[0], procs.Pids()[1]));
    EXPECT_TRUE(EndProcessByName(L"QiProbeTool.exe"));
    EXPECT_TRUE(qitest::WaitUntilGone(pid));
    pid_t next = 0;
    ASSERT_TRUE(FindProcessByName(L"QiProbeTool.exe", next));
    EXPECT_NE(next, pid);
    EXPECT_TRUE(EndProcessByName(L"QiProbeTool.exe"));
    EXPECT_FALSE(EndProcessByName(L"QiProbeTool.exe"));
}

TEST(FindProcessByName, ScriptsAreKnownByTheirOwnName) {
    qitest::TempDir dir;
    std::string wrapper = dir.WriteScript("QiScript.exe", "sleep 60\n");
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess({W(wrapper), L"", false}, child, error));
    pid_t pid = 0;
    bool found = false;
    for (int i = 0; i < 200 && !found; ++i) {
        found = FindProcessByName(L"QiScript.exe", pid);
        if (!found)
            ::usleep(10000);
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(pid, child.Pid());
}

TEST(LaunchProcess, StartsDetachedAndReportsFailures) {
    qitest::TempDir dir;
    std::string marker = dir / "ran";
    std::string script = dir.WriteScript("product.sh", "echo $$ > " + marker + "\n");
    EXPECT_TRUE(LaunchProcess(Quoted(script)));
    EXPECT_GT(qitest::WaitForPidFile(marker), 0);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "left a child to reap";

    platform::ScopedDebugCapture capture;
    EXPECT_FALSE(LaunchProcess(L"\"/no/such/Quillora.exe\""));
    EXPECT_EQ(capture.Text(), "CreateProcess failed. Error: 2");
}

TEST(RunAndWait, WaitsAndPassesTheExitCode) {
    uint32_t code = 0;
    EXPECT_TRUE(RunAndWait(L"sh -c \"exit 5\"", nullptr, code, true));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(RunAndWait(L"ignored-name -c \"exit 0\"", L"/bin/sh", code, false));
    EXPECT_EQ(code, 0u);
    platform::ScopedDebugCapture capture;
    EXPECT_FALSE(RunAndWait(L"x", L"/no/such/program", code, false));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(capture.Text(), "CreateProcess failed. Error: 2");
}

}  // namespace
