#pragma once
// The installer's icon-and-text button ("buttonex"): a button that draws an icon and its
// text side by side or one above the other, in one of five arrangements, on the base
// button's background skin. Everything else (clicks, keys, hover fade, font, colours,
// cursor) is the base button's.
//
// Attributes: pushOffset "x,y" (shift of the content while pushed or checked), icon (a
// skin name), iconIndex (frame; -1 follows the state), drawMode (freeDraw, vertIconText,
// vertTextIcon, horzIconText, horzTextIcon; case-sensitive), sepSize (gap between icon and
// text), iconPos and textPos "x,y" (freeDraw only).

#include "uilib/SAutoRefPtr.h"
#include "uilib/SButton.h"

namespace SOUI {

class SButtonEx : public SButton {
    using __baseCls = SButton;
    SOUI_CLASS_NAME(SButtonEx, L"buttonex")

public:
    enum DrawMode {
        FreeDraw = 0,
        VertIconText = 1,
        VertTextIcon = 2,
        HorzIconText = 3,
        HorzTextIcon = 4,
    };

    SButtonEx();
    ~SButtonEx() override;

    int GetObjectType() const override { return 1; }
    // The content size plus the padding; the container rectangle is not used.
    CSize GetDesiredSize(const CRect* rcContainer) override;
    // WM_PAINT (wParam: the IRenderTarget) paints the button; the rest goes to SButton.
    BOOL ProcessSwndMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // An icon given by code; it takes precedence over the `icon` skin and is drawn
    // stretched to size x size. The button takes over the caller's reference and returns
    // the previous icon, whose reference then belongs to the caller. Does not redraw.
    IBitmapS* SetIcon(IBitmapS* icon, int size);
    // Hides or shows the icon; a hidden icon keeps its space.
    void ShowIcon(bool bShow);
    // (size, size) of the icon given by code, else the size of one frame of the icon skin,
    // else 0 x 0.
    CSize GetIconSize() const;

    DrawMode GetDrawMode() const { return m_drawMode; }
    CPoint GetPushOffset() const { return m_ptPushOffset; }
    int GetIconIndex() const { return m_nIconIndex; }
    int GetSepSize() const { return m_nSepSize; }
    ISkinObj* GetIconSkin() const { return m_pIconSkin.get(); }

protected:
    // The button's own attributes (names without regard to case) on top of SButton's. A
    // drawMode word it does not know gives E_FAIL and changes nothing.
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;

private:
    // The content size (icon, gap and text) with the font selected into rt; no padding.
    CSize MeasureContent(IRenderTarget* rt);
    CSize MeasureText(IRenderTarget* rt);
    void DrawIcon(IRenderTarget* rt, const CRect& rc);

    SAutoRefPtr<IBitmapS> m_pIconHandle;
    int m_nIconHandleSize = 32;
    SAutoRefPtr<ISkinObj> m_pIconSkin;  // shared with the skin pool
    int m_nIconIndex = 0;
    CPoint m_ptIconPos;
    CPoint m_ptTextPos;
    CPoint m_ptPushOffset{2, 2};
    int m_nSepSize = 5;
    DrawMode m_drawMode = HorzIconText;
    bool m_bIconVisible = true;
};

}  // namespace SOUI
