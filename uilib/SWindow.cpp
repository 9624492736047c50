#include "uilib/SWindow.h"

#include <pugixml.hpp>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"
#include "uilib/SApplication.h"

namespace SOUI {
namespace {

// Layout texts write a line break as the two characters "\n".
SStringW UnescapeText(const SStringW& s) {
    SStringW out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size() && s[i + 1] == L'n') {
            out += L'\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

constexpr int kFadeStep = 26;  // about 100 ms of 10 ms frames from 0 to 255

}  // namespace

SWindow::SWindow() = default;

SWindow::~SWindow() {
    std::vector<SWindow*> children;
    children.swap(m_children);
    for (SWindow* child : children) {
        child->OnDestroy();
        child->m_pParent = nullptr;
        if (child->RefCount() > 1)
            child->SetContainer(nullptr);  // it outlives its tree
        child->Release();
    }
}

void SWindow::OnDestroy() {
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    for (SWindow* child : m_children)
        child->OnDestroy();
    if (ISwndContainer* c = GetContainer()) {
        c->UnregisterTimelineHandler(this);
        c->OnWindowGone(this);
    }
}

// ---------------------------------------------------------------- attributes

const SAttrTable& SWindow::ClassAttributes() {
    using W = SWindow;
    static const TplAttrTable<SWindow> table = [] {
        TplAttrTable<SWindow> t(nullptr);
        t.Add({L"name"}, SAttrEffect::Paint,
              [](W* w, const SStringW& v) {
                  w->m_strName = v;
                  if (w->m_nID == 0) {
                      if (SApplication* app = SApplication::getSingletonPtr())
                          w->m_nID = app->GetNamedID(v);
                  }
                  return S_FALSE;
              })
            .Add({L"id"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) {
                     if (auto n = ParseInt(v)) {
                         w->m_nID = *n;
                         return S_OK;
                     }
                     SApplication* app = SApplication::getSingletonPtr();
                     w->m_nID = app ? app->GetNamedID(v) : 0;
                     return w->m_nID == 0 ? E_FAIL : S_OK;
                 })
            .Add({L"pos"}, SAttrEffect::Layout,
                 [](W* w, const SStringW& v) {
                     auto pos = SLayoutPos::Parse(v);
                     if (!pos)
                         return E_FAIL;
                     w->m_layout = *pos;
                     return S_OK;
                 })
            .Add({L"text"}, SAttrEffect::Layout,
                 [](W* w, const SStringW& v) {
                     w->SetTextAttribute(v);
                     return S_OK;
                 })
            .Add({L"tip"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) {
                     w->m_strToolTip = v;
                     return S_OK;
                 })
            .Add({L"accName"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) {
                     w->m_strAccName = v;
                     return S_OK;
                 })
            .Add({L"visible", L"show"}, SAttrEffect::Layout,
                 [](W* w, const SStringW& v) {
                     bool visible = true;
                     if (ParseFlagInto(v, &visible) != S_OK)
                         return E_FAIL;
                     w->m_bVisible = visible;
                     w->ModifyState(visible ? 0 : WndState_Invisible,
                                    visible ? WndState_Invisible : 0, false);
                     return S_OK;
                 })
            .Add({L"enable", L"disable"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& name, const SStringW& v) {
                     bool flag = true;
                     if (ParseFlagInto(v, &flag) != S_OK)
                         return E_FAIL;
                     bool disable = EqualsNoCase(name, L"disable") ? flag : !flag;
                     w->ModifyState(disable ? WndState_Disable : 0, disable ? 0 : WndState_Disable,
                                    false);
                     return S_OK;
                 })
            .Add({L"checked"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) {
                     bool checked = false;
                     if (ParseFlagInto(v, &checked) != S_OK)
                         return E_FAIL;
                     w->ModifyState(checked ? WndState_Check : 0, checked ? 0 : WndState_Check,
                                    false);
                     return S_OK;
                 })
            .Add({L"skin", L"focusSkin"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& name, const SStringW& v) {
                     ISkinObj* skin = nullptr;
                     if (!w->LookUpSkin(v, &skin))
                         return E_FAIL;
                     if (EqualsNoCase(name, L"skin"))
                         w->m_pBgSkin = skin;
                     else
                         w->m_pFocusSkin = skin;
                     return S_OK;
                 })
            .Add({L"msgTransparent"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bMsgTransparent); })
            .Add({L"focusable"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) {
                     bool focusable = false;
                     if (ParseFlagInto(v, &focusable) != S_OK)
                         return E_FAIL;
                     w->m_bFocusable = focusable;
                     return S_OK;
                 })
            .Add({L"clipClient"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bClipClient); })
            .Add({L"animate"}, SAttrEffect::Paint,
                 [](W* w, const SStringW& v) { return ParseFlagInto(v, &w->m_bAnimate); })
            .Add({L"maxWidth"}, SAttrEffect::Layout,
                 [](W* w, const SStringW& v) { return ParseIntInto(v, &w->m_nMaxWidth); })
            // Style classes apply at load time; the rest has no meaning for this renderer.
            .Add({L"class", L"cache", L"float", L"data", L"trCtx"}, SAttrEffect::Paint,
                 [](W*, const SStringW&) { return S_FALSE; });
        return t;
    }();
    return table;
}

