#include "uilib/win32/SWin32Accessible.h"

#include <algorithm>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "uilib/SWndContainer.h"

// After the library's headers: windows.h defines VK_*, GetRValue and friends as macros.
#include <windows.h>

#include <oleacc.h>

namespace SOUI {

namespace {

// ------------------------------------------------------------------ role and state mapping

constexpr std::pair<SAccRole, LONG> kRoleMap[] = {
    {SAccRole::PushButton, ROLE_SYSTEM_PUSHBUTTON},
    {SAccRole::CheckBox, ROLE_SYSTEM_CHECKBUTTON},
    {SAccRole::Link, ROLE_SYSTEM_LINK},
    {SAccRole::TextField, ROLE_SYSTEM_TEXT},
    {SAccRole::Label, ROLE_SYSTEM_STATICTEXT},
    {SAccRole::ProgressBar, ROLE_SYSTEM_PROGRESSBAR},
    {SAccRole::PageTabList, ROLE_SYSTEM_PAGETABLIST},
    {SAccRole::PageTab, ROLE_SYSTEM_PAGETAB},
};

// MSAA tells mostly what a control lacks (unavailable, invisible): each flag gives one
// state when set and another when clear.
struct SStateMap {
    DWORD flag;
    LONG ifSet;
    LONG ifClear;
};
constexpr SStateMap kStateMap[] = {
    {SAccState_Enabled, 0, STATE_SYSTEM_UNAVAILABLE},
    {SAccState_Focusable, STATE_SYSTEM_FOCUSABLE, 0},
    {SAccState_Focused, STATE_SYSTEM_FOCUSED, 0},
    {SAccState_Checked, STATE_SYSTEM_CHECKED, 0},
    {SAccState_Visible, 0, STATE_SYSTEM_INVISIBLE},
    {SAccState_Selected, STATE_SYSTEM_SELECTED, 0},
    {SAccState_ReadOnly, STATE_SYSTEM_READONLY, 0},
};

LONG MsaaRole(SAccRole role) {
    for (const auto& [from, to] : kRoleMap)
        if (from == role)
            return to;
    return ROLE_SYSTEM_CLIENT;
}

LONG MsaaStates(DWORD states, SAccRole role) {
    LONG out = 0;
    for (const SStateMap& m : kStateMap)
        out |= (states & m.flag) ? m.ifSet : m.ifClear;
    // Visible but wholly outside the window.
    if ((states & SAccState_Visible) && !(states & SAccState_Showing))
        out |= STATE_SYSTEM_OFFSCREEN;
    if (role == SAccRole::PageTab)
        out |= STATE_SYSTEM_SELECTABLE;
    if (role == SAccRole::Link)
        out |= STATE_SYSTEM_LINKED;
    return out;
}

BSTR Bstr(const SStringW& s) {
    return ::SysAllocStringLen(s.c_str(), static_cast<UINT>(s.size()));
}

// The value MSAA clients read: an editor's text, a progress bar's percentage.
bool ValueOf(SWindow* wnd, SStringW* out) {
    const SAccRole role = wnd->GetAccRole();
    if (role == SAccRole::TextField) {
        *out = wnd->GetAccText();
        return true;
    }
    int value = 0, lo = 0, hi = 0;
    if (!wnd->GetAccValue(&value, &lo, &hi))
        return false;
    const int pct =
        hi > lo ? static_cast<int>((static_cast<long long>(value) - lo) * 100 / (hi - lo)) : 0;
    *out = std::to_wstring(pct) + L"%";
    return true;
}

// The label of a control's default action, as the system's own controls name them.
SStringW ActionName(SWindow* wnd) {
    switch (wnd->GetAccRole()) {
        case SAccRole::CheckBox:
            return wnd->IsChecked() ? L"Uncheck" : L"Check";
        case SAccRole::Link:
            return L"Jump";
        default:
            return L"Press";
    }
}

bool IsWithin(const SWindow* wnd, const SWindow* ancestor) {
    for (; wnd; wnd = wnd->GetParent())
        if (wnd == ancestor)
            return true;
    return false;
}

class SAccNode;

}  // namespace

// ------------------------------------------------------------------ the tree

struct SWin32Accessible::Impl {
    ::HWND hwnd = nullptr;
    SWindow* root = nullptr;
    UINT actionMsg = 0;
    std::function<int()> scale;
    SAccNode* client = nullptr;                     // a reference; made on first demand
    std::unordered_map<SWindow*, SAccNode*> nodes;  // a reference each, by window
    std::unordered_map<LONG, SAccNode*> byId;       // the same nodes, by child id
    LONG nextId = -1;
    std::vector<SAccNode*> pending;  // default actions asked for, a reference each

