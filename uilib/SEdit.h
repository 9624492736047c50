#pragma once
// The single-line editor ("edit"): caret, selection with mouse and keyboard (Shift with
// arrows/Home/End, Ctrl+A), clipboard (Ctrl+C/X/V), typed and input-method text, cue text
// while empty and unfocused. `readOnly` keeps the text but allows selection and copy;
// `maxLength` bounds the text; `password` draws bullets.

#include "uilib/SWindow.h"

namespace SOUI {

class SEdit : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SEdit, L"edit")

public:
    SEdit();
    ~SEdit() override;

    // Text changes move the caret to the end and clear the selection.
    void SetSel(int start, int end);  // -1 end: to the end of the text
    void GetSel(int* start, int* end) const;
    int GetCaretPos() const { return m_nCaret; }
    SStringW GetSelText() const;
    // Replaces the selection (or inserts at the caret).
    void ReplaceSel(const SStringW& text);
    const SStringW& GetCueText() const { return m_strCue; }
    const SStringW& GetComposition() const { return m_strComposition; }

    void OnLButtonDown(CPoint pt, UINT flags) override;
    void OnLButtonDblClk(CPoint pt, UINT flags) override;
    void OnMouseMove(CPoint pt, UINT flags) override;
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnKeyDown(UINT vk, UINT flags) override;
    // Read-only text takes no typing, so its keys need not pass the input method.
    bool AcceptsText() const override { return !m_bReadOnly; }
    void OnChar(const SStringW& text) override;
    void OnImeComposition(const SStringW& text) override;
    void OnSetFocus() override;
    void OnKillFocus() override;
    void OnNextFrame() override;
    SAccRole GetAccRole() const override { return SAccRole::TextField; }
    DWORD GetAccStates() const override {
        return SWindow::GetAccStates() | (m_bReadOnly ? SAccState_ReadOnly : 0);
    }
    // What the editor shows: bullets for a password.
    SStringW GetAccText() const override { return DisplayText(); }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    // Only the layout's accName: the text is the content, not a name.
    SStringW GetAccDefaultName() const override { return {}; }
    void OnPaint(IRenderTarget* rt) override;
    bool ClassFocusable() const override { return true; }

private:
    CRect TextRect() const;
    SStringW DisplayText() const;
    int XOfIndex(int index);  // pixel offset of a caret index in the text
    int IndexFromX(int x);    // nearest caret index for a client x
    void MoveCaret(int index, bool bExtend);
    void EnsureCaretVisible();
    void UpdateImeRect();
    void TextChanged();

    SStringW m_strCue;
    COLORREF m_crCue = RGBA(0xa0, 0xa0, 0xa0, 0xff);
    int m_nCaret = 0;
    int m_nAnchor = 0;  // selection is [min(anchor, caret), max)
    int m_nScrollX = 0;
    int m_nExtend = 0;     // text inset from the left edge (`extend`)
    int m_nMaxLength = 0;  // 0: no limit
    bool m_bReadOnly = false;
    bool m_bPassword = false;
    bool m_bSelecting = false;
    bool m_bCaretOn = true;
    int m_nBlink = 0;
    SStringW m_strComposition;
    IRenderTarget* m_pMeasureRT = nullptr;
};

}  // namespace SOUI
