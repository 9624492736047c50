// Files and folders through the POSIX calls, with paths in the locale's encoding.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace platform {
namespace {

std::string Narrow(const std::wstring& path) {
    return PathToNarrow(path);
}

// Removes the entries of the open folder `dirFd` and then the folder itself (`name` in
// `parentFd`). Works on descriptors so that a folder swapped for a link midway is not followed.
bool DeleteTreeAt(int parentFd, const char* name, int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return false;
    }
    std::vector<std::string> entries;
    while (dirent* e = ::readdir(dir)) {
        std::string entry = e->d_name;
        if (entry != "." && entry != "..")
            entries.push_back(std::move(entry));
    }
    bool ok = true;
    int fd = ::dirfd(dir);
    for (const std::string& entry : entries) {
        struct stat st {};
        if (::fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            int child =
                ::openat(fd, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0 || !DeleteTreeAt(fd, entry.c_str(), child))
                ok = false;
        } else if (::unlinkat(fd, entry.c_str(), 0) != 0) {
            ok = false;
        }
    }
    ::closedir(dir);
    if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0)
        ok = false;
    return ok;
}

}  // namespace

bool IsAbsolutePath(std::wstring_view path) {
    return !path.empty() && path[0] == L'/';
}

std::wstring LongPathForm(std::wstring_view path) {
    return IsAbsolutePath(path) ? std::wstring(path) : std::wstring();
}

bool PathExists(const std::wstring& path) {
    return !path.empty() && ::access(Narrow(path).c_str(), F_OK) == 0;
}

bool RenamePath(const std::wstring& from, const std::wstring& to) {
    return !from.empty() && !to.empty() && ::rename(Narrow(from).c_str(), Narrow(to).c_str()) == 0;
}

bool RemovePath(const std::wstring& path) {
    return !path.empty() && ::remove(Narrow(path).c_str()) == 0;
}

bool MakeDirectory(const std::wstring& path) {
    return !path.empty() && ::mkdir(Narrow(path).c_str(), 0755) == 0;
}

bool IsDirectoryPath(const std::wstring& path) {
    struct stat st {};
    return !path.empty() && ::stat(Narrow(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FILE* OpenFileStream(const std::wstring& path, const std::wstring& mode) {
    if (path.empty() || mode.empty())
        return nullptr;
    return std::fopen(Narrow(path).c_str(), WideToUtf8(mode).c_str());
}

bool GetFileSizeOf(const std::wstring& path, uint64_t& size) {
    if (path.empty())
        return false;
    int fd = ::open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    if (ok) {
        // What reading would find: a device or pipe has no size to speak of.
        off_t end = ::lseek(fd, 0, SEEK_END);
        ok = end >= 0;
        size = ok ? static_cast<uint64_t>(end) : 0;
    }
    ::close(fd);
    return ok;
}

bool DeleteTree(const std::wstring& path) {
    std::string p = Narrow(path);
    if (p.empty())
        return false;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlink(p.c_str());  // a file, or a link: removed, not followed
        return false;
    }
    return DeleteTreeAt(AT_FDCWD, p.c_str(), fd);
}

bool MakeOwnerExecutable(const std::wstring& path) {
    std::string p = Narrow(path);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return (st.st_mode & S_IXUSR) != 0 || ::chmod(p.c_str(), (st.st_mode & 07777) | S_IXUSR) == 0;
}

std::wstring Md5CommandLine(const std::wstring& quotedPath) {
    return L"md5sum -- " + quotedPath;
}

}  // namespace platform
