#include "platform/ProcessTable.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/File.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ProcessHandle, TerminateEndsAndWaits) {
    qitest::TempDir dir;
    qitest::NamedProcesses procs(dir, "QiEnd.exe", 1);
    ASSERT_EQ(procs.Pids().size(), 1u);
    platform::ProcessHandle handle;
    ASSERT_TRUE(platform::OpenProcessByName(L"QiEnd.exe", handle));
    EXPECT_EQ(handle.Pid(), procs.Pids()[0]);
    platform::ProcessHandle moved = std::move(handle);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_FALSE(handle.Terminate());
    EXPECT_TRUE(moved.Terminate());
    EXPECT_FALSE(qitest::IsRunning(procs.Pids()[0]));  // waited for: gone from the table
    EXPECT_FALSE(platform::OpenProcessByName(L"QiEnd.exe", handle));
    EXPECT_FALSE(handle.IsValid());
}

#ifndef _WIN32  // only Linux lets a test choose the id of the next process

// A process started under `name` with the id `wanted` (the kernel hands out the id after
// ns_last_pid), or 0 when this machine does not let us choose or another process took it.
uint32_t StartWithId(qitest::TempDir& dir, const std::string& name, uint32_t wanted,
                     std::unique_ptr<qitest::NamedProcesses>& owner) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        {
            std::ofstream last("/proc/sys/kernel/ns_last_pid");
            if (!(last << wanted - 1).flush())
                return 0;
        }
        auto procs =
            std::make_unique<qitest::NamedProcesses>(dir, name + std::to_string(attempt), 1);
        if (!procs->Pids().empty() && procs->Pids()[0] == wanted) {
            owner = std::move(procs);
            return wanted;
        }
    }
    return 0;
}

// Ends and reaps the one process of `procs`, leaving its id free for reuse.
void EndAndReap(std::unique_ptr<qitest::NamedProcesses>& procs) {
    procs.reset();
}

TEST(OpenProcessByName, IdReusedBetweenScanAndOpeningIsNotTaken) {
    qitest::TempDir dir;
    auto product = std::make_unique<qitest::NamedProcesses>(dir, "QiStale.exe", 1);
    ASSERT_EQ(product->Pids().size(), 1u);
    uint32_t stale = product->Pids()[0];
    std::unique_ptr<qitest::NamedProcesses> bystander;
    platform::SetProcessScanHookForTest([&] {
        EndAndReap(product);
        StartWithId(dir, "QiBystander", stale, bystander);
    });
    platform::ProcessHandle handle;
    bool found = platform::OpenProcessByName(L"QiStale.exe", handle);
    platform::SetProcessScanHookForTest(nullptr);
    if (!bystander)
        GTEST_SKIP() << "cannot choose process ids here";
    EXPECT_FALSE(found);
    EXPECT_TRUE(qitest::IsRunning(stale));
}

TEST(ProcessHandle, EndsOnlyTheProcessItOpened) {
    qitest::TempDir dir;
    auto product = std::make_unique<qitest::NamedProcesses>(dir, "QiHeld.exe", 1);
    ASSERT_EQ(product->Pids().size(), 1u);
    uint32_t pid = product->Pids()[0];
    platform::ProcessHandle handle;
    ASSERT_TRUE(platform::OpenProcessByName(L"QiHeld.exe", handle));
    EXPECT_EQ(handle.Pid(), pid);

    // The process ends and its id goes to another one before the handle is used.
    EndAndReap(product);
    std::unique_ptr<qitest::NamedProcesses> bystander;
    if (StartWithId(dir, "QiBystander", pid, bystander) == 0)
        GTEST_SKIP() << "cannot choose process ids here";
    EXPECT_FALSE(handle.Terminate());
    EXPECT_TRUE(qitest::IsRunning(pid));

    platform::ProcessHandle none;
    EXPECT_FALSE(platform::OpenProcessByName(L"QiHeld.exe", none));
    EXPECT_FALSE(none.Terminate());
}

#endif

}  // namespace

#ifndef _WIN32  // /proc and its reads are Linux's
// A process that ends while its /proc files are read makes the read fail with ESRCH; the scan
// goes on and still names the processes by their executables.
TEST(ListProcesses, ReadsThatFailAsTheProcessEndsAreNotFatal) {
    static const platform::FileSystemCalls s_failingReads = [] {
        platform::FileSystemCalls calls = platform::RealFileSystemCalls();
        calls.read = [](int, void*, size_t) -> ssize_t {
            errno = ESRCH;
            return -1;
        };
        return calls;
    }();
    platform::SetFileSystemCallsForTest(&s_failingReads);
    std::vector<platform::ProcessEntry> entries;
    EXPECT_NO_THROW(entries = platform::ListProcesses());
    platform::SetFileSystemCallsForTest(nullptr);

    bool self = false;
    for (const auto& e : entries)
        self = self || (e.pid == static_cast<uint32_t>(::getpid()) && !e.exeName.empty());
    EXPECT_TRUE(self) << "this test process is missing from the scan";
}
#endif
