#include "uilib/SHostWnd.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"

namespace SOUI {
namespace {

std::set<SHostWnd*>& AliveWindows() {
    static std::set<SHostWnd*> s_alive;
    return s_alive;
}

bool Is(const std::string& a, const char* b) {
    return EqualsNoCase(platform::Utf8ToWide(a), platform::Utf8ToWide(b));
}

constexpr UINT kFrameMs = 10;

}  // namespace

SHostWnd::SHostWnd(const wchar_t* layoutName) : m_strLayout(layoutName ? layoutName : L"") {
    SetContainer(this);
}

SHostWnd::~SHostWnd() {
    if (m_hWnd)
        DestroyWindow();
    // The tree goes first, while this container is still whole.
    std::vector<SWindow*> children;
    children.swap(m_children);
    for (SWindow* child : children) {
        child->OnDestroy();
        if (child->RefCount() > 1)
            child->SetContainer(nullptr);  // it outlives this container
        child->Release();
    }
    m_pHover = m_pCapture = m_pFocus = m_pKeyPressed = nullptr;
    m_timeline.clear();
    SetContainer(nullptr);
    if (m_pMemRT)
        m_pMemRT->Release();
}

SHostWnd* SHostWnd::FromHandle(HWND h) {
    SHostWnd* wnd = reinterpret_cast<SHostWnd*>(h);
    return AliveWindows().count(wnd) ? wnd : nullptr;
}

void SHostWnd::ApplyHostAttributes(const pugi::xml_node& root) {
    for (pugi::xml_attribute a : root.attributes()) {
        std::string n = a.name();
        SStringW v = platform::Utf8ToWide(a.value());
        if (Is(n, "title")) {
            m_strTitle = v;
        } else if (Is(n, "width")) {
            m_szLayout.cx = ParseCoord(v).value_or(0);
        } else if (Is(n, "height")) {
            m_szLayout.cy = ParseCoord(v).value_or(0);
        } else if (Is(n, "size")) {
            if (auto r = ParseRect4(v))
                m_szLayout = CSize(r->left, r->top);
        } else if (Is(n, "margin")) {
            if (auto r = ParseRect4(v))
                m_rcMargin = *r;
            else
                LogBadAttribute(L"SHostWnd", L"margin", v);
        } else if (Is(n, "resizable")) {
            m_bResizable = a.as_int() != 0;
        } else if (Is(n, "wndType")) {
            m_bAppMain = v == L"appMain";
        } else if (Is(n, "appWnd")) {
        } else if (Is(n, "toolWindow")) {
            m_bToolWindow = a.as_int() != 0;
        } else if (Is(n, "translucent")) {
            m_bTranslucent = a.as_int() != 0;
        } else if (Is(n, "trCtx")) {
            m_strTrCtx = v;
        } else if (Is(n, "bigIcon")) {
            m_strBigIcon = v;
        } else if (Is(n, "smallIcon")) {
            m_strSmallIcon = v;
        } else if (Is(n, "minsize")) {
            if (auto r = ParseRect4(v))
                m_szMin = CSize(r->left, r->top);
        } else if (Is(n, "minwidth")) {
            m_szMin.cx = ParseCoord(v).value_or(0);
        } else if (Is(n, "minheight")) {
            m_szMin.cy = ParseCoord(v).value_or(0);
        } else if (Is(n, "name")) {
            m_strName = v;
        }
        // Other host attributes (maxInset, alpha, ...) have no effect on this platform.
    }
}

namespace {
constexpr int kMaxHostSide = 8192;
}  // namespace

HWND SHostWnd::Create(HWND hOwner, int x, int y, int cx, int cy) {
    if (m_hWnd)
        return m_hWnd;
    SApplication* app = SApplication::getSingletonPtr();
    if (!app)
        return nullptr;
    pugi::xml_document doc;
    if (!m_strLayout.empty()) {
        if (!app->LoadXmlDocment(doc, m_strLayout)) {
            platform::OutputDebugStringW(
                platform::FormatW(L"SHostWnd::Create layout %s not found\n", m_strLayout.c_str())
                    .c_str());
            return nullptr;
        }
        pugi::xml_node soui = doc.document_element();
        if (IsLayoutTooDeep(soui, L"SHostWnd::Create"))
            return nullptr;
        ApplyHostAttributes(soui);
        pugi::xml_node root = soui.child("root");
        if (!root)
            root = soui;
        InitFromXml(root);
        CreateChildren(root);
    }
    if (cx == 0 && cy == 0) {
        cx = m_szLayout.cx;
        cy = m_szLayout.cy;
    }
    // No screen is larger, and the window's pixels are allocated at this size.
    cx = std::clamp(cx, 1, kMaxHostSide);
    cy = std::clamp(cy, 1, kMaxHostSide);

    SNativeWndParams params;
    params.title = m_strTitle;
    params.rcScreen = CRect(x, y, x + cx, y + cy);
    params.resizable = m_bResizable;
    params.toolWindow = m_bToolWindow;
    params.translucent = m_bTranslucent;
    if (SHostWnd* owner = FromHandle(hOwner))
        params.ownerNative = owner->GetNative();
    m_pNative = app->GetBackend()->CreateNativeWnd(this, params);
    if (!m_pNative)
        return nullptr;
    m_alive = std::make_shared<bool>(true);
    m_hWnd = reinterpret_cast<HWND>(this);
    AliveWindows().insert(this);

    if (app->GetRenderFactory())
        app->GetRenderFactory()->CreateRenderTarget(&m_pMemRT, cx, cy);
    Move(CRect(0, 0, cx, cy));
    m_bLayoutDirty = false;
    const SStringW& icon = !m_strBigIcon.empty() ? m_strBigIcon : m_strSmallIcon;
    if (!icon.empty()) {
        // "ICON_LOGO:32" names an icon group and a size; the group is one image here.
        IBitmapS* bmp = app->LoadImage(icon);
        if (!bmp)
            bmp = app->LoadImage(L"ICON:" + icon.substr(0, icon.find(L':')));
        if (bmp)
            m_pNative->SetIcon(bmp);
    }
    return m_hWnd;
}

BOOL SHostWnd::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) {
    return FALSE;
}