HRESULT SWindow::SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) {
    HRESULT hr = S_OK;
    SAttrEffect effect = SAttrEffect::Paint;
    if (const SAttrTable::Entry* entry = GetAttributes().Find(name)) {
        hr = entry->set(this, name, value);
        effect = entry->effect;
    } else {
        bool ok = true;
        if (!m_style.SetAttribute(name, value, &ok)) {
            platform::OutputDebugStringW(
                platform::FormatW(L"SWindow::SetAttribute unknown attribute %s=\"%s\" on <%s>\n",
                                  name.c_str(), value.c_str(), GetObjectClass())
                    .c_str());
            return E_FAIL;
        }
        hr = ok ? S_OK : E_FAIL;
        effect = SwndStyle::AffectsSize(name) ? SAttrEffect::Layout : SAttrEffect::Paint;
    }
    if (hr == E_FAIL) {
        LogBadAttribute(GetObjectClass(), name, value);
        return E_FAIL;
    }
    if (bLoading || hr != S_OK)
        return hr;
    if (effect == SAttrEffect::Layout)
        RequestRelayout();
    Invalidate();
    return hr;
}

void SWindow::SetTextAttribute(const SStringW& value) {
    SApplication* app = SApplication::getSingletonPtr();
    if (app && value.rfind(L"@string/", 0) == 0)
        m_strText = app->GetString(value.substr(8));
    else
        m_strText = UnescapeText(value);
}

bool SWindow::LookUpSkin(const SStringW& name, ISkinObj** skin) const {
    *skin = nullptr;
    if (name.empty())
        return true;
    SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
    *skin = pool ? pool->GetSkin(name, GetScale()) : nullptr;
    return *skin != nullptr;
}

HRESULT SWindow::ParseFlagInto(const SStringW& value, bool* target, int minimum) {
    int n = 0;
    HRESULT hr = ParseIntInto(value, &n, minimum);
    if (hr == S_OK)
        *target = n != 0;
    return hr;
}

HRESULT SWindow::ParseIntInto(const SStringW& value, int* target, int minimum) {
    auto n = ParseCoord(value);
    if (!n || *n < minimum)
        return E_FAIL;
    *target = *n;
    return S_OK;
}

void SWindow::InitFromXml(const pugi::xml_node& node) {
    if (pugi::xml_attribute cls = node.attribute("class")) {
        SApplication* app = SApplication::getSingletonPtr();
        auto* style = app ? app->GetStyleClass(platform::Utf8ToWide(cls.value())) : nullptr;
        if (style) {
            for (const auto& [n, v] : *style)
                SetAttribute(n, v, TRUE);
        } else {
            LogBadAttribute(GetObjectClass(), L"class", platform::Utf8ToWide(cls.value()));
        }
    }
    for (pugi::xml_attribute attr : node.attributes()) {
        if (std::string(attr.name()) == "class")
            continue;
        SetAttribute(platform::Utf8ToWide(attr.name()), platform::Utf8ToWide(attr.value()), TRUE);
    }
    if (!node.attribute("text")) {
        std::string inner = node.text().get();
        if (!inner.empty()) {
            size_t b = inner.find_first_not_of(" \t\r\n");
            size_t e = inner.find_last_not_of(" \t\r\n");
            if (b != std::string::npos)
                m_strText = UnescapeText(platform::Utf8ToWide(inner.substr(b, e - b + 1)));
        }
    }
}

