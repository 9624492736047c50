#pragma once
// Makes one step of the file layer's writes (or its reads) fail, so that a test can check what a
// writer leaves behind when the disk is full or failing.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/File.h"

namespace qitest {

enum class FileStep { CreateTemporary, Write, Sync, Rename };

struct FileFault {
    FileStep step;
    int error;
};

// Each step on a full disk (ENOSPC) and on a failing one (EIO).
inline std::vector<FileFault> AllFileFaults() {
    std::vector<FileFault> faults;
    for (FileStep step :
         {FileStep::CreateTemporary, FileStep::Write, FileStep::Sync, FileStep::Rename}) {
        for (int error : {ENOSPC, EIO})
            faults.push_back(FileFault{step, error});
    }
    return faults;
}

// "Write: No space left on device", for a test's trace.
inline std::string Describe(const FileFault& fault) {
    static const char* const kSteps[] = {"CreateTemporary", "Write", "Sync", "Rename"};
    return std::string(kSteps[static_cast<int>(fault.step)]) + ": " + std::strerror(fault.error);
}

// While it lives, every call of the file layer that makes the fault's step fails with its error
// (creating a temporary file is an exclusive open). One at a time.
class ScopedFileFault {
public:
    explicit ScopedFileFault(const FileFault& fault) {
        s_step.store(fault.step);
        s_error.store(fault.error);
        s_hits.store(0);
        static const platform::FileSystemCalls s_faulty = [] {
            platform::FileSystemCalls calls = platform::RealFileSystemCalls();
            calls.open = [](const char* path, int flags, mode_t mode) {
                if ((flags & O_EXCL) != 0 && Fails(FileStep::CreateTemporary))
                    return -1;
                return platform::RealFileSystemCalls().open(path, flags, mode);
            };
            calls.write = [](int fd, const void* data, size_t size) -> ssize_t {
                if (Fails(FileStep::Write))
                    return -1;
                return platform::RealFileSystemCalls().write(fd, data, size);
            };
            calls.fsync = [](int fd) {
                if (Fails(FileStep::Sync))
                    return -1;
                return platform::RealFileSystemCalls().fsync(fd);
            };
            calls.rename = [](const char* from, const char* to) {
                if (Fails(FileStep::Rename))
                    return -1;
                return platform::RealFileSystemCalls().rename(from, to);
            };
            return calls;
        }();
        platform::SetFileSystemCallsForTest(&s_faulty);
    }
    ~ScopedFileFault() { platform::SetFileSystemCallsForTest(nullptr); }
    ScopedFileFault(const ScopedFileFault&) = delete;
    ScopedFileFault& operator=(const ScopedFileFault&) = delete;

    // How many calls were made to fail.
    int Hits() const { return s_hits.load(); }

private:
    static bool Fails(FileStep step) {
        if (s_step.load() != step)
            return false;
        ++s_hits;
        errno = s_error.load();
        return true;
    }

    static inline std::atomic<FileStep> s_step{FileStep::Write};
    static inline std::atomic<int> s_error{0};
    static inline std::atomic<int> s_hits{0};
};

// While it lives, reads through the file layer deliver `afterBytes` bytes in all and then
// fail with `error`: a disk that fails in the middle of a file. One at a time.
class ScopedReadFault {
public:
    ScopedReadFault(size_t afterBytes, int error) {
        s_left.store(afterBytes);
        s_error.store(error);
        static const platform::FileSystemCalls s_faulty = [] {
            platform::FileSystemCalls calls = platform::RealFileSystemCalls();
            calls.read = [](int fd, void* buffer, size_t size) -> ssize_t {
                const size_t left = s_left.load();
                if (left == 0) {
                    errno = s_error.load();
                    return -1;
                }
                const ssize_t n =
                    platform::RealFileSystemCalls().read(fd, buffer, size < left ? size : left);
                if (n > 0)
                    s_left -= static_cast<size_t>(n);
                return n;
            };
            return calls;
        }();
        platform::SetFileSystemCallsForTest(&s_faulty);
    }
    ~ScopedReadFault() { platform::SetFileSystemCallsForTest(nullptr); }
    ScopedReadFault(const ScopedReadFault&) = delete;
    ScopedReadFault& operator=(const ScopedReadFault&) = delete;

private:
    static inline std::atomic<size_t> s_left{0};
    static inline std::atomic<int> s_error{0};
};

// The names in a folder ("." and ".." left out): what a failed write must not add to.
inline std::set<std::string> FolderEntries(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        ::closedir(d);
    }
    return names;
}

}  // namespace qitest
