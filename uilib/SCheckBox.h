#pragma once
// The check box ("check"): a box from its skin's state frames and the text right of it.
// A click (or Space/Enter while focused) toggles the check and raises the command event.
// Its skin has eight frames: normal, hover, pushed, disabled unchecked, then the same
// four checked.

#include "uilib/SWindow.h"

namespace SOUI {

class SCheckBox : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SCheckBox, L"check")

public:
    SCheckBox();
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnActivate() override;
    bool WantsPress(CPoint) const override { return true; }
    CSize GetDesiredSize(const CRect* rcContainer) override;
    SAccRole GetAccRole() const override { return SAccRole::CheckBox; }
    DWORD GetAccStates() const override {
        return SWindow::GetAccStates() | SAccState_Checkable |
               (IsChecked() ? SAccState_Checked : 0);
    }
    // Frame of the eight-frame skin for the state flags.
    static int CheckFrameIndex(DWORD state);

protected:
    // The skin sizes the box.
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    void OnPaint(IRenderTarget* rt) override;
    void DrawFocus(IRenderTarget* rt) override;
    bool ClassFocusable() const override { return true; }
    CRect GetCheckRect() const;
};

}  // namespace SOUI
