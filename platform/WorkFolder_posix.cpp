// The working folder here: a 0700 folder of the running user under $XDG_CACHE_HOME (root:
// /var/cache).
#include <sys/stat.h>
#include <sys/types.h>

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/File.h"
#include "platform/Text.h"
#include "platform/WorkFolder.h"

namespace platform {
namespace {

constexpr char kFolderName[] = "quillora-installer";

std::mutex g_rootLock;
std::wstring g_testRoot;  // guarded by g_rootLock

std::string CacheRoot() {
    {
        std::lock_guard<std::mutex> lock(g_rootLock);
        if (!g_testRoot.empty())
            return PathToNarrow(g_testRoot);
    }
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.cache";
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found)
        return std::string(found->pw_dir) + "/.cache";
    return std::string();
}

// Makes every missing level of `path` (the user's own cache folders).
bool MakeParents(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string level = path.substr(0, at);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string Describe(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

// Only a real folder of ours that nobody else may write is used.
bool IsSafeFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Run as root on behalf of a user (sudo, pkexec), the environment and the home folder may be
// that user's: a folder under them could be renamed away by any program of the user between
// the check and the start. True when no level of `path` can be changed by anyone but root: each
// is root's and writable by nobody else, or sticky (as /tmp: others cannot rename what is not
// theirs).
bool OnlyRootCanChange(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        struct stat st {};
        if (::stat(path.substr(0, at).c_str(), &st) != 0)
            return errno == ENOENT;  // made below, by root
        const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (st.st_uid != 0 || (othersWrite && (st.st_mode & S_ISVTX) == 0))
            return false;
    }
    return true;
}

}  // namespace

void SetWorkFolderRootForTesting(const std::wstring& root) {
    std::lock_guard<std::mutex> lock(g_rootLock);
    g_testRoot = root;
}

bool PrepareWorkFolder(std::wstring& path, std::string* error) {
    std::string root = CacheRoot();
    if (::geteuid() == 0 && !root.empty() && !OnlyRootCanChange(root))
        root = "/var/cache";
    if (root.empty()) {
        if (error)
            *error = "no cache folder: neither XDG_CACHE_HOME nor a home folder is set";
        return false;
    }
    const std::string folder = root + "/" + kFolderName;
    if (!MakeParents(root)) {
        if (error)
            *error = Describe("cannot create", root, errno);
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && !IsSafeFolder(st)) {
        // A link, a file, someone else's folder or one others could write: what is in it may
        // have been planted. It goes aside (whoever can fix it can look at it) and a new one
        // is made.
        const std::string aside = folder + ".untrusted-" + std::to_string(::getpid());
        if (::rename(folder.c_str(), aside.c_str()) != 0) {
            if (error)
                *error = Describe("unsafe working folder cannot be moved aside:", folder, errno);
            return false;
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = Describe("cannot create", folder, errno);
        return false;
    }
    // Checked again through a descriptor of the folder itself: nothing swapped in between.
    int openError = 0;
    FileDescriptor dir = OpenFile(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0, openError);
    if (!dir.IsOpen() || ::fstat(dir.Get(), &st) != 0) {
        if (error)
            *error = Describe("cannot open", folder, dir.IsOpen() ? errno : openError);
        return false;
    }
    if (!IsSafeFolder(st)) {
        if (error)
            *error = "working folder " + folder + " is not a private folder of this user";
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && ::fchmod(dir.Get(), 0700) != 0) {
        if (error)
            *error = Describe("cannot restrict", folder, errno);
        return false;
    }
    path = PathFromNarrow(folder);
    return true;
}

HeldFile::HeldFile() = default;

HeldFile::~HeldFile() {
    Close();
}

HeldFile::HeldFile(HeldFile&& other) noexcept : m_hFile(other.m_hFile) {
    other.m_hFile = -1;
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_hFile = other.m_hFile;
        other.m_hFile = -1;
    }
    return *this;
}

bool HeldFile::Open(const std::wstring& path, std::string* error) {
    Close();
    int openError = 0;
    FileDescriptor fd = OpenFile(PathToNarrow(path), O_RDONLY | O_NOFOLLOW, 0, openError);
    if (!fd.IsOpen()) {
        if (error)
            *error = Describe("cannot open", PathToNarrow(path), openError);
        return false;
    }
    m_hFile = fd.Release();
    return true;
}

void HeldFile::Close() {
    if (m_hFile >= 0)
        ::close(static_cast<int>(m_hFile));
    m_hFile = -1;
}

bool HeldFile::IsOpen() const {
    return m_hFile >= 0;
}

}  // namespace platform
