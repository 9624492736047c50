#include "uilib/STabCtrl.h"

#include "uilib/SApplication.h"

namespace SOUI {
STabPage::STabPage() = default;

const SAttrTable& STabPage::ClassAttributes() {
    static const TplAttrTable<STabPage> table = [] {
        TplAttrTable<STabPage> t(&SWindow::ClassAttributes());
        t.Add({L"title"}, SAttrEffect::Paint, [](STabPage* w, const SStringW& v) {
             w->m_strTitle = v;
             return S_OK;
         }).Add({L"interval", L"iconIndex"}, SAttrEffect::Paint, [](STabPage*, const SStringW&) {
            return S_FALSE;
        });
        return t;
    }();
    return table;
}

STabCtrl::STabCtrl() = default;

const SAttrTable& STabCtrl::ClassAttributes() {
    static const TplAttrTable<STabCtrl> table = [] {
        TplAttrTable<STabCtrl> t(&SWindow::ClassAttributes());
        t.Add({L"curSel"}, SAttrEffect::Paint,
              [](STabCtrl* w, const SStringW& v) {
                  int sel = 0;
                  if (ParseIntInto(v, &sel) != S_OK)
                      return E_FAIL;
                  if (w->GetItemCount() == 0)
                      w->m_nCurSel = sel;  // pages come later while loading
                  else
                      w->SetCurSel(sel);
                  return S_OK;
              })
            .Add({L"tabHeight"}, SAttrEffect::Paint,
                 [](STabCtrl* w, const SStringW& v) { return ParseIntInto(v, &w->m_nTabHeight); })
            .Add({L"tabWidth"}, SAttrEffect::Paint,
                 [](STabCtrl* w, const SStringW& v) { return ParseIntInto(v, &w->m_nTabWidth); })
            .Add({L"tabPos"}, SAttrEffect::Paint,
                 [](STabCtrl* w, const SStringW& v) { return ParseIntInto(v, &w->m_nTabPos); })
            .Add(
                {L"tabInterSize"}, SAttrEffect::Paint,
                [](STabCtrl* w, const SStringW& v) { return ParseIntInto(v, &w->m_nTabInterSize); })
            .Add({L"tabAlign"}, SAttrEffect::Paint,
                 [](STabCtrl* w, const SStringW& v) {
                     if (EqualsNoCase(v, L"top"))
                         w->m_bAlignTop = true;
                     else if (EqualsNoCase(v, L"left"))
                         w->m_bAlignTop = false;
                     else
                         return E_FAIL;
                     return S_OK;
                 })
            .Add({L"tabSkin", L"iconSkin"}, SAttrEffect::Paint,
                 [](STabCtrl* w, const SStringW& name, const SStringW& v) {
                     ISkinObj* skin = nullptr;
                     if (!v.empty()) {
                         SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
                         skin = pool ? pool->GetSkin(v) : nullptr;
                         if (!skin)
                             return E_FAIL;
                     }
                     if (EqualsNoCase(name, L"tabSkin"))
                         w->m_pTabSkin = skin;
                     return S_OK;
                 })
            // Header text and icon offsets only matter with visible headers.
            .Add({L"text-x", L"text-y", L"icon-x", L"icon-y", L"animateSteps"}, SAttrEffect::Paint,
                 [](STabCtrl*, const SStringW&) { return S_FALSE; });
        return t;
    }();
    return table;
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

bool STabCtrl::WantsPress(CPoint pt) const {
    if (IsFocusable())
        return true;
    if (m_nTabHeight > 0)
        for (int i = 0; i < GetItemCount(); ++i)
            if (GetTitleRect(i).PtInRect(pt))
                return true;
    return false;
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
