#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/DebugOutput.h"
#include "platform/Text.h"

namespace platform {

// The system's part (File_posix.cpp, File_win.cpp).
const FileSystemCalls& SystemFileCalls();
// Syncs the folder `dir` through `calls` so that a rename in it survives a crash; 0 or the
// errno (EINVAL where the file system cannot sync folders).
int SyncDirectory(const std::string& dir, const FileSystemCalls& calls);
// A number that differs between processes and calls, for temporary names.
unsigned long long TemporaryNameSeed();
// True when `path` names something, link or not (for the mode a replaced file keeps).
bool ExistingMode(const std::string& path, mode_t& mode);

namespace {

std::atomic<const FileSystemCalls*> s_calls{&SystemFileCalls()};

const FileSystemCalls& Sys() {
    return *s_calls.load(std::memory_order_acquire);
}

void LogFailure(const char* what, const std::string& path, int error) {
    std::string line =
        "File: " + std::string(what) + " " + path + " failed: " + std::strerror(error) + "\n";
    OutputDebugStringW(Utf8ToWide(line).c_str());
}

// A name for the temporary file beside `path` that no other writer picks: hidden, so that a
// folder watched by a desktop or a menu never shows it.
std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> s_counter{0};
    std::string dir = DirectoryOf(path);
    size_t slash = path.find_last_of(kPathSeparators);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    unsigned long long mix =
        TemporaryNameSeed() ^ (static_cast<unsigned long long>(s_counter.fetch_add(1)) << 20);
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
    std::string suffix;
    for (int i = 0; i < 8; ++i, mix >>= 5)
        suffix.push_back(kDigits[mix & 31]);
    return (dir == "." && slash == std::string::npos ? std::string() : dir + "/") + "." + base +
           "." + suffix;
}

// Creates the temporary file for `path`; its name goes to `tmpPath`.
FileDescriptor CreateTemporary(const std::string& path, std::string& tmpPath, int& error) {
    constexpr int kAttempts = 64;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        tmpPath = TemporaryNameFor(path);
        FileDescriptor fd =
            OpenFile(tmpPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600, error);
        if (fd.IsOpen() || error != EEXIST)
            return fd;
    }
    return FileDescriptor();
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.Release();
    }
    return *this;
}

int FileDescriptor::Close() {
    if (m_fd < 0)
        return 0;
    int fd = Release();
    if (Sys().close(fd) != 0 && errno != EINTR)
        return errno;
    return 0;
}

FileDescriptor OpenFile(const std::string& path, int flags, mode_t mode, int& error) {
    error = 0;
    for (;;) {
        int fd = Sys().open(path.c_str(), flags | O_CLOEXEC, mode);
        if (fd >= 0)
            return FileDescriptor(fd);
        if (errno != EINTR) {
            error = errno;
            return FileDescriptor();
        }
    }
}

int ReadWholeFile(const std::string& path, std::string& data, struct stat* st) {
    data.clear();
    int error = 0;
    FileDescriptor fd = OpenFile(path, O_RDONLY, 0, error);
    if (!fd.IsOpen())
        return error;
    struct stat before {};
    if (Sys().fstat(fd.Get(), &before) != 0)
        return errno;
    if (!S_ISREG(before.st_mode))
        return EISDIR;
    if (before.st_size > 0)
        data.reserve(static_cast<size_t>(before.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = Sys().read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            data.clear();
            return error;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    if (st != nullptr && Sys().fstat(fd.Get(), st) != 0) {
        error = errno;
        data.clear();
        return error;
    }
    return 0;
}

ssize_t ReadSome(int fd, void* buffer, size_t size) {
    for (;;) {
        const ssize_t n = Sys().read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = Sys().write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;  // a regular file that takes nothing will not take the rest either
        data.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int ReplaceFileAtomically(const std::string& path, std::string_view data,
                          const ReplaceOptions& options) {
    mode_t mode = options.mode;
    mode_t existing = 0;
    if (options.keepExistingMode && ExistingMode(path, existing))
        mode = existing;

    std::string tmpPath;
    int error = 0;
    FileDescriptor fd = CreateTemporary(path, tmpPath, error);
    if (!fd.IsOpen()) {
        LogFailure("creating a temporary file for", path, error);
        return error;
    }
    auto fail = [&](const char* step, int stepError) {
        fd.Close();
        Sys().unlink(tmpPath.c_str());
        LogFailure(step, path, stepError);
        return stepError;
    };
    // Set explicitly: the mode given to open would be narrowed by the umask.
    if (Sys().fchmod(fd.Get(), mode) != 0)
        return fail("setting the mode of", errno);
    if (int writeError = WriteAll(fd.Get(), data))
        return fail("writing", writeError);
    if (Sys().fsync(fd.Get()) != 0)
        return fail("syncing", errno);
    if (int closeError = fd.Close())
        return fail("closing", closeError);
    if (Sys().rename(tmpPath.c_str(), path.c_str()) != 0)
        return fail("renaming over", errno);
    // The new file is in place whatever follows. A file system that cannot sync folders says
    // EINVAL; nothing to report then.
    if (int syncError = SyncDirectory(DirectoryOf(path), Sys());
        syncError != 0 && syncError != EINVAL)
        LogFailure("syncing the folder of", path, syncError);
    return 0;
}

int RenameFile(const std::string& from, const std::string& to) {
    return Sys().rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) {
    return Sys().unlink(path.c_str()) == 0 ? 0 : errno;
}

FILE* StreamFromDescriptor(FileDescriptor fd, const char* mode) {
    if (!fd.IsOpen())
        return nullptr;
    FILE* stream = ::fdopen(fd.Get(), mode);
    if (stream != nullptr)
        fd.Release();  // the stream owns it now
    return stream;
}

bool TruncateStream(FILE* file) {
    return std::fflush(file) == 0 && ::ftruncate(::fileno(file), 0) == 0 &&
           std::fseek(file, 0, SEEK_SET) == 0;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

const FileSystemCalls& RealFileSystemCalls() {
    return SystemFileCalls();
}

void SetFileSystemCallsForTest(const FileSystemCalls* calls) {
    s_calls.store(calls != nullptr ? calls : &SystemFileCalls(), std::memory_order_release);
}

}  // namespace platform
