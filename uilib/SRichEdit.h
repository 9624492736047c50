#pragma once
// The rich edit ("richedit"), read-only: shows an RTF document (the `rtf` attribute names
// a resource) with paragraphs, bold, italic, underline, font sizes, colours, \'hh escapes
// in the document's code page and \u escapes; wraps words at the width, scrolls with the
// mouse wheel and a vertical scroll bar drawn with the `sbSkin` skin.

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
    // Loads an RTF document (bytes); replaces the content.
    void SetRtf(const std::string& rtf);
    const SRtfDocument& GetDocument() const { return m_doc; }
    // Plain text of the document, paragraphs joined by '\n'.
    SStringW GetPlainText() const;
    bool OnMouseWheel(int delta, CPoint pt) override;
    void OnLButtonDown(CPoint pt, UINT flags) override;
    void OnMouseMove(CPoint pt, UINT flags) override;
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnKeyDown(UINT vk, UINT flags) override;
    int GetScrollPos() const { return m_nScrollY; }
    int GetContentHeight();
    void UpdateChildrenPosition() override;

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;
    bool ClassFocusable() const override { return true; }

private:
    struct LinePiece {
        int runPara, runIndex;
        SStringW text;
        int x;
    };
    struct Line {
        std::vector<LinePiece> pieces;
        int y, height, width, para;
    };
    void Reflow(IRenderTarget* rt);
    CRect TextArea() const;
    CRect ScrollBarRect() const;
    CRect ThumbRect();
    void ScrollTo(int y);
    IFontS* FontOf(const SRtfRun& run);

    SRtfDocument m_doc;
    std::vector<Line> m_lines;
    int m_nLayoutWidth = -1;
    int m_nContentHeight = 0;
    int m_nScrollY = 0;
    bool m_bVScroll = true;
    bool m_bWordWrap = true;
    ISkinObj* m_pSbSkin = nullptr;
    int m_nSbWidth = 12;
    bool m_bDragThumb = false;
    int m_nDragOffset = 0;
    int m_nSbHover = -1;
    IRenderTarget* m_pMeasureRT = nullptr;
    CRect m_rcInset{4, 4, 4, 4};
};

}  // namespace SOUI
