#include "sys/Shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ShellFolders.h"
#include "platform/ShellLinks.h"
#include "platform/Text.h"
#include "sys/FileUtil.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <set>

#include "platform/DebugOutput.h"
#include "sys/ProcessControl.h"
#include "tests/support/FileFaults.h"
#endif

namespace fs = std::filesystem;
using namespace platform;
using qitest::FsPath;

namespace {

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"menu", "data", "desk"})
            fs::create_directories(FsPath(m_dir / name));
        m_folders.emplace_back(
            qitest::OverrideSpecialFolders({CSIDL_COMMON_STARTMENU}, Wide("menu")));
        m_folders.emplace_back(qitest::OverrideSpecialFolders({CSIDL_APPDATA}, Wide("data")));
        m_folders.emplace_back(qitest::OverrideSpecialFolders({CSIDL_DESKTOP}, Wide("desk")));
    }

    std::wstring Wide(const std::string& name) const { return PathFromNarrow(m_dir / name); }
    // A link's path: `stem` plus the system's extension.
    std::wstring Link(const std::string& stem) const { return Wide(stem) + kShellLinkExtension; }

    ShortcutInfo Info() const {
        ShortcutInfo info;
        info.name = L"Quillora";
        info.targetPath = Wide("Program Files/Quillora/Quillora.exe");
        info.uninstallTargetPath = Wide("Program Files/Quillora/uninst.exe");
        info.arguments = L"--open \"C:\\My Docs\\a b.pdf\" 100% $HOME";
        info.iconFile = Wide("icon.ico");
        info.workingDirectory = Wide("Program Files/Quillora");
        info.description = L"PDF 阅读器\nsecond line";
        return info;
    }

    // Reads the link back; its target, with the slashes the system may have turned.
    static ShellLink Load(const std::wstring& path) {
        ShellLink link;
        EXPECT_TRUE(LoadShellLink(path, link)) << PathToNarrow(path);
        link.target = NormalizeSlashes(link.target);
        return link;
    }

#ifndef _WIN32
    // What desktop-file-validate says about an entry: empty when it accepts it.
    static std::wstring Validate(const std::wstring& path) {
        std::wstring output;
        uint32_t exitCode = 0;
        bool ok =
            RunAndCapture(L"desktop-file-validate \"" + path + L"\"", output, exitCode, 60000);
        return ok ? output : L"exit " + std::to_wstring(exitCode) + L": " + output;
    }
#endif

    qitest::TempDir m_dir;
    std::vector<qitest::ScopedOverride> m_folders;
};

// The start menu has no "Programs" folder here: the program folder goes under "程序", with the
// program's link and the uninstaller's, each reading back as it was made.
TEST_F(ShortcutsTest, StartMenuEntriesFallBackToTheChineseProgramsFolder) {
    m_dir.Write("icon.ico", "icon");
    ASSERT_TRUE(CreateShortcut(Info(), CSIDL_COMMON_STARTMENU));
    const std::wstring entry = Link("menu/程序/Quillora/Quillora");
    const std::wstring uninstaller = Link("menu/程序/Quillora/卸载 Quillora");

    ShellLink link = Load(entry);
    EXPECT_EQ(link.target, NormalizeSlashes(Info().targetPath));
    EXPECT_EQ(link.arguments, Info().arguments);
    EXPECT_EQ(link.workingDirectory, Info().workingDirectory);
    EXPECT_EQ(link.description, Info().description);
    EXPECT_EQ(link.iconFile, Info().iconFile);
    ShellLink uninstall = Load(uninstaller);
    EXPECT_EQ(uninstall.target, NormalizeSlashes(Info().uninstallTargetPath));
    EXPECT_EQ(uninstall.arguments, Info().arguments);

#ifndef _WIN32
    // Linux only: what a desktop entry must be besides its fields.
    EXPECT_EQ(Validate(entry), L"");
    EXPECT_EQ(Validate(uninstaller), L"");
    EXPECT_EQ(link.displayName, L"Quillora");
    const std::string text = qitest::TempDir::Read(PathToNarrow(entry));
    EXPECT_NE(text.find("Exec=\"" + (m_dir / "Program Files/Quillora/Quillora.exe") +
                        "\" --open \"C:\\\\\\\\My Docs\\\\\\\\a b.pdf\" 100%% \"\\\\$HOME\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(uninstall.displayName, L"卸载 Quillora");
    struct stat st {};
    ASSERT_EQ(::stat(PathToNarrow(entry).c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
#endif

    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_COMMON_STARTMENU));
    EXPECT_FALSE(IsDirectory(Wide("menu/程序/Quillora")));
    EXPECT_TRUE(IsDirectory(Wide("menu/程序")));
}

TEST_F(ShortcutsTest, ProgramsFolderDesktopAndQuickLaunch) {
    fs::create_directories(FsPath(m_dir / "menu/Programs"));
    ShortcutInfo info = Info();
    info.uninstallTargetPath.clear();
    ASSERT_TRUE(CreateShortcut(info, CSIDL_COMMON_STARTMENU));
    EXPECT_TRUE(LongPathExists(Link("menu/Programs/Quillora/Quillora")));
    EXPECT_FALSE(LongPathExists(Link("menu/Programs/Quillora/卸载 Quillora")));

    ASSERT_TRUE(CreateShortcut(info, CSIDL_DESKTOP));
    const std::wstring desktop = Link("desk/Quillora");
    EXPECT_EQ(Load(desktop).iconFile, L"");  // no icon file
    ASSERT_TRUE(CreateShortcut(info, CSIDL_APPDATA));
    const std::wstring quickLaunch =
        Wide("data") + L"/" + kQuickLaunchFolder + L"/Quillora" + kShellLinkExtension;
    EXPECT_EQ(Load(quickLaunch).target, NormalizeSlashes(info.targetPath));
#ifndef _WIN32
    EXPECT_EQ(Validate(desktop), L"");  // Linux only: desktop entries
#endif

    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_DESKTOP));
    EXPECT_FALSE(LongPathExists(desktop));
    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_DESKTOP));  // nothing left: still fine
    EXPECT_TRUE(RemoveShortcut(L"Quillora", CSIDL_APPDATA));
    EXPECT_FALSE(LongPathExists(quickLaunch));
}

TEST_F(ShortcutsTest, RefusesWhatItCannotPlaceSafely) {
    ShortcutInfo info = Info();
    info.name = L"../escape";
    EXPECT_FALSE(CreateShortcut(info, CSIDL_DESKTOP));
    EXPECT_FALSE(LongPathExists(Link("escape")));
    info.name = L"Quillora";
    info.targetPath.clear();
    EXPECT_FALSE(CreateShortcut(info, CSIDL_DESKTOP));
    EXPECT_FALSE(CreateShortcut(Info(), 12345));
    fs::remove_all(FsPath(m_dir / "desk"));
    EXPECT_FALSE(CreateShortcut(Info(), CSIDL_DESKTOP));  // the desktop folder is missing
    EXPECT_FALSE(RemoveShortcut(L"Quillora", 12345));
    EXPECT_TRUE(fs::is_empty(FsPath(m_dir / "menu")));
}

#ifndef _WIN32
// Linux only: the entry is written by the file layer whose steps this makes fail; Windows saves
// a link through the shell's own object.
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
#endif

}  // namespace
