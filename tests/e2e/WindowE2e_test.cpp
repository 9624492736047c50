// The installer's window driven as a user would, in runs that never start an installation:
// the custom panel, an install directory the installer cannot use, the licence text selected
// and copied, and a start without the renderer module.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/Text.h"
#include "tests/e2e/E2eSupport.h"
#include "uilib/SRichEdit.h"

using namespace e2e;

namespace {

// URLs that lead to a refused local port: nothing here may reach a server.
const std::string kOfflineIni = InstallIni("http://127.0.0.1:1");

class Window : public CInstallerTest {};

TEST_F(Window, CustomPanelTogglesTheHeightAndTheLicencePageFoldsIt) {
    ASSERT_TRUE(Launch(kOfflineIni));
    const CRect start = m_window.Geometry();
    EXPECT_EQ(start.Width(), 640);
    EXPECT_EQ(start.Height(), 400);
    // No window manager moves it: it stands centred on the 1280 x 1024 screen.
    EXPECT_EQ(start.CenterPoint().x, 640);
    EXPECT_EQ(start.CenterPoint().y, 512);

    for (int expected : {445, 400, 445}) {
        m_window.Click(ctl::kBtnExtend);
        EXPECT_TRUE(WaitUntil([&] { return WindowHeight() == expected; }, 5000))
            << "expected " << expected << ", height " << WindowHeight();
    }
    // Folding and unfolding keep the window's top left corner.
    EXPECT_EQ(m_window.Geometry().TopLeft(), start.TopLeft());

    // The licence page's back button returns to the welcome page, folded.
    m_window.Click(ctl::kLinkLicense);
    ASSERT_TRUE(WaitUntil([&] { return PageOf(m_window.Shot()) == EPage::Unknown; }, 5000))
        << "the licence page did not show";
    EXPECT_EQ(WindowHeight(), 445) << "the licence page alone changes no height";
    m_window.Click(ctl::kBtnBack);
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight() == 400; }, 5000))
        << "height " << WindowHeight();
    EXPECT_TRUE(WaitForPage(EPage::Welcome, 5000));

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Window, InvalidInstallDirShowsTheMessageBoxAndRestoresTheField) {
    ASSERT_TRUE(Launch(kOfflineIni));
    m_window.Click(ctl::kBtnExtend);
    ASSERT_TRUE(WaitUntil([&] { return WindowHeight() == 445; }, 5000));
    const CShot remembered = m_window.Shot().Crop(ctl::kEditPath);
    ASSERT_FALSE(remembered.Empty());

    // Two levels below the temporary folder that do not exist (only one may be created),
    // and a relative path (the program's folder is its working directory).
    const std::string missing = m_staged->Temp() / "missing dir";
    for (const std::string& typed : {missing + "/deeper", std::string("relative dir")}) {
        SCOPED_TRACE(typed);
        TypeInstallDir(typed);
        ASSERT_TRUE(WaitUntil(
            [&] { return m_window.Shot().Crop(ctl::kEditPath).CountDifferent(remembered) > 100; },
            5000))
            << "the typed path did not show";
        m_window.Click(ctl::kBtnInstaller);

        CXWindow box = CXWindow::WaitFor(kMsgBoxTitle, 10000);
        ASSERT_TRUE(box.Ok()) << "no message box; output:\n" << m_run.Output();
        const CRect rc = box.Geometry();
        EXPECT_EQ(rc.Width(), 410);
        EXPECT_EQ(rc.Height(), 250);
        // Centred on the 1280 x 1024 screen of the test's X server.
        EXPECT_EQ(rc.CenterPoint().x, 640);
        EXPECT_EQ(rc.CenterPoint().y, 512);

        box.Click(ctl::kMsgBoxConfirm);
        EXPECT_TRUE(WaitUntil([] { return !CXWindow::IsShown(kMsgBoxTitle); }, 5000))
            << "the message box stayed";
        // The field shows the remembered directory again, pixel for pixel (a blinking caret
        // may hide behind a few frames).
        CShot field;
        EXPECT_TRUE(WaitUntil(
            [&] { return (field = m_window.Shot().Crop(ctl::kEditPath)) == remembered; }, 5000))
            << field.CountDifferent(remembered) << " pixels differ from the field before typing";
        EXPECT_TRUE(WaitForPage(EPage::Welcome, 2000));
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "the installer created " << missing;
    EXPECT_FALSE(std::filesystem::exists(m_staged->AppDir() + "/relative dir"));
    EXPECT_NE(m_run.Output().find("安装目录无效"), std::string::npos) << m_run.Output();
    EXPECT_EQ(m_run.Output().find("创建安装线程"), std::string::npos) << m_run.Output();

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Window, LicenceTextIsSelectedWithMouseAndKeysAndCopiedToTheClipboard) {
    // What the licence says, from the resource the program embeds.
    const SOUI::SRtfDocument doc = SOUI::ParseRtf(qitest::TempDir::Read(QI_E2E_LICENCE_RTF));
    ASSERT_GE(doc.paragraphs.size(), 2u);
    std::wstring all;
    for (const auto& para : doc.paragraphs) {
        if (&para != &doc.paragraphs.front())
            all += L'\n';
        for (const auto& run : para.runs)
            all += run.text;
    }
    const std::string text = platform::WideToUtf8(all);
    const std::string title = text.substr(0, text.find('\n'));
    ASSERT_NE(title.find("最终用户许可协议"), std::string::npos) << title;

    ASSERT_TRUE(Launch(kOfflineIni));
    m_window.Click(ctl::kLinkLicense);
    ASSERT_TRUE(WaitUntil([&] { return PageOf(m_window.Shot()) == EPage::Unknown; }, 5000))
        << "the licence page did not show";

    // A drag along the centred title, from the left margin to the right of its end.
    const CRect& rc = ctl::kLicenceText;
    const int titleY = rc.top + 14;
    m_window.Drag(rc.left + 2, titleY, rc.Width() - 22, 0);
    PressKeys("ctrl+c");
    std::string copied;
    EXPECT_TRUE(WaitUntil([&] { return (copied = ClipboardText()) == title; }, 5000)) << copied;
    // The selection shows: the title line carries the highlight colour.
    const CShot line = m_window.Shot().Crop(CRect(rc.left, titleY - 6, rc.right - 20, titleY + 6));
    int highlighted = 0, titleLeft = line.width;
    for (int y = 0; y < line.height; ++y)
        for (int x = 0; x < line.width; ++x)
            if (line.Pixel(x, y) == 0xb4d5fe) {
                ++highlighted;
                titleLeft = std::min(titleLeft, x);
            }
    EXPECT_GT(highlighted, 100);

    // A double click on the title's first word selects that word.
    m_window.Click(rc.left + titleLeft + 10, titleY, 2);
    PressKeys("ctrl+c");
    EXPECT_TRUE(WaitUntil([&] { return (copied = ClipboardText()) == "Quillora"; }, 5000))
        << copied;
    m_window.Drag(rc.left + 2, titleY, rc.Width() - 22, 0);

    // Shift+Down carries the selection into the first lines of the next paragraph.
    PressKeys("shift+Down");
    PressKeys("ctrl+c");
    EXPECT_TRUE(WaitUntil(
        [&] {
            copied = ClipboardText();
            return copied.size() > title.size() + 1 && text.compare(0, copied.size(), copied) == 0;
        },
        5000))
        << copied;

    PressKeys("ctrl+a");
    PressKeys("ctrl+c");
    EXPECT_TRUE(WaitUntil([&] { return (copied = ClipboardText()) == text; }, 5000))
        << copied.size() << " of " << text.size() << " bytes copied";

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Window, MissingRendererEndsWithOneDiagnosticAndNoWindow) {
    CStagedInstaller staged(kOfflineIni, /*withRenderer=*/false);
    ASSERT_TRUE(staged.Ok());
    const std::string libDir = staged.Temp() / "lib";
    std::filesystem::create_directories(libDir);
    CInstallerRun run;
    ASSERT_TRUE(run.Start(staged, "", {{"LD_LIBRARY_PATH", libDir}}));

    bool windowSeen = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            windowSeen = windowSeen || CXWindow::IsShown(kMainTitle);
            return run.WaitExit(0);
        },
        20000))
        << "the installer still runs";
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(run.ExitCode(), 1) << run.Output();

    int lines = 0;
    std::string line;
    const std::string output = run.Output();
    for (size_t at = 0; at < output.size(); at += line.size() + 1) {
        line = output.substr(at, output.find('\n', at) - at);
        if (line.find("render-cairo.so") == std::string::npos)
            continue;
        ++lines;
        EXPECT_NE(line.find(staged.AppDir()), std::string::npos) << line;
        EXPECT_NE(line.find(libDir), std::string::npos) << line;
    }
    EXPECT_EQ(lines, 1) << output;
}

}  // namespace
