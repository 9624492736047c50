#include "uilib/SStatic.h"

#include "uilib/SApplication.h"

namespace SOUI {
// ---------------------------------------------------------------- SStatic

SStatic::SStatic() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
}

const SAttrTable& SStatic::ClassAttributes() {
    static const TplAttrTable<SStatic> table = [] {
        TplAttrTable<SStatic> t(&SWindow::ClassAttributes());
        t.Add({L"multiLines", L"multilines"}, SAttrEffect::Layout,
              [](SStatic* w, const SStringW& v) {
                  auto n = ParseInt(v);
                  if (!n)
                      return E_FAIL;
                  w->m_bMultiLines = *n != 0;
                  UINT& mode = w->m_style.textMode;
                  if (w->m_bMultiLines)
                      mode = (mode & ~(DT_SINGLELINE | DT_VCENTER)) | DT_WORDBREAK;
                  else
                      mode = (mode & ~DT_WORDBREAK) | DT_SINGLELINE;
                  return S_OK;
              })
            .Add({L"valign"}, SAttrEffect::Paint,
                 [](SStatic* w, const SStringW& v) {
                     if (EqualsNoCase(v, L"top"))
                         w->m_vAlign = VTop;
                     else if (EqualsNoCase(v, L"middle") || EqualsNoCase(v, L"center"))
                         w->m_vAlign = VMiddle;
                     else if (EqualsNoCase(v, L"bottom"))
                         w->m_vAlign = VBottom;
                     else
                         return E_FAIL;
                     return S_OK;
                 })
            .Add({L"lineInter"}, SAttrEffect::Paint, [](SStatic* w, const SStringW& v) {
                w->m_nLineInter = ParseCoord(v).value_or(0);
                return S_OK;
            });
        return t;
    }();
    return table;
}

CSize SStatic::GetDesiredSize(const CRect* rcContainer) {
    if (!m_bMultiLines)
        return SWindow::GetDesiredSize(rcContainer);
    IRenderTarget* rt = CreateMeasureTarget();
    if (rt == nullptr)
        return {};
    SStringW text = GetWindowTextW();
    int limit = m_nMaxWidth > 0 ? m_nMaxWidth : (rcContainer ? rcContainer->Width() : 100000);
    // The natural width when it fits, else wrap at the limit.
    CRect one(0, 0, 100000, 100000);
    rt->DrawText(text.c_str(), static_cast<int>(text.size()), &one, DT_CALCRECT | DT_NOPREFIX);
    CRect rc(0, 0, std::min(one.Width(), limit), 100000);
    rt->DrawText(text.c_str(), static_cast<int>(text.size()), &rc,
                 DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    rt->Release();
    const CRect& p = m_style.rcPadding;
    return {rc.Width() + p.left + p.right, rc.Height() + p.top + p.bottom};
}

void SStatic::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    PaintText(rt);
}

void SStatic::DrawText(IRenderTarget* rt, const SStringW& text, CRect rc, UINT format) {
    if (!m_bMultiLines) {
        SWindow::DrawText(rt, text, rc, format);
        return;
    }
    // Wrapped lines as one block, placed in rc by valign.
    UINT fmt = (format & (DT_CENTER | DT_RIGHT)) | DT_WORDBREAK | DT_NOPREFIX;
    CRect calc(rc.left, rc.top, rc.right, rc.top + 100000);
    rt->DrawText(text.c_str(), static_cast<int>(text.size()), &calc, fmt | DT_CALCRECT);
    int h = calc.Height();
    if (m_vAlign == VMiddle)
        rc.top += (rc.Height() - h) / 2;
    else if (m_vAlign == VBottom)
        rc.top = rc.bottom - h;
    rc.bottom = rc.top + h;
    SWindow::DrawText(rt, text, rc, fmt);
}

// ---------------------------------------------------------------- SImageWnd

SImageWnd::SImageWnd() = default;

const SAttrTable& SImageWnd::ClassAttributes() {
    static const TplAttrTable<SImageWnd> table = [] {
        TplAttrTable<SImageWnd> t(&SWindow::ClassAttributes());
        t.Effect(L"skin", SAttrEffect::Layout)
            .Add({L"iconIndex", L"frame"}, SAttrEffect::Paint,
                 [](SImageWnd* w, const SStringW& v) { return ParseIntInto(v, &w->m_nFrame); });
        return t;
    }();
    return table;
}

