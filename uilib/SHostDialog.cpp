#include "uilib/SHostDialog.h"

namespace SOUI {

SHostDialog::SHostDialog(const wchar_t* layoutName) : SHostWnd(layoutName) {}

SHostDialog::~SHostDialog() = default;

int SHostDialog::DoModal(HWND hParent) {
    if (!m_hWnd && !Create(hParent))
        return IDCANCEL;
    SHostWnd* owner = FromHandle(hParent);
    bool ownerWasEnabled = owner && !owner->IsDisabled();
    m_bModal = true;
    m_bEnded = false;
    m_nRetCode = IDCANCEL;
    SendMessageW(WM_INITDIALOG, 0, 0);
    // The owner takes no input while the dialog runs.
    if (ownerWasEnabled) {
        owner->ModifyState(WndState_Disable, 0, false);
        if (owner->GetNative())
            owner->GetNative()->EnableInput(false);
    }
    if (!m_bEnded) {
        ShowWindow(SW_SHOWNORMAL);
        IHostBackend* backend = SApplication::getSingleton().GetBackend();
        while (!m_bEnded && m_hWnd) {
            if (backend->RunLoop() < 0 && !m_bEnded)
                break;  // the loop gave up (headless idle)
        }
    }
    m_bModal = false;
    // Before the dialog goes, so that the system activates the owner and not some other
    // program's window.
    if (ownerWasEnabled && FromHandle(hParent)) {
        owner->ModifyState(0, WndState_Disable, false);
        if (owner->GetNative())
            owner->GetNative()->EnableInput(true);
    }
    if (m_hWnd)
        DestroyWindow();
    return m_nRetCode;
}

void SHostDialog::EndDialog(int code) {
    if (m_bEnded)
        return;
    m_nRetCode = code;
    m_bEnded = true;
    if (m_bModal && SApplication::getSingletonPtr()) {
        IHostBackend* backend = SApplication::getSingleton().GetBackend();
        if (backend->LoopDepth() > 0)
            backend->QuitLoop(code);
    }
}

bool SHostDialog::_HandleEvent(EventArgs* evt) {
    return SHostWnd::_HandleEvent(evt);
}

LRESULT SHostDialog::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE && m_bModal) {
        EndDialog(IDCANCEL);
        return 0;
    }
    return SHostWnd::DefWindowProc(msg, wParam, lParam);
}

}  // namespace SOUI
