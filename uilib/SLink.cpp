#include "uilib/SLink.h"

namespace SOUI {

SLink::SLink() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    m_style.cursor = SCursor::Hand;
}

void SLink::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    SStringW text = GetWindowTextW();
    if (!text.empty()) {
        SPainter painter;
        BeforePaint(rt, painter);  // hover colour and font come from the style's states
        CRect rc = GetClientRect();
        rc.DeflateRect(m_style.rcPadding);
        DrawText(rt, text, rc, m_style.textMode);
        AfterPaint(rt, painter);
    }
    DrawFocus(rt);
}

void SLink::OnLButtonDown(CPoint pt, UINT flags) {
    SWindow::OnLButtonDown(pt, flags);
}

void SLink::OnLButtonUp(CPoint pt, UINT flags) {
    bool wasPushed = (m_dwState & WndState_PushDown) != 0;
    SWindow::OnLButtonUp(pt, flags);
    if (wasPushed && m_rcWindow.PtInRect(pt))
        FireCommand();
}

bool SLink::OnActivate() {
    FireCommand();
    return true;
}

}  // namespace SOUI