CSize SImageWnd::GetDesiredSize(const CRect*) {
    return m_pBgSkin ? m_pBgSkin->GetSkinSize() : CSize();
}

void SImageWnd::OnPaint(IRenderTarget* rt) {
    COLORREF bg = m_style.crBg;
    if (bg != CR_INVALID && GetAValue(bg))
        rt->FillSolidRect(m_rcWindow, bg);
    if (m_pBgSkin)
        m_pBgSkin->DrawByIndex(rt, m_rcWindow, m_nFrame, m_pBgSkin->GetAlpha());
}

// ---------------------------------------------------------------- SCaption

void SCaption::OnLButtonDown(CPoint pt, UINT) {
    ISwndContainer* c = GetContainer();
    if (!c || !c->OnBeginMoveDrag(pt))
        return;  // nothing to move, or the window system moves the window
    m_bDragging = true;
    SetCapture();
}

void SCaption::OnMouseMove(CPoint pt, UINT) {
    if (!m_bDragging)
        return;
    if (ISwndContainer* c = GetContainer())
        c->OnMoveDragTo(pt);
}

void SCaption::OnLButtonUp(CPoint, UINT) {
    if (!m_bDragging)
        return;
    m_bDragging = false;
    ReleaseCapture();
    if (ISwndContainer* c = GetContainer())
        c->OnEndMoveDrag();
}

// ---------------------------------------------------------------- SProgress

SProgress::SProgress() = default;

const SAttrTable& SProgress::ClassAttributes() {
    static const TplAttrTable<SProgress> table = [] {
        TplAttrTable<SProgress> t(&SWindow::ClassAttributes());
        t.Add({L"min"}, SAttrEffect::Paint,
              [](SProgress* w, const SStringW& v) { return ParseIntInto(v, &w->m_nMin); })
            .Add({L"max"}, SAttrEffect::Paint,
                 [](SProgress* w, const SStringW& v) { return ParseIntInto(v, &w->m_nMax); })
            .Add({L"value"}, SAttrEffect::Paint,
                 [](SProgress* w, const SStringW& v) { return ParseIntInto(v, &w->m_nValue); })
            .Add({L"vertical"}, SAttrEffect::Paint,
                 [](SProgress* w, const SStringW& v) {
                     int vertical = 0;
                     HRESULT hr = ParseIntInto(v, &vertical);
                     if (hr == S_OK)
                         w->m_bVertical = vertical != 0;
                     return hr;
                 })
            .Add({L"bkgndSkin", L"posSkin"}, SAttrEffect::Paint,
                 [](SProgress* w, const SStringW& name, const SStringW& v) {
                     SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
                     ISkinObj* skin = (pool && !v.empty()) ? pool->GetSkin(v) : nullptr;
                     if (!skin && !v.empty())
                         return E_FAIL;
                     (EqualsNoCase(name, L"bkgndSkin") ? w->m_pSkinBg : w->m_pSkinPos) = skin;
                     return S_OK;
                 });
        return t;
    }();
    return table;
}

bool SProgress::SetValue(int value) {
    if (m_nMin >= m_nMax)
        return false;
    value = std::clamp(value, m_nMin, m_nMax);
    if (value == m_nValue)
        return true;
    m_nValue = value;
    Invalidate();
    return true;
}

void SProgress::SetRange(int min, int max) {
    m_nMin = min;
    m_nMax = max;
    if (min < max)
        m_nValue = std::clamp(m_nValue, min, max);
    Invalidate();
}

void SProgress::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    CRect rc = GetClientRect();
    if (m_pSkinBg)
        m_pSkinBg->DrawByIndex(rt, rc, 0);
    if (m_nMax <= m_nMin)
        return;
    // The program may set any range: in 64 bits neither the span nor the product overflows.
    const int64_t range = int64_t{m_nMax} - m_nMin;
    const int64_t v = int64_t{std::clamp(m_nValue, m_nMin, m_nMax)} - m_nMin;
    CRect pos = rc;
    if (m_bVertical)
        pos.top = rc.bottom - static_cast<int>(int64_t{rc.Height()} * v / range);
    else
        pos.right = rc.left + static_cast<int>(int64_t{rc.Width()} * v / range);
    if (pos.IsRectEmpty())
        return;
    if (m_pSkinPos)
        m_pSkinPos->DrawByIndex(rt, pos, 0);
    else
        rt->FillSolidRect(pos, RGBA(0x1e, 0x78, 0xd5, 0xff));
}

}  // namespace SOUI
