#include "sys/FileUtil.h"

#include "platform/FileSystem.h"
#include "platform/ShellFolders.h"
#include "sys/ProcessControl.h"
#include "sys/TextHelpers.h"
#include "sys/TextUtil.h"

bool LongPathRename(const std::wstring& from, const std::wstring& to) {
    std::wstring a = platform::LongPathForm(from), b = platform::LongPathForm(to);
    return !a.empty() && !b.empty() && platform::RenamePath(a, b);
}
bool LongPathRename(const std::string& from, const std::string& to) {
    return LongPathRename(AnsiToWide(from), AnsiToWide(to));
}

bool LongPathExists(const std::wstring& path) {
    std::wstring p = platform::LongPathForm(path);
    return !p.empty() && platform::PathExists(p);
}
bool LongPathExists(const std::string& path) {
    return LongPathExists(AnsiToWide(path));
}

bool LongPathRemove(const std::wstring& path) {
    std::wstring p = platform::LongPathForm(path);
    return !p.empty() && platform::RemovePath(p);
}
bool LongPathRemove(const std::string& path) {
    return LongPathRemove(AnsiToWide(path));
}

bool LongPathMakeDirectory(const std::wstring& path) {
    std::wstring p = platform::LongPathForm(path);
    return !p.empty() && platform::MakeDirectory(p);
}
bool LongPathMakeDirectory(const std::string& path) {
    return LongPathMakeDirectory(AnsiToWide(path));
}

FileHandle LongPathOpen(const std::wstring& path, const std::wstring& mode) {
    std::wstring p = platform::LongPathForm(path);
    if (p.empty() || mode.empty())
        return FileHandle();
    return FileHandle(platform::OpenFileStream(p, mode));
}
FileHandle LongPathOpen(const std::string& path, const std::string& mode) {
    return LongPathOpen(AnsiToWide(path), AnsiToWide(mode));
}

bool CreateDirectories(const std::wstring& path) {
    std::wstring normal = NormalizeSlashes(path);
    if (!platform::IsAbsolutePath(normal))
        return false;
    for (size_t slash = normal.find(L'/'); slash != std::wstring::npos;
         slash = normal.find(L'/', slash + 1)) {
        std::wstring prefix = normal.substr(0, slash);
        // Roots ("", "C:", "//server") are there or not ours to make.
        if (!platform::IsAbsolutePath(prefix) || IsDirectory(prefix))
            continue;
        // Another process may create it at the same moment: what counts is that it exists.
        if (!LongPathMakeDirectory(prefix) && !IsDirectory(prefix))
            return false;
    }
    return true;
}

bool DeleteDirectoryTree(const std::wstring& path) {
    std::wstring p = platform::LongPathForm(path);
    return !p.empty() && platform::DeleteTree(p);
}
bool DeleteDirectoryTree(const std::string& path) {
    return DeleteDirectoryTree(AnsiToWide(path));
}

bool IsDirectory(const std::wstring& path) {
    return platform::IsDirectoryPath(path);
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
    std::wstring p = platform::LongPathForm(path);
    return !p.empty() && platform::MakeOwnerExecutable(p);
}

uint64_t GetFileSize64(const std::wstring& path) {
    std::wstring p = platform::LongPathForm(path);
    uint64_t size = 0;
    return !p.empty() && platform::GetFileSizeOf(p, size) ? size : 0;
}

bool FileMd5(const std::wstring& path, std::wstring& md5) {
    if (path.empty())
        return false;
    std::wstring output;
    uint32_t exitCode = 0;
    if (!RunAndCapture(platform::Md5CommandLine(QuoteCommandArgument(path)), output, exitCode,
                       300000))
        return false;
    return platform::ParseMd5Output(output, md5);
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
