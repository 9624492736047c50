#include "platform/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/DebugOutput.h"
#include "tests/support/FileFaults.h"
#include "tests/support/TempDir.h"

namespace {

using platform::FileDescriptor;
using platform::ReadWholeFile;
using platform::ReplaceFileAtomically;
using platform::ReplaceOptions;

bool IsOpenDescriptor(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A disk that takes at most three bytes per write and is interrupted on every other call, and
// an interrupted first read of each file.
std::atomic<int> s_calls{0};
const platform::FileSystemCalls& SlowCalls() {
    static const platform::FileSystemCalls s_slow = [] {
        platform::FileSystemCalls calls = platform::RealFileSystemCalls();
        calls.write = [](int fd, const void* data, size_t size) -> ssize_t {
            if (s_calls++ % 2 == 0) {
                errno = EINTR;
                return -1;
            }
            return platform::RealFileSystemCalls().write(fd, data, size < 3 ? size : 3);
        };
        calls.read = [](int fd, void* buffer, size_t size) -> ssize_t {
            if (s_calls++ % 2 == 0) {
                errno = EINTR;
                return -1;
            }
            return platform::RealFileSystemCalls().read(fd, buffer, size < 5 ? size : 5);
        };
        return calls;
    }();
    return s_slow;
}

// Reads fail with EIO after the first piece.
const platform::FileSystemCalls& FailingReads() {
    static const platform::FileSystemCalls s_failing = [] {
        platform::FileSystemCalls calls = platform::RealFileSystemCalls();
        calls.read = [](int fd, void* buffer, size_t) -> ssize_t {
            if (s_calls++ > 0) {
                errno = EIO;
                return -1;
            }
            return platform::RealFileSystemCalls().read(fd, buffer, 4);
        };
        return calls;
    }();
    return s_failing;
}

// Only the folder's sync fails (a file's sync comes first, on a descriptor opened for writing).
const platform::FileSystemCalls& FailingFolderSync() {
    static const platform::FileSystemCalls s_failing = [] {
        platform::FileSystemCalls calls = platform::RealFileSystemCalls();
        calls.fsync = [](int fd) {
            if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY) {
                errno = EIO;
                return -1;
            }
            return platform::RealFileSystemCalls().fsync(fd);
        };
        return calls;
    }();
    return s_failing;
}

struct CallsScope {
    explicit CallsScope(const platform::FileSystemCalls& calls) {
        s_calls = 0;
        platform::SetFileSystemCallsForTest(&calls);
    }
    ~CallsScope() { platform::SetFileSystemCallsForTest(nullptr); }
};

TEST(FileDescriptor, ClosesWhatItOwnsOnceAndHandsItOverOnMove) {
    int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    {
        FileDescriptor a(raw);
        FileDescriptor b(std::move(a));
        EXPECT_FALSE(a.IsOpen());
        EXPECT_EQ(b.Get(), raw);
        FileDescriptor c(other);
        c = std::move(b);  // closes `other`, takes `raw`
        EXPECT_FALSE(IsOpenDescriptor(other));
        EXPECT_TRUE(IsOpenDescriptor(raw));
        EXPECT_EQ(c.Get(), raw);
    }
    EXPECT_FALSE(IsOpenDescriptor(raw));

    FileDescriptor d(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int released = d.Release();
    d = FileDescriptor();
    EXPECT_TRUE(IsOpenDescriptor(released));  // released means the caller's
    ::close(released);
}

TEST(ReadWholeFile, GivesTheWholeFileOrTheError) {
    qitest::TempDir dir;
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); i += 997)
        big[i] = static_cast<char>('a' + i % 26);
    std::string path = dir.Write("big", big);
    std::string data = "stale";
    EXPECT_EQ(ReadWholeFile(path, data), 0);
    EXPECT_EQ(data, big);

