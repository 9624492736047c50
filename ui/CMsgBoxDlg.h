#pragma once
// The program's modal message box: the title "提示", a message that wraps within 340 pixels
// and one of three button sets. DoModal returns the id of the button that closed it.

#include "uilib/SButton.h"
#include "uilib/SHostDialog.h"
#include "uilib/SStatic.h"

class CMsgBoxDlg : public SOUI::SHostDialog {
public:
    // Results of DoModal, one per button (and the button's command id).
    enum {
        kResultClose = 0,
        kResultCancel = 1,
        kResultConfirm = 2,
        kResultContinue = 3,
        kResultBuyVip = 4,
        kResultCount
    };
    // Button sets: kModeConfirm shows "确定"; kModeContinue "继续" and "开通会员"; any other
    // value "取消" and "确定". The close glyph always shows.
    enum { kModeConfirm = 1, kModeContinue = 2 };

    CMsgBoxDlg();
    ~CMsgBoxDlg() override;

    // The text is not copied: keep it alive until DoModal has returned.
    void SetMessage(const wchar_t* text) { m_pszText = text; }
    void SetMode(int mode) { m_nMode = mode; }

    bool _HandleEvent(SOUI::EventArgs* evt) override;

protected:
    void OnInitDialog() override;

private:
    const wchar_t* m_pszText = nullptr;
    int m_nMode = 0;
};
