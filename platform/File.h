#pragma once
// Files: an owner for file descriptors, whole-file reads and atomic replacement.
//
// Every writer of a file that people or other processes read (the registry hives, INI files,
// desktop entries) replaces it with ReplaceFileAtomically, so a reader always sees either the
// old file or the new one, never a part, and a failure leaves the old file as it was.
//
// The system calls made here go through one table that a test can replace to make any of them
// fail (SetFileSystemCallsForTest).

#include <sys/stat.h>
#include <sys/types.h>

#include <fcntl.h>

#include <cstdio>

#include <string>
#include <string_view>

#include "platform/Path.h"

#ifdef _WIN32
// Flags Windows' C runtime does not know: no links to refuse, folders are never opened as
// files, and O_CLOEXEC is the runtime's no-inherit flag.
#define O_NOFOLLOW 0
#define O_DIRECTORY 0
#define O_CLOEXEC _O_NOINHERIT
#endif

namespace platform {

// Owns one file descriptor and closes it when destroyed. Move-only.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Gives up ownership: the caller closes what is returned.
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor; 0 or the errno of close. The descriptor is released either way
    // (an interrupted close is not retried: on Linux the descriptor is already gone).
    int Close();

private:
    int m_fd = -1;
};

// Opens `path` (flags as for open(2); O_CLOEXEC is always added), retrying when interrupted.
// On failure the result is not open and `error` holds the errno.
FileDescriptor OpenFile(const std::string& path, int flags, mode_t mode, int& error);

// Reads the whole regular file at `path` into `data`. Returns 0, or the errno of what failed:
// ENOENT when the file is missing, EISDIR when it is not a regular file. A read error is never
// taken for the end of the file; on any error `data` is empty. `st`, when given, receives the
// status of the file that was read, taken after the read.
int ReadWholeFile(const std::string& path, std::string& data, struct stat* st = nullptr);

// Reads what is there, up to `size` bytes, retrying when interrupted: the count, 0 at the
// end, or -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, size_t size);

// Writes all of `data` to `fd`, retrying after interruptions and short writes; 0 or the errno.
int WriteAll(int fd, std::string_view data);

struct ReplaceOptions {
    mode_t mode = 0644;            // permissions of the new file
    bool keepExistingMode = true;  // a file that is replaced keeps its own permissions instead
};

// Replaces the file at `path` with `data`: a temporary file is created in the same folder
// (exclusively, never through a link), written, synced and renamed over `path`, and then the
// folder is synced. Returns 0, or the errno of the step that failed; then the temporary file is
// gone and `path` is as it was. When only the folder's sync fails, the new file is in place: the
// failure is logged and the result is 0.
int ReplaceFileAtomically(const std::string& path, std::string_view data,
                          const ReplaceOptions& options = {});

// Renames `from` to `to`, replacing what stands there; 0 or the errno (see IsInUseError).
int RenameFile(const std::string& from, const std::string& to);
// Removes the file (or link) `path`; 0 or the errno.
int RemoveFile(const std::string& path);
// True when something stands under the name: a file, a folder, a dangling link too.
bool EntryExists(const std::string& path);
// True for the errors of a file that another program holds open or runs (Windows refuses to
// replace such a file; Linux refuses to write a running program): worth waiting out.
bool IsInUseError(int error);
// A stdio stream over an open descriptor, taking it over; null (and the descriptor closed)
// when that fails.
FILE* StreamFromDescriptor(FileDescriptor fd, const char* mode);
// Empties the file behind a stream and goes back to its start; false on failure.
bool TruncateStream(FILE* file);

// The folder part of `path` ("." when it has none, "/" for a file in the root).
std::string DirectoryOf(const std::string& path);

#ifdef _WIN32
// The form of a narrow path (UTF-8 on Windows) for the system's wide functions: an absolute
// path in its long form (FileSystem.h: LongPathForm), any other with `\` for `/`; neither the
// ANSI code page nor MAX_PATH limits it.
std::wstring WidePath(std::string_view path);
#endif

// The system calls the functions above make. A test installs a table of its own to make a call
// fail; everything else uses the real calls.
struct FileSystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*fstat)(int fd, struct stat* st);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*close)(int fd);
};

// The table that calls the system.
const FileSystemCalls& RealFileSystemCalls();

// Test hook: every thread uses `calls` from now on (null: the real calls again). The table must
// stay valid until it is replaced.
void SetFileSystemCallsForTest(const FileSystemCalls* calls);

}  // namespace platform