    ~Impl();
    SAccNode* Client();
    SAccNode* NodeFor(SWindow* wnd);
    // The node of the nearest ancestor of `wnd` with a role, or the client's.
    SAccNode* ParentOf(SWindow* wnd);
    void Drop(SAccNode* node);

    // Logical client pixels <-> screen pixels.
    CRect ToScreen(const CRect& rc) const {
        const int s = scale();
        POINT pt{rc.left * s, rc.top * s};
        ::ClientToScreen(hwnd, &pt);
        return CRect(pt.x, pt.y, pt.x + rc.Width() * s, pt.y + rc.Height() * s);
    }
    CPoint FromScreen(LONG x, LONG y) const {
        const int s = scale();
        POINT pt{x, y};
        ::ScreenToClient(hwnd, &pt);
        auto floorDiv = [s](LONG v) { return v >= 0 ? v / s : -((-v + s - 1) / s); };
        return CPoint(floorDiv(pt.x), floorDiv(pt.y));
    }
};

namespace {

// COM objects go only through Release, never through a pointer to the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class SAccNode final : public IAccessible {
public:
    SAccNode(SWin32Accessible::Impl* tree, SWindow* wnd, LONG id)
        : m_tree(tree), m_wnd(wnd), m_id(id) {
        if (wnd)
            Remember();
    }

    // Turns defunct: nothing reaches the tree or the window any more.
    void Detach() {
        m_tree = nullptr;
        m_wnd = nullptr;
    }
    SWindow* Wnd() const { return m_wnd; }
    LONG Id() const { return m_id; }
    bool IsClient() const { return m_tree && !m_wnd; }

    // What was last told, for the change events of OnFrame.
    SStringW toldName;
    DWORD toldStates = 0;
    SStringW toldValue;
    void Remember() {
        toldName = m_wnd->GetAccName();
        toldStates = m_wnd->GetAccStates() & ~SAccState_Focused;
        toldValue.clear();
        ValueOf(m_wnd, &toldValue);
    }

