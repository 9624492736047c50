#include "uilib/SRichEdit.h"

#include "platform/WideFormat.h"
#include "uilib/SApplication.h"

namespace SOUI {
namespace {

bool IsCjk(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x3000 && c <= 0x303F);
}

// Breaks text into wrap units: a CJK character each, else a word with its spaces.
std::vector<SStringW> WrapUnits(const SStringW& text) {
    std::vector<SStringW> out;
    SStringW cur;
    for (wchar_t c : text) {
        if (c == L'\n') {
            if (!cur.empty())
                out.push_back(cur);
            out.push_back(L"\n");
            cur.clear();
        } else if (IsCjk(c)) {
            if (!cur.empty())
                out.push_back(cur);
            out.push_back(SStringW(1, c));
            cur.clear();
        } else if (c == L' ' || c == L'\t') {
            cur += L' ';
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

constexpr int kWheelStep = 48;
constexpr int kArrowStep = 20;

}  // namespace

SRichEdit::SRichEdit() {
    m_style.textMode = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;
}

const SAttrTable& SRichEdit::ClassAttributes() {
    static const TplAttrTable<SRichEdit> table = [] {
        TplAttrTable<SRichEdit> t(&SWindow::ClassAttributes());
        t.Add({L"rtf"}, SAttrEffect::Paint,
              [](SRichEdit* w, const SStringW& v) {
                  SApplication* app = SApplication::getSingletonPtr();
                  std::vector<unsigned char> data;
                  if (!app || !app->GetRawBuffer(v, &data))
                      return E_FAIL;
                  w->SetRtf(std::string(data.begin(), data.end()));
                  return S_OK;
              })
            .Add({L"vscrollBar"}, SAttrEffect::Paint,
                 [](SRichEdit* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bVScroll); })
            .Add({L"wordwrap"}, SAttrEffect::Paint,
                 [](SRichEdit* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bWordWrap); })
            .Add({L"sbSkin"}, SAttrEffect::Paint,
                 [](SRichEdit* w, const SStringW& v) {
                     SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
                     ISkinObj* skin = pool ? pool->GetSkin(v) : nullptr;
                     if (!skin || !skin->IsClass(SSkinScrollbar::GetClassName()))
                         return E_FAIL;
                     w->m_pSbSkin = skin;
                     w->m_nSbWidth = std::max(8, skin->GetSkinSize().cx);
                     return S_OK;
                 })
            // The padding of the text inside the control (not the style's padding).
            .Add({L"inset"}, SAttrEffect::Paint,
                 [](SRichEdit* w, const SStringW& v) {
                     auto r = ParseRect4(v);
                     if (!r)
                         return E_FAIL;
                     w->m_rcInset = *r;
                     w->m_nLayoutWidth = -1;
                     return S_OK;
                 })
            // Editing attributes: this control is a read-only viewer.
            .Add({L"readOnly", L"multilines", L"cueText", L"hscrollBar", L"autoVScroll",
                  L"autoHScroll", L"wantReturn", L"wantTab", L"richText"},
                 SAttrEffect::Paint, [](SRichEdit*, const SStringW&) { return S_FALSE; });
        return t;
    }();
    return table;
}

void SRichEdit::SetRtf(const std::string& rtf) {
    m_doc = ParseRtf(rtf);
    m_nLayoutWidth = -1;
    m_nScrollY = 0;
    Invalidate();
}

SStringW SRichEdit::GetPlainText() const {
    SStringW out;
    for (size_t p = 0; p < m_doc.paragraphs.size(); ++p) {
        if (p)
            out += L'\n';
        for (const auto& run : m_doc.paragraphs[p].runs)
            out += run.text;
    }
    return out;
}

CRect SRichEdit::TextArea() const {
    CRect rc = GetClientRect();
    rc.DeflateRect(m_rcInset);
    if (m_bVScroll)
        rc.right -= m_nSbWidth;
    // A window smaller than its inset has an empty text area, never a negative one.
    rc.right = std::max(rc.right, rc.left);
    rc.bottom = std::max(rc.bottom, rc.top);
    return rc;
}

CRect SRichEdit::ScrollBarRect() const {
    CRect rc = GetClientRect();
    return {rc.right - m_nSbWidth, rc.top, rc.right, rc.bottom};
}

IFontS* SRichEdit::FontOf(const SRtfRun& run) {
    SApplication* app = SApplication::getSingletonPtr();
    if (!app)
        return nullptr;
    // Half points to pixels at 96 dpi.
    int px = std::max(6, run.sizeHalfPt * 2 / 3);
    SStringW desc = platform::FormatW(L"size:%d,bold:%d,italic:%d,underline:%d", px,
                                      run.bold ? 1 : 0, run.italic ? 1 : 0, run.underline ? 1 : 0);
    const SStringW& base = m_style.strFont[SwndStyle::kNormal];
    for (size_t i = 0; i < base.size();) {  // keep the window's face
        size_t comma = base.find(L',', i);
        SStringW part = base.substr(i, comma == SStringW::npos ? SStringW::npos : comma - i);
        if (part.rfind(L"face:", 0) == 0)
            desc = part + L"," + desc;
        if (comma == SStringW::npos)
            break;
        i = comma + 1;
    }
    return app->GetFont(desc);
}

void SRichEdit::Reflow(IRenderTarget* rt) {
    CRect area = TextArea();
    int width = std::max(1, area.Width());
    m_lines.clear();
    int y = 0;
    for (size_t p = 0; p < m_doc.paragraphs.size(); ++p) {
        const SRtfParagraph& para = m_doc.paragraphs[p];
        Line line{{}, y, 0, 0, static_cast<int>(p)};
        auto finish = [&](bool last) {
            if (line.height == 0) {
                SRtfRun def;
                if (!para.runs.empty())
                    def = para.runs.front();
                rt->SelectFont(FontOf(def));
                line.height = rt->MeasureText(L"Ag", 2).cy;
            }
            int shift = para.align == 1   ? (width - line.width) / 2
                        : para.align == 2 ? width - line.width
                                          : 0;
            if (shift > 0)
                for (auto& piece : line.pieces)
                    piece.x += shift;
            m_lines.push_back(line);
            y += line.height;
            if (last)
                y += para.spaceAfter / 15;  // twips to pixels
            line = Line{{}, y, 0, 0, static_cast<int>(p)};
        };
        for (size_t r = 0; r < para.runs.size(); ++r) {
            const SRtfRun& run = para.runs[r];
            rt->SelectFont(FontOf(run));
            int lineHeight = rt->MeasureText(L"Ag", 2).cy;
            for (const SStringW& unit : WrapUnits(run.text)) {
                if (unit == L"\n") {
                    line.height = std::max(line.height, lineHeight);
                    finish(false);
                    continue;
                }
                int w = rt->MeasureText(unit.c_str(), static_cast<int>(unit.size())).cx;
                if (m_bWordWrap && line.width > 0 && line.width + w > width) {
                    // Trailing spaces may hang over the edge; a word goes to the next line.
                    SStringW trimmed = unit;
                    while (!trimmed.empty() && trimmed.back() == L' ')
                        trimmed.pop_back();
                    int tw = rt->MeasureText(trimmed.c_str(), static_cast<int>(trimmed.size())).cx;
                    if (trimmed.empty() || line.width + tw > width)
                        finish(false);
                }
                if (!line.pieces.empty() && line.pieces.back().runPara == static_cast<int>(p) &&
                    line.pieces.back().runIndex == static_cast<int>(r)) {
                    line.pieces.back().text += unit;
                } else {
                    line.pieces.push_back(
                        {static_cast<int>(p), static_cast<int>(r), unit, line.width});
                }
                line.width += w;
                line.height = std::max(line.height, lineHeight);
            }
        }
        finish(true);
    }
    m_nContentHeight = y;
    m_nLayoutWidth = width;
    ScrollTo(m_nScrollY);
}

int SRichEdit::GetContentHeight() {
    if (m_nLayoutWidth != std::max(1, TextArea().Width())) {
        SApplication* app = SApplication::getSingletonPtr();
        if (!m_pMeasureRT && app && app->GetRenderFactory())
            app->GetRenderFactory()->CreateRenderTarget(&m_pMeasureRT, 0, 0);
        if (m_pMeasureRT)
            Reflow(m_pMeasureRT);
    }
    return m_nContentHeight;
}

void SRichEdit::UpdateChildrenPosition() {
    SWindow::UpdateChildrenPosition();
    m_nLayoutWidth = -1;  // reflow at the next paint or query
}

void SRichEdit::ScrollTo(int y) {
    int maxScroll = std::max(0, m_nContentHeight - TextArea().Height());
    int v = std::clamp(y, 0, maxScroll);
    if (v != m_nScrollY) {
        m_nScrollY = v;
        Invalidate();
    }
}

CRect SRichEdit::ThumbRect() {
    CRect bar = ScrollBarRect();
    int arrow = m_pSbSkin ? m_pSbSkin->GetSkinSize().cy : m_nSbWidth;
    CRect rail(bar.left, bar.top + arrow, bar.right, bar.bottom - arrow);
    int content = GetContentHeight();
    int view = TextArea().Height();
    if (content <= view || rail.Height() <= 0)
        return rail;
    int h = std::max<int>(16, int64_t{rail.Height()} * view / content);
    h = std::min(h, rail.Height());
    int top =
        rail.top + static_cast<int>(int64_t{rail.Height() - h} * m_nScrollY / (content - view));
    return {rail.left, top, rail.right, top + h};
}

bool SRichEdit::OnMouseWheel(int delta, CPoint) {
    int before = m_nScrollY;
    GetContentHeight();
    ScrollTo(m_nScrollY - delta * kWheelStep);
    return before != m_nScrollY || GetContentHeight() > TextArea().Height();
}

void SRichEdit::OnLButtonDown(CPoint pt, UINT flags) {
    SetFocus();
    if (!m_bVScroll || !ScrollBarRect().PtInRect(pt)) {
        SWindow::OnLButtonDown(pt, flags);
        return;
    }
    CRect bar = ScrollBarRect();
    int arrow = m_pSbSkin ? m_pSbSkin->GetSkinSize().cy : m_nSbWidth;
    CRect thumb = ThumbRect();
    SetCapture();
    if (pt.y < bar.top + arrow) {
        ScrollTo(m_nScrollY - kArrowStep);
    } else if (pt.y >= bar.bottom - arrow) {
        ScrollTo(m_nScrollY + kArrowStep);
    } else if (thumb.PtInRect(pt)) {
        m_bDragThumb = true;
        m_nDragOffset = pt.y - thumb.top;
    } else {
        int page = TextArea().Height();
        ScrollTo(m_nScrollY + (pt.y < thumb.top ? -page : page));
    }
}

void SRichEdit::OnMouseMove(CPoint pt, UINT) {
    if (!m_bDragThumb)
        return;
    CRect bar = ScrollBarRect();
    int arrow = m_pSbSkin ? m_pSbSkin->GetSkinSize().cy : m_nSbWidth;
    int railTop = bar.top + arrow, railH = bar.Height() - 2 * arrow;
    CRect thumb = ThumbRect();
    int travel = std::max(1, railH - thumb.Height());
    int content = GetContentHeight(), view = TextArea().Height();
    ScrollTo(static_cast<int>(int64_t{pt.y - m_nDragOffset - railTop} *
                              std::max(0, content - view) / travel));
}

void SRichEdit::OnLButtonUp(CPoint pt, UINT flags) {
    m_bDragThumb = false;
    SWindow::OnLButtonUp(pt, flags);
}

bool SRichEdit::OnKeyDown(UINT vk, UINT) {
    int page = TextArea().Height();
    GetContentHeight();
    switch (vk) {
        case VK_UP:
            ScrollTo(m_nScrollY - kArrowStep);
            return true;
        case VK_DOWN:
            ScrollTo(m_nScrollY + kArrowStep);
            return true;
        case VK_PRIOR:
            ScrollTo(m_nScrollY - page);
            return true;
        case VK_NEXT:
            ScrollTo(m_nScrollY + page);
            return true;
        case VK_HOME:
            ScrollTo(0);
            return true;
        case VK_END:
            ScrollTo(m_nContentHeight);
            return true;
        default:
            return false;
    }
}

void SRichEdit::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    if (m_nLayoutWidth != std::max(1, TextArea().Width()))
        Reflow(rt);
    CRect area = TextArea();
    SPainter painter;
    BeforePaint(rt, painter);
    rt->PushClipRect(area);
    for (const Line& line : m_lines) {
        int top = area.top + line.y - m_nScrollY;
        if (top + line.height < area.top)
            continue;
        if (top > area.bottom)
            break;
        for (const LinePiece& piece : line.pieces) {
            const SRtfRun& run = m_doc.paragraphs[piece.runPara].runs[piece.runIndex];
            rt->SelectFont(FontOf(run));
            rt->SetTextColor(run.color);
            // Align the baselines of different sizes roughly at the line's bottom.
            int h = rt->MeasureText(L"Ag", 2).cy;
            rt->TextOut(area.left + piece.x, top + line.height - h, piece.text.c_str(),
                        static_cast<int>(piece.text.size()));
        }
    }
    rt->PopClip();
    AfterPaint(rt, painter);
    if (m_bVScroll && m_nContentHeight > area.Height()) {
        CRect bar = ScrollBarRect();
        CRect thumb = ThumbRect();
        int arrow = m_pSbSkin ? m_pSbSkin->GetSkinSize().cy : m_nSbWidth;
        auto* sb = static_cast<SSkinScrollbar*>(m_pSbSkin);
        if (sb) {
            sb->DrawPart(rt, bar, SSkinScrollbar::kVRail, 0, 0xff);
            sb->DrawPart(rt, CRect(bar.left, bar.top, bar.right, bar.top + arrow),
                         SSkinScrollbar::kUpArrow, 0, 0xff);
            sb->DrawPart(rt, CRect(bar.left, bar.bottom - arrow, bar.right, bar.bottom),
                         SSkinScrollbar::kDownArrow, 0, 0xff);
            sb->DrawPart(rt, thumb, SSkinScrollbar::kVThumb, m_bDragThumb ? 2 : 0, 0xff);
        } else {
            rt->FillSolidRect(bar, RGBA(0xf0, 0xf0, 0xf0, 0xff));
            rt->FillSolidRect(thumb, RGBA(0xc0, 0xc0, 0xc0, 0xff));
        }
    }
}

}  // namespace SOUI

namespace SOUI {
SRichEdit::~SRichEdit() {
    if (m_pMeasureRT)
        m_pMeasureRT->Release();
}
}  // namespace SOUI
