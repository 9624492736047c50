#pragma once
// The link ("link"): text that takes its hover colour and font under the mouse and raises
// the command event on a click.

#include "uilib/SWindow.h"

namespace SOUI {

class SLink : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SLink, L"link")

public:
    SLink();
    void OnLButtonUp(CPoint pt, UINT flags) override;
    bool OnActivate() override;
    bool WantsPress(CPoint) const override { return true; }
    SAccRole GetAccRole() const override { return SAccRole::Link; }

protected:
    bool ClassFocusable() const override { return true; }
};

}  // namespace SOUI
