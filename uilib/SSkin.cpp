#include "uilib/SSkin.h"

#include "uilib/SApplication.h"

namespace SOUI {
void SSkinImgList::SetImage(IBitmapS* bmp) {
    m_pImg = bmp;
    m_strSrc.clear();
}

IBitmapS* SSkinImgList::Image() const {
    if (!m_pImg && !m_strSrc.empty()) {
        // Decoded when first measured or drawn: skins of pages not yet shown cost nothing.
        SApplication* app = SApplication::getSingletonPtr();
        m_pImg = app ? app->LoadImage(m_strSrc) : nullptr;
        m_strSrc.clear();  // a failure is logged once, not at every frame
    }
    return m_pImg.get();
}

HRESULT SSkinImgList::SetAttribute(const SStringW& name, const SStringW& value, BOOL) {
    if (EqualsNoCase(name, L"src")) {
        SApplication* app = SApplication::getSingletonPtr();
        if (app == nullptr || !app->HasResource(value)) {
            LogBadAttribute(L"SSkinImgList", name, value);
            return E_FAIL;
        }
        m_pImg = nullptr;
        m_strSrc = value;
        return S_OK;
    }
    if (EqualsNoCase(name, L"name"))
        return S_OK;
    bool flag = EqualsNoCase(name, L"vertical") || EqualsNoCase(name, L"tile") ||
                EqualsNoCase(name, L"autoFit") || EqualsNoCase(name, L"auto-fit");
    auto n = ParseIntAttribute(L"SSkinImgList", name, value);
    if (!n)
        return E_FAIL;
    if (EqualsNoCase(name, L"states")) {
        SetStates(*n);
    } else if (EqualsNoCase(name, L"alpha")) {
        m_byAlpha = static_cast<BYTE>(std::clamp(*n, 0, 255));
    } else if (flag) {
        if (EqualsNoCase(name, L"vertical"))
            m_bVertical = *n != 0;
        if (EqualsNoCase(name, L"tile"))
            m_bTile = *n != 0;
        if (EqualsNoCase(name, L"autoFit") || EqualsNoCase(name, L"auto-fit"))
            m_bAutoFit = *n != 0;
    } else {
        return E_FAIL;
    }
    return S_OK;
}

CSize SSkinImgList::GetSkinSize() const {
    const IBitmapS* img = Image();
    if (!img)
        return {};
    if (m_bVertical)
        return {img->Width(), img->Height() / m_nStates};
    return {img->Width() / m_nStates, img->Height()};
}

CRect SSkinImgList::FrameRect(int index) const {
    CSize sz = GetSkinSize();
    index = std::clamp(index, 0, m_nStates - 1);
    if (m_bVertical)
        return {0, index * sz.cy, sz.cx, (index + 1) * sz.cy};
    return {index * sz.cx, 0, (index + 1) * sz.cx, sz.cy};
}

void SSkinImgList::DrawByIndex(IRenderTarget* rt, const CRect& rc, int index, BYTE alpha) {
    if (!Image() || !rt || rc.IsRectEmpty())
        return;
    // A skin with fewer frames than states asked for shows its last frame (a one-frame
    // skin looks the same in every state).
    DrawFrame(rt, rc, FrameRect(index), alpha);
}

void SSkinImgList::DrawFrame(IRenderTarget* rt, const CRect& dst, const CRect& src, BYTE alpha) {
    if (!m_bTile) {
        rt->DrawBitmap(dst, Image(), src, alpha);
        return;
    }
    rt->PushClipRect(dst);
    for (int y = dst.top; y < dst.bottom; y += src.Height())
        for (int x = dst.left; x < dst.right; x += src.Width())
            rt->DrawBitmap(CRect(x, y, x + src.Width(), y + src.Height()), Image(), src, alpha);
    rt->PopClip();
}

HRESULT SSkinImgFrame::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    auto set = [&](int* a, int* b) -> HRESULT {
        auto n = ParseIntAttribute(L"SSkinImgFrame", name, value, 0);
        if (!n)
            return E_FAIL;
        *a = *n;
        if (b)
            *b = *n;
        return S_OK;
    };
    // `left` alone sets both horizontal edges until `right` says otherwise.
    if (EqualsNoCase(name, L"left"))
        return set(&m_rcMargin.left, m_bRightSet ? nullptr : &m_rcMargin.right);
    if (EqualsNoCase(name, L"top"))
        return set(&m_rcMargin.top, m_bBottomSet ? nullptr : &m_rcMargin.bottom);
    if (EqualsNoCase(name, L"right")) {
        m_bRightSet = true;
        return set(&m_rcMargin.right, nullptr);
    }
    if (EqualsNoCase(name, L"bottom")) {
        m_bBottomSet = true;
        return set(&m_rcMargin.bottom, nullptr);
    }
    if (EqualsNoCase(name, L"margin-x"))
        return set(&m_rcMargin.left, &m_rcMargin.right);
    if (EqualsNoCase(name, L"margin-y"))
        return set(&m_rcMargin.top, &m_rcMargin.bottom);
    if (EqualsNoCase(name, L"margin")) {
        auto r = ParseRect4(value);
        if (!r) {
            LogBadAttribute(L"SSkinImgFrame", name, value);
            return E_FAIL;
        }
        m_rcMargin = *r;
        return S_OK;
    }
    return SSkinImgList::SetAttribute(name, value, bLoading);
}

