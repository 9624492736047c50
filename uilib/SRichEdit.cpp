#include "uilib/SRichEdit.h"

#include "platform/WideFormat.h"
#include "uilib/SApplication.h"

namespace SOUI {
namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == 0x3000;
}

constexpr int kWheelStep = 48;
constexpr int kArrowStep = 20;
constexpr UINT kDragScrollMs = 50;
constexpr int kFarRight = 1 << 29;  // an x past the end of any line

}  // namespace

SRichEdit::SRichEdit() {
    m_style.textMode = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;
    m_style.cursor = SCursor::IBeam;
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
    m_bMeasured = false;
    m_nLayoutWidth = -1;
    m_nScrollY = 0;
    m_nAnchor = m_nCaret = 0;
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

int SRichEdit::TextLength() const {
    int n = 0;
    for (const auto& para : m_doc.paragraphs)
        for (const auto& run : para.runs)
            n += static_cast<int>(run.text.size());
    return n + std::max(0, static_cast<int>(m_doc.paragraphs.size()) - 1);
}

void SRichEdit::SetSel(int start, int end) {
    int n = TextLength();
    m_nAnchor = std::clamp(start, 0, n);
    m_nCaret = end < 0 ? n : std::clamp(end, 0, n);
    m_nCaretLine = -1;
    Invalidate();
}

void SRichEdit::GetSel(int* start, int* end) const {
    *start = std::min(m_nAnchor, m_nCaret);
    *end = std::max(m_nAnchor, m_nCaret);
}

SStringW SRichEdit::GetSelText() const {
    int s, e;
    GetSel(&s, &e);
    if (s >= e)
        return {};
    return GetPlainText().substr(static_cast<size_t>(s), static_cast<size_t>(e - s));
}

bool SRichEdit::CopySelection() {
    SStringW text = GetSelText();
    ISwndContainer* c = GetContainer();
    if (text.empty() || !c)
        return false;
    c->SetClipboardText(text);
    return true;
}

std::vector<SStringW> SRichEdit::GetLineTexts() {
    std::vector<SStringW> out;
    if (!EnsureLayout())
        return out;
    for (const Line& line : m_lines)
        out.push_back(m_paras[static_cast<size_t>(line.para)].text.substr(
            static_cast<size_t>(line.begin), static_cast<size_t>(line.end - line.begin)));
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

void SRichEdit::Measure(IRenderTarget* rt) {
    m_paras.clear();
    m_paras.reserve(m_doc.paragraphs.size());
    int offset = 0;
    std::vector<int> edges;
    for (const SRtfParagraph& para : m_doc.paragraphs) {
        ParaText pt;
        pt.start = offset;
        for (const SRtfRun& run : para.runs) {
            pt.runStart.push_back(static_cast<int>(pt.text.size()));
            pt.text += run.text;
        }
        const int n = static_cast<int>(pt.text.size());
        pt.runStart.push_back(n);
        pt.advance.resize(static_cast<size_t>(n));
        for (size_t r = 0; r < para.runs.size(); ++r) {
            const SStringW& text = para.runs[r].text;
            rt->SelectFont(FontOf(para.runs[r]));
            pt.runHeight.push_back(rt->MeasureText(L"Ag", 2).cy);
            edges.assign(text.size(), 0);
            if (!text.empty())
                rt->MeasureCharEdges(text.c_str(), static_cast<int>(text.size()), edges.data());
            for (size_t i = 0; i < text.size(); ++i)
                pt.advance[static_cast<size_t>(pt.runStart[r]) + i] =
                    std::max(0, edges[i] - (i ? edges[i - 1] : 0));
        }
        if (para.runs.empty()) {  // an empty paragraph still takes a line
            rt->SelectFont(FontOf(SRtfRun{}));
            pt.runHeight.push_back(rt->MeasureText(L"Ag", 2).cy);
        }
        pt.bounds.assign(static_cast<size_t>(n) + 1, 0);
        rt->GetTextBoundaries(pt.text.c_str(), n, pt.bounds.data());
        offset += n + 1;
        m_paras.push_back(std::move(pt));
    }
    m_bMeasured = true;
    m_strMeasuredFont = m_style.strFont[SwndStyle::kNormal];
}

void SRichEdit::BreakParagraph(int p, int width) {
    const ParaText& pt = m_paras[static_cast<size_t>(p)];
    const SRtfParagraph& para = m_doc.paragraphs[static_cast<size_t>(p)];
    const SStringW& text = pt.text;
    const int n = static_cast<int>(text.size());
    const bool wrap = m_bWordWrap;
    int y = m_nContentHeight;
    for (int i = 0;;) {
        // Fill the line greedily; spaces may hang over the edge. On overflow the line
        // ends at the last place the line-breaking rules allow, or, in a word longer
        // than the line, just before the character that does not fit.
        int x = 0, j = i, lastBreak = -1;
        bool overflow = false;
        for (; j < n && text[static_cast<size_t>(j)] != L'\n'; ++j) {
            if (j > i && (pt.bounds[static_cast<size_t>(j)] & kBoundLineBreak))
                lastBreak = j;
            const int w = pt.advance[static_cast<size_t>(j)];
            if (wrap && j > i && x + w > width && !IsSpace(text[static_cast<size_t>(j)])) {
                overflow = true;
                break;
            }
            x += w;
        }
        Line line{{}, p, i, j, j, 0, y, 0, 0};
        if (overflow && lastBreak > i)
            line.end = line.next = lastBreak;
        else if (!overflow && j < n)
            line.next = j + 1;  // past the '\n'
        // Pieces by run, the line's height, and its width without hanging spaces.
        int px = 0, visible = line.begin;
        for (size_t r = 0; r + 1 < pt.runStart.size(); ++r) {
            const int b = std::max(line.begin, pt.runStart[r]);
            const int e = std::min(line.end, pt.runStart[r + 1]);
            if (b >= e)
                continue;
            line.pieces.push_back({static_cast<int>(r), b, e, px});
            line.height = std::max(line.height, pt.runHeight[r]);
            for (int k = b; k < e; ++k)
                px += pt.advance[static_cast<size_t>(k)];
        }
        for (int k = line.begin; k < line.end; ++k)
            if (!IsSpace(text[static_cast<size_t>(k)]))
                visible = k + 1;
        for (int k = line.begin; k < visible; ++k)
            line.width += pt.advance[static_cast<size_t>(k)];
        if (line.height == 0) {  // an empty line takes the height of the run it stands in
            size_t r = 0;
            while (r + 2 < pt.runStart.size() && pt.runStart[r + 1] <= line.begin)
                ++r;
            line.height =
                pt.runHeight.empty() ? 0 : pt.runHeight[std::min(r, pt.runHeight.size() - 1)];
        }
        const int shift = para.align == 1   ? (width - line.width) / 2
                          : para.align == 2 ? width - line.width
                                            : 0;
        line.x = std::max(0, shift);
        for (auto& piece : line.pieces)
            piece.x += line.x;
        y += line.height;
        const bool last = !overflow && j >= n;
        m_lines.push_back(std::move(line));
        if (last)
            break;
        i = m_lines.back().next;
    }
    m_nContentHeight = y + para.spaceAfter / 15;  // twips to pixels
}

void SRichEdit::Reflow(IRenderTarget* rt) {
    if (!m_bMeasured || m_strMeasuredFont != m_style.strFont[SwndStyle::kNormal])
        Measure(rt);
    const int width = std::max(1, TextArea().Width());
    m_lines.clear();
    m_nCaretLine = -1;
    m_nContentHeight = 0;
    for (size_t p = 0; p < m_paras.size(); ++p)
        BreakParagraph(static_cast<int>(p), width);
    m_nLayoutWidth = width;
    ScrollTo(m_nScrollY);
}

bool SRichEdit::NeedsReflow() const {
    // The window's font face reaches every run: a new font means measuring again.
    return m_nLayoutWidth != std::max(1, TextArea().Width()) || !m_bMeasured ||
           m_strMeasuredFont != m_style.strFont[SwndStyle::kNormal];
}

bool SRichEdit::EnsureLayout() {
    if (NeedsReflow()) {
        SApplication* app = SApplication::getSingletonPtr();
        if (!m_pMeasureRT && app && app->GetRenderFactory())
            app->GetRenderFactory()->CreateRenderTarget(&m_pMeasureRT, 0, 0);
        if (!m_pMeasureRT)
            return false;
        Reflow(m_pMeasureRT);
    }
    return true;
}

int SRichEdit::GetContentHeight() {
    EnsureLayout();
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

// ---------------------------------------------------------------- positions

int SRichEdit::LineOfPos(int pos) const {
    int found = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (m_paras[static_cast<size_t>(line.para)].start + line.begin > pos)
            break;
        found = static_cast<int>(i);
    }
    return found;
}

int SRichEdit::XOfPos(const Line& line, int pos) const {
    const ParaText& pt = m_paras[static_cast<size_t>(line.para)];
    const int local = std::clamp(pos - pt.start, line.begin, line.end);
    int x = line.x;
    for (int k = line.begin; k < local; ++k)
        x += pt.advance[static_cast<size_t>(k)];
    return x;
}

int SRichEdit::PosAtLineX(int lineIndex, int x) const {
    const Line& line = m_lines[static_cast<size_t>(lineIndex)];
    const ParaText& pt = m_paras[static_cast<size_t>(line.para)];
    int cx = line.x;
    for (int k = line.begin; k < line.end; ++k) {
        const int w = pt.advance[static_cast<size_t>(k)];
        if (x < cx + w / 2)
            return pt.start + k;
        cx += w;
    }
    // Past the end: after the last character, though before the spaces where the line
    // wrapped, so that the position stays on this line.
    int end = line.end;
    if (line.next == line.end && line.end < static_cast<int>(pt.text.size()))
        while (end > line.begin && IsSpace(pt.text[static_cast<size_t>(end - 1)]))
            --end;
    return pt.start + end;
}

int SRichEdit::PosFromPoint(CPoint pt, int* line) {
    if (line)
        *line = -1;
    if (!EnsureLayout() || m_lines.empty())
        return 0;
    const CRect area = TextArea();
    const int y = pt.y - area.top + m_nScrollY;
    if (y < 0)
        return 0;
    size_t i = 0;
    while (i + 1 < m_lines.size() && y >= m_lines[i].y + m_lines[i].height)
        ++i;
    if (y >= m_lines[i].y + m_lines[i].height)
        return TextLength();
    if (line)
        *line = static_cast<int>(i);
    return PosAtLineX(static_cast<int>(i), pt.x - area.left);
}

void SRichEdit::MoveCaret(int pos, bool bExtend, int line) {
    pos = std::clamp(pos, 0, TextLength());
    m_nCaretLine = -1;
    if (line >= 0 && line < static_cast<int>(m_lines.size())) {
        const Line& l = m_lines[static_cast<size_t>(line)];
        const int start = m_paras[static_cast<size_t>(l.para)].start;
        if (pos >= start + l.begin && pos <= start + l.end)
            m_nCaretLine = line;
    }
    if (!bExtend)
        m_nAnchor = pos;
    if (pos != m_nCaret || !bExtend) {
        m_nCaret = pos;
        Invalidate();
    }
}

int SRichEdit::CaretLine() const {
    return m_nCaretLine >= 0 ? m_nCaretLine : LineOfPos(m_nCaret);
}

void SRichEdit::ScrollToCaret() {
    if (!EnsureLayout() || m_lines.empty())
        return;
    const Line& line = m_lines[static_cast<size_t>(CaretLine())];
    const int view = TextArea().Height();
    if (line.y < m_nScrollY)
        ScrollTo(line.y);
    else if (line.y + line.height > m_nScrollY + view)
        ScrollTo(line.y + line.height - view);
}

// ---------------------------------------------------------------- input

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
        m_bSelecting = true;
        int line = -1;
        const int pos = PosFromPoint(pt, &line);
        MoveCaret(pos, (flags & MK_SHIFT) != 0, line);
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

void SRichEdit::OnLButtonDblClk(CPoint pt, UINT flags) {
    if ((m_bVScroll && ScrollBarRect().PtInRect(pt)) || (flags & MK_SHIFT)) {
        OnLButtonDown(pt, flags);
        return;
    }
    SetFocus();
    const int pos = PosFromPoint(pt);
    if (m_paras.empty())
        return;
    // The word around the position, or the one character there when it is no word.
    size_t p = 0;
    while (p + 1 < m_paras.size() && m_paras[p + 1].start <= pos)
        ++p;
    const ParaText& para = m_paras[p];
    const int n = static_cast<int>(para.text.size());
    int i = pos - para.start;
    if (i >= n) {
        if (n == 0)
            return;
        i = n - 1;
    }
    auto at = [&](int k) { return para.bounds[static_cast<size_t>(k)]; };
    int s = i;
    while (s > 0 && !(at(s) & (kBoundWordStart | kBoundWordEnd)))
        --s;
    int e = i + 1;
    if (at(s) & kBoundWordStart) {
        while (e < n && !(at(e) & kBoundWordEnd))
            ++e;
    } else {
        s = i;
    }
    m_bSelecting = false;
    SetSel(para.start + s, para.start + e);
}

void SRichEdit::OnMouseMove(CPoint pt, UINT) {
    // The text takes a text cursor, the scroll bar the arrow (the host asks after a move).
    const bool overBar = m_bVScroll && ScrollBarRect().PtInRect(pt);
    m_style.cursor = (overBar && !m_bSelecting) || m_bDragThumb ? SCursor::Arrow : SCursor::IBeam;
    if (m_bSelecting) {
        DragSelectTo(pt);
        return;
    }
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
    m_bSelecting = false;
    StopDragScroll();
    SWindow::OnLButtonUp(pt, flags);
}

void SRichEdit::DragSelectTo(CPoint pt) {
    m_ptDrag = pt;
    // Past the top or bottom the view scrolls towards the pointer, faster the further
    // away it is.
    const CRect area = TextArea();
    const int beyond = pt.y < area.top       ? pt.y - area.top
                       : pt.y >= area.bottom ? pt.y - area.bottom + 1
                                             : 0;
    if (beyond != 0)
        ScrollTo(m_nScrollY + std::clamp(beyond, -kWheelStep, kWheelStep));
    int line = -1;
    const int pos = PosFromPoint(pt, &line);
    MoveCaret(pos, true, line);
    IHostBackend* backend =
        SApplication::getSingletonPtr() ? SApplication::getSingleton().GetBackend() : nullptr;
    if (beyond == 0 || !backend) {
        StopDragScroll();
    } else if (m_nDragTimer == 0) {
        m_nDragTimer = backend->AddTimer(kDragScrollMs, [this] {
            if (m_bSelecting)
                DragSelectTo(m_ptDrag);
        });
    }
}

void SRichEdit::StopDragScroll() {
    if (m_nDragTimer == 0)
        return;
    if (SApplication* app = SApplication::getSingletonPtr())
        app->GetBackend()->RemoveTimer(m_nDragTimer);
    m_nDragTimer = 0;
}

void SRichEdit::OnKillFocus() {
    m_bSelecting = false;
    StopDragScroll();
    SWindow::OnKillFocus();
}

void SRichEdit::OnDestroy() {
    StopDragScroll();
    SWindow::OnDestroy();
}

bool SRichEdit::OnKeyDown(UINT vk, UINT flags) {
    const bool shift = (flags & MK_SHIFT) != 0;
    const bool ctrl = (flags & MK_CONTROL) != 0;
    if (ctrl && vk == 'A') {
        SetSel(0, -1);
        return true;
    }
    if (ctrl && vk == 'C') {
        CopySelection();
        return true;
    }
    if (!EnsureLayout())
        return false;
    const int page = TextArea().Height();
    if (!shift) {
        // Without Shift the keys scroll the view; the selection stays.
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
    // With Shift they move the selection's moving end, which the view follows.
    if (m_lines.empty())
        return false;
    const int lineIndex = CaretLine();
    const Line& line = m_lines[static_cast<size_t>(lineIndex)];
    const int x = XOfPos(line, m_nCaret);
    const int lastLine = static_cast<int>(m_lines.size()) - 1;
    auto lineAtY = [&](int y) {
        int i = 0;
        while (i < lastLine &&
               y >= m_lines[static_cast<size_t>(i)].y + m_lines[static_cast<size_t>(i)].height)
            ++i;
        return i;
    };
    int pos, target = -1;
    switch (vk) {
        case VK_LEFT:
            pos = m_nCaret - 1;
            break;
        case VK_RIGHT:
            pos = m_nCaret + 1;
            break;
        case VK_UP:
            target = std::max(0, lineIndex - 1);
            pos = lineIndex > 0 ? PosAtLineX(target, x) : 0;
            break;
        case VK_DOWN:
            target = std::min(lastLine, lineIndex + 1);
            pos = lineIndex < lastLine ? PosAtLineX(target, x) : TextLength();
            break;
        case VK_HOME:
            target = ctrl ? 0 : lineIndex;
            pos = ctrl ? 0 : m_paras[static_cast<size_t>(line.para)].start + line.begin;
            break;
        case VK_END:
            target = ctrl ? lastLine : lineIndex;
            pos = ctrl ? TextLength() : PosAtLineX(lineIndex, kFarRight);
            break;
        case VK_PRIOR:
            target = lineAtY(std::max(0, line.y - page));
            pos = lineIndex > 0 ? PosAtLineX(target, x) : 0;
            ScrollTo(m_nScrollY - page);
            break;
        case VK_NEXT:
            target = lineAtY(line.y + page);
            pos = lineIndex < lastLine ? PosAtLineX(target, x) : TextLength();
            ScrollTo(m_nScrollY + page);
            break;
        default:
            return false;
    }
    MoveCaret(pos, true, target);
    ScrollToCaret();
    return true;
}

// ---------------------------------------------------------------- painting

void SRichEdit::DrawSelection(IRenderTarget* rt, const CRect& area) {
    int s, e;
    GetSel(&s, &e);
    if (s >= e)
        return;
    const COLORREF color = IsFocused() ? m_crSel : m_crSelInactive;
    for (const Line& line : m_lines) {
        const int top = area.top + line.y - m_nScrollY;
        if (top + line.height < area.top)
            continue;
        if (top > area.bottom)
            break;
        const ParaText& pt = m_paras[static_cast<size_t>(line.para)];
        const int begin = pt.start + line.begin, end = pt.start + line.end;
        // A selected line break shows as a narrow block after the line's text.
        const bool breakSelected = line.next != line.end && s <= end && e > end;
        if (e <= begin || s > end || (s == end && !breakSelected))
            continue;
        int left = XOfPos(line, std::max(s, begin));
        int right = XOfPos(line, std::min(e, end));
        if (breakSelected)
            right += std::max(4, line.height / 3);
        rt->FillSolidRect(CRect(area.left + left, top, area.left + right, top + line.height),
                          color);
    }
}

void SRichEdit::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    if (NeedsReflow())
        Reflow(rt);
    CRect area = TextArea();
    SPainter painter;
    BeforePaint(rt, painter);
    rt->PushClipRect(area);
    DrawSelection(rt, area);
    for (const Line& line : m_lines) {
        int top = area.top + line.y - m_nScrollY;
        if (top + line.height < area.top)
            continue;
        if (top > area.bottom)
            break;
        const ParaText& pt = m_paras[static_cast<size_t>(line.para)];
        const SRtfParagraph& para = m_doc.paragraphs[static_cast<size_t>(line.para)];
        for (const LinePiece& piece : line.pieces) {
            const SRtfRun& run = para.runs[static_cast<size_t>(piece.run)];
            rt->SelectFont(FontOf(run));
            rt->SetTextColor(run.color);
            // Runs of different sizes share the line's bottom.
            rt->TextOut(area.left + piece.x,
                        top + line.height - pt.runHeight[static_cast<size_t>(piece.run)],
                        pt.text.c_str() + piece.begin, piece.end - piece.begin);
        }
    }
    rt->PopClip();
    AfterPaint(rt, painter);
    if (m_bVScroll && m_nContentHeight > area.Height()) {
        CRect bar = ScrollBarRect();
        CRect thumb = ThumbRect();
        int arrow = m_pSbSkin ? m_pSbSkin->GetSkinSize().cy : m_nSbWidth;
        auto* sb = static_cast<SSkinScrollbar*>(m_pSbSkin.get());
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

SRichEdit::~SRichEdit() {
    StopDragScroll();
    if (m_pMeasureRT)
        m_pMeasureRT->Release();
}

}  // namespace SOUI
