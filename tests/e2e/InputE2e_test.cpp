// The installer's window driven with the mouse and the keyboard through the X server, as a
// user would: dragging the borderless window, Space on the focused control, Tab order at
// both heights, and the focus outline after a click and after Tab.

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/E2eSupport.h"

using namespace e2e;
using SOUI::CPoint;

namespace {

// URLs that lead to a refused local port: nothing here may reach a server.
const std::string kOfflineIni = InstallIni("http://127.0.0.1:1");

// Spots no control covers: the teal band beside the logo, the white band left of the
// install button.
constexpr int kTealX = 100, kTealY = 120;
constexpr int kWhiteX = 60, kWhiteY = 300;

class Input : public CInstallerTest {
protected:
    // Keys go to the window under the pointer; the pointer rests where it presses nothing
    // and hovers nothing.
    void RestPointer() { m_window.Hover(kTealX, kTealY); }
    // Clicks "自定义安装" twice, unfolding the panel and folding it again, and rests the
    // pointer; false when the height did not follow.
    bool ClickExtendTwice() {
        for (int expected : {445, 400}) {
            m_window.Click(ctl::kBtnExtend);
            if (!WaitUntil([&] { return WindowHeight() == expected; }, 5000))
                return false;
        }
        RestPointer();
        return true;
    }
    // The control's pixels once they have stopped changing (hover fades take ~100 ms).
    CShot SteadyCrop(const CRect& rc) {
        CShot last = m_window.Shot().Crop(rc);
        WaitUntil(
            [&] {
                CShot now = m_window.Shot().Crop(rc);
                bool same = now == last;
                last = now;
                return same;
            },
            3000, 150);
        return last;
    }
};

TEST_F(Input, DraggingUncoveredContentMovesTheWindowByTheDragDistance) {
    ASSERT_TRUE(Launch(kOfflineIni));
    CRect start = m_window.Geometry();
    ASSERT_EQ(start.Width(), 640);

    m_window.Drag(kTealX, kTealY, 150, -120);
    EXPECT_TRUE(WaitUntil(
        [&] { return m_window.Geometry().TopLeft() == CPoint(start.left + 150, start.top - 120); },
        5000))
        << "from " << start.left << "," << start.top << " to " << m_window.Geometry().left << ","
        << m_window.Geometry().top;

    // The logo image and the white band under the tab page drag it too.
    start = m_window.Geometry();
    m_window.Drag(320, 100, -70, 45);
    m_window.Drag(kWhiteX, kWhiteY, -30, 15);
    EXPECT_TRUE(WaitUntil(
        [&] { return m_window.Geometry().TopLeft() == CPoint(start.left - 100, start.top + 60); },
        5000))
        << "to " << m_window.Geometry().left << "," << m_window.Geometry().top;
    EXPECT_EQ(m_window.Geometry().Size(), start.Size());
    EXPECT_TRUE(WaitForPage(EPage::Welcome, 2000));

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Input, SpaceTogglesTheAgreementAndPressesTheFocusedButton) {
    ASSERT_TRUE(Launch(kOfflineIni));
    RestPointer();
    const CShot checked = SteadyCrop(ctl::kAgree);
    ASSERT_FALSE(checked.Empty());

    // Tab order at 400: install button, agreement, licence link, custom install, ...
    // Reached by the keyboard, the box is outlined; Space then toggles it and toggles it back.
    PressKeys("Tab Tab");
    ASSERT_TRUE(WaitUntil([&] { return m_window.Shot().Crop(ctl::kAgree) != checked; }, 5000))
        << "no focus outline on the agreement after Tab";
    const CShot focused = SteadyCrop(ctl::kAgree);
    PressKeys("space");
    EXPECT_TRUE(WaitUntil([&] { return m_window.Shot().Crop(ctl::kAgree) != focused; }, 5000))
        << "Space did not toggle the agreement";
    PressKeys("space");
    CShot back;
    EXPECT_TRUE(
        WaitUntil([&] { return (back = m_window.Shot().Crop(ctl::kAgree)) == focused; }, 5000))
        << back.CountDifferent(focused) << " pixels differ after the second Space";

    // Space on "自定义安装": pressed while held, clicked on release.
    PressKeys("Tab Tab");
    KeyDown("space");
    WaitUntil([] { return false; }, 500);
    EXPECT_EQ(WindowHeight(), 400) << "the button clicked before the key came up";
    KeyUp("space");
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight() == 445; }, 5000))
        << "height " << WindowHeight();

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Input, TabSkipsTheDirectoryRowOutsideTheWindowAndReachesItInside) {
    ASSERT_TRUE(Launch(kOfflineIni));
    m_window.Click(ctl::kBtnExtend);
    ASSERT_TRUE(WaitUntil([&] { return WindowHeight() == 445; }, 5000));
    RestPointer();
    const CShot field = SteadyCrop(ctl::kEditPath);
    ASSERT_FALSE(field.Empty());
    m_window.Click(ctl::kBtnExtend);
    ASSERT_TRUE(WaitUntil([&] { return WindowHeight() == 400; }, 5000));
    RestPointer();

    // Round the whole order at 400 (six controls), typing after every Tab: the field
    // never has the focus, so nothing is typed into it.
    for (int i = 0; i < 8; ++i)
        PressKeys("Tab x");
    m_window.Click(ctl::kBtnExtend);
    ASSERT_TRUE(WaitUntil([&] { return WindowHeight() == 445; }, 5000));
    RestPointer();
    CShot now = SteadyCrop(ctl::kEditPath);
    EXPECT_EQ(now, field) << now.CountDifferent(field) << " pixels of the field changed at 400";

    // At 445 the row is inside the window and Tab reaches the field (eight controls).
    for (int i = 0; i < 8; ++i)
        PressKeys("Tab x");
    EXPECT_TRUE(WaitUntil(
        [&] { return m_window.Shot().Crop(ctl::kEditPath).CountDifferent(field) > 20; }, 5000))
        << "no typed text in the field at 445";

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Input, FocusRectangleAfterTabButNotAfterAClick) {
    ASSERT_TRUE(Launch(kOfflineIni));
    RestPointer();
    const CShot plain = SteadyCrop(ctl::kBtnExtend);
    ASSERT_FALSE(plain.Empty());
    const CShot agreePlain = m_window.Shot().Crop(ctl::kAgree);

    // Clicked twice (unfolded and folded again): focused, with no outline.
    ASSERT_TRUE(ClickExtendTwice());
    CShot clicked = SteadyCrop(ctl::kBtnExtend);
    EXPECT_EQ(clicked, plain) << clicked.CountDifferent(plain) << " pixels differ after a click";

    // Back and forth with the keyboard: the same control, now outlined.
    PressKeys("shift+Tab Tab");
    CShot tabbed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return (tabbed = m_window.Shot().Crop(ctl::kBtnExtend)).CountDifferent(plain) > 100;
        },
        5000))
        << tabbed.CountDifferent(plain) << " pixels differ after Tab";
    EXPECT_EQ(WindowHeight(), 400) << "Tab clicked something";

    // The agreement box (two back, past the link) is outlined too when the keyboard reaches it.
    PressKeys("shift+Tab shift+Tab");
    CShot agreeTabbed;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return (agreeTabbed = m_window.Shot().Crop(ctl::kAgree)).CountDifferent(agreePlain) >
                   40;
        },
        5000))
        << agreeTabbed.CountDifferent(agreePlain) << " pixels differ on the agreement box";
    PressKeys("Tab Tab");

    // The next click hides it again.
    ASSERT_TRUE(ClickExtendTwice());
    clicked = SteadyCrop(ctl::kBtnExtend);
    EXPECT_EQ(clicked, plain) << clicked.CountDifferent(plain) << " pixels differ after a click";

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

}  // namespace