    // ---- IUnknown
    ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) ||
            riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ::ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_ref); }
    ::ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = --m_ref;
        if (ref == 0)
            delete this;
        return static_cast<ULONG>(ref);
    }

    // ---- IDispatch: clients use the IAccessible methods directly.
    ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(::UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE GetTypeInfo(::UINT, LCID, ITypeInfo**) override {
        return E_NOTIMPL;
    }
    ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, ::UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    ::HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                       EXCEPINFO*, ::UINT*) override {
        return E_NOTIMPL;
    }

    // ---- IAccessible
    ::HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        if (IsClient())
            return ::AccessibleObjectFromWindow(m_tree->hwnd, static_cast<DWORD>(OBJID_WINDOW),
                                                __uuidof(IDispatch), reinterpret_cast<void**>(out));
        *out = Dispatch(m_tree->ParentOf(m_wnd));
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        *count = static_cast<LONG>(Children().size());
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4)
            return E_INVALIDARG;
        if (child.lVal == CHILDID_SELF) {
            *out = Dispatch(this);
            return S_OK;
        }
        SAccNode* node = Resolve(child);
        if (!node)
            return E_INVALIDARG;
        *out = Dispatch(node);
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return Forward(child, out, [](SAccNode* n, BSTR* o) {
            if (n->IsClient()) {
                const int len = ::GetWindowTextLengthW(n->m_tree->hwnd);
                SStringW title(static_cast<size_t>(len) + 1, L'\0');
                title.resize(
                    static_cast<size_t>(::GetWindowTextW(n->m_tree->hwnd, title.data(), len + 1)));
                *o = Bstr(title);
            } else {
                *o = Bstr(n->m_wnd->GetAccName());
            }
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return Forward(child, out, [](SAccNode* n, BSTR* o) {
            SStringW value;
            if (n->IsClient() || !ValueOf(n->m_wnd, &value))
                return DISP_E_MEMBERNOTFOUND;
            *o = Bstr(value);
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return Forward(child, out, [](SAccNode* n, BSTR* o) {
            if (n->IsClient() || n->m_wnd->GetToolTipText().empty())
                return S_FALSE;
            *o = Bstr(n->m_wnd->GetToolTipText());
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        return Forward(child, out, [](SAccNode* n, VARIANT* o) {
            o->vt = VT_I4;
            o->lVal = n->IsClient() ? ROLE_SYSTEM_CLIENT : MsaaRole(n->m_wnd->GetAccRole());
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        return Forward(child, out, [](SAccNode* n, VARIANT* o) {
            o->vt = VT_I4;
            if (n->IsClient()) {
                const ::HWND h = n->m_tree->hwnd;
                o->lVal = STATE_SYSTEM_FOCUSABLE;
                if (!::IsWindowVisible(h))
                    o->lVal |= STATE_SYSTEM_INVISIBLE;
                if (::GetFocus() == h && !FocusedWindow(n->m_tree))
                    o->lVal |= STATE_SYSTEM_FOCUSED;
            } else {
                o->lVal = MsaaStates(n->m_wnd->GetAccStates(), n->m_wnd->GetAccRole());
            }
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
        if (out)
            *out = nullptr;
        return m_tree ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }
    ::HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file)
            *file = nullptr;
        if (topic)
            *topic = 0;
        return m_tree ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }
    ::HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
        if (out)
            *out = nullptr;
        return m_tree ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }
    ::HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!out)
            return E_POINTER;
        ::VariantInit(out);
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SWindow* focus = FocusedWindow(m_tree);
        if (focus && focus != m_wnd && (IsClient() || IsWithin(focus, m_wnd))) {
            if (SAccNode* node = m_tree->NodeFor(focus)) {
                out->vt = VT_DISPATCH;
                out->pdispVal = Dispatch(node);
                return S_OK;
            }
        }
        const bool self = IsClient() ? ::GetFocus() == m_tree->hwnd && !focus : focus == m_wnd;
        if (!self)
            return S_FALSE;
        out->vt = VT_I4;
        out->lVal = CHILDID_SELF;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (out)
            ::VariantInit(out);
        return m_tree ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    ::HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return Forward(child, out, [](SAccNode* n, BSTR* o) {
            if (n->IsClient() || !n->m_wnd->HasAccAction())
                return DISP_E_MEMBERNOTFOUND;
            *o = Bstr(ActionName(n->m_wnd));
            return S_OK;
        });
    }
    ::HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SAccNode* n = Resolve(child);
        if (!n)
            return E_INVALIDARG;
        if (flags != SELFLAG_TAKEFOCUS)
            return DISP_E_MEMBERNOTFOUND;
        if (n->IsClient()) {
            ::SetFocus(m_tree->hwnd);
            return S_OK;
        }
        if (!(n->m_wnd->GetAccStates() & SAccState_Focusable))
            return S_FALSE;
        n->m_wnd->SetFocus();
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* cx, LONG* cy,
                                            VARIANT child) override {
        if (!x || !y || !cx || !cy)
            return E_POINTER;
        *x = *y = *cx = *cy = 0;
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SAccNode* n = Resolve(child);
        if (!n)
            return E_INVALIDARG;
        CRect rc;
        if (n->IsClient()) {
            RECT client;
            ::GetClientRect(m_tree->hwnd, &client);
            POINT pt{0, 0};
            ::ClientToScreen(m_tree->hwnd, &pt);
            rc = CRect(pt.x, pt.y, pt.x + client.right, pt.y + client.bottom);
        } else {
            rc = m_tree->ToScreen(n->m_wnd->GetWindowRect());
        }
        *x = rc.left;
        *y = rc.top;
        *cx = rc.Width();
        *cy = rc.Height();
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* out) override {
        if (!out)
            return E_POINTER;
        ::VariantInit(out);
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SAccNode* from = Resolve(start);
        if (!from)
            return E_INVALIDARG;
        SAccNode* to = nullptr;
        if (dir == NAVDIR_FIRSTCHILD || dir == NAVDIR_LASTCHILD) {
            const std::vector<SWindow*> kids = from->Children();
            if (!kids.empty())
                to = m_tree->NodeFor(dir == NAVDIR_FIRSTCHILD ? kids.front() : kids.back());
        } else if ((dir == NAVDIR_NEXT || dir == NAVDIR_PREVIOUS) && !from->IsClient()) {
            const std::vector<SWindow*> kids = m_tree->ParentOf(from->m_wnd)->Children();
            auto it = std::find(kids.begin(), kids.end(), from->m_wnd);
            if (it != kids.end()) {
                if (dir == NAVDIR_NEXT && it + 1 != kids.end())
                    to = m_tree->NodeFor(*(it + 1));
                else if (dir == NAVDIR_PREVIOUS && it != kids.begin())
                    to = m_tree->NodeFor(*(it - 1));
            }
        } else if (dir < NAVDIR_UP || dir > NAVDIR_LASTCHILD) {
            return E_INVALIDARG;
        } else {
            return DISP_E_MEMBERNOTFOUND;  // spatial navigation
        }
        if (!to)
            return S_FALSE;
        out->vt = VT_DISPATCH;
        out->pdispVal = Dispatch(to);
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
        if (!out)
            return E_POINTER;
        ::VariantInit(out);
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        const CPoint pt = m_tree->FromScreen(x, y);
        RECT client;
        ::GetClientRect(m_tree->hwnd, &client);
        const CRect self = IsClient() ? CRect(0, 0, client.right / m_tree->scale(),
                                              client.bottom / m_tree->scale())
                                      : m_wnd->GetWindowRect();
        if (!self.PtInRect(pt))
            return S_FALSE;
        // Later siblings paint over earlier ones.
        const std::vector<SWindow*> kids = Children();
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
            if (!(*it)->GetWindowRect().PtInRect(pt))
                continue;
            if (SAccNode* node = m_tree->NodeFor(*it)) {
                out->vt = VT_DISPATCH;
                out->pdispVal = Dispatch(node);
                return S_OK;
            }
        }
        out->vt = VT_I4;
        out->lVal = CHILDID_SELF;
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SAccNode* n = Resolve(child);
        if (!n)
            return E_INVALIDARG;
        if (n->IsClient() || !n->m_wnd->HasAccAction())
            return DISP_E_MEMBERNOTFOUND;
        if (n->m_wnd->IsDisabled(true) || !n->m_wnd->IsVisible(true))
            return E_FAIL;
        // The click may run a modal loop or close the window; the client's call returns
        // first.
        n->AddRef();
        m_tree->pending.push_back(n);
        ::PostMessageW(m_tree->hwnd, m_tree->actionMsg, 0, 0);
        return S_OK;
    }
    ::HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override {
        return m_tree ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    ::HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override {
        return m_tree ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }

    // The exposed children, in tree order.
    std::vector<SWindow*> Children() const {
        std::vector<SWindow*> kids;
        (m_wnd ? m_wnd : m_tree->root)->GetAccChildren(&kids);
        return kids;
    }

private:
    ~SAccNode() = default;

    static IDispatch* Dispatch(SAccNode* node) {
        node->AddRef();
        return node;
    }
    static SWindow* FocusedWindow(SWin32Accessible::Impl* tree) {
        ISwndContainer* c = tree->root->GetContainer();
        SWindow* focus = c ? c->GetFocus() : nullptr;
        return focus && focus->GetAccRole() != SAccRole::None && focus->IsVisible(true) ? focus
                                                                                        : nullptr;
    }

    // The object a VARIANT child id names: this one (CHILDID_SELF), the n-th exposed child
    // (1-based), or any live node of the window by its negative id (from the client
    // object); null when none. Only call while this object is live.
    SAccNode* Resolve(const VARIANT& child) {
        if (child.vt != VT_I4)
            return nullptr;
        const LONG id = child.lVal;
        if (id == CHILDID_SELF)
            return this;
        if (id > 0) {
            const std::vector<SWindow*> kids = Children();
            return static_cast<size_t>(id) <= kids.size() ? m_tree->NodeFor(kids[id - 1]) : nullptr;
        }
        if (!IsClient())
            return nullptr;
        auto it = m_tree->byId.find(id);
        return it != m_tree->byId.end() ? it->second : nullptr;
    }

    // Answers a getter for the object `child` names, or an error.
    template <class Out, class Fn>
    ::HRESULT Forward(const VARIANT& child, Out* out, Fn fn) {
        if (!out)
            return E_POINTER;
        if constexpr (std::is_same_v<Out, VARIANT>)
            ::VariantInit(out);
        else
            *out = nullptr;
        if (!m_tree)
            return CO_E_OBJNOTCONNECTED;
        SAccNode* n = Resolve(child);
        if (!n)
            return E_INVALIDARG;
        return fn(n, out);
    }

    LONG m_ref = 1;
    SWin32Accessible::Impl* m_tree;  // null once defunct
    SWindow* m_wnd;                  // null for the client object and once defunct
    LONG m_id;                       // child id in events; CHILDID_SELF for the client
};
#pragma GCC diagnostic pop

}  // namespace

SWin32Accessible::Impl::~Impl() {
    for (SAccNode* node : pending)
        node->Release();
    for (auto& [wnd, node] : nodes) {
        node->Detach();
        node->Release();
    }
    if (client) {
        client->Detach();
        client->Release();
    }
}

SAccNode* SWin32Accessible::Impl::Client() {
    if (!client)
        client = new SAccNode(this, nullptr, CHILDID_SELF);
    return client;
}

SAccNode* SWin32Accessible::Impl::NodeFor(SWindow* wnd) {
    if (!wnd || wnd->GetAccRole() == SAccRole::None)
        return nullptr;
    auto it = nodes.find(wnd);
    if (it != nodes.end())
        return it->second;
    auto* node = new SAccNode(this, wnd, nextId--);
    nodes[wnd] = node;
    byId[node->Id()] = node;
    return node;
}

SAccNode* SWin32Accessible::Impl::ParentOf(SWindow* wnd) {
    for (SWindow* p = wnd->GetParent(); p && p != root; p = p->GetParent())
        if (p->GetAccRole() != SAccRole::None)
            return NodeFor(p);
    return Client();
}

void SWin32Accessible::Impl::Drop(SAccNode* node) {
    nodes.erase(node->Wnd());
    byId.erase(node->Id());
    node->Detach();
    node->Release();
}

// ------------------------------------------------------------------ SWin32Accessible

SWin32Accessible::SWin32Accessible(void* hwnd, SWindow* root, unsigned actionMsg,
                                   std::function<int()> scale)
    : m_pImpl(std::make_unique<Impl>()) {
    m_pImpl->hwnd = static_cast<::HWND>(hwnd);
    m_pImpl->root = root;
    m_pImpl->actionMsg = actionMsg;
    m_pImpl->scale = std::move(scale);
}

SWin32Accessible::~SWin32Accessible() = default;

bool SWin32Accessible::OnGetObject(uintptr_t wParam, intptr_t lParam, intptr_t* result) {
    // The object id comes as a DWORD in the low half of lParam.
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return false;
    *result = ::LresultFromObject(__uuidof(IAccessible), wParam, m_pImpl->Client());
    return true;
}

void SWin32Accessible::OnFocus(SWindow* wnd) {
    if (!::IsWinEventHookInstalled(EVENT_OBJECT_FOCUS))
        return;
    SAccNode* node = wnd && wnd->IsVisible(true) ? m_pImpl->NodeFor(wnd) : nullptr;
    ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_pImpl->hwnd, OBJID_CLIENT,
                     node ? node->Id() : CHILDID_SELF);
}