bool SWindow::IsLayoutTooDeep(const pugi::xml_node& node, const wchar_t* what) {
    // Iterative: the document itself may be nested deep enough to overflow the stack.
    int level = 1;  // of `at`; the children of `node` are level 1
    pugi::xml_node at = node.first_child();
    while (at) {
        if (at.type() == pugi::node_element && level > kMaxLayoutDepth) {
            platform::OutputDebugStringW(
                platform::FormatW(L"%s: layout nested deeper than %d levels refused\n", what,
                                  kMaxLayoutDepth)
                    .c_str());
            return true;
        }
        if (at.first_child()) {
            at = at.first_child();
            ++level;
            continue;
        }
        while (at && !at.next_sibling()) {
            at = at.parent();
            --level;
            if (at == node)
                return false;
        }
        if (at)
            at = at.next_sibling();
    }
    return false;
}

bool SWindow::CreateChildren(const pugi::xml_node& node) {
    if (IsLayoutTooDeep(node, L"SWindow::CreateChildren"))
        return false;
    return CreateChildrenOf(node);
}

bool SWindow::CreateChildrenOf(const pugi::xml_node& node) {
    SApplication* app = SApplication::getSingletonPtr();
    bool allKnown = true;
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        std::wstring cls = platform::Utf8ToWide(child.name());
        SWindow* wnd = app ? app->CreateWindowByName(cls) : nullptr;
        if (wnd == nullptr) {
            platform::OutputDebugStringW(
                platform::FormatW(L"SWindow::CreateChildren unknown class <%s> skipped\n",
                                  cls.c_str())
                    .c_str());
            allKnown = false;
            continue;
        }
        InsertChild(wnd);
        wnd->InitFromXml(child);
        if (!wnd->CreateChildrenOf(child))
            allKnown = false;
        wnd->OnInitFinished();
    }
    return allKnown;
}

// ---------------------------------------------------------------- tree

void SWindow::InsertChild(SWindow* child) {
    if (child == nullptr)
        return;
    child->m_pParent = this;
    child->SetContainer(m_pContainer);
    m_children.push_back(child);
}

bool SWindow::DestroyChild(SWindow* child) {
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end())
        return false;
    child->InvalidateRect(child->m_rcWindow);
    child->OnDestroy();
    m_children.erase(it);
    child->m_pParent = nullptr;
    child->SetContainer(nullptr);
    child->Release();
    return true;
}

SWindow* SWindow::GetPrevSibling() const {
    if (!m_pParent)
        return nullptr;
    auto& s = m_pParent->m_children;
    auto it = std::find(s.begin(), s.end(), this);
    return (it == s.end() || it == s.begin()) ? nullptr : *(it - 1);
}

SWindow* SWindow::GetNextSibling() const {
    if (!m_pParent)
        return nullptr;
    auto& s = m_pParent->m_children;
    auto it = std::find(s.begin(), s.end(), this);
    return (it == s.end() || it + 1 == s.end()) ? nullptr : *(it + 1);
}

SWindow* SWindow::FindChildByName(const SStringW& name, int deep) const {
    if (name.empty() || deep == 0)
        return nullptr;
    for (SWindow* child : m_children)
        if (child->m_strName == name)
            return child;
    for (SWindow* child : m_children)
        if (SWindow* found = child->FindChildByName(name, deep < 0 ? -1 : deep - 1))
            return found;
    return nullptr;
}

SWindow* SWindow::FindChildByID(int id, int deep) const {
    if (deep == 0)
        return nullptr;
    for (SWindow* child : m_children)
        if (child->m_nID == id)
            return child;
    for (SWindow* child : m_children)
        if (SWindow* found = child->FindChildByID(id, deep < 0 ? -1 : deep - 1))
            return found;
    return nullptr;
}

