#include "ui/SButtonEx.h"

#include <cwchar>
#include <cwctype>

#include "platform/DebugOutput.h"
#include "uilib/SApplication.h"
#include "uilib/SSkinPoolMgr.h"
#include "uilib/SStyle.h"

namespace SOUI {

namespace {

const wchar_t* const kDrawModeWords[] = {L"freeDraw", L"vertIconText", L"vertTextIcon",
                                         L"horzIconText", L"horzTextIcon"};

// Clamped to the coordinate range of the style rules, so that the sums a measurement
// makes of a few of these (icon + gap + text, position + size) stay inside an int.
int ClampToInt(long long v) {
    return ClampCoord(v);
}

// One "%d" as wide scanf reads it: blanks, an optional sign, at least one digit. Values
// beyond int are clamped rather than left undefined. Advances `p` past what it read.
bool ScanInt(const wchar_t*& p, int* out) {
    const wchar_t* s = p;
    while (std::iswspace(*s))
        ++s;
    bool neg = false;
    if (*s == L'+' || *s == L'-')
        neg = (*s++ == L'-');
    if (*s < L'0' || *s > L'9')
        return false;
    long long v = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        if (v < (1LL << 40))
            v = v * 10 + (*s - L'0');
    }
    *out = ClampToInt(neg ? -v : v);
    p = s;
    return true;
}

// "%d,%d": both numbers set x and y, a single one sets x alone, no number changes nothing.
void ScanPoint(const SStringW& value, CPoint* pt) {
    const wchar_t* p = value.c_str();
    int x = 0, y = 0;
    if (!ScanInt(p, &x))
        return;
    pt->x = x;
    if (*p == L',' && ScanInt(++p, &y))
        pt->y = y;
}

// Decimal, or hexadecimal after "0x"; text that is no number gives 0.
int ParseNumber(const SStringW& value) {
    const wchar_t* s = value.c_str();
    while (std::iswspace(*s))
        ++s;
    bool neg = false;
    if (*s == L'+' || *s == L'-')
        neg = (*s++ == L'-');
    int base = 10;
    if (s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) {
        base = 16;
        s += 2;
    }
    long long v = 0;
    for (;; ++s) {
        int d;
        if (*s >= L'0' && *s <= L'9')
            d = *s - L'0';
        else if (base == 16 && *s >= L'a' && *s <= L'f')
            d = *s - L'a' + 10;
        else if (base == 16 && *s >= L'A' && *s <= L'F')
            d = *s - L'A' + 10;
        else
            break;
        if (v < (1LL << 40))
            v = v * base + d;
    }
    return ClampToInt(neg ? -v : v);
}

}  // namespace

SButtonEx::SButtonEx() = default;

SButtonEx::~SButtonEx() = default;

const SAttrTable& SButtonEx::ClassAttributes() {
    using B = SButtonEx;
    // What moves the icon and the text apart or around changes the content size.
    static const TplAttrTable<SButtonEx> table = [] {
        TplAttrTable<SButtonEx> t(&SButton::ClassAttributes());
        t.Add({L"pushOffset"}, SAttrEffect::Paint,
              [](B* w, const SStringW& v) {
                  ScanPoint(v, &w->m_ptPushOffset);
                  return S_OK;
              })
            .Add({L"icon"}, SAttrEffect::Layout,
                 [](B* w, const SStringW& v) {
                     SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
                     w->m_pIconSkin = pool != nullptr ? pool->GetSkin(v, w->GetScale()) : nullptr;
                     // A missing skin leaves the button without icon; say so, it is a
                     // layout fault.
                     if (w->m_pIconSkin == nullptr && !v.empty()) {
                         SStringW line =
                             L"SButtonEx: icon skin \"" + v + L"\" not found, no icon drawn\n";
                         platform::OutputDebugStringW(line.c_str());
                     }
                     return S_OK;
                 })
            .Add({L"iconIndex"}, SAttrEffect::Paint,
                 [](B* w, const SStringW& v) {
                     w->m_nIconIndex = ParseNumber(v);
                     return S_OK;
                 })
            .Add({L"drawMode"}, SAttrEffect::Layout,
                 [](B* w, const SStringW& v) {
                     for (int i = 0; i < 5; ++i) {
                         if (v == kDrawModeWords[i]) {
                             w->m_drawMode = static_cast<DrawMode>(i);
                             return S_OK;
                         }
                     }
                     return E_FAIL;
                 })
            .Add({L"sepSize"}, SAttrEffect::Layout,
                 [](B* w, const SStringW& v) {
                     w->m_nSepSize = ParseNumber(v);
                     return S_OK;
                 })
            .Add({L"iconPos", L"textPos"}, SAttrEffect::Layout,
                 [](B* w, const SStringW& name, const SStringW& v) {
                     ScanPoint(v,
                               EqualsNoCase(name, L"iconPos") ? &w->m_ptIconPos : &w->m_ptTextPos);
                     return S_OK;
                 });
        return t;
    }();
    return table;
}

IBitmapS* SButtonEx::SetIcon(IBitmapS* icon, int size) {
    IBitmapS* old = m_pIconHandle.detach();
    m_pIconHandle.attach(icon);
    m_nIconHandleSize = size;
    return old;
}

void SButtonEx::ShowIcon(bool bShow) {
    m_bIconVisible = bShow;
    Invalidate();
}

CSize SButtonEx::GetIconSize() const {
    if (m_pIconHandle != nullptr)
        return {m_nIconHandleSize, m_nIconHandleSize};
    if (m_pIconSkin != nullptr)
        return m_pIconSkin->GetSkinSize();
    return {0, 0};
}

