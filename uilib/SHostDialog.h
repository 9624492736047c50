#pragma once
// A modal host window: DoModal runs a nested loop until EndDialog.

#include "uilib/SHostWnd.h"

namespace SOUI {

class SHostDialog : public SHostWnd {
    using __baseCls = SHostWnd;
    SOUI_CLASS_NAME(SHostDialog, L"hostdialog")

public:
    explicit SHostDialog(const wchar_t* layoutName = nullptr);
    ~SHostDialog() override;

    // Creates the window, sends WM_INITDIALOG, shows it and runs a nested loop with the
    // owner disabled; returns the EndDialog code (IDCANCEL when closed otherwise).
    int DoModal(HWND hParent = nullptr);
    void EndDialog(int code);
    bool _HandleEvent(EventArgs* evt) override;

protected:
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_bModal = false;
    bool m_bEnded = false;
    int m_nRetCode = IDCANCEL;
};

}  // namespace SOUI
