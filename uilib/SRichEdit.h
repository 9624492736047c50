#pragma once
// The rich edit ("richedit"), read-only: shows an RTF document (the `rtf` attribute names
// a resource) with paragraphs, bold, italic, underline, font sizes, colours, \'hh escapes
// in the document's code page and \u escapes; wraps words at the width, scrolls with the
// mouse wheel and a vertical scroll bar drawn with the `sbSkin` skin. Lines break where
// the Unicode line-breaking rules allow. The text can be selected with the mouse (drag,
// double click for a word, Shift+click) and with Shift and the navigation keys, Ctrl+A
// selects all and Ctrl+C copies the selection.

#include <cstdint>
#include <vector>

#include "uilib/SWindow.h"

namespace SOUI {

// One run of equally formatted text.
struct SRtfRun {
    SStringW text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int sizeHalfPt = 24;  // \fs: half points
    COLORREF color = RGBA(0, 0, 0, 255);
};

struct SRtfParagraph {
    std::vector<SRtfRun> runs;
    int align = 0;       // 0 left, 1 centre, 2 right (\ql \qc \qr)
    int spaceAfter = 0;  // \sa, twips
};

struct SRtfDocument {
    std::vector<SRtfParagraph> paragraphs;
    int codePage = 1252;  // \ansicpg
};

// Parses the RTF subset above; unknown control words and destinations are skipped.
// Never fails: bad input gives what could be read.
SRtfDocument ParseRtf(const std::string& rtf);

class SRichEdit : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SRichEdit, L"richedit")

public:
    SRichEdit();
    ~SRichEdit() override;
    // Loads an RTF document (bytes); replaces the content and clears the selection.
    void SetRtf(const std::string& rtf);
    const SRtfDocument& GetDocument() const { return m_doc; }
    // Plain text of the document, paragraphs joined by '\n'. Selection positions are
    // character offsets into it.
    SStringW GetPlainText() const;

    // The selection is [min(anchor, caret), max); -1 as end: to the end of the text.
    void SetSel(int start, int end);
    void GetSel(int* start, int* end) const;
    SStringW GetSelText() const;
    // Puts the selection on the clipboard as text; false when nothing is selected.
    bool CopySelection();
    // The text of each laid-out line at the current width.
    std::vector<SStringW> GetLineTexts();

    bool OnMouseWheel(int delta, CPoint pt) override;
    void OnLButtonDown(CPoint pt, UINT flags) override;
    void OnLButtonDblClk(CPoint pt, UINT flags) override;
    void OnMouseMove(CPoint pt, UINT flags) override;
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnKeyDown(UINT vk, UINT flags) override;
    void OnKillFocus() override;
    void OnDestroy() override;
    int GetScrollPos() const { return m_nScrollY; }
    int GetContentHeight();
    void UpdateChildrenPosition() override;
    SAccRole GetAccRole() const override { return SAccRole::TextField; }
    DWORD GetAccStates() const override {
        return SWindow::GetAccStates() | SAccState_ReadOnly | SAccState_MultiLine;
    }
    SStringW GetAccText() const override { return GetPlainText(); }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    SStringW GetAccDefaultName() const override { return {}; }
    void OnPaint(IRenderTarget* rt) override;
    bool ClassFocusable() const override { return true; }

private:
    // A paragraph's text with what its layout needs, measured once per document and font.
    struct ParaText {
        SStringW text;              // the runs' text joined
        std::vector<int> runStart;  // first character of each run, and the text's length
        std::vector<int> runHeight;
        std::vector<int> advance;  // width of each character
        std::vector<BYTE> bounds;  // STextBoundary bits, text.size() + 1 entries
        int start = 0;             // offset of the paragraph in the plain text
    };
    // Part of a line in the format of one run.
    struct LinePiece {
        int run;
        int begin, end;  // characters of the paragraph
        int x;           // left edge in the text area
    };
    struct Line {
        std::vector<LinePiece> pieces;
        int para;
        int begin, end;  // characters of the paragraph on the line, without a '\n'
        int next;        // where the following line of the paragraph starts
        int x;           // left edge of the first character in the text area
        int y, height, width;
    };
    void Measure(IRenderTarget* rt);
    void Reflow(IRenderTarget* rt);
    void BreakParagraph(int p, int width);
    bool NeedsReflow() const;
    bool EnsureLayout();
    CRect TextArea() const;
    CRect ScrollBarRect() const;
    CRect ThumbRect();
    void ScrollTo(int y);
    IFontS* FontOf(const SRtfRun& run);

    int TextLength() const;
    // Line holding a plain-text position (a position where a wrapped line ends belongs
    // to the line that follows).
    int LineOfPos(int pos) const;
    int XOfPos(const Line& line, int pos) const;  // in the text area, pos on the line
    // Nearest position to a client point, and the line it was found on.
    int PosFromPoint(CPoint pt, int* line = nullptr);
    int PosAtLineX(int line, int x) const;
    // `line`: the line the caret stands on where a wrapped line's end and the next line's
    // start are one position (-1: the line that starts there).
    void MoveCaret(int pos, bool bExtend, int line = -1);
    int CaretLine() const;
    void ScrollToCaret();
    void DrawSelection(IRenderTarget* rt, const CRect& area);
    // While a selecting drag holds the pointer above or below the text, a timer keeps
    // scrolling towards it.
    void DragSelectTo(CPoint pt);
    void StopDragScroll();

    SRtfDocument m_doc;
    std::vector<ParaText> m_paras;
    bool m_bMeasured = false;
    SStringW m_strMeasuredFont;  // the window's font the measures were taken in
    std::vector<Line> m_lines;
    int m_nLayoutWidth = -1;
    int m_nContentHeight = 0;
    int m_nScrollY = 0;
    bool m_bVScroll = true;
    bool m_bWordWrap = true;
    SAutoRefPtr<ISkinObj> m_pSbSkin;
    int m_nSbWidth = 12;
    bool m_bDragThumb = false;
    int m_nDragOffset = 0;
    int m_nSbHover = -1;
    bool m_bSelecting = false;
    CPoint m_ptDrag;
    uint64_t m_nDragTimer = 0;
    int m_nAnchor = 0;
    int m_nCaret = 0;
    int m_nCaretLine = -1;
    COLORREF m_crSel = RGBA(0xb4, 0xd5, 0xfe, 0xff);          // while focused
    COLORREF m_crSelInactive = RGBA(0xdc, 0xdc, 0xdc, 0xff);  // otherwise
    IRenderTarget* m_pMeasureRT = nullptr;
    CRect m_rcInset{4, 4, 4, 4};
};

}  // namespace SOUI