CSize SButtonEx::MeasureText(IRenderTarget* rt) {
    SStringW text = GetWindowTextW();
    if (text.empty())
        return {0, 0};
    return rt->MeasureText(text.c_str(), static_cast<int>(text.size()));
}

CSize SButtonEx::MeasureContent(IRenderTarget* rt) {
    CSize icon = GetIconSize();
    CSize text = MeasureText(rt);
    switch (m_drawMode) {
        case FreeDraw:
            return {std::max(m_ptTextPos.x + text.cx, m_ptIconPos.x + icon.cx),
                    std::max(m_ptTextPos.y + text.cy, m_ptIconPos.y + icon.cy)};
        case VertIconText:
        case VertTextIcon:
            return {std::max(text.cx, icon.cx), text.cy + m_nSepSize + icon.cy};
        case HorzIconText:
        case HorzTextIcon:
            break;
    }
    return {text.cx + m_nSepSize + icon.cx, std::max(text.cy, icon.cy)};
}

CSize SButtonEx::GetDesiredSize(const CRect* rcContainer) {
    SAutoRefPtr<IRenderTarget> rt;
    rt.attach(CreateMeasureTarget());
    if (rt == nullptr)
        return SButton::GetDesiredSize(rcContainer);
    const CSize size = MeasureContent(rt.get());
    const CRect& pad = GetStyle().GetPadding();
    return {size.cx + pad.left + pad.right, size.cy + pad.top + pad.bottom};
}

BOOL SButtonEx::ProcessSwndMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    if (msg != WM_PAINT)
        return SButton::ProcessSwndMessage(msg, wParam, lParam, lResult);
    auto* rt = reinterpret_cast<IRenderTarget*>(wParam);
    if (rt != nullptr)
        OnPaint(rt);
    lResult = 0;
    return 1;
}

void SButtonEx::OnPaint(IRenderTarget* rt) {
    SPainter painter;
    BeforePaint(rt, painter);

    CRect rc = GetClientRect();
    if (GetStyle().crBg != CR_INVALID)
        rt->FillSolidRect(rc, GetStyle().crBg);
    if (ISkinObj* bg = GetBkgndSkin()) {
        BYTE ani = GetAnimateAlpha();
        if (ani == 0xff) {
            bg->DrawByIndex(rt, rc, GetStateIndex());
        } else {
            // Hover fade: the hover frame blends over the normal one.
            BYTE sa = bg->GetAlpha();
            BYTE a = static_cast<BYTE>((ani * sa) >> 8);
            bg->DrawByIndex(rt, rc, 0, sa);
            bg->DrawByIndex(rt, rc, 1,
                            (GetState() & WndState_Hover) ? a : static_cast<BYTE>(sa - a));
        }
    }

    // The content moves while pushed; the background stays where it was drawn.
    if (GetState() & (WndState_PushDown | WndState_Check)) {
        rc.OffsetRect(m_ptPushOffset.x, m_ptPushOffset.y);
    }
    rc.DeflateRect(GetStyle().GetPadding());
    const int L = rc.left, T = rc.top, W = rc.Width(), H = rc.Height();

    CSize icon = GetIconSize();
    CSize content = MeasureContent(rt);
    CSize text = MeasureText(rt);
    SStringW str = GetWindowTextW();
    auto drawText = [&](int x, int y) {
        if (!str.empty())
            rt->TextOut(x, y, str.c_str(), static_cast<int>(str.size()));
    };
    auto drawIcon = [&](int x, int y) { DrawIcon(rt, CRect(x, y, x + icon.cx, y + icon.cy)); };

    // Centring divides with truncation toward zero: content larger than the area starts
    // left of (or above) it.
    switch (m_drawMode) {
        case FreeDraw:
            drawIcon(L + m_ptIconPos.x, T + m_ptIconPos.y);
            drawText(L + m_ptTextPos.x, T + m_ptTextPos.y);
            break;
        case VertIconText: {
            int iy = T + (H - content.cy) / 2;
            drawIcon(L + (W - icon.cx) / 2, iy);
            drawText(L + (W - text.cx) / 2, iy + icon.cy + m_nSepSize);
            break;
        }
        case VertTextIcon: {
            int ty = T + (H - content.cy) / 2;
            drawText(L + (W - text.cx) / 2, ty);
            drawIcon(L + (W - icon.cx) / 2, ty + text.cy + m_nSepSize);
            break;
        }
        case HorzIconText: {
            int ix = L + (W - content.cx) / 2;
            drawIcon(ix, T + (H - icon.cy) / 2);
            drawText(ix + icon.cx + m_nSepSize, T + (H - text.cy) / 2);
            break;
        }
        case HorzTextIcon: {
            int tx = L + (W - content.cx) / 2;
            drawText(tx, T + (H - text.cy) / 2);
            drawIcon(tx + text.cx + m_nSepSize, T + (H - icon.cy) / 2);
            break;
        }
    }

    DrawFocus(rt);
    AfterPaint(rt, painter);
}

void SButtonEx::DrawIcon(IRenderTarget* rt, const CRect& rc) {
    if (!m_bIconVisible)
        return;
    if (m_pIconHandle != nullptr) {
        rt->DrawBitmap(rc, m_pIconHandle.get(),
                       CRect(0, 0, m_pIconHandle->Width(), m_pIconHandle->Height()), 0xff);
        return;
    }
    if (m_pIconSkin == nullptr)
        return;
    int frame = m_nIconIndex == -1 ? GetStateIndex() : m_nIconIndex;
    m_pIconSkin->DrawByIndex(rt, rc, frame);
}

}  // namespace SOUI
