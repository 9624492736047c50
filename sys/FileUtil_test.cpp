#include "sys/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "sys/TextHelpers.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;
using platform::PathFromNarrow;
using qitest::FsPath;

namespace {

std::wstring W(const std::string& path) {
    return PathFromNarrow(path);
}

// Deleting a tree removes every entry inside it, hidden and read-only ones too.
TEST(FileUtilTest, DeleteDirectoryTreeTakesEverythingInside) {
    qitest::TempDir dir;
    dir.Write("tree/.hidden/.deeper/file", "x");
    dir.Write("tree/.dotfile", "x");
    std::string readOnly = dir.Write("tree/sub/read-only", "x");
    fs::permissions(FsPath(readOnly), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(DeleteDirectoryTree(W(dir / "tree/")));
    EXPECT_FALSE(fs::exists(FsPath(dir / "tree")));

    // A file is removed as a file; a relative path is refused and touches nothing.
    std::string file = dir.Write("file.txt", "x");
    EXPECT_FALSE(DeleteDirectoryTree(W(file)));
    EXPECT_FALSE(fs::exists(FsPath(file)));
    dir.Write("kept/file", "x");
    const fs::path cwd = fs::current_path();
    fs::current_path(FsPath(dir.Path()));
    EXPECT_FALSE(DeleteDirectoryTree(std::wstring(L"kept")));
    fs::current_path(cwd);
    EXPECT_FALSE(DeleteDirectoryTree(std::wstring()));
    EXPECT_TRUE(fs::exists(FsPath(dir / "kept/file")));
}

#ifndef _WIN32
// Linux only: a Windows program under Wine can make no links, and sees Unix ones as their
// targets.
TEST(FileUtilTest, DeleteDirectoryTreeNeverFollowsLinks) {
    qitest::TempDir dir;
    std::string outsideFile = dir.Write("outside/keep.txt", "precious");
    dir.Write("tree/sub/plain", "x");
    fs::create_directory_symlink(dir / "outside", dir / "tree/sub/link-to-dir");
    fs::create_symlink(outsideFile, dir / "tree/.link-to-file");
    fs::create_symlink(dir / "nowhere", dir / "tree/dangling");
    EXPECT_TRUE(DeleteDirectoryTree(W(dir / "tree")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_EQ(qitest::TempDir::Read(outsideFile), "precious");

    // The path itself a link to a directory: the link goes, the directory stays.
    fs::create_directory_symlink(dir / "outside", dir / "alias");
    EXPECT_FALSE(DeleteDirectoryTree(W(dir / "alias")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "alias")));
    EXPECT_EQ(qitest::TempDir::Read(outsideFile), "precious");
}
#endif

TEST(FileUtilTest, CreateDirectoriesAndSlashes) {
    EXPECT_EQ(NormalizeSlashes(L"C:\\a\\b"), L"C:/a/b/");
    EXPECT_EQ(NormalizeSlashes(L"/x/y/"), L"/x/y/");
    EXPECT_EQ(NormalizeSlashes(L""), L"");

    qitest::TempDir dir;
    EXPECT_TRUE(CreateDirectories(W(dir / "a") + L"\\b\\c"));
    EXPECT_TRUE(IsDirectory(W(dir / "a/b/c")));
    EXPECT_TRUE(CreateDirectories(W(dir / "a/b/c")));  // all there already
    dir.Write("blocker", "x");
    EXPECT_FALSE(CreateDirectories(W(dir / "blocker/below")));
    EXPECT_FALSE(CreateDirectories(L""));
    EXPECT_FALSE(CreateDirectories(L"relative/path"));
    EXPECT_FALSE(IsDirectory(W(dir / "blocker")));
}

// Which paths have a long-path form is the system's rule.
TEST(FileUtilTest, LongPathForms) {
    EXPECT_EQ(platform::LongPathForm(L"relative/a"), L"");
    EXPECT_EQ(platform::LongPathForm(L""), L"");
#ifdef _WIN32
    EXPECT_EQ(platform::LongPathForm(L"C:/a/./b/../c/"), L"\\\\?\\C:\\a\\c");
    EXPECT_EQ(platform::LongPathForm(L"\\\\server\\share/x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(platform::LongPathForm(L"\\\\?\\C:\\a/b"), L"\\\\?\\C:\\a\\b");
    for (const wchar_t* invalid : {L"/a", L"C:a", L"\\\\server", L"\\\\.\\pipe\\x"}) {
        EXPECT_EQ(platform::LongPathForm(invalid), L"") << invalid;
    }
#else
    EXPECT_EQ(platform::LongPathForm(L"/a/../b"), L"/a/../b");
    EXPECT_EQ(platform::LongPathForm(L"C:/a"), L"");
#endif
}

TEST(FileUtilTest, LongPathOperationsInBothForms) {
    qitest::TempDir dir;
    std::wstring folder = W(dir / "目录");
    EXPECT_TRUE(LongPathMakeDirectory(folder));
    EXPECT_FALSE(LongPathMakeDirectory(folder));
    {
        FileHandle f = LongPathOpen(folder + L"/a.txt", L"wb");
        ASSERT_TRUE(f);
        std::fputs("12345", f.get());
    }
    EXPECT_TRUE(LongPathExists(folder + L"/a.txt"));
    EXPECT_TRUE(LongPathRename(folder + L"/a.txt", folder + L"/b.txt"));
    EXPECT_EQ(GetFileSize64(folder + L"/b.txt"), 5u);
    EXPECT_FALSE(LongPathExists(folder + L"/a.txt"));
    // A rename replaces the file that is there.
    dir.Write("目录/c.txt", "1");
    EXPECT_TRUE(LongPathRename(folder + L"/c.txt", folder + L"/b.txt"));
    EXPECT_EQ(GetFileSize64(folder + L"/b.txt"), 1u);
    EXPECT_TRUE(LongPathRemove(folder + L"/b.txt"));
    EXPECT_FALSE(LongPathExists(folder + L"/b.txt"));
    EXPECT_FALSE(LongPathOpen(L"relative.txt", L"wb"));
    EXPECT_FALSE(LongPathExists(std::wstring(L".")));
    EXPECT_FALSE(LongPathOpen(folder + L"/missing", L"rb"));

    // The narrow forms take the system code page.
    std::string ansi = WideToAnsi(W(dir / "ansi"));
    EXPECT_TRUE(LongPathMakeDirectory(ansi));
    EXPECT_TRUE(IsDirectory(ansi));
    EXPECT_TRUE(LongPathOpen(ansi + "/x", std::string("wb")));
    EXPECT_TRUE(LongPathRename(ansi + "/x", ansi + "/y"));
    EXPECT_TRUE(LongPathExists(ansi + "/y"));
    EXPECT_TRUE(LongPathRemove(ansi + "/y"));
    EXPECT_TRUE(DeleteDirectoryTree(ansi));
}

// Paths beyond the 260 characters of a plain Windows path.
TEST(FileUtilTest, LongPathsWork) {
    qitest::TempDir dir;
    std::wstring deep = W(dir.Path());
    for (wchar_t c : std::wstring(L"abcde")) {
        deep += L"/" + std::wstring(60, c);
        ASSERT_TRUE(LongPathMakeDirectory(deep));
    }
    ASSERT_GT(deep.size(), 300u);
    EXPECT_TRUE(LongPathOpen(deep + L"/file", L"wb"));
    EXPECT_TRUE(LongPathRename(deep + L"/file", deep + L"/renamed"));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_TRUE(CreateDirectories(deep + L"/x/y"));
    EXPECT_TRUE(DeleteDirectoryTree(W(dir / std::string(60, 'a'))));
    EXPECT_FALSE(LongPathExists(deep));
}

TEST(FileUtilTest, ExecuteBitAndSizes) {
    qitest::TempDir dir;
    std::string program = dir.Write("net4.exe", "#!/bin/sh\n");
#ifndef _WIN32
    ::chmod(program.c_str(), 0640);
#endif
    EXPECT_TRUE(SetOwnerExecuteBit(W(program)));
#ifndef _WIN32
    // Linux only: Windows files carry no mode bits.
    struct stat st {};
    ASSERT_EQ(::stat(program.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0740u);  // only the owner's bit is added
#endif
    EXPECT_FALSE(SetOwnerExecuteBit(W(dir.Path())));
    EXPECT_FALSE(SetOwnerExecuteBit(W(dir / "missing")));

    std::string big = dir.Write("big", "");
    fs::resize_file(FsPath(big), (5ULL << 30) + 3);  // sparse: no disk used
    EXPECT_EQ(GetFileSize64(W(big)), (5ULL << 30) + 3);
    EXPECT_EQ(GetFileSize64(W(dir.Path())), 0u);
    EXPECT_EQ(GetFileSize64(W(dir / "missing")), 0u);
}

// What md5sum and certutil print, old Windows' spaced bytes included.
TEST(FileUtilTest, HashToolOutputs) {
    std::wstring md5;
    ASSERT_TRUE(platform::ParseMd5Output(L"b1946ac92492d2347c6235b4d2611184  /tmp/x\n", md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
    ASSERT_TRUE(platform::ParseMd5Output(L"\\d41d8cd98f00b204e9800998ecf8427e  a\\\\b\n", md5));
    EXPECT_EQ(md5, L"d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_TRUE(platform::ParseMd5Output(
        L"MD5 hash of C:\\x:\r\nB1946AC92492D2347C6235B4D2611184\r\nCertUtil: -hashfile command "
        L"completed successfully.\r\n",
        md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
    ASSERT_TRUE(platform::ParseMd5Output(
        L"MD5 hash of file C:\\x:\r\nb1 94 6a c9 24 92 d2 34 7c 62 35 b4 d2 61 11 84\r\nCertUtil: "
        L"-hashfile command completed successfully.\r\n",
        md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");

    md5 = L"unchanged";
    for (const wchar_t* bad : {L"", L"md5sum: x: No such file or directory\n",
                               L"CertUtil: -hashfile command FAILED\r\nCertUtil: error\r\n",
                               L"a\r\nnot a hash at all, no, not at all\r\nb\r\n"}) {
        EXPECT_FALSE(platform::ParseMd5Output(bad, md5)) << bad;
    }
    EXPECT_EQ(md5, L"unchanged");
}

TEST(FileUtilTest, FileMd5OfKnownFilesWhateverTheirNames) {
    qitest::TempDir dir;
    std::wstring md5 = L"unchanged";
    EXPECT_FALSE(FileMd5(W(dir / "missing"), md5));
    EXPECT_FALSE(FileMd5(W(dir.Path()), md5));
    EXPECT_EQ(md5, L"unchanged");
#ifndef _WIN32
    // Linux only: Wine's certutil is a stub that prints nothing.
    ASSERT_TRUE(FileMd5(W(dir.Write("hello.txt", "hello\n")), md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
    ASSERT_TRUE(FileMd5(W(dir.Write("-odd \"name\" \\ x", "")), md5));
    EXPECT_EQ(md5, L"d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_TRUE(FileMd5(W(dir.Write("line\nbreak", "hello\n")), md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
#endif
}

TEST(FileUtilTest, ProductDataFolderIsCreatedInCommonDocuments) {
    qitest::TempDir dir;
    const auto documents =
        qitest::OverrideSpecialFolders({platform::CSIDL_COMMON_DOCUMENTS}, W(dir / "Public"));
    std::string ansi;
    EXPECT_TRUE(GetSpecialFolderPathAnsi(platform::CSIDL_COMMON_DOCUMENTS, ansi));
    EXPECT_EQ(ansi, WideToAnsi(W(dir / "Public")));
    EXPECT_EQ(GetProductDataFolder(), W(dir / "Public/Quillora"));
    EXPECT_TRUE(IsDirectory(W(dir / "Public/Quillora")));
    EXPECT_FALSE(GetSpecialFolderPathAnsi(12345, ansi));
}

}  // namespace