ISwndContainer* SWindow::GetContainer() const {
    return m_pContainer;
}

void SWindow::SetContainer(ISwndContainer* container) {
    // Every window keeps its tree's container, so that finding it (on every invalidation)
    // does not walk up the tree; a child takes it over when it is inserted.
    m_pContainer = container;
    for (SWindow* child : m_children)
        child->SetContainer(container);
}

SWindow* SWindow::GetRoot() {
    SWindow* w = this;
    while (w->m_pParent)
        w = w->m_pParent;
    return w;
}

// ---------------------------------------------------------------- geometry

void SWindow::GetClientRect(CRect* rc) const {
    *rc = GetClientRect();
}

CRect SWindow::GetClientRect() const {
    CRect rc = m_rcWindow;
    rc.DeflateRect(m_style.rcMargin);
    return rc;
}

void SWindow::Move(const CRect& rc) {
    if (!(rc == m_rcWindow)) {
        InvalidateRect(m_rcWindow);
        m_rcWindow = rc;
        InvalidateRect(m_rcWindow);
    }
    UpdateChildrenPosition();
}

void SWindow::UpdateChildrenPosition() {
    CRect client = GetClientRect();
    const CRect* prev = nullptr;
    for (SWindow* child : m_children) {
        CSize content;
        if (child->m_layout.NeedsContentSize())
            content = child->GetDesiredSize(&client);
        child->Move(child->m_layout.Solve(client, prev, content));
        prev = &child->m_rcWindow;
    }
}

CSize SWindow::GetDesiredSize(const CRect*) {
    IRenderTarget* rt = CreateMeasureTarget();
    if (rt == nullptr)
        return {};
    SStringW text = GetWindowTextW();
    CRect rc(0, 0, m_nMaxWidth > 0 ? m_nMaxWidth : 100000, 100000);
    UINT fmt = DT_CALCRECT | (m_style.textMode & ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM));
    if (m_nMaxWidth > 0 && !(fmt & DT_SINGLELINE))
        fmt |= DT_WORDBREAK;
    if (text.empty())
        rc = CRect();
    else
        rt->DrawText(text.c_str(), static_cast<int>(text.size()), &rc, fmt);
    rt->Release();
    const CRect& pad = m_style.rcPadding;
    const CRect& mar = m_style.rcMargin;
    return {rc.Width() + pad.left + pad.right + mar.left + mar.right,
            rc.Height() + pad.top + pad.bottom + mar.top + mar.bottom};
}

void SWindow::RequestRelayout() {
    if (ISwndContainer* c = GetContainer())
        c->OnRelayout();
}

SWindow* SWindow::HitTest(CPoint pt) {
    if (!m_bVisible || !m_rcWindow.PtInRect(pt))
        return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        if (SWindow* hit = (*it)->HitTest(pt))
            return hit;
    return m_bMsgTransparent ? nullptr : this;
}

// ---------------------------------------------------------------- state

DWORD SWindow::ModifyState(DWORD add, DWORD remove, bool bUpdate) {
    DWORD old = m_dwState;
    m_dwState = (m_dwState & ~remove) | add;
    if (bUpdate && old != m_dwState)
        Invalidate();
    return old;
}

bool SWindow::IsVisible(bool bCheckParent) const {
    if (!m_bVisible)
        return false;
    return !bCheckParent || !m_pParent || m_pParent->IsVisible(true);
}

void SWindow::SetVisible(bool bVisible, bool bUpdate) {
    if (m_bVisible == bVisible)
        return;
    m_bVisible = bVisible;
    ModifyState(bVisible ? 0 : WndState_Invisible, bVisible ? WndState_Invisible : 0, false);
    if (!bVisible) {
        if (ISwndContainer* c = GetContainer())
            c->OnWindowGone(this);  // drop hover/focus
        ModifyState(0, WndState_Hover | WndState_PushDown, false);
    }
    if (bUpdate && m_layout.NeedsContentSize())
        RequestRelayout();
    InvalidateRect(m_rcWindow);
}

