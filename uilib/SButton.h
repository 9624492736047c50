#pragma once
// Buttons: SButton raises the command event on a click (mouse released over it) and on
// Enter/Space while focused; with `animate` its hover change fades. SImageButton
// ("imgbtn") is the skinned button the layouts use.

#include "uilib/SWindow.h"

namespace SOUI {

class SButton : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SButton, L"button")

public:
    SButton();
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnKeyDown(UINT vk, UINT flags) override;
    bool OnActivate() override;
    bool WantsPress(CPoint) const override { return true; }
    CSize GetDesiredSize(const CRect* rcContainer) override;
    SAccRole GetAccRole() const override { return SAccRole::PushButton; }

protected:
    // The skin sizes a button.
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;
    bool ClassFocusable() const override { return true; }
};

class SImageButton : public SButton {
    using __baseCls = SButton;
    SOUI_CLASS_NAME(SImageButton, L"imgbtn")

public:
    SImageButton();

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }

private:
    bool m_bState2 = false;  // skins with the hover frame as second state
};

}  // namespace SOUI
