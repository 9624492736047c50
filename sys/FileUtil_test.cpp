#include "sys/FileUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using platform::PathFromNarrow;

namespace {

std::wstring W(const std::string& path) {
    return PathFromNarrow(path);
}

// A tree with hidden entries and links that lead out of it: deleting it removes every entry
// inside and nothing outside.
TEST(FileUtilTest, DeleteDirectoryTreeTakesHiddenEntriesAndNeverFollowsLinks) {
    qitest::TempDir dir;
    std::string outsideFile = dir.Write("outside/keep.txt", "precious");
    dir.Write("tree/.hidden/.deeper/file", "x");
    dir.Write("tree/.dotfile", "x");
    dir.Write("tree/sub/plain", "x");
    fs::create_directory_symlink(dir / "outside", dir / "tree/sub/link-to-dir");
    fs::create_symlink(outsideFile, dir / "tree/.link-to-file");
    fs::create_symlink(dir / "nowhere", dir / "tree/dangling");
    ::chmod((dir / "tree/sub").c_str(), 0755);

    EXPECT_TRUE(DeleteDirectoryTree(W(dir / "tree")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_EQ(qitest::TempDir::Read(outsideFile), "precious");

    // The path itself a link to a directory: the link goes, the directory stays.
    fs::create_directory_symlink(dir / "outside", dir / "alias");
    EXPECT_FALSE(DeleteDirectoryTree(W(dir / "alias")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "alias")));
    EXPECT_EQ(qitest::TempDir::Read(outsideFile), "precious");

    // A file is removed as a file; a relative path is refused and touches nothing.
    std::string file = dir.Write("file.txt", "x");
    EXPECT_FALSE(DeleteDirectoryTree(std::string(file)));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(DeleteDirectoryTree(std::wstring(L"outside")));
    EXPECT_FALSE(DeleteDirectoryTree(std::wstring()));
    EXPECT_TRUE(fs::exists(outsideFile));
}

TEST(FileUtilTest, CreateDirectoriesAndSlashes) {
    EXPECT_EQ(NormalizeSlashes(L"C:\\a\\b"), L"C:/a/b/");
    EXPECT_EQ(NormalizeSlashes(L"/x/y/"), L"/x/y/");
    EXPECT_EQ(NormalizeSlashes(L""), L"");

    qitest::TempDir dir;
    EXPECT_TRUE(CreateDirectories(W(dir / "a") + L"\\b\\c"));
    EXPECT_TRUE(IsDirectory(dir / "a/b/c"));
    EXPECT_TRUE(CreateDirectories(W(dir / "a/b/c")));  // all there already
    dir.Write("blocker", "x");
    EXPECT_FALSE(CreateDirectories(W(dir / "blocker/below")));
    EXPECT_FALSE(CreateDirectories(L""));
    EXPECT_FALSE(CreateDirectories(L"relative/path"));
    EXPECT_FALSE(IsDirectory(dir / "blocker"));
}

TEST(FileUtilTest, LongPathOperationsInBothForms) {
    qitest::TempDir dir;
    std::string folder = dir / "目录";
    EXPECT_TRUE(LongPathMakeDirectory(W(folder)));
    EXPECT_FALSE(LongPathMakeDirectory(W(folder)));
    {
        FileHandle f = LongPathOpen(folder + "/a.txt", std::string("wb"));
        ASSERT_TRUE(f);
        std::fputs("12345", f.get());
    }
    EXPECT_TRUE(LongPathExists(folder + "/a.txt"));
    EXPECT_TRUE(LongPathRename(W(folder + "/a.txt"), W(folder + "/b.txt")));
    EXPECT_EQ(GetFileSize64(W(folder + "/b.txt")), 5u);
    EXPECT_FALSE(LongPathExists(W(folder + "/a.txt")));
    EXPECT_TRUE(LongPathRemove(folder + "/b.txt"));
    EXPECT_FALSE(LongPathOpen(L"relative.txt", L"wb"));
    EXPECT_FALSE(LongPathExists(std::wstring(L".")));
    EXPECT_FALSE(LongPathOpen(W(folder + "/missing"), L"rb"));

    std::string program = dir.Write("net4.exe", "#!/bin/sh\n");
    ::chmod(program.c_str(), 0640);
    EXPECT_TRUE(SetOwnerExecuteBit(W(program)));
    struct stat st {};
    ASSERT_EQ(::stat(program.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0740u);  // only the owner's bit is added
    EXPECT_FALSE(SetOwnerExecuteBit(W(folder)));
    EXPECT_FALSE(SetOwnerExecuteBit(W(dir / "missing")));
}

TEST(FileUtilTest, SizesBeyondFourGigabytes) {
    qitest::TempDir dir;
    std::string big = dir.Write("big", "");
    ASSERT_EQ(::truncate(big.c_str(), (5LL << 30) + 3), 0);  // sparse: no disk used
    EXPECT_EQ(GetFileSize64(W(big)), (5ULL << 30) + 3);
    EXPECT_EQ(GetFileSize64(W(dir.Path())), 0u);
    EXPECT_EQ(GetFileSize64(W(dir / "missing")), 0u);
}

TEST(FileUtilTest, FileMd5OfKnownFilesWhateverTheirNames) {
    qitest::TempDir dir;
    std::wstring md5;
    ASSERT_TRUE(FileMd5(W(dir.Write("hello.txt", "hello\n")), md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
    ASSERT_TRUE(FileMd5(W(dir.Write("-odd \"name\" \\ x", "")), md5));
    EXPECT_EQ(md5, L"d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_TRUE(FileMd5(W(dir.Write("line\nbreak", "hello\n")), md5));
    EXPECT_EQ(md5, L"b1946ac92492d2347c6235b4d2611184");
    md5 = L"unchanged";
    EXPECT_FALSE(FileMd5(W(dir / "missing"), md5));
    EXPECT_FALSE(FileMd5(W(dir.Path()), md5));
    EXPECT_EQ(md5, L"unchanged");
}

TEST(FileUtilTest, ProductDataFolderIsCreatedInCommonDocuments) {
    qitest::TempDir dir;
    platform::SetSpecialFolderForTest(platform::CSIDL_COMMON_DOCUMENTS, W(dir / "Public"));
    std::string ansi;
    EXPECT_TRUE(GetSpecialFolderPathAnsi(platform::CSIDL_COMMON_DOCUMENTS, ansi));
    EXPECT_EQ(ansi, dir / "Public");
    EXPECT_EQ(GetProductDataFolder(), W(dir / "Public/Quillora"));
    EXPECT_TRUE(IsDirectory(dir / "Public/Quillora"));
    EXPECT_FALSE(GetSpecialFolderPathAnsi(12345, ansi));
    platform::SetSpecialFolderForTest(platform::CSIDL_COMMON_DOCUMENTS, std::nullopt);
}

}  // namespace
