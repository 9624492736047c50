#include "sys/FileUtil.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwctype>
#include <vector>

#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "sys/ProcessControl.h"
#include "sys/TextHelpers.h"
#include "sys/TextUtil.h"

namespace {

// The system form of a path, or empty when it is not absolute.
std::string SystemPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/')
        return std::string();
    return platform::PathToNarrow(path);
}

// Removes the entries of the open directory `dirFd` and then the directory itself (`name` in
// `parentFd`). Works on descriptors so that a directory swapped for a link midway is not
// followed.
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

bool LongPathRename(const std::wstring& from, const std::wstring& to) {
    std::string a = SystemPath(from), b = SystemPath(to);
    return !a.empty() && !b.empty() && ::rename(a.c_str(), b.c_str()) == 0;
}
bool LongPathRename(const std::string& from, const std::string& to) {
    return LongPathRename(AnsiToWide(from), AnsiToWide(to));
}

bool LongPathExists(const std::wstring& path) {
    std::string p = SystemPath(path);
    return !p.empty() && ::access(p.c_str(), F_OK) == 0;
}
bool LongPathExists(const std::string& path) {
    return LongPathExists(AnsiToWide(path));
}

bool LongPathRemove(const std::wstring& path) {
    std::string p = SystemPath(path);
    return !p.empty() && ::remove(p.c_str()) == 0;
}
bool LongPathRemove(const std::string& path) {
    return LongPathRemove(AnsiToWide(path));
}

bool LongPathMakeDirectory(const std::wstring& path) {
    std::string p = SystemPath(path);
    return !p.empty() && ::mkdir(p.c_str(), 0755) == 0;
}
bool LongPathMakeDirectory(const std::string& path) {
    return LongPathMakeDirectory(AnsiToWide(path));
}

FileHandle LongPathOpen(const std::wstring& path, const std::wstring& mode) {
    std::string p = SystemPath(path);
    if (p.empty() || mode.empty())
        return FileHandle();
    return FileHandle(std::fopen(p.c_str(), platform::WideToUtf8(mode).c_str()));
}
FileHandle LongPathOpen(const std::string& path, const std::string& mode) {
    return LongPathOpen(AnsiToWide(path), AnsiToWide(mode));
}

bool CreateDirectories(const std::wstring& path) {
    std::wstring normal = NormalizeSlashes(path);
    if (normal.empty() || normal[0] != L'/')
        return false;
    for (size_t slash = normal.find(L'/'); slash != std::wstring::npos;
         slash = normal.find(L'/', slash + 1)) {
        std::wstring prefix = normal.substr(0, slash);
        if (prefix.empty() || IsDirectory(prefix))
            continue;
        // Another process may create it at the same moment: what counts is that it exists.
        if (!LongPathMakeDirectory(prefix) && !IsDirectory(prefix))
            return false;
    }
    return true;
}

bool DeleteDirectoryTree(const std::wstring& path) {
    std::string p = SystemPath(path);
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
bool DeleteDirectoryTree(const std::string& path) {
    return DeleteDirectoryTree(AnsiToWide(path));
}

bool IsDirectory(const std::wstring& path) {
    if (path.empty())
        return false;
    struct stat st {};
    return ::stat(platform::PathToNarrow(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsDirectory(const std::string& path) {
    return IsDirectory(AnsiToWide(path));
}

std::wstring NormalizeSlashes(const std::wstring& path) {
    if (path.empty())
        return path;
    std::wstring out = path;
    for (wchar_t& c : out) {
        if (c == L'\\')
            c = L'/';
    }
    if (out.back() != L'/')
        out.push_back(L'/');
    return out;
}

bool SetOwnerExecuteBit(const std::wstring& path) {
    std::string p = SystemPath(path);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return (st.st_mode & S_IXUSR) != 0 || ::chmod(p.c_str(), (st.st_mode & 07777) | S_IXUSR) == 0;
}

uint64_t GetFileSize64(const std::wstring& path) {
    FileHandle file = LongPathOpen(path, L"rb");
    if (!file)
        return 0;
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) != 0 || S_ISDIR(st.st_mode))
        return 0;
    if (::fseeko(file.get(), 0, SEEK_END) != 0)
        return 0;
    off_t size = ::ftello(file.get());
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

bool FileMd5(const std::wstring& path, std::wstring& md5) {
    if (path.empty())
        return false;
    std::wstring output;
    uint32_t exitCode = 0;
    if (!RunAndCapture(L"md5sum -- " + QuoteCommandArgument(path), output, exitCode, 300000))
        return false;
    // "<hash>  <name>\n"; a name with a backslash or line break gets a leading backslash.
    size_t start = (!output.empty() && output[0] == L'\\') ? 1 : 0;
    if (output.size() < start + 32)
        return false;
    std::wstring hash = output.substr(start, 32);
    for (wchar_t c : hash) {
        if (!std::iswxdigit(static_cast<wint_t>(c)))
            return false;
    }
    if (output.size() > start + 32 && output[start + 32] != L' ')
        return false;
    md5 = hash;
    return true;
}

bool GetSpecialFolderPathAnsi(int csidl, std::string& path) {
    std::wstring wide;
    if (!platform::GetSpecialFolderPath(csidl, wide))
        return false;
    path = WideToAnsi(wide);
    return true;
}

std::wstring GetProductDataFolder() {
    std::wstring base;
    if (!platform::GetSpecialFolderPath(platform::CSIDL_COMMON_DOCUMENTS, base))
        return L"";
    std::wstring folder = base + L"/Quillora";
    if (!IsDirectory(folder) && !CreateDirectories(folder))
        return L"";
    return folder;
}
