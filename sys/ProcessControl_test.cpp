#include "sys/ProcessControl.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"
#include "platform/ProcessTable.h"
#include "platform/Text.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::wstring Quoted(const std::string& path) {
    return L"\"" + platform::Utf8ToWide(path) + L"\"";
}

const std::wstring kChild = Quoted(QI_TEST_CHILD);

TEST(RunAndCapture, CollectsBothStreamsInOrderAsAnsiText) {
    // Output is ANSI text; a character this code page cannot hold would not come back.
    std::wstring text = L"三";
    if (platform::MultiByteToWide(platform::WideToMultiByte(text)) != text)
        text = L"e";
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(
        RunAndCapture(kChild + L" run \"out:one \" \"err:two \" out:" + text, out, code, 60000));
    EXPECT_EQ(out, L"one two " + text);
    EXPECT_EQ(code, 0u);
}

TEST(RunAndCapture, QuietChildAndExitCodes) {
    std::wstring out = L"stale";
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(kChild + L" run", out, code, 60000));
    EXPECT_EQ(out, L"");
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(RunAndCapture(kChild + L" run out:bad\\n exit:3", out, code, 60000));
    EXPECT_EQ(out, L"bad\n");
    EXPECT_EQ(code, 3u);
}

TEST(RunAndCapture, EachReadIsCutAtItsFirstZeroByte) {
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(RunAndCapture(kChild + L" run out:abc\\0def", out, code, 60000));
    EXPECT_EQ(out, L"abc");

    // The child writes each burst only once the one before has been read, so that every
    // burst arrives in a read of its own.
    EXPECT_TRUE(RunAndCapture(kChild + L" bursts abc\\0def ghi \\0jkl mn", out, code, 60000) ||
                code == 3);
    if (code == 3)
        GTEST_SKIP() << "the child cannot see its pipe drained here (Wine reports no quota)";
    EXPECT_EQ(out, L"abcghimn");
    EXPECT_EQ(code, 0u);
}

TEST(RunAndCapture, ChildPastItsLimitIsEndedWithWhatItStarted) {
    qitest::TempDir dir;
    const std::string marker = dir / "grandchild.pid";
    std::wstring out;
    uint32_t code = 0;
    EXPECT_FALSE(RunAndCapture(
        kChild + L" run out:partial\\n spawn:60000:" + Quoted(marker) + L" sleep:60000", out, code,
        500));
    EXPECT_EQ(out, L"time out!");  // output so far is dropped
    EXPECT_EQ(code, 0xFFFFFFFDu);
    const uint32_t grandchild = qitest::WaitForPidFile(marker);
    ASSERT_NE(grandchild, 0u);
    EXPECT_TRUE(qitest::WaitUntilGone(grandchild))
        << "a grandchild kept running after the time-out";
}

TEST(RunAndCapture, GrandchildHoldingThePipeDoesNotHoldTheCall) {
    // The child ends at once; what it left behind keeps the pipe open. The call returns
    // when the child has ended and the pipe is drained, as the original did.
    qitest::TempDir dir;
    const std::string marker = dir / "grandchild.pid";
    std::wstring out;
    uint32_t code = 99;
    EXPECT_TRUE(
        RunAndCapture(kChild + L" run out:hi\\n spawn:3000:" + Quoted(marker), out, code, 20000));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, L"hi\n");
    const uint32_t grandchild = qitest::WaitForPidFile(marker);
    EXPECT_TRUE(grandchild != 0 && qitest::IsRunning(grandchild))
        << "what the child left running was ended with it";
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

TEST(FindProcessByName, ExactNameFirstInTheTable) {
    qitest::TempDir dir;
    qitest::NamedProcesses procs(dir, "QiProbeTool.exe", 2);
    ASSERT_EQ(procs.Pids().size(), 2u);
    uint32_t first = 0;
    for (const platform::ProcessEntry& entry : platform::ListProcesses()) {
        if (first == 0 && (entry.pid == procs.Pids()[0] || entry.pid == procs.Pids()[1]))
            first = entry.pid;
    }
    uint32_t pid = 7;
    EXPECT_FALSE(FindProcessByName(L"qiprobetool.exe", pid));  // case-sensitive
    EXPECT_EQ(pid, 7u);                                        // untouched
    EXPECT_FALSE(FindProcessByName(L"QiProbeTool", pid));
    ASSERT_TRUE(FindProcessByName(L"QiProbeTool.exe", pid));
    EXPECT_EQ(pid, first);
    EXPECT_TRUE(EndProcessByName(L"QiProbeTool.exe"));
    EXPECT_TRUE(qitest::WaitUntilGone(pid));
    uint32_t next = 0;
    ASSERT_TRUE(FindProcessByName(L"QiProbeTool.exe", next));
    EXPECT_NE(next, pid);
    EXPECT_TRUE(EndProcessByName(L"QiProbeTool.exe"));
    EXPECT_FALSE(EndProcessByName(L"QiProbeTool.exe"));
}

#ifndef _WIN32  // Windows runs no scripts as programs
TEST(FindProcessByName, ScriptsAreKnownByTheirOwnName) {
    qitest::TempDir dir;
    std::string wrapper = dir.WriteScript("QiScript.exe", "sleep 60\n");
    platform::ChildProcess child;
    int error = 0;
    ASSERT_TRUE(platform::SpawnProcess(
        platform::SpawnOptions{platform::Utf8ToWide(wrapper), L"", false, false}, child, error));
    uint32_t pid = 0;
    bool found = false;
    for (int i = 0; i < 200 && !found; ++i) {
        found = FindProcessByName(L"QiScript.exe", pid);
        if (!found)
            ::usleep(10000);
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(pid, child.Pid());
}
#endif

TEST(LaunchProcess, StartsDetachedAndReportsFailures) {
    qitest::TempDir dir;
    const std::string marker = dir / "ran";
    EXPECT_TRUE(LaunchProcess(kChild + L" run pid:" + Quoted(marker)));
    EXPECT_NE(qitest::WaitForPidFile(marker), 0u);
#ifndef _WIN32  // Windows has no zombies to reap
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "left a child to reap";
#endif

    platform::ScopedDebugCapture capture;
    EXPECT_FALSE(LaunchProcess(L"\"/no/such/Quillora.exe\""));
    // After the log line of a start as this process's user, where there is no desktop shell.
    EXPECT_TRUE(capture.Text().ends_with("CreateProcess failed. Error: 2")) << capture.Text();
}

TEST(RunAndWait, WaitsAndPassesTheExitCode) {
    qitest::TempDir dir;
    uint32_t code = 0;
    EXPECT_TRUE(RunAndWait(kChild + L" run exit:5", nullptr, code, true));
    EXPECT_EQ(code, 5u);
    const std::wstring child = platform::Utf8ToWide(QI_TEST_CHILD);
    EXPECT_TRUE(RunAndWait(L"ignored-name run exit:0", child.c_str(), code, false));
    EXPECT_EQ(code, 0u);
    platform::ScopedDebugCapture capture;
    const std::wstring missing = platform::Utf8ToWide(dir / "missing.exe");
    EXPECT_FALSE(RunAndWait(L"x", missing.c_str(), code, false));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(capture.Text(), "CreateProcess failed. Error: 2");
}

}  // namespace
