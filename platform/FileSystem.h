#pragma once
// Files and folders by wide path: existence, rename, removal, folder creation and trees, stdio
// streams, sizes, the execute bit, and the system's MD5 tool.
//
// The long-path form of an absolute path is, on Windows, the extended-length form
// "\\?\X:\..." or "\\?\UNC\server\share\..." (no MAX_PATH limit, no parsing of the path by
// the system), here the path itself; a relative path has none. The functions below hand an
// absolute path to the system in that form and any other path as it is. Paths the program joins
// with '/' are accepted on both systems.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// True for an absolute path: "/..." here; "X:\..." (or "X:/...") and "\\server\share..." on
// Windows.
bool IsAbsolutePath(std::wstring_view path);

// The long-path form of an absolute path; empty for any other. On Windows '/' becomes '\' and
// "." and ".." parts are resolved first, since the extended-length form takes the path as it
// stands.
std::wstring LongPathForm(std::wstring_view path);

bool PathExists(const std::wstring& path);
// Renames a file or folder; a file already at `to` is replaced.
bool RenamePath(const std::wstring& from, const std::wstring& to);
// Removes a file, or an empty folder.
bool RemovePath(const std::wstring& path);
// Creates one folder (mode 0755 here); false when it exists already or its parent is missing.
bool MakeDirectory(const std::wstring& path);
// Follows links, as the shell's test does; any path form.
bool IsDirectoryPath(const std::wstring& path);

// fopen with a wide path; `mode` as for fopen ("rb", "w+", ...; on Windows without 'b' the
// stream translates line ends). Null on failure. The caller closes the stream.
FILE* OpenFileStream(const std::wstring& path, const std::wstring& mode);

// Size in bytes of a file that can be opened for reading; false for a folder or a file that
// cannot be opened.
bool GetFileSizeOf(const std::wstring& path, uint64_t& size);

// Deletes a folder with everything in it, hidden entries included. Links (symbolic links,
// junctions) are removed, never followed. When `path` is not a folder, or is a link to one,
// it is removed as a file and the result is false. False also when anything inside could not
// be removed.
bool DeleteTree(const std::wstring& path);

// Makes a regular file runnable by its owner: the owner's execute bit here; on Windows, where
// running depends on the name alone, only the check that it is a regular file.
bool MakeOwnerExecutable(const std::wstring& path);

// The command line that prints the MD5 of the file at `quotedPath` (already quoted for a
// command line): certutil on Windows, md5sum here.
std::wstring Md5CommandLine(const std::wstring& quotedPath);
// The lower-case hash from that command's output, in either system's form: md5sum's
// "<hash>  <name>" line, or certutil's three lines (a header, the hash, possibly with blanks
// between the bytes, and a footer). False for any other output.
bool ParseMd5Output(std::wstring_view output, std::wstring& md5);

}  // namespace platform
