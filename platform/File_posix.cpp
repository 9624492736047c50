// The file layer's system calls on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/File.h"

namespace platform {
namespace {

int SysOpen(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

const FileSystemCalls s_realCalls{SysOpen, ::read,   ::write,  ::fsync, ::fchmod,
                                  ::fstat, ::rename, ::unlink, ::close};

}  // namespace

const FileSystemCalls& SystemFileCalls() {
    return s_realCalls;
}

int SyncDirectory(const std::string& dir, const FileSystemCalls& calls) {
    int error = 0;
    FileDescriptor fd = OpenFile(dir, O_RDONLY | O_DIRECTORY, 0, error);
    if (!fd.IsOpen())
        return error;
    if (calls.fsync(fd.Get()) != 0)
        return errno;
    return fd.Close();
}

unsigned long long TemporaryNameSeed() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<unsigned long long>(::getpid()) << 32) ^
           static_cast<unsigned long long>(now.tv_nsec);
}

bool EntryExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool IsInUseError(int error) {
    return error == EBUSY || error == ETXTBSY;
}

bool ExistingMode(const std::string& path, mode_t& mode) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0)
        return false;
    mode = existing.st_mode & 07777;
    return true;
}

}  // namespace platform