void SWin32Accessible::OnWindowFocus() {
    ISwndContainer* c = m_pImpl->root->GetContainer();
    OnFocus(c ? c->GetFocus() : nullptr);
}

void SWin32Accessible::OnRemoved(SWindow* wnd) {
    std::vector<SAccNode*> gone;
    for (auto& [w, node] : m_pImpl->nodes)
        if (IsWithin(w, wnd))
            gone.push_back(node);
    for (SAccNode* node : gone)
        m_pImpl->Drop(node);
}

void SWin32Accessible::OnFrame() {
    if (m_pImpl->nodes.empty())
        return;
    // Told after the walk: a client's hook may ask for new objects meanwhile.
    std::vector<std::pair<DWORD, LONG>> events;
    for (auto& [wnd, node] : m_pImpl->nodes) {
        const SStringW name = wnd->GetAccName();
        if (name != node->toldName)
            events.emplace_back(EVENT_OBJECT_NAMECHANGE, node->Id());
        if ((wnd->GetAccStates() & ~SAccState_Focused) != node->toldStates)
            events.emplace_back(EVENT_OBJECT_STATECHANGE, node->Id());
        SStringW value;
        ValueOf(wnd, &value);
        if (value != node->toldValue)
            events.emplace_back(EVENT_OBJECT_VALUECHANGE, node->Id());
        node->Remember();
    }
    const ::HWND hwnd = m_pImpl->hwnd;
    for (const auto& [event, id] : events)
        ::NotifyWinEvent(event, hwnd, OBJID_CLIENT, id);
}

void SWin32Accessible::RunPendingActions() {
    std::vector<SAccNode*> pending;
    pending.swap(m_pImpl->pending);
    // An action may destroy the window and with it this object: the nodes then turn
    // defunct, and only they are touched after the first one ran.
    for (SAccNode* node : pending) {
        if (SWindow* wnd = node->Wnd())
            wnd->DoAccAction();
        node->Release();
    }
}

}  // namespace SOUI
