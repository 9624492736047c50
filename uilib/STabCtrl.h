#pragma once
// The tab control ("tabctrl") with its pages ("page"). Only the current page is visible.
// With `tabHeight` 0 there are no tab headers and each page fills the control.

#include "uilib/SWindow.h"

namespace SOUI {

class STabPage : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(STabPage, L"page")

public:
    STabPage();
    const SStringW& GetTitle() const { return m_strTitle; }
    SAccRole GetAccRole() const override { return SAccRole::PageTab; }
    DWORD GetAccStates() const override {
        return SWindow::GetAccStates() | (IsVisible() ? SAccState_Selected : 0);
    }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    // The translated title.
    SStringW GetAccDefaultName() const override { return TrInContext(m_strTitle); }

private:
    SStringW m_strTitle;
};

class STabCtrl : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(STabCtrl, L"tabctrl")

public:
    STabCtrl();
    // Shows page `index`; false (no change) when there is no such page.
    bool SetCurSel(int index);
    int GetCurSel() const { return m_nCurSel; }
    int GetItemCount() const;
    STabPage* GetItem(int index) const;
    void UpdateChildrenPosition() override;
    void OnInitFinished() override;
    // Presses on the tab headers; elsewhere only when the control is focusable.
    bool WantsPress(CPoint pt) const override;
    void OnLButtonDown(CPoint pt, UINT flags) override;
    SAccRole GetAccRole() const override { return SAccRole::PageTabList; }

protected:
    static const SAttrTable& ClassAttributes();
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
    // Tab lists have no name of their own unless the layout gives one.
    SStringW GetAccDefaultName() const override { return {}; }
    void OnPaint(IRenderTarget* rt) override;

private:
    CRect GetTitleRect(int index) const;
    int m_nCurSel = 0;
    int m_nTabHeight = 0;
    int m_nTabWidth = 80;
    int m_nTabPos = 0;
    int m_nTabInterSize = 0;
    bool m_bAlignTop = true;
    SStringW m_strTabSkin;
    SAutoRefPtr<ISkinObj> m_pTabSkin;
};

}  // namespace SOUI
