// The file layer's system calls on Windows: the C runtime's descriptors, opened through the
// wide functions so that any Unicode path works, and MoveFileExW for a rename that replaces.
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <windows.h>

namespace platform {
namespace {

int SysOpen(const char* path, int flags, mode_t mode) {
    // Binary always: the layer moves bytes, never text.
    return ::_wopen(WidePath(path).c_str(), flags | _O_BINARY,
                    (mode & 0200) != 0 ? (_S_IREAD | _S_IWRITE) : _S_IREAD);
}

ssize_t SysRead(int fd, void* buffer, size_t size) {
    const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    return ::_read(fd, buffer, chunk);
}

ssize_t SysWrite(int fd, const void* data, size_t size) {
    const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    return ::_write(fd, data, chunk);
}

int SysFsync(int fd) {
    return ::_commit(fd);
}

// Windows files have no mode bits to set: what matters (read-only or not) follows the folder.
int SysFchmod(int fd, mode_t) {
    return ::_get_osfhandle(fd) == -1 ? (errno = EBADF, -1) : 0;
}

int SysFstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

int SysRename(const char* from, const char* to) {
    if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = ErrnoOf(::GetLastError());
    return -1;
}

int SysUnlink(const char* path) {
    return ::_wunlink(WidePath(path).c_str());
}

int SysClose(int fd) {
    return ::_close(fd);
}

const FileSystemCalls s_realCalls{SysOpen,  SysRead,   SysWrite,  SysFsync, SysFchmod,
                                  SysFstat, SysRename, SysUnlink, SysClose};

}  // namespace

std::wstring WidePath(std::string_view path) {
    std::wstring wide = Utf8ToWide(path);
    std::wstring longForm = LongPathForm(wide);
    if (!longForm.empty())
        return longForm;
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    return wide;  // relative: the system resolves it against the current folder
}

const FileSystemCalls& SystemFileCalls() {
    return s_realCalls;
}

// NTFS keeps a rename that MOVEFILE_WRITE_THROUGH returned from; folders need no sync.
int SyncDirectory(const std::string&, const FileSystemCalls&) {
    return 0;
}

unsigned long long TemporaryNameSeed() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^
           static_cast<unsigned long long>(now.QuadPart);
}

bool EntryExists(const std::string& path) {
    return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file held open without sharing, or one that runs: both come back as EACCES.
bool IsInUseError(int error) {
    return error == EACCES || error == EBUSY;
}

bool ExistingMode(const std::string& path, mode_t& mode) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
    return true;
}

}  // namespace platform
