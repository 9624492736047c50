#pragma once
// Static text ("text"). Alignment comes from the text mode (`align` sets it too);
// `multiLines` wraps at the window width, `maxWidth` bounds the content width when the
// window sizes to its content, `valign` top/middle/bottom places the text block.

#include "uilib/SWindow.h"

namespace SOUI {

class SStatic : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SStatic, L"text")

public:
    SStatic();
    CSize GetDesiredSize(const CRect* rcContainer) override;
    bool IsMultiLines() const { return m_bMultiLines; }
    SAccRole GetAccRole() const override { return SAccRole::Label; }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;
    // With multiLines: wrapped at the width, the block placed by valign.
    void DrawText(IRenderTarget* rt, const SStringW& text, CRect rc, UINT format) override;

private:
    bool m_bMultiLines = false;
    int m_nLineInter = 0;
    enum { VTop, VMiddle, VBottom } m_vAlign = VTop;
};

// Image window ("img"): draws frame `iconIndex` of its skin stretched to the window.
class SImageWnd : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SImageWnd, L"img")

public:
    SImageWnd();
    CSize GetDesiredSize(const CRect* rcContainer) override;

protected:
    // The skin sizes the image.
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;

private:
    int m_nFrame = 0;
};

// Caption ("caption"): dragging it moves the host window.
class SCaption : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SCaption, L"caption")

public:
    bool WantsPress(CPoint) const override { return true; }
    void OnLButtonDown(CPoint pt, UINT flags) override;
    void OnMouseMove(CPoint pt, UINT flags) override;
    void OnLButtonUp(CPoint pt, UINT flags) override;

private:
    bool m_bDragging = false;
};

// Progress bar ("progress"): `bkgndSkin` over the whole bar, `posSkin` over the filled
// part from `min` to `value` of `max`.
class SProgress : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SProgress, L"progress")

public:
    SProgress();
    // Clamped to the range; false (and no change) when min >= max.
    bool SetValue(int value);
    int GetValue() const { return m_nValue; }
    void SetRange(int min, int max);
    void GetRange(int* min, int* max) const {
        *min = m_nMin;
        *max = m_nMax;
    }
    SAccRole GetAccRole() const override { return SAccRole::ProgressBar; }
    bool GetAccValue(int* value, int* min, int* max) const override {
        *value = m_nValue;
        GetRange(min, max);
        return true;
    }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;

private:
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nValue = 0;
    SAutoRefPtr<ISkinObj> m_pSkinBg;
    SAutoRefPtr<ISkinObj> m_pSkinPos;
    bool m_bVertical = false;
};

}  // namespace SOUI