LRESULT SHostWnd::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!m_hWnd && msg != WM_DESTROY)
        return 0;
    LRESULT result = 0;
    if (ProcessWindowMessage(m_hWnd, msg, wParam, lParam, result))
        return result;
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT SHostWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            OnInitDialog();
            return TRUE;
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_MINIMIZE:
                    if (m_pNative)
                        m_pNative->Minimize();
                    return 0;
                case SC_RESTORE:
                    if (m_pNative)
                        m_pNative->Show(true);
                    return 0;
                case SC_CLOSE:
                    SendMessageW(WM_CLOSE);
                    return 0;
            }
            return 0;
        case WM_PAINT:
            RenderAll();
            return 0;
        default:
            return 0;
    }
}

void SHostWnd::OnNativeCloseRequest() {
    SendMessageW(WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool SHostWnd::SetTimer(UINT id, UINT elapse) {
    if (!m_hWnd)
        return false;
    KillTimer(id);
    SApplication* app = SApplication::getSingletonPtr();
    std::weak_ptr<bool> alive = m_alive;
    m_timers[id] = app->GetBackend()->AddTimer(elapse, [this, id, alive] {
        if (!alive.expired())
            SendMessageW(WM_TIMER, id, 0);
    });
    return true;
}

bool SHostWnd::KillTimer(UINT id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    if (SApplication* app = SApplication::getSingletonPtr())
        app->GetBackend()->RemoveTimer(it->second);
    m_timers.erase(it);
    return true;
}

CRect SHostWnd::GetScreenRect() const {
    return m_pNative ? m_pNative->GetGeometry() : CRect();
}

bool SHostWnd::CenterWindow(HWND hRef) {
    if (!m_pNative)
        return false;
    CRect area;
    if (SHostWnd* ref = FromHandle(hRef)) {
        area = ref->GetScreenRect();
    } else {
        CSize screen = SApplication::getSingleton().GetBackend()->GetScreenSize();
        area = CRect(0, 0, screen.cx, screen.cy);
    }
    CRect rc = GetScreenRect();
    int x = area.left + (area.Width() - rc.Width()) / 2;
    int y = area.top + (area.Height() - rc.Height()) / 2;
    m_pNative->SetGeometry(CRect(x, y, x + rc.Width(), y + rc.Height()));
    return true;
}

bool SHostWnd::ShowWindow(int nCmdShow) {
    if (!m_pNative)
        return false;
    bool wasShown = m_pNative->IsShown();
    if (nCmdShow == SW_HIDE) {
        m_pNative->Show(false);
    } else if (nCmdShow == SW_MINIMIZE) {
        m_pNative->Minimize();
    } else {
        UpdateLayoutIfNeeded();
        m_pNative->Show(true);
    }
    return wasShown;
}

bool SHostWnd::SetWindowPos(HWND, int x, int y, int cx, int cy, UINT flags) {
    if (!m_pNative)
        return false;
    CRect rc = GetScreenRect();
    if (!(flags & SWP_NOMOVE))
        rc = CRect(x, y, x + rc.Width(), y + rc.Height());
    if (!(flags & SWP_NOSIZE)) {
        cx = std::clamp(std::max(cx, m_szMin.cx), 1, kMaxHostSide);
        cy = std::clamp(std::max(cy, m_szMin.cy), 1, kMaxHostSide);
        rc.right = rc.left + cx;
        rc.bottom = rc.top + cy;
    }
    m_pNative->SetGeometry(rc);
    if (!(flags & SWP_NOSIZE) && !(CSize(rc.Width(), rc.Height()) == m_rcWindow.Size())) {
        Move(CRect(0, 0, rc.Width(), rc.Height()));
        m_bLayoutDirty = false;
        OnInvalidate(m_rcWindow);
        KeepFocusInSight();
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(SW_HIDE);
    return true;
}

bool SHostWnd::MoveWindow(int x, int y, int cx, int cy) {
    return SetWindowPos(nullptr, x, y, cx, cy, SWP_NOZORDER);
}

bool SHostWnd::DestroyWindow() {
    if (!m_hWnd)
        return false;
    HWND old = m_hWnd;
    LRESULT r = 0;
    ProcessWindowMessage(m_hWnd, WM_DESTROY, 0, 0, r);
    SApplication* app = SApplication::getSingletonPtr();
    for (auto& [id, token] : m_timers)
        if (app)
            app->GetBackend()->RemoveTimer(token);
    m_timers.clear();
    if (m_timelineToken && app)
        app->GetBackend()->RemoveTimer(m_timelineToken);
    m_timelineToken = 0;
    m_timeline.clear();
    if (m_alive)
        *m_alive = false;  // callbacks running further up the stack see it
    if (m_alive)
        *m_alive = false;  // handlers further up the stack see the window gone
    m_alive.reset();
    ReleaseNative();
    AliveWindows().erase(this);
    m_hWnd = nullptr;
    if (app)
        app->OnHostDestroyed(old);
    OnFinalMessage();
    return true;
}

void SHostWnd::ReleaseNative() {
    if (m_pNative)
        m_pNative->Show(false);
    m_pNative.reset();
}

bool SHostWnd::SetWindowTextW(const SStringW& title) {
    m_strTitle = title;
    if (m_pNative)
        m_pNative->SetTitle(title);
    return true;
}

bool SHostWnd::IsWindowVisible() const {
    return m_pNative && m_pNative->IsShown();
}

bool SHostWnd::IsIconic() const {
    return m_pNative && m_pNative->IsMinimized();
}

bool SHostWnd::_HandleEvent(EventArgs*) {
    return false;
}

bool SHostWnd::OnFireEvent(EventArgs* evt) {
    return _HandleEvent(evt);
}

// ---------------------------------------------------------------- painting

void SHostWnd::UpdateLayoutIfNeeded() {
    if (!m_bLayoutDirty)
        return;
    m_bLayoutDirty = false;
    UpdateChildrenPosition();
    OnInvalidate(m_rcWindow);
    KeepFocusInSight();
}

IRenderTarget* SHostWnd::RenderAll() {
    UpdateLayoutIfNeeded();
    if (!m_pMemRT)
        return nullptr;
    // Layout stays in logical pixels; only the target follows the window's device scale.
    if (m_pNative)
        m_pMemRT->SetScale(m_pNative->GetScale());
    m_pMemRT->Resize(m_rcWindow.Size());  // clears
    PaintTree(m_pMemRT, m_rcWindow);
    m_rcDirty = CRect();
    return m_pMemRT;
}

IRenderTarget* SHostWnd::OnNativeRender(const CRect&) {
    return RenderAll();
}

void SHostWnd::OnInvalidate(const CRect& rc) {
    CRect r = rc & m_rcWindow;
    if (r.IsRectEmpty())
        return;
    m_rcDirty = m_rcDirty | r;
    if (m_pNative)
        m_pNative->Invalidate(r);
}

void SHostWnd::OnRelayout() {
    m_bLayoutDirty = true;
    if (m_pNative)
        m_pNative->Invalidate(m_rcWindow);
}

// ---------------------------------------------------------------- container

void SHostWnd::RegisterTimelineHandler(SWindow* wnd) {
    m_timeline.insert(wnd);
    if (m_timelineToken == 0 && m_hWnd) {
        std::weak_ptr<bool> alive = m_alive;
        m_timelineToken =
            SApplication::getSingleton().GetBackend()->AddTimer(kFrameMs, [this, alive] {
                if (!alive.expired())
                    FlushTimeline();
            });
    }
}

void SHostWnd::UnregisterTimelineHandler(SWindow* wnd) {
    m_timeline.erase(wnd);
}

void SHostWnd::FlushTimeline() {
    std::shared_ptr<bool> keep = m_alive;
    std::vector<SWindow*> wnds(m_timeline.begin(), m_timeline.end());
    for (SWindow* w : wnds)
        if (m_timeline.count(w))
            w->OnNextFrame();
    if (m_timeline.empty() && m_timelineToken) {
        SApplication::getSingleton().GetBackend()->RemoveTimer(m_timelineToken);
        m_timelineToken = 0;
    }
}

bool SHostWnd::GetClipboardText(SStringW* text) {
    return SApplication::getSingleton().GetBackend()->GetClipboardText(text);
}

void SHostWnd::SetClipboardText(const SStringW& text) {
    SApplication::getSingleton().GetBackend()->SetClipboardText(text);
}

void SHostWnd::SetImeCursorRect(const CRect& rc) {
    if (m_pNative)
        m_pNative->SetImeCursorRect(rc);
}

void SHostWnd::OnWindowGone(SWindow* wnd) {
    // The window or one of its descendants may hold the mouse, the focus or a timeline
    // slot (a hidden tab page with a focused editor, say).
    DropInputState(wnd);
    if (m_pNative)
        m_pNative->OnAccRemoved(wnd);
    for (auto it = m_timeline.begin(); it != m_timeline.end();)
        it = IsWithin(*it, wnd) ? m_timeline.erase(it) : std::next(it);
}

}  // namespace SOUI
