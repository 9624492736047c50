#include "uilib/SCheckBox.h"

namespace SOUI {

namespace {
constexpr int kTextGap = 4;
}

SCheckBox::SCheckBox() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
}

const SAttrTable& SCheckBox::ClassAttributes() {
    static const TplAttrTable<SCheckBox> table = [] {
        TplAttrTable<SCheckBox> t(&SWindow::ClassAttributes());
        t.Effect(L"skin", SAttrEffect::Layout);
        return t;
    }();
    return table;
}

int SCheckBox::CheckFrameIndex(DWORD state) {
    int base = 0;
    if (state & WndState_Disable)
        base = 3;
    else if (state & WndState_PushDown)
        base = 2;
    else if (state & WndState_Hover)
        base = 1;
    return (state & WndState_Check) ? base + 4 : base;
}

CRect SCheckBox::GetCheckRect() const {
    CRect rc = GetClientRect();
    CSize box = m_pBgSkin ? m_pBgSkin->GetSkinSize() : CSize(16, 16);
    int top = rc.top + (rc.Height() - box.cy) / 2;
    return {rc.left, top, rc.left + box.cx, top + box.cy};
}

void SCheckBox::OnPaint(IRenderTarget* rt) {
    CRect box = GetCheckRect();
    if (m_pBgSkin) {
        m_pBgSkin->DrawByIndex(rt, box, CheckFrameIndex(m_dwState), m_pBgSkin->GetAlpha());
    } else {
        rt->DrawRectangle(box, RGBA(0x60, 0x60, 0x60, 0xff));
        if (IsChecked()) {
            CRect in = box;
            in.DeflateRect(3, 3, 3, 3);
            rt->FillSolidRect(in, RGBA(0x30, 0x30, 0x30, 0xff));
        }
    }
    CRect rc = GetClientRect();
    rc.left = box.right + kTextGap;
    PaintText(rt, rc);
    DrawFocus(rt);
}

void SCheckBox::DrawFocus(IRenderTarget* rt) {
    if (!ShowsFocusCue())
        return;
    if (m_pFocusSkin) {
        m_pFocusSkin->DrawByIndex(rt, m_rcWindow, 0);
        return;
    }
    SWindow::DrawFocus(rt);
}

void SCheckBox::OnLButtonUp(CPoint pt, UINT flags) {
    if (EndClick(pt, flags))
        OnActivate();
}

bool SCheckBox::OnActivate() {
    SetCheck(!IsChecked());
    FireCommand();
    return true;
}

CSize SCheckBox::GetDesiredSize(const CRect* rcContainer) {
    CSize text = SWindow::GetDesiredSize(rcContainer);
    CSize box = m_pBgSkin ? m_pBgSkin->GetSkinSize() : CSize(16, 16);
    return {box.cx + kTextGap + text.cx, std::max(box.cy, text.cy)};
}

}  // namespace SOUI
