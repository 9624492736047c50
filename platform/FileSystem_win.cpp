// Files and folders through the wide Win32 calls, absolute paths in the extended-length form.
#include "platform/FileSystem.h"

#include "platform/Module.h"

#include <windows.h>

namespace platform {
namespace {

bool IsSlash(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool HasLongPrefix(std::wstring_view path) {
    return path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] == L'?' &&
           IsSlash(path[3]);
}

// What the system is handed: the long-path form of an absolute path, any other path as it is.
std::wstring SystemForm(const std::wstring& path) {
    std::wstring longPath = LongPathForm(path);
    return longPath.empty() ? path : longPath;
}

DWORD AttributesOf(const std::wstring& systemPath) {
    return ::GetFileAttributesW(systemPath.c_str());
}

// Removes one file; a read-only one too, as removing it here does not depend on its mode.
bool DeleteOneFile(const std::wstring& systemPath, DWORD attributes) {
    if (::DeleteFileW(systemPath.c_str()))
        return true;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        !::SetFileAttributesW(systemPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    return ::DeleteFileW(systemPath.c_str()) != 0;
}

// Removes a link (symbolic link or junction) itself: one to a folder is removed as a folder.
bool RemoveLink(const std::wstring& systemPath, DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? ::RemoveDirectoryW(systemPath.c_str()) != 0
               : DeleteOneFile(systemPath, attributes);
}

bool DeleteTreeAt(const std::wstring& dir) {
    bool ok = true;
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring child = dir + L"\\" + name;
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            ok = RemoveLink(child, attributes) && ok;
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ok = DeleteTreeAt(child) && ok;
        } else {
            ok = DeleteOneFile(child, attributes) && ok;
        }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return ::RemoveDirectoryW(dir.c_str()) != 0 && ok;
}

}  // namespace

bool IsAbsolutePath(std::wstring_view path) {
    if (HasLongPrefix(path))
        return true;
    // "\\.\" and "\\?\" name devices and the system's own namespace, not shares.
    if (path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) &&
        (path[2] == L'.' || path[2] == L'?') && IsSlash(path[3])) {
        return false;
    }
    std::wstring canonical;
    return CanonicalizePath(path, canonical);
}

std::wstring LongPathForm(std::wstring_view path) {
    if (!IsAbsolutePath(path))
        return std::wstring();
    std::wstring out;
    if (HasLongPrefix(path)) {
        out.assign(path);
        for (wchar_t& c : out) {
            if (c == L'/')
                c = L'\\';
        }
        return out;
    }
    std::wstring canonical;
    CanonicalizePath(path, canonical);
    if (canonical.size() >= 2 && canonical[0] == L'\\' && canonical[1] == L'\\')
        return L"\\\\?\\UNC\\" + canonical.substr(2);
    return L"\\\\?\\" + canonical;
}

bool PathExists(const std::wstring& path) {
    return !path.empty() && AttributesOf(SystemForm(path)) != INVALID_FILE_ATTRIBUTES;
}

bool RenamePath(const std::wstring& from, const std::wstring& to) {
    return !from.empty() && !to.empty() &&
           ::MoveFileExW(SystemForm(from).c_str(), SystemForm(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemovePath(const std::wstring& path) {
    if (path.empty())
        return false;
    const std::wstring p = SystemForm(path);
    const DWORD attributes = AttributesOf(p);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ::RemoveDirectoryW(p.c_str()) != 0
                                                        : ::DeleteFileW(p.c_str()) != 0;
}

bool MakeDirectory(const std::wstring& path) {
    return !path.empty() && ::CreateDirectoryW(SystemForm(path).c_str(), nullptr) != 0;
}

bool IsDirectoryPath(const std::wstring& path) {
    if (path.empty())
        return false;
    const DWORD attributes = AttributesOf(SystemForm(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FILE* OpenFileStream(const std::wstring& path, const std::wstring& mode) {
    if (path.empty() || mode.empty())
        return nullptr;
    return ::_wfopen(SystemForm(path).c_str(), mode.c_str());
}

bool GetFileSizeOf(const std::wstring& path, uint64_t& size) {
    if (path.empty())
        return false;
    HANDLE file = ::CreateFileW(SystemForm(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER end{};
    const bool ok = ::GetFileInformationByHandle(file, &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                    ::GetFileSizeEx(file, &end) && end.QuadPart >= 0;
    ::CloseHandle(file);
    if (ok)
        size = static_cast<uint64_t>(end.QuadPart);
    return ok;
}

bool DeleteTree(const std::wstring& path) {
    if (path.empty())
        return false;
    std::wstring p = SystemForm(path);
    // A trailing separator would name the folder's contents to the search; a root keeps its own.
    while (p.size() > 1 && IsSlash(p.back()) && p[p.size() - 2] != L':')
        p.pop_back();
    const DWORD attributes = AttributesOf(p);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveLink(p, attributes);  // a file, or a link: removed, not followed
        return false;
    }
    return DeleteTreeAt(p);
}

bool MakeOwnerExecutable(const std::wstring& path) {
    if (path.empty())
        return false;
    const DWORD attributes = AttributesOf(SystemForm(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Md5CommandLine(const std::wstring& quotedPath) {
    return L"certutil -hashfile " + quotedPath + L" MD5";
}

}  // namespace platform
