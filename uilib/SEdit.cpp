#include "uilib/SEdit.h"

#include "uilib/SApplication.h"

namespace SOUI {
namespace {

constexpr int kBlinkFrames = 50;  // 500 ms at 10 ms per frame
constexpr COLORREF kSelFocused = RGBA(0x99, 0xc9, 0xef, 0xff);
constexpr COLORREF kSelUnfocused = RGBA(0xe0, 0xe0, 0xe0, 0xff);

}  // namespace

SEdit::SEdit() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    m_style.cursor = SCursor::IBeam;
}

const SAttrTable& SEdit::ClassAttributes() {
    static const TplAttrTable<SEdit> table = [] {
        TplAttrTable<SEdit> t(&SWindow::ClassAttributes());
        t.Add({L"cueText"}, SAttrEffect::Paint,
              [](SEdit* w, const SStringW& v) {
                  w->m_strCue = v;
                  return S_OK;
              })
            .Add({L"cueColor", L"colorCueText"}, SAttrEffect::Paint,
                 [](SEdit* w, const SStringW& v) {
                     auto c = ParseColor(v);
                     if (!c)
                         return E_FAIL;
                     w->m_crCue = *c;
                     return S_OK;
                 })
            .Add({L"extend"}, SAttrEffect::Paint,
                 [](SEdit* w, const SStringW& v) { return ParseIntInto(v, &w->m_nExtend, 0); })
            .Add({L"maxLength", L"maxBuf"}, SAttrEffect::Paint,
                 [](SEdit* w, const SStringW& v) { return ParseIntInto(v, &w->m_nMaxLength, 0); })
            .Add({L"readOnly"}, SAttrEffect::Paint,
                 [](SEdit* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bReadOnly, 0); })
            .Add({L"password"}, SAttrEffect::Paint,
                 [](SEdit* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bPassword, 0); })
            // The caret and selection follow a new text.
            .Add({L"text"}, SAttrEffect::Layout, [](SEdit* w, const SStringW& v) {
                w->SetTextAttribute(v);
                w->TextChanged();
                return S_OK;
            });
        return t;
    }();
    return table;
}

CRect SEdit::TextRect() const {
    CRect rc = GetClientRect();
    rc.DeflateRect(m_style.rcPadding);
    rc.DeflateRect(m_nExtend, 0, m_nExtend, 0);
    return rc;
}

SStringW SEdit::DisplayText() const {
    if (m_bPassword)
        return SStringW(m_strText.size(), L'\u25CF');
    return m_strText;
}

int SEdit::XOfIndex(int index) {
    SStringW text = DisplayText();
    index = std::clamp(index, 0, static_cast<int>(text.size()));
    if (index == 0)
        return 0;
    if (!m_pMeasureRT) {
        SApplication* app = SApplication::getSingletonPtr();
        if (!app || !app->GetRenderFactory() ||
            !app->GetRenderFactory()->CreateRenderTarget(&m_pMeasureRT, 0, 0))
            return index * 8;
    }
    m_pMeasureRT->SelectFont(GetStateFont());
    return m_pMeasureRT->MeasureText(text.c_str(), index).cx;
}

int SEdit::IndexFromX(int x) {
    CRect rc = TextRect();
    int local = x - rc.left + m_nScrollX;
    int n = static_cast<int>(m_strText.size());
    int best = 0, bestDist = INT32_MAX;
    for (int i = 0; i <= n; ++i) {
        int d = std::abs(XOfIndex(i) - local);
        if (d < bestDist) {
            best = i;
            bestDist = d;
        }
    }
    return best;
}

void SEdit::SetSel(int start, int end) {
    int n = static_cast<int>(m_strText.size());
    if (end < 0)
        end = n;
    m_nAnchor = std::clamp(start, 0, n);
    m_nCaret = std::clamp(end, 0, n);
    EnsureCaretVisible();
    Invalidate();
}

void SEdit::GetSel(int* start, int* end) const {
    int n = static_cast<int>(m_strText.size());
    int a = std::clamp(m_nAnchor, 0, n), c = std::clamp(m_nCaret, 0, n);
    *start = std::min(a, c);
    *end = std::max(a, c);
}

