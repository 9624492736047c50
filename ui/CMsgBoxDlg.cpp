#include "ui/CMsgBoxDlg.h"

using namespace SOUI;

CMsgBoxDlg::CMsgBoxDlg() : SHostDialog(L"LAYOUT:XML_MSGBOX_DLG") {}

CMsgBoxDlg::~CMsgBoxDlg() = default;

void CMsgBoxDlg::OnInitDialog() {
    // In the order of the results: a button's command id is its result.
    static const wchar_t* const kButtonNames[kResultCount] = {
        L"btn_close", L"btn_cancel", L"btn_confirm", L"btn_continue", L"btn_buy_vip"};
    // The close glyph always shows; the other buttons only as the mode asks.
    const bool shown[kResultCount] = {true, m_nMode != kModeConfirm && m_nMode != kModeContinue,
                                      m_nMode != kModeContinue, m_nMode == kModeContinue,
                                      m_nMode == kModeContinue};
    for (int id = 0; id < kResultCount; ++id) {
        if (SImageButton* button = FindChildByName2<SImageButton>(kButtonNames[id])) {
            button->SetID(id);
            button->SetVisible(shown[id], true);
        }
    }
    if (SStatic* text = FindChildByName2<SStatic>(L"text_msg"))
        text->SetWindowTextW(m_pszText != nullptr ? m_pszText : L"");
    CenterWindow();
}

bool CMsgBoxDlg::_HandleEvent(EventArgs* evt) {
    if (evt->GetID() == EVT_CMD && evt->idFrom >= kResultClose && evt->idFrom <= kResultBuyVip) {
        EndDialog(evt->idFrom);
        return true;
    }
    return SHostDialog::_HandleEvent(evt);
}
