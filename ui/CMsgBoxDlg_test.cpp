// The message box on the headless host: which buttons each mode shows, what each click
// returns, and where a long message wraps.

#include "ui/CMsgBoxDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/testing/ProgramUi.h"
#include "uilib/SHeadlessHost.h"

using namespace SOUI;

namespace {

class MsgBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_ui.Ok());
        m_host.SetIdleLimitMs(2000);
    }

    struct Outcome {
        int result = -1;
        std::vector<std::wstring> visible;  // the buttons that showed, in layout order
        CRect rcText;
        CRect rcScreen;
    };

    // Shows a box in `mode` and clicks `button` once it runs.
    Outcome Run(int mode, const wchar_t* button, const wchar_t* text = L"  安装目录无效") {
        Outcome out;
        CMsgBoxDlg box;
        box.SetMessage(text);
        box.SetMode(mode);
        m_host.PostTask([&] {
            for (const wchar_t* name :
                 {L"btn_close", L"btn_confirm", L"btn_buy_vip", L"btn_continue", L"btn_cancel"})
                if (box.FindChildByName(name)->IsVisible(true))
                    out.visible.push_back(name);
            SWindow* msg = box.FindChildByName(L"text_msg");
            EXPECT_EQ(msg->GetWindowTextW(true), text);
            box.UpdateLayoutIfNeeded();
            out.rcText = msg->GetWindowRect();
            out.rcScreen = box.GetScreenRect();
            EXPECT_TRUE(SHeadlessHost::ClickByName(&box, button));
        });
        out.result = box.DoModal();
        return out;
    }

    SHeadlessHost m_host;
    uitest::ProgramUi m_ui{&m_host};
};

TEST_F(MsgBoxTest, ConfirmModeShowsOneButton) {
    Outcome out = Run(CMsgBoxDlg::kModeConfirm, L"btn_confirm");
    EXPECT_EQ(out.visible, (std::vector<std::wstring>{L"btn_close", L"btn_confirm"}));
    EXPECT_EQ(out.result, CMsgBoxDlg::kResultConfirm);
    EXPECT_EQ(Run(CMsgBoxDlg::kModeConfirm, L"btn_close").result, CMsgBoxDlg::kResultClose);
}

TEST_F(MsgBoxTest, ContinueModeShowsContinueAndMembership) {
    Outcome out = Run(CMsgBoxDlg::kModeContinue, L"btn_continue");
    EXPECT_EQ(out.visible,
              (std::vector<std::wstring>{L"btn_close", L"btn_buy_vip", L"btn_continue"}));
    EXPECT_EQ(out.result, CMsgBoxDlg::kResultContinue);
    EXPECT_EQ(Run(CMsgBoxDlg::kModeContinue, L"btn_buy_vip").result, CMsgBoxDlg::kResultBuyVip);
}

TEST_F(MsgBoxTest, AnyOtherModeShowsCancelAndConfirm) {
    for (int mode : {0, 3, -1}) {
        Outcome out = Run(mode, L"btn_cancel");
        EXPECT_EQ(out.visible,
                  (std::vector<std::wstring>{L"btn_close", L"btn_confirm", L"btn_cancel"}));
        EXPECT_EQ(out.result, CMsgBoxDlg::kResultCancel);
    }
    EXPECT_EQ(Run(0, L"btn_confirm").result, CMsgBoxDlg::kResultConfirm);
}

TEST_F(MsgBoxTest, ItIsCentredAndALongMessageWrapsWithin340Pixels) {
    std::wstring longText;
    for (int i = 0; i < 12; ++i)
        longText += L"安装目录无效，请重新选择。";
    Outcome shortOne = Run(CMsgBoxDlg::kModeConfirm, L"btn_confirm");
    Outcome longOne = Run(CMsgBoxDlg::kModeConfirm, L"btn_confirm", longText.c_str());
    EXPECT_LE(longOne.rcText.Width(), 340);
    EXPECT_GE(longOne.rcText.Height(), 3 * shortOne.rcText.Height());
    const CSize screen = m_host.GetScreenSize();
    EXPECT_EQ(shortOne.rcScreen.left, (screen.cx - 410) / 2);
    EXPECT_EQ(shortOne.rcScreen.top, (screen.cy - 250) / 2);
}

}  // namespace