SStringW SEdit::GetSelText() const {
    int s, e;
    GetSel(&s, &e);
    return m_strText.substr(s, e - s);
}

void SEdit::ReplaceSel(const SStringW& text) {
    int s, e;
    GetSel(&s, &e);
    SStringW insert = text;
    if (m_nMaxLength > 0) {
        int room = m_nMaxLength - (static_cast<int>(m_strText.size()) - (e - s));
        if (room < 0)
            room = 0;
        if (static_cast<int>(insert.size()) > room)
            insert.resize(room);
    }
    m_strText.replace(s, e - s, insert);
    m_nCaret = m_nAnchor = s + static_cast<int>(insert.size());
    EnsureCaretVisible();
    m_bCaretOn = true;
    m_nBlink = 0;
    Invalidate();
}

void SEdit::TextChanged() {
    int n = static_cast<int>(m_strText.size());
    m_nCaret = m_nAnchor = n;
    m_nScrollX = 0;
}

void SEdit::MoveCaret(int index, bool bExtend) {
    int n = static_cast<int>(m_strText.size());
    m_nCaret = std::clamp(index, 0, n);
    if (!bExtend)
        m_nAnchor = m_nCaret;
    m_nAnchor = std::clamp(m_nAnchor, 0, n);
    m_bCaretOn = true;
    m_nBlink = 0;
    EnsureCaretVisible();
    UpdateImeRect();
    Invalidate();
}

void SEdit::EnsureCaretVisible() {
    CRect rc = TextRect();
    int x = XOfIndex(m_nCaret);
    int width = std::max(1, rc.Width() - 1);
    if (x - m_nScrollX > width)
        m_nScrollX = x - width;
    if (x - m_nScrollX < 0)
        m_nScrollX = x;
    int total = XOfIndex(static_cast<int>(m_strText.size()));
    if (total - m_nScrollX < width)
        m_nScrollX = std::max(0, total - width);
}

void SEdit::UpdateImeRect() {
    ISwndContainer* c = GetContainer();
    if (!c || !IsFocused())
        return;
    CRect rc = TextRect();
    int x = rc.left + XOfIndex(m_nCaret) - m_nScrollX;
    c->SetImeCursorRect(CRect(x, rc.top, x + 1, rc.bottom));
}

void SEdit::OnLButtonDown(CPoint pt, UINT flags) {
    SetFocus();
    SetCapture();
    m_bSelecting = true;
    MoveCaret(IndexFromX(pt.x), (flags & MK_SHIFT) != 0);
}

void SEdit::OnLButtonDblClk(CPoint, UINT) {
    SetFocus();
    SetSel(0, -1);
}

void SEdit::OnMouseMove(CPoint pt, UINT) {
    if (m_bSelecting)
        MoveCaret(IndexFromX(pt.x), true);
}

void SEdit::OnLButtonUp(CPoint, UINT) {
    m_bSelecting = false;
    ReleaseCapture();
}

bool SEdit::OnKeyDown(UINT vk, UINT flags) {
    bool shift = (flags & MK_SHIFT) != 0;
    bool ctrl = (flags & MK_CONTROL) != 0;
    int s, e;
    GetSel(&s, &e);
    int n = static_cast<int>(m_strText.size());
    switch (vk) {
        case VK_LEFT:
            if (!shift && s != e)
                MoveCaret(s, false);
            else
                MoveCaret(ctrl ? 0 : m_nCaret - 1, shift);
            return true;
        case VK_RIGHT:
            if (!shift && s != e)
                MoveCaret(e, false);
            else
                MoveCaret(ctrl ? n : m_nCaret + 1, shift);
            return true;
        case VK_HOME:
            MoveCaret(0, shift);
            return true;
        case VK_END:
            MoveCaret(n, shift);
            return true;
        case VK_BACK:
            if (m_bReadOnly)
                return true;
            if (s == e && s > 0)
                m_nAnchor = s - 1, m_nCaret = s;
            ReplaceSel(SStringW());
            return true;
        case VK_DELETE:
            if (m_bReadOnly)
                return true;
            if (s == e && e < n)
                m_nAnchor = s, m_nCaret = s + 1;
            ReplaceSel(SStringW());
            return true;
        default:
            break;
    }
    if (!ctrl)
        return false;
    switch (vk) {
        case 'A':
            SetSel(0, -1);
            return true;
        case 'C':
            if (s != e && !m_bPassword) {
                if (ISwndContainer* c = GetContainer())
                    c->SetClipboardText(GetSelText());
            }
            return true;
        case 'X':
            if (s != e && !m_bPassword && !m_bReadOnly) {
                if (ISwndContainer* c = GetContainer())
                    c->SetClipboardText(GetSelText());
                ReplaceSel(SStringW());
            }
            return true;
        case 'V': {
            if (m_bReadOnly)
                return true;
            SStringW clip;
            ISwndContainer* c = GetContainer();
            if (c && c->GetClipboardText(&clip)) {
                // One line only: line breaks of pasted text become spaces.
                for (wchar_t& ch : clip)
                    if (ch == L'\r' || ch == L'\n' || ch == L'\t')
                        ch = L' ';
                ReplaceSel(clip);
            }
            return true;
        }
        default:
            return false;
    }
}

