#include "platform/ShellFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

using namespace platform;

namespace {

// Every folder the program asks for is found, as an absolute path; a test's own folder is made
// on request, parents included.
TEST(ShellFoldersTest, FoldersAreFoundAndMadeOnRequest) {
    for (int csidl : {CSIDL_DESKTOP, CSIDL_COMMON_STARTMENU, CSIDL_APPDATA, CSIDL_PROGRAM_FILES,
                      CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_DOCUMENTS}) {
        std::wstring path;
        ASSERT_TRUE(GetSpecialFolderPath(csidl, path)) << csidl;
        EXPECT_TRUE(IsAbsolutePath(path)) << csidl;
    }
    std::wstring path;
    EXPECT_FALSE(GetSpecialFolderPath(12345, path));

    qitest::TempDir dir;
    const std::wstring nested = PathFromNarrow(dir / "a/b");
    SetSpecialFolderForTest(CSIDL_DESKTOP, nested);
    ASSERT_TRUE(GetSpecialFolderPath(CSIDL_DESKTOP, path));
    EXPECT_EQ(path, nested);
    EXPECT_FALSE(IsDirectoryPath(nested));
    ASSERT_TRUE(GetSpecialFolderPath(CSIDL_DESKTOP, path, true));
    EXPECT_TRUE(IsDirectoryPath(nested));
    SetSpecialFolderForTest(CSIDL_DESKTOP, L"relative");
    EXPECT_FALSE(GetSpecialFolderPath(CSIDL_DESKTOP, path));
    SetSpecialFolderForTest(CSIDL_DESKTOP, std::nullopt);
}

TEST(ShellFoldersTest, ShellFormKeepsToItsBuffer) {
    qitest::TempDir dir;
    wchar_t buffer[kMaxPath];
    SetSpecialFolderForTest(CSIDL_DESKTOP, PathFromNarrow(dir / "d"));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_DESKTOP, false));
    EXPECT_EQ(std::wstring(buffer), PathFromNarrow(dir / "d"));
    SetSpecialFolderForTest(CSIDL_DESKTOP, PathFromNarrow(dir / std::string(kMaxPath, 'x')));
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_DESKTOP, false));
    SetSpecialFolderForTest(CSIDL_DESKTOP, std::nullopt);
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, nullptr, CSIDL_DESKTOP, false));
}

#ifndef _WIN32
// Linux only: the XDG variables and user-dirs.dirs decide where the user's folders are.
class XdgFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        ::setenv("HOME", m_dir.Path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    std::wstring Folder(int csidl, bool create = false) {
        std::wstring path;
        EXPECT_TRUE(GetSpecialFolderPath(csidl, path, create)) << csidl;
        return path;
    }

    qitest::TempDir m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(XdgFoldersTest, UserFoldersFollowTheXdgSettings) {
    std::wstring home = PathFromNarrow(m_dir.Path());
    EXPECT_EQ(Folder(CSIDL_DESKTOP), home + L"/Desktop");
    EXPECT_EQ(Folder(CSIDL_COMMON_DOCUMENTS), home + L"/Public");
    EXPECT_EQ(Folder(CSIDL_APPDATA), home + L"/.local/share");

    m_dir.Write("cfg/user-dirs.dirs",
                "# comment\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\nXDG_PUBLICSHARE_DIR=\"/srv/shared\"\n");
    ::setenv("XDG_CONFIG_HOME", (m_dir / "cfg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    EXPECT_EQ(Folder(CSIDL_DESKTOP), home + L"/桌面");
    EXPECT_EQ(Folder(CSIDL_COMMON_DOCUMENTS), L"/srv/shared");
    EXPECT_EQ(Folder(CSIDL_APPDATA, true), home + L"/data");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "data"));

    std::wstring programs = Folder(CSIDL_PROGRAM_FILES);
    EXPECT_TRUE(programs == L"/opt" || programs == home + L"/.local/opt");
    std::wstring path;
    EXPECT_FALSE(GetSpecialFolderPath(0x0005, path));  // no counterpart here
}
#endif

}  // namespace
