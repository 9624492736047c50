#pragma once
// Files and directories: the long-path operations (the long-path form of platform/FileSystem.h:
// no length limit; a relative path counts as invalid), directory trees, sizes, hashes and special
// folders. Every routine reports failure through its result only.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(FILE* file) const {
        if (file)
            std::fclose(file);
    }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// A file already at `to` is replaced.
bool LongPathRename(const std::wstring& from, const std::wstring& to);
bool LongPathRename(const std::string& from, const std::string& to);
bool LongPathExists(const std::wstring& path);
bool LongPathExists(const std::string& path);
bool LongPathRemove(const std::wstring& path);  // a file (or an empty directory)
bool LongPathRemove(const std::string& path);
bool LongPathMakeDirectory(const std::wstring& path);  // one level: the parent must exist
bool LongPathMakeDirectory(const std::string& path);
// fopen-style mode ("rb", "w+", ...); null on failure.
FileHandle LongPathOpen(const std::wstring& path, const std::wstring& mode);
FileHandle LongPathOpen(const std::string& path, const std::string& mode);

// Creates every missing directory along `path`; true when all exist afterwards.
bool CreateDirectories(const std::wstring& path);

// Deletes a directory with everything in it, hidden entries included. Links (symbolic links,
// junctions) are removed, never followed: nothing outside the tree is touched. A path that is not a
// directory (a link to one included) is removed as a file and the result is false.
bool DeleteDirectoryTree(const std::wstring& path);
bool DeleteDirectoryTree(const std::string& path);

bool IsDirectory(const std::wstring& path);
bool IsDirectory(const std::string& path);

// Backslashes become '/', and a '/' ends the result; an empty path stays empty.
std::wstring NormalizeSlashes(const std::wstring& path);

// Adds the owner's execute bit to a regular file (downloaded programs arrive without it; on
// Windows there is no such bit and only the check remains). False when the file is missing or not
// regular, or the mode cannot be changed.
bool SetOwnerExecuteBit(const std::wstring& path);

// Size in bytes of a file; 0 when it cannot be opened (or is a directory).
uint64_t GetFileSize64(const std::wstring& path);

// Lower-case hexadecimal MD5 of a file, computed by the system's tool (certutil on Windows,
// md5sum on Linux; limit five minutes).
bool FileMd5(const std::wstring& path, std::wstring& md5);

// A special folder (platform/ShellFolders.h) in the system code page.
bool GetSpecialFolderPathAnsi(int csidl, std::string& path);

// The common documents folder followed by "/Quillora", created when missing; empty on failure.
std::wstring GetProductDataFolder();
