#include "uilib/SButton.h"

#include <cwctype>

namespace SOUI {

SButton::SButton() {
    m_style.textMode = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
}

const SAttrTable& SButton::ClassAttributes() {
    static const TplAttrTable<SButton> table = [] {
        TplAttrTable<SButton> t(&SWindow::ClassAttributes());
        t.Effect(L"skin", SAttrEffect::Layout);
        return t;
    }();
    return table;
}

void SButton::OnLButtonUp(CPoint pt, UINT flags) {
    if (EndClick(pt, flags))
        FireCommand();
}

bool SButton::OnKeyDown(UINT, UINT) {
    return false;
}

bool SButton::OnActivate() {
    FireCommand();
    return true;
}

CSize SButton::GetDesiredSize(const CRect* rcContainer) {
    CSize sz = SWindow::GetDesiredSize(rcContainer);
    if (m_pBgSkin) {
        CSize skin = m_pBgSkin->GetSkinSize();
        sz.cx = std::max(sz.cx, skin.cx);
        sz.cy = std::max(sz.cy, skin.cy);
    }
    return sz;
}

void SButton::OnPaint(IRenderTarget* rt) {
    if (m_pBgSkin) {
        if (m_byAniAlpha == 0xff) {
            m_pBgSkin->DrawByIndex(rt, m_rcWindow, GetStateIndex(), m_pBgSkin->GetAlpha());
        } else {
            // Hover fade: the normal frame below, the hover frame fading in or out on top.
            BYTE sa = m_pBgSkin->GetAlpha();
            BYTE a = static_cast<BYTE>((m_byAniAlpha * sa) >> 8);
            m_pBgSkin->DrawByIndex(rt, m_rcWindow, 0, sa);
            m_pBgSkin->DrawByIndex(rt, m_rcWindow, 1,
                                   (m_dwState & WndState_Hover) ? a : static_cast<BYTE>(sa - a));
        }
    } else {
        SWindow::DrawBackground(rt, m_rcWindow);
    }
    PaintText(rt);
    DrawFocus(rt);
}

SImageButton::SImageButton() = default;

const SAttrTable& SImageButton::ClassAttributes() {
    static const TplAttrTable<SImageButton> table = [] {
        TplAttrTable<SImageButton> t(&SButton::ClassAttributes());
        t.Add({L"state2"}, SAttrEffect::Paint, [](SImageButton* w, const SStringW& v) {
            w->m_bState2 = ParseInt(v).value_or(0) != 0;
            return S_FALSE;
        });
        return t;
    }();
    return table;
}

}  // namespace SOUI
