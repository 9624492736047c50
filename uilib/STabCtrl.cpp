#include "uilib/STabCtrl.h"

#include "uilib/SApplication.h"

namespace SOUI {
STabPage::STabPage() = default;

HRESULT STabPage::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    if (EqualsNoCase(name, L"title")) {
        m_strTitle = value;
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    if (EqualsNoCase(name, L"interval") || EqualsNoCase(name, L"iconIndex"))
        return S_FALSE;
    return SWindow::SetAttribute(name, value, bLoading);
}

STabCtrl::STabCtrl() = default;

HRESULT STabCtrl::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    auto number = [&](int* target) {
        return SetIntAttribute(target, L"tabctrl", name, value, bLoading);
    };
    if (EqualsNoCase(name, L"curSel")) {
        int sel = 0;
        HRESULT hr = number(&sel);
        if (hr == E_FAIL)
            return hr;
        if (GetItemCount() == 0)
            m_nCurSel = sel;  // pages come later while loading
        else
            SetCurSel(sel);
        return hr;
    }
    if (EqualsNoCase(name, L"tabHeight"))
        return number(&m_nTabHeight);
    if (EqualsNoCase(name, L"tabWidth"))
        return number(&m_nTabWidth);
    if (EqualsNoCase(name, L"tabPos"))
        return number(&m_nTabPos);
    if (EqualsNoCase(name, L"tabInterSize"))
        return number(&m_nTabInterSize);
    if (EqualsNoCase(name, L"tabAlign")) {
        if (EqualsNoCase(value, L"top"))
            m_bAlignTop = true;
        else if (EqualsNoCase(value, L"left"))
            m_bAlignTop = false;
        else {
            LogBadAttribute(L"tabctrl", name, value);
            return E_FAIL;
        }
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    if (EqualsNoCase(name, L"tabSkin") || EqualsNoCase(name, L"iconSkin")) {
        ISkinObj* skin = nullptr;
        if (!value.empty()) {
            SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
            skin = pool ? pool->GetSkin(value) : nullptr;
            if (!skin) {
                LogBadAttribute(L"tabctrl", name, value);
                return E_FAIL;
            }
        }
        if (EqualsNoCase(name, L"tabSkin"))
            m_pTabSkin = skin;
        return AfterAttribute(name, value, bLoading, S_OK);
    }
    // Header text and icon offsets only matter with visible headers.
    if (EqualsNoCase(name, L"text-x") || EqualsNoCase(name, L"text-y") ||
        EqualsNoCase(name, L"icon-x") || EqualsNoCase(name, L"icon-y") ||
        EqualsNoCase(name, L"animateSteps"))
        return S_FALSE;
    return SWindow::SetAttribute(name, value, bLoading);
}

int STabCtrl::GetItemCount() const {
    int n = 0;
    for (SWindow* c : m_children)
        if (c->IsClass(STabPage::GetClassName()))
            ++n;
    return n;
}

STabPage* STabCtrl::GetItem(int index) const {
    int n = 0;
    for (SWindow* c : m_children) {
        if (!c->IsClass(STabPage::GetClassName()))
            continue;
        if (n++ == index)
            return static_cast<STabPage*>(c);
    }
    return nullptr;
}

void STabCtrl::OnInitFinished() {
    int count = GetItemCount();
    if (m_nCurSel >= count)
        m_nCurSel = count ? 0 : -1;
    for (int i = 0; i < count; ++i)
        GetItem(i)->SetVisible(i == m_nCurSel);
}

bool STabCtrl::SetCurSel(int index) {
    STabPage* page = GetItem(index);
    if (!page)
        return false;
    if (index == m_nCurSel && page->IsVisible())
        return true;
    if (STabPage* old = GetItem(m_nCurSel))
        old->SetVisible(false);
    m_nCurSel = index;
    page->SetVisible(true);
    Invalidate();
    return true;
}

CRect STabCtrl::GetTitleRect(int index) const {
    CRect rc = GetClientRect();
    if (m_bAlignTop) {
        int x = rc.left + m_nTabPos + index * (m_nTabWidth + m_nTabInterSize);
        return {x, rc.top, x + m_nTabWidth, rc.top + m_nTabHeight};
    }
    int y = rc.top + m_nTabPos + index * (m_nTabHeight + m_nTabInterSize);
    return {rc.left, y, rc.left + m_nTabWidth, y + m_nTabHeight};
}

void STabCtrl::UpdateChildrenPosition() {
    CRect rc = GetClientRect();
    if (m_nTabHeight > 0) {
        if (m_bAlignTop)
            rc.top += m_nTabHeight;
        else
            rc.left += m_nTabWidth;
    }
    for (SWindow* c : m_children)
        c->Move(rc);
}

void STabCtrl::OnLButtonDown(CPoint pt, UINT flags) {
    if (m_nTabHeight > 0) {
        for (int i = 0; i < GetItemCount(); ++i) {
            if (GetTitleRect(i).PtInRect(pt)) {
                SetCurSel(i);
                return;
            }
        }
    }
    SWindow::OnLButtonDown(pt, flags);
}

void STabCtrl::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    if (m_nTabHeight <= 0)
        return;
    SPainter painter;
    BeforePaint(rt, painter);
    for (int i = 0; i < GetItemCount(); ++i) {
        CRect rc = GetTitleRect(i);
        if (m_pTabSkin)
            m_pTabSkin->DrawByIndex(rt, rc, i == m_nCurSel ? 2 : 0);
        SStringW title = GetItem(i)->GetTitle();
        if (!title.empty())
            rt->DrawText(title.c_str(), static_cast<int>(title.size()), &rc,
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    AfterPaint(rt, painter);
}

}  // namespace SOUI