void SEdit::OnChar(const SStringW& text) {
    if (m_bReadOnly)
        return;
    SStringW clean;
    for (wchar_t ch : text)
        if (ch >= 0x20 && ch != 0x7f)
            clean += ch;
    m_strComposition.clear();
    if (!clean.empty())
        ReplaceSel(clean);
}

void SEdit::OnImeComposition(const SStringW& text) {
    if (m_bReadOnly)
        return;
    m_strComposition = text;
    Invalidate();
}

void SEdit::OnSetFocus() {
    m_bCaretOn = true;
    m_nBlink = 0;
    if (ISwndContainer* c = GetContainer())
        c->RegisterTimelineHandler(this);
    UpdateImeRect();
    Invalidate();
}

void SEdit::OnKillFocus() {
    if (ISwndContainer* c = GetContainer())
        c->UnregisterTimelineHandler(this);
    m_strComposition.clear();
    m_bSelecting = false;
    Invalidate();
}

void SEdit::OnNextFrame() {
    if (++m_nBlink >= kBlinkFrames) {
        m_nBlink = 0;
        m_bCaretOn = !m_bCaretOn;
        Invalidate();
    }
}

void SEdit::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    CRect rc = TextRect();
    SPainter painter;
    BeforePaint(rt, painter);
    rt->PushClipRect(rc);
    bool focused = IsFocused();
    if (m_strText.empty() && m_strComposition.empty() && !focused && !m_strCue.empty()) {
        COLORREF old = rt->SetTextColor(m_crCue);
        CRect r = rc;
        rt->DrawText(m_strCue.c_str(), static_cast<int>(m_strCue.size()), &r,
                     DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        rt->SetTextColor(old);
    } else {
        int x0 = rc.left - m_nScrollX;
        int s, e;
        GetSel(&s, &e);
        CSize line = rt->MeasureText(L"Ag", 2);
        int top = rc.top + (rc.Height() - line.cy) / 2;
        if (s != e) {
            rt->FillSolidRect(CRect(x0 + XOfIndex(s), top, x0 + XOfIndex(e), top + line.cy),
                              focused ? kSelFocused : kSelUnfocused);
        }
        SStringW text = DisplayText();
        int caret = std::clamp(m_nCaret, 0, static_cast<int>(text.size()));
        if (!m_strComposition.empty())
            text.insert(caret, m_strComposition);
        if (!text.empty())
            rt->TextOut(x0, top, text.c_str(), static_cast<int>(text.size()));
        int caretX = x0 + XOfIndex(caret);
        if (!m_strComposition.empty()) {
            int compW = rt->MeasureText(m_strComposition.c_str(), -1).cx;
            rt->FillSolidRect(CRect(caretX, top + line.cy - 1, caretX + compW, top + line.cy),
                              rt->GetTextColor());
            caretX += compW;
        }
        if (focused && m_bCaretOn && !m_bReadOnly)
            rt->FillSolidRect(CRect(caretX, top, caretX + 1, top + line.cy), rt->GetTextColor());
    }
    rt->PopClip();
    AfterPaint(rt, painter);
}

}  // namespace SOUI

namespace SOUI {
SEdit::~SEdit() {
    if (m_pMeasureRT)
        m_pMeasureRT->Release();
}
}  // namespace SOUI
