// The install-directory rules: what the product folder is appended to, what the folder
// picker's answers become, and which paths are accepted (creating at most one level).

#include "ui/InstallDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace {

std::wstring W(const std::string& s) {
    return platform::PathFromNarrow(s);
}

TEST(InstallDirTest, ProductFolderIsAppendedUnlessThePathEndsWithItExactly) {
    EXPECT_EQ(AppendProductFolder(L"/opt/Quillora"), L"/opt/Quillora");
    EXPECT_EQ(AppendProductFolder(L"/opt/MyQuillora"), L"/opt/MyQuillora");  // last 8 characters
    EXPECT_EQ(AppendProductFolder(L"/opt/quillora"), L"/opt/quillora/Quillora");
    EXPECT_EQ(AppendProductFolder(L"/opt/QUILLORA"), L"/opt/QUILLORA/Quillora");
    EXPECT_EQ(AppendProductFolder(L"/srv/"), L"/srv//Quillora");  // a typed separator stays
    EXPECT_EQ(AppendProductFolder(L"/"), L"//Quillora");
    EXPECT_EQ(AppendProductFolder(L"llora"), L"llora/Quillora");  // shorter than the name
    EXPECT_EQ(AppendProductFolder(L""), L"/Quillora");
}

TEST(InstallDirTest, PickedFoldersGetTheProductFolderTheRootWithoutASecondSeparator) {
    EXPECT_EQ(PickedFolderToInstallDir(L"/"), L"/Quillora");
    EXPECT_EQ(PickedFolderToInstallDir(L"/srv/apps"), L"/srv/apps/Quillora");
    EXPECT_EQ(PickedFolderToInstallDir(L"/srv/Quillora"), L"/srv/Quillora/Quillora");
    EXPECT_EQ(PickedFolderToInstallDir(L""), L"Quillora");  // no file-system path
    EXPECT_FALSE(PrepareInstallDir(PickedFolderToInstallDir(L"")));
}

TEST(InstallDirTest, DefaultIsTheProgramFilesFolderCreatedWhenMissing) {
    qitest::TempDir tmp;
    const std::string programFiles = tmp / "program files";
    platform::SetSpecialFolderForTest(platform::CSIDL_PROGRAM_FILES, W(programFiles));
    platform::SetSpecialFolderForTest(platform::CSIDL_PROGRAM_FILESX86, W(programFiles));
    EXPECT_EQ(DefaultInstallDir(), W(programFiles) + L"/Quillora");
    EXPECT_TRUE(std::filesystem::is_directory(programFiles));
    EXPECT_FALSE(std::filesystem::exists(programFiles + "/Quillora"));  // made on install only
    platform::SetSpecialFolderForTest(platform::CSIDL_PROGRAM_FILES, std::nullopt);
    platform::SetSpecialFolderForTest(platform::CSIDL_PROGRAM_FILESX86, std::nullopt);
}

TEST(InstallDirTest, OnlyTheLastLevelIsCreated) {
    qitest::TempDir tmp;
    EXPECT_TRUE(PrepareInstallDir(W(tmp.Path())));  // exists
    EXPECT_TRUE(PrepareInstallDir(W(tmp / "one")));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "one"));
    EXPECT_TRUE(PrepareInstallDir(W(tmp / "with blank")));

    EXPECT_FALSE(PrepareInstallDir(W(tmp / "two/levels")));
    EXPECT_FALSE(std::filesystem::exists(tmp / "two"));

    tmp.Write("file", "x");  // a file is no directory to install into
    EXPECT_FALSE(PrepareInstallDir(W(tmp / "file")));
    EXPECT_FALSE(PrepareInstallDir(W(tmp / "file/Quillora")));
}

TEST(InstallDirTest, PathsThatCannotStandOnACommandLineAreRefusedBeforeAnythingIsCreated) {
    qitest::TempDir tmp;
    for (const std::wstring& bad :
         {W(tmp / "a\"b"), W(tmp / "line\nbreak"), W(tmp / "tab\tchar"), W(tmp / "del\x7f"),
          W(tmp.Path()) + L"/c1\u0085", std::wstring(L"relative/Quillora"), std::wstring()}) {
        EXPECT_FALSE(PrepareInstallDir(bad)) << platform::PathToNarrow(bad);
    }
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
}

}  // namespace