    data = "stale";
    EXPECT_EQ(ReadWholeFile(dir / "missing", data), ENOENT);
    EXPECT_EQ(data, "");
    EXPECT_EQ(ReadWholeFile(dir.Path(), data), EISDIR);

    std::string small = dir.Write("small", "0123456789abcdefghij");
    {
        CallsScope failing(FailingReads());
        EXPECT_EQ(ReadWholeFile(small, data), EIO);
        EXPECT_EQ(data, "") << "a read error is not the end of the file";
    }
    {
        CallsScope slow(SlowCalls());
        EXPECT_EQ(ReadWholeFile(small, data), 0);
        EXPECT_EQ(data, "0123456789abcdefghij");
    }
}

TEST(ReplaceFileAtomically, WritesEverythingWithTheRightMode) {
    qitest::TempDir dir;
    mode_t oldMask = ::umask(077);
    std::string fresh = dir / "fresh";
    EXPECT_EQ(ReplaceFileAtomically(fresh, "new"), 0);
    EXPECT_EQ(qitest::TempDir::Read(fresh), "new");
    EXPECT_EQ(ModeOf(fresh), 0644u) << "the umask does not narrow the mode asked for";

    std::string secret = dir.Write("secret", "old");
    ::chmod(secret.c_str(), 0600);
    EXPECT_EQ(ReplaceFileAtomically(secret, "replaced"), 0);
    EXPECT_EQ(ModeOf(secret), 0600u);

    ReplaceOptions launcher;
    launcher.mode = 0755;
    launcher.keepExistingMode = false;
    EXPECT_EQ(ReplaceFileAtomically(secret, "launcher", launcher), 0);
    EXPECT_EQ(ModeOf(secret), 0755u);
    ::umask(oldMask);

    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "line " + std::to_string(i) + "\n";
    {
        CallsScope slow(SlowCalls());
        EXPECT_EQ(ReplaceFileAtomically(fresh, text), 0);
    }
    EXPECT_EQ(qitest::TempDir::Read(fresh), text) << "short and interrupted writes are resumed";
    EXPECT_EQ(qitest::FolderEntries(dir.Path()), (std::set<std::string>{"fresh", "secret"}));

    EXPECT_EQ(ReplaceFileAtomically(dir / "no such folder/file", "x"), ENOENT);
}

// Each step that can fail leaves the old file as it was and no temporary file behind.
TEST(ReplaceFileAtomically, AFailedStepLeavesTheOldFileWhole) {
    qitest::TempDir dir;
    std::string path = dir.Write("file", "the old content\n");
    for (const qitest::FileFault& fault : qitest::AllFileFaults()) {
        SCOPED_TRACE(qitest::Describe(fault));
        platform::ScopedDebugCapture capture;
        qitest::ScopedFileFault injected(fault);
        EXPECT_EQ(ReplaceFileAtomically(path, "the new content\n"), fault.error);
        EXPECT_GT(injected.Hits(), 0);
        EXPECT_EQ(qitest::TempDir::Read(path), "the old content\n");
        EXPECT_EQ(qitest::FolderEntries(dir.Path()), std::set<std::string>{"file"});
        EXPECT_NE(capture.Text().find(path), std::string::npos) << capture.Text();
        EXPECT_NE(capture.Text().find(std::strerror(fault.error)), std::string::npos);
    }
}

// Once the rename is done the new file is in place: a folder that cannot be synced is reported,
// not taken for a failed replace.
TEST(ReplaceFileAtomically, AFolderThatCannotBeSyncedIsLogged) {
    qitest::TempDir dir;
    std::string path = dir.Write("file", "old");
    platform::ScopedDebugCapture capture;
    CallsScope failing(FailingFolderSync());
    EXPECT_EQ(ReplaceFileAtomically(path, "new"), 0);
    EXPECT_EQ(qitest::TempDir::Read(path), "new");
    EXPECT_NE(capture.Text().find("syncing the folder of " + path), std::string::npos)
        << capture.Text();
}

}  // namespace