bool SWindow::IsDisabled(bool bCheckParent) const {
    if (m_dwState & WndState_Disable)
        return true;
    return bCheckParent && m_pParent && m_pParent->IsDisabled(true);
}

void SWindow::EnableWindow(bool bEnable, bool bUpdate) {
    if (bEnable)
        ModifyState(0, WndState_Disable, bUpdate);
    else
        ModifyState(WndState_Disable, WndState_Hover | WndState_PushDown, bUpdate);
    if (!bUpdate)
        InvalidateRect(m_rcWindow);
}

void SWindow::SetCheck(bool bCheck) {
    if (bCheck)
        ModifyState(WndState_Check, 0);
    else
        ModifyState(0, WndState_Check);
}

bool SWindow::IsFocusable() const {
    return m_bFocusable.value_or(ClassFocusable());
}

bool SWindow::IsFocused() const {
    ISwndContainer* c = GetContainer();
    return c && c->GetFocus() == this;
}

void SWindow::SetFocus() {
    if (ISwndContainer* c = GetContainer())
        c->OnSetFocus(this);
}

void SWindow::KillFocus() {
    ISwndContainer* c = GetContainer();
    if (c && c->GetFocus() == this)
        c->OnSetFocus(nullptr);
}

void SWindow::SetCapture() {
    if (ISwndContainer* c = GetContainer())
        c->OnSetCapture(this);
}

void SWindow::ReleaseCapture() {
    if (ISwndContainer* c = GetContainer())
        c->OnReleaseCapture(this);
}

// ---------------------------------------------------------------- text

SStringW SWindow::GetWindowTextW(bool bRawText) const {
    return bRawText ? m_strText : TrInContext(m_strText);
}

SStringW SWindow::TrInContext(const SStringW& src) const {
    SApplication* app = SApplication::getSingletonPtr();
    ISwndContainer* c = GetContainer();
    if (!app || !c || src.empty())
        return src;
    return app->Tr(src, c->GetTranslatorContext());
}

void SWindow::SetWindowTextW(const SStringW& text) {
    if (text == m_strText)
        return;
    m_strText = text;
    if (m_layout.NeedsContentSize())
        RequestRelayout();
    Invalidate();
}

// ---------------------------------------------------------------- accessibility

void SWindow::GetAccChildren(std::vector<SWindow*>* out) {
    for (size_t i = 0; i < GetChildrenCount(); ++i) {
        SWindow* child = GetChild(i);
        if (!child->IsVisible())
            continue;
        if (child->GetAccRole() != SAccRole::None)
            out->push_back(child);
        else
            child->GetAccChildren(out);
    }
}

SStringW SWindow::GetAccName() const {
    return m_strAccName.empty() ? GetAccDefaultName() : TrInContext(m_strAccName);
}

DWORD SWindow::GetAccStates() const {
    DWORD states = 0;
    const bool enabled = !IsDisabled(true);
    if (enabled)
        states |= SAccState_Enabled;
    if (enabled && IsFocusable())
        states |= SAccState_Focusable;
    if (IsFocused())
        states |= SAccState_Focused;
    if (IsVisible(true)) {
        states |= SAccState_Visible;
        const SWindow* root = this;
        while (root->m_pParent)
            root = root->m_pParent;
        if (!(m_rcWindow & root->m_rcWindow).IsRectEmpty())
            states |= SAccState_Showing;
    }
    return states;
}

bool SWindow::HasAccAction() const {
    const SAccRole role = GetAccRole();
    return role == SAccRole::PushButton || role == SAccRole::CheckBox || role == SAccRole::Link;
}

bool SWindow::DoAccAction() {
    if (!HasAccAction() || IsDisabled(true) || !IsVisible(true))
        return false;
    AddRef();  // the click may close the window that holds this one
    const bool done = OnActivate();
    Release();
    return done;
}

// ---------------------------------------------------------------- painting

void SWindow::Invalidate() {
    InvalidateRect(m_rcWindow);
}

void SWindow::InvalidateRect(const CRect& rc) {
    if (rc.IsRectEmpty())
        return;
    if (ISwndContainer* c = GetContainer())
        c->OnInvalidate(rc);
}

