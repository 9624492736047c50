#include "sys/Shortcuts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/DebugOutput.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "sys/ProcessControl.h"
#include "tests/support/FileFaults.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "menu");
        fs::create_directories(m_dir / "data");
        fs::create_directories(m_dir / "desk");
        SetSpecialFolderForTest(CSIDL_COMMON_STARTMENU, PathFromNarrow(m_dir / "menu"));
        SetSpecialFolderForTest(CSIDL_APPDATA, PathFromNarrow(m_dir / "data"));
        SetSpecialFolderForTest(CSIDL_DESKTOP, PathFromNarrow(m_dir / "desk"));
    }
    void TearDown() override {
        for (int id : {CSIDL_COMMON_STARTMENU, CSIDL_APPDATA, CSIDL_DESKTOP}) {
            SetSpecialFolderForTest(id, std::nullopt);
        }
    }

    // What desktop-file-validate says about an entry: empty when it accepts it.
    static std::wstring Validate(const std::string& path) {
        std::wstring output;
        uint32_t exitCode = 0;
        bool ok = RunAndCapture(L"desktop-file-validate \"" + PathFromNarrow(path) + L"\"", output,
                                exitCode, 60000);
        return ok ? output : L"exit " + std::to_wstring(exitCode) + L": " + output;
    }

    ShortcutInfo Info() const {
        ShortcutInfo info;
        info.name = L"Quillora";
        info.targetPath = PathFromNarrow(m_dir / "Program Files/Quillora/Quillora.exe");
        info.uninstallTargetPath = PathFromNarrow(m_dir / "Program Files/Quillora/uninst.exe");
        info.arguments = L"--open \"C:\\My Docs\\a b.pdf\" 100% $HOME";
        info.iconFile = PathFromNarrow(m_dir / "icon.png");
        info.workingDirectory = PathFromNarrow(m_dir / "Program Files/Quillora");
        info.description = L"PDF 阅读器\nsecond line";
        return info;
    }

    qitest::TempDir m_dir;
};

// The start menu has no "Programs" folder here: the program folder goes under "程序", and both
// entries are valid desktop entries with a properly quoted command.
TEST_F(ShortcutsTest, StartMenuEntriesFallBackToTheChineseProgramsFolder) {
    m_dir.Write("icon.png", "png");
    ASSERT_TRUE(CreateShortcut(Info(), CSIDL_COMMON_STARTMENU));
    std::string folder = m_dir / "menu/程序/Quillora";
    std::string entry = folder + "/Quillora.desktop";
    std::string uninstaller = folder + "/卸载 Quillora.desktop";
    ASSERT_TRUE(fs::exists(entry));
    ASSERT_TRUE(fs::exists(uninstaller));
    EXPECT_EQ(Validate(entry), L"");
    EXPECT_EQ(Validate(uninstaller), L"");

    std::string text = qitest::TempDir::Read(entry);
    EXPECT_NE(text.find("Name=Quillora\n"), std::string::npos);
    EXPECT_NE(text.find("Comment=PDF 阅读器\\nsecond line\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"" + (m_dir / "Program Files/Quillora/Quillora.exe") +
                        "\" --open \"C:\\\\\\\\My Docs\\\\\\\\a b.pdf\" 100%% \"\\\\$HOME\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Icon=" + (m_dir / "icon.png")), std::string::npos);
    EXPECT_NE(qitest::TempDir::Read(uninstaller).find("Name=卸载 Quillora\n"), std::string::npos);
    EXPECT_NE(qitest::TempDir::Read(uninstaller).find("uninst.exe"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_COMMON_STARTMENU));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(m_dir / "menu/程序"));
}

TEST_F(ShortcutsTest, ProgramsFolderDesktopAndQuickLaunch) {
    fs::create_directories(m_dir / "menu/Programs");
    ShortcutInfo info = Info();
    info.uninstallTargetPath.clear();
    ASSERT_TRUE(CreateShortcut(info, CSIDL_COMMON_STARTMENU));
    EXPECT_TRUE(fs::exists(m_dir / "menu/Programs/Quillora/Quillora.desktop"));
    EXPECT_FALSE(fs::exists(m_dir / "menu/Programs/Quillora/卸载 Quillora.desktop"));

    ASSERT_TRUE(CreateShortcut(info, CSIDL_DESKTOP));
    std::string desktop = m_dir / "desk/Quillora.desktop";
    EXPECT_EQ(Validate(desktop), L"");
    EXPECT_EQ(qitest::TempDir::Read(desktop).find("Icon="), std::string::npos);  // no icon file
    ASSERT_TRUE(CreateShortcut(info, CSIDL_APPDATA));
    EXPECT_EQ(Validate(m_dir / "data/Quick Launch/Quillora.desktop"), L"");

    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_DESKTOP));
    EXPECT_FALSE(fs::exists(desktop));
    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_DESKTOP));  // nothing left: still fine
    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_APPDATA));
    EXPECT_FALSE(fs::exists(m_dir / "data/Quick Launch/Quillora.desktop"));
}

TEST_F(ShortcutsTest, RefusesWhatItCannotPlaceSafely) {
    ShortcutInfo info = Info();
    info.name = L"../escape";
    EXPECT_FALSE(CreateShortcut(info, CSIDL_DESKTOP));
    EXPECT_FALSE(fs::exists(m_dir / "escape.desktop"));
    info.name = L"Quillora";
    info.targetPath.clear();
    EXPECT_FALSE(CreateShortcut(info, CSIDL_DESKTOP));
    EXPECT_FALSE(CreateShortcut(Info(), 12345));
    fs::remove_all(m_dir / "desk");
    EXPECT_FALSE(CreateShortcut(Info(), CSIDL_DESKTOP));  // the desktop folder is missing
    EXPECT_FALSE(RemoveShortcut(L"Quillora", 12345));
    EXPECT_TRUE(fs::is_empty(m_dir / "menu"));
}

// A disk that is full or failing at any step of the write: the entry that was there stays as it
// was, executable, with nothing left beside it on the desktop.
TEST_F(ShortcutsTest, AFailedWriteLeavesTheEntryWhole) {
    ASSERT_TRUE(CreateShortcut(Info(), CSIDL_DESKTOP));
    std::string entry = m_dir / "desk/Quillora.desktop";
    const std::string before = qitest::TempDir::Read(entry);
    ShortcutInfo changed = Info();
    changed.description = L"changed";
    for (const qitest::FileFault& fault : qitest::AllFileFaults()) {
        SCOPED_TRACE(qitest::Describe(fault));
        platform::ScopedDebugCapture capture;
        {
            qitest::ScopedFileFault injected(fault);
            EXPECT_FALSE(CreateShortcut(changed, CSIDL_DESKTOP));
        }
        EXPECT_NE(capture.Text().find(entry), std::string::npos) << capture.Text();
        EXPECT_EQ(qitest::TempDir::Read(entry), before);
        EXPECT_EQ(qitest::FolderEntries(m_dir / "desk"), std::set<std::string>{"Quillora.desktop"});
        struct stat st {};
        ASSERT_EQ(::stat(entry.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
    }
    ASSERT_TRUE(CreateShortcut(changed, CSIDL_DESKTOP));
    EXPECT_NE(qitest::TempDir::Read(entry).find("Comment=changed\n"), std::string::npos);
}

}  // namespace
