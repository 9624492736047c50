#include "uilib/SStatic.h"

#include "uilib/SApplication.h"

namespace SOUI {
// ---------------------------------------------------------------- SStatic

SStatic::SStatic() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
}

HRESULT SStatic::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    if (EqualsNoCase(name, L"multiLines") || EqualsNoCase(name, L"multilines")) {
        auto n = ParseIntAttribute(L"text", name, value);
        if (!n)
            return E_FAIL;
        m_bMultiLines = *n != 0;
        if (m_bMultiLines) {
            m_style.textMode = (m_style.textMode & ~(DT_SINGLELINE | DT_VCENTER)) | DT_WORDBREAK;
        } else {
            m_style.textMode = (m_style.textMode & ~DT_WORDBREAK) | DT_SINGLELINE;
        }
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    if (EqualsNoCase(name, L"valign")) {
        if (EqualsNoCase(value, L"top"))
            m_vAlign = VTop;
        else if (EqualsNoCase(value, L"middle") || EqualsNoCase(value, L"center"))
            m_vAlign = VMiddle;
        else if (EqualsNoCase(value, L"bottom"))
            m_vAlign = VBottom;
        else {
            LogBadAttribute(L"text", name, value);
            return E_FAIL;
        }
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    if (EqualsNoCase(name, L"lineInter")) {
        m_nLineInter = ParseCoord(value).value_or(0);
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    return SWindow::SetAttribute(name, value, bLoading);
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

HRESULT SImageWnd::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    if (EqualsNoCase(name, L"iconIndex") || EqualsNoCase(name, L"frame"))
        return SetIntAttribute(&m_nFrame, L"img", name, value, bLoading);
    return SWindow::SetAttribute(name, value, bLoading);
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
    if (!c)
        return;
    m_bDragging = true;
    SetCapture();
    c->OnBeginMoveDrag(pt);
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

HRESULT SProgress::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    auto number = [&](int* target) {
        return SetIntAttribute(target, L"progress", name, value, bLoading);
    };
    if (EqualsNoCase(name, L"min"))
        return number(&m_nMin);
    if (EqualsNoCase(name, L"max"))
        return number(&m_nMax);
    if (EqualsNoCase(name, L"value")) {
        int v = 0;
        HRESULT hr = number(&v);
        if (hr != E_FAIL)
            m_nValue = v;
        return hr;
    }
    if (EqualsNoCase(name, L"vertical")) {
        int v = 0;
        HRESULT hr = number(&v);
        if (hr != E_FAIL)
            m_bVertical = v != 0;
        return hr;
    }
    if (EqualsNoCase(name, L"bkgndSkin") || EqualsNoCase(name, L"posSkin")) {
        SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
        ISkinObj* skin = (pool && !value.empty()) ? pool->GetSkin(value) : nullptr;
        if (!skin && !value.empty()) {
            LogBadAttribute(L"progress", name, value);
            return E_FAIL;
        }
        (EqualsNoCase(name, L"bkgndSkin") ? m_pSkinBg : m_pSkinPos) = skin;
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    return SWindow::SetAttribute(name, value, bLoading);
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