void SWindow::PaintTree(IRenderTarget* rt, const CRect& rcDirty) {
    if (!m_bVisible)
        return;
    CRect clip = m_rcWindow & rcDirty;
    if (clip.IsRectEmpty())
        return;
    rt->PushClipRect(clip);
    LRESULT result = 0;
    ProcessSwndMessage(WM_PAINT, reinterpret_cast<WPARAM>(rt), 0, result);
    CRect childClip = m_bClipClient ? (GetClientRect() & clip) : clip;
    if (!childClip.IsRectEmpty()) {
        // A child may hide or destroy siblings while painting only in broken code; keep a
        // copy so the walk stays valid anyway.
        std::vector<SWindow*> children = m_children;
        for (SWindow* child : children)
            child->PaintTree(rt, childClip);
    }
    rt->PopClip();
}

BOOL SWindow::ProcessSwndMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& lResult) {
    if (msg == WM_PAINT) {
        OnPaint(reinterpret_cast<IRenderTarget*>(wParam));
        lResult = 0;
        return TRUE;
    }
    return FALSE;
}

IFontS* SWindow::GetStateFont() const {
    SApplication* app = SApplication::getSingletonPtr();
    if (!app)
        return nullptr;
    int idx = (m_dwState & WndState_Disable)    ? SwndStyle::kDisable
              : (m_dwState & WndState_PushDown) ? SwndStyle::kPush
              : (m_dwState & WndState_Hover)    ? SwndStyle::kHover
                                                : SwndStyle::kNormal;
    return app->GetFont(m_style.GetFontDesc(idx));
}

COLORREF SWindow::GetStateTextColor() const {
    int idx = (m_dwState & WndState_Disable)    ? SwndStyle::kDisable
              : (m_dwState & WndState_PushDown) ? SwndStyle::kPush
              : (m_dwState & WndState_Hover)    ? SwndStyle::kHover
                                                : SwndStyle::kNormal;
    return m_style.GetTextColor(idx);
}

void SWindow::BeforePaint(IRenderTarget* rt, SPainter& painter) {
    IFontS* font = GetStateFont();
    painter.oldFont = rt->SelectFont(font);
    painter.oldTextColor = rt->SetTextColor(GetStateTextColor());
}

void SWindow::AfterPaint(IRenderTarget* rt, SPainter& painter) {
    rt->SelectFont(painter.oldFont);
    rt->SetTextColor(painter.oldTextColor);
}

void SWindow::BeforePaintEx(IRenderTarget* rt) {
    rt->SelectFont(GetStateFont());
    rt->SetTextColor(GetStateTextColor());
}

IRenderTarget* SWindow::CreateMeasureTarget() {
    SApplication* app = SApplication::getSingletonPtr();
    IRenderFactory* factory = app != nullptr ? app->GetRenderFactory() : nullptr;
    IRenderTarget* rt = nullptr;
    if (factory == nullptr || !factory->CreateRenderTarget(&rt, 0, 0) || rt == nullptr)
        return nullptr;
    BeforePaintEx(rt);
    return rt;
}

void SWindow::DrawBackground(IRenderTarget* rt, const CRect& rc) {
    COLORREF bg = ((m_dwState & WndState_Hover) && m_style.crBgHover != CR_INVALID)
                      ? m_style.crBgHover
                      : m_style.crBg;
    if (bg != CR_INVALID && GetAValue(bg) != 0)
        rt->FillSolidRect(rc, bg);
    if (m_pBgSkin)
        m_pBgSkin->DrawByIndex(rt, rc, GetStateIndex(), m_pBgSkin->GetAlpha());
}

void SWindow::DrawText(IRenderTarget* rt, const SStringW& text, CRect rc, UINT format) {
    if (text.empty())
        return;
    rt->DrawText(text.c_str(), static_cast<int>(text.size()), &rc, format);
}

bool SWindow::ShowsFocusCue() const {
    ISwndContainer* c = GetContainer();
    return c && c->GetFocus() == this && c->ShowsFocusCues();
}