void SSkinImgFrame::DrawNinePatch(IRenderTarget* rt, IBitmapS* bmp, const CRect& dst,
                                  const CRect& src, const CRect& m, BYTE alpha) {
    // Edges larger than the target shrink proportionally so that they never overlap.
    int ml = m.left, mr = m.right, mt = m.top, mb = m.bottom;
    if (ml + mr > dst.Width() && ml + mr > 0) {
        ml = dst.Width() * ml / (m.left + m.right);
        mr = dst.Width() - ml;
    }
    if (mt + mb > dst.Height() && mt + mb > 0) {
        mt = dst.Height() * mt / (m.top + m.bottom);
        mb = dst.Height() - mt;
    }
    const int sx[4] = {src.left, src.left + m.left, src.right - m.right, src.right};
    const int sy[4] = {src.top, src.top + m.top, src.bottom - m.bottom, src.bottom};
    const int dx[4] = {dst.left, dst.left + ml, dst.right - mr, dst.right};
    const int dy[4] = {dst.top, dst.top + mt, dst.bottom - mb, dst.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            CRect s(sx[col], sy[row], sx[col + 1], sy[row + 1]);
            CRect d(dx[col], dy[row], dx[col + 1], dy[row + 1]);
            if (s.IsRectEmpty() || d.IsRectEmpty())
                continue;
            rt->DrawBitmap(d, bmp, s, alpha);
        }
    }
}

void SSkinImgFrame::DrawFrame(IRenderTarget* rt, const CRect& dst, const CRect& src, BYTE alpha) {
    DrawNinePatch(rt, Image(), dst, src, m_rcMargin, alpha);
}

HRESULT SSkinScrollbar::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    if (EqualsNoCase(name, L"margin")) {
        auto n = ParseIntAttribute(L"SSkinScrollbar", name, value, 0);
        if (!n)
            return E_FAIL;
        m_nMargin = *n;
        return S_OK;
    }
    if (EqualsNoCase(name, L"hasGripper")) {
        m_bHasGripper = ParseInt(value).value_or(0) != 0;
        return S_OK;
    }
    if (EqualsNoCase(name, L"states"))
        return S_OK;  // the strip layout is fixed
    return SSkinImgList::SetAttribute(name, value, bLoading);
}

CSize SSkinScrollbar::GetSkinSize() const {
    const IBitmapS* img = Image();
    if (!img)
        return {};
    return {img->Width() / 9, img->Height() / 3};
}

void SSkinScrollbar::DrawPart(IRenderTarget* rt, const CRect& rc, Part part, int state,
                              BYTE alpha) {
    IBitmapS* img = Image();
    if (!img || rc.IsRectEmpty())
        return;
    CSize cell = GetSkinSize();
    state = std::clamp(state, 0, 2);
    CRect src(part * cell.cx, state * cell.cy, (part + 1) * cell.cx, (state + 1) * cell.cy);
    if (part == kUpArrow || part == kDownArrow || part == kLeftArrow || part == kRightArrow ||
        part == kCorner) {
        rt->DrawBitmap(rc, img, src, alpha);
        return;
    }
    int m = m_nMargin;
    CRect margin = (part == kVThumb || part == kVRail) ? CRect(0, m, 0, m) : CRect(m, 0, m, 0);
    SSkinImgFrame::DrawNinePatch(rt, img, rc, src, margin, alpha);
}

ISkinObj* CreateSkinByClass(const wchar_t* className) {
    SStringW c = className ? className : L"";
    if (EqualsNoCase(c, L"imglist"))
        return new SSkinImgList;
    if (EqualsNoCase(c, L"imgframe"))
        return new SSkinImgFrame;
    if (EqualsNoCase(c, L"scrollbar"))
        return new SSkinScrollbar;
    return nullptr;
}

}  // namespace SOUI
