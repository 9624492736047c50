#include "ui/CMsgBoxDlg.h"

using namespace SOUI;

CMsgBoxDlg::CMsgBoxDlg() : SHostDialog(L"LAYOUT:XML_MSGBOX_DLG") {}

CMsgBoxDlg::~CMsgBoxDlg() = default;

BOOL CMsgBoxDlg::ProcessWindowMessage(HWND, UINT msg, WPARAM, LPARAM, LRESULT& lResult) {
    if (msg == WM_INITDIALOG) {
        OnInitDialog();
        lResult = TRUE;
        return TRUE;
    }
    return FALSE;
}

void CMsgBoxDlg::OnInitDialog() {
    m_pBtnClose = FindChildByName2<SImageButton>(L"btn_close");
    m_pBtnCancel = FindChildByName2<SImageButton>(L"btn_cancel");
    m_pBtnConfirm = FindChildByName2<SImageButton>(L"btn_confirm");
    m_pBtnContinue = FindChildByName2<SImageButton>(L"btn_continue");
    m_pBtnBuyVip = FindChildByName2<SImageButton>(L"btn_buy_vip");
    m_pTextMsg = FindChildByName2<SStatic>(L"text_msg");

    SImageButton* const buttons[] = {m_pBtnClose, m_pBtnCancel, m_pBtnConfirm, m_pBtnContinue,
                                     m_pBtnBuyVip};
    for (int id = kResultClose; id <= kResultBuyVip; ++id)
        if (buttons[id] != nullptr)
            buttons[id]->SetID(id);
    for (SImageButton* button : {m_pBtnCancel, m_pBtnConfirm, m_pBtnContinue, m_pBtnBuyVip})
        if (button != nullptr)
            button->SetVisible(false, true);

    auto show = [](SImageButton* button) {
        if (button != nullptr)
            button->SetVisible(true, true);
    };
    if (m_nMode == kModeConfirm) {
        show(m_pBtnConfirm);
    } else if (m_nMode == kModeContinue) {
        show(m_pBtnContinue);
        show(m_pBtnBuyVip);
    } else {
        show(m_pBtnCancel);
        show(m_pBtnConfirm);
    }
    if (m_pTextMsg != nullptr)
        m_pTextMsg->SetWindowTextW(m_pszText != nullptr ? m_pszText : L"");
    CenterWindow();
}

bool CMsgBoxDlg::_HandleEvent(EventArgs* evt) {
    if (evt->GetID() == EVT_CMD && evt->idFrom >= kResultClose && evt->idFrom <= kResultBuyVip) {
        EndDialog(evt->idFrom);
        return true;
    }
    return SHostDialog::_HandleEvent(evt);
}