void SWindow::DrawFocus(IRenderTarget* rt) {
    if (!IsFocusable() || !ShowsFocusCue())
        return;
    if (m_pFocusSkin) {
        m_pFocusSkin->DrawByIndex(rt, m_rcWindow, 0);
        return;
    }
    // A light outline, so that keyboard users see where they are.
    CRect rc = m_rcWindow;
    rc.DeflateRect(1, 1, 1, 1);
    rt->DrawRectangle(rc, RGBA(0x1e, 0x78, 0xd5, 0x90));
}

void SWindow::PaintText(IRenderTarget* rt, const CRect& rc) {
    SStringW text = GetWindowTextW();
    if (text.empty())
        return;
    SPainter painter;
    BeforePaint(rt, painter);
    DrawText(rt, text, rc, m_style.textMode);
    AfterPaint(rt, painter);
}

void SWindow::PaintText(IRenderTarget* rt) {
    CRect rc = GetClientRect();
    rc.DeflateRect(m_style.rcPadding);
    PaintText(rt, rc);
}

void SWindow::OnPaint(IRenderTarget* rt) {
    DrawBackground(rt, m_rcWindow);
    PaintText(rt);
    DrawFocus(rt);
}

// ---------------------------------------------------------------- events

bool SWindow::FireEvent(EventArgs* evt) {
    if (evt == nullptr)
        return false;
    AddRef();  // keep this window while its handlers run, even if one destroys it
    bool handled = false;
    auto handlers = m_handlers;
    for (auto& [id, fn] : handlers) {
        if (id == evt->GetID() && fn(evt)) {
            handled = true;
            break;
        }
    }
    if (!handled && !m_bDestroyed) {
        if (ISwndContainer* c = GetContainer())
            handled = c->OnFireEvent(evt);
    }
    Release();
    return handled;
}

bool SWindow::FireCommand() {
    EventCmd* evt = new EventCmd(this);
    bool handled = FireEvent(evt);
    evt->Release();
    return handled;
}

void SWindow::SubscribeEvent(int eventId, EventHandler handler) {
    m_handlers.emplace_back(eventId, std::move(handler));
}

// ---------------------------------------------------------------- input

void SWindow::OnLButtonDown(CPoint, UINT) {
    if (IsFocusable())
        SetFocus();
    SetCapture();
    ModifyState(WndState_PushDown, 0);
}

void SWindow::OnLButtonUp(CPoint, UINT) {
    ReleaseCapture();
    ModifyState(0, WndState_PushDown);
}

bool SWindow::EndClick(CPoint pt, UINT flags) {
    bool wasPushed = (m_dwState & WndState_PushDown) != 0;
    SWindow::OnLButtonUp(pt, flags);
    return wasPushed && m_rcWindow.PtInRect(pt);
}

void SWindow::OnMouseMove(CPoint, UINT) {}

void SWindow::OnMouseHover() {
    ModifyState(WndState_Hover, 0);
    if (m_bAnimate)
        StartHoverAnimation();
}

void SWindow::OnMouseLeave() {
    ModifyState(0, WndState_Hover);
    if (m_bAnimate)
        StartHoverAnimation();
}

bool SWindow::OnMouseWheel(int, CPoint) {
    return false;
}

bool SWindow::OnKeyDown(UINT, UINT) {
    return false;
}

bool SWindow::OnKeyUp(UINT, UINT) {
    return false;
}

void SWindow::StartHoverAnimation() {
    ISwndContainer* c = GetContainer();
    if (!c)
        return;
    // A fade that is still running continues from where it is, mirrored, so that a quick
    // leave does not jump.
    m_byAniAlpha = static_cast<BYTE>(m_byAniAlpha == 0xff ? 0 : 0xff - m_byAniAlpha);
    c->RegisterTimelineHandler(this);
    Invalidate();
}

void SWindow::OnNextFrame() {
    int next = m_byAniAlpha + kFadeStep;
    if (next >= 0xff) {
        m_byAniAlpha = 0xff;
        if (ISwndContainer* c = GetContainer())
            c->UnregisterTimelineHandler(this);
    } else {
        m_byAniAlpha = static_cast<BYTE>(next);
    }
    Invalidate();
}

}  // namespace SOUI
