// The host window's input routing: which window of the tree a mouse event or a key goes
// to, hover and capture, keyboard focus and its traversal, focus cues, and moving the
// native window with the mouse.
//
// Mouse: a press goes to the deepest window under the pointer that wants it
// (SWindow::WantsPress); a window that does not, passes it to its ancestors, so that a
// caption below static content still drags the window. While a window holds the capture
// it gets every move and the release.
//
// Keys: the focused window first; what it leaves, the host takes: Tab moves the focus,
// Enter activates, and Space presses the focused control on key down and activates it on
// key up, as a mouse press and release would.
//
// Focus cues (the focus outline) show after keyboard navigation and hide again at the
// next mouse press.
#include "uilib/SHostWnd.h"

#include <algorithm>
#include <functional>

namespace SOUI {

bool SHostWnd::IsWithin(const SWindow* wnd, const SWindow* ancestor) {
    for (; wnd != nullptr; wnd = wnd->GetParent())
        if (wnd == ancestor)
            return true;
    return false;
}

// ---------------------------------------------------------------- mouse

void SHostWnd::SetHoverWindow(SWindow* wnd) {
    if (wnd == m_pHover)
        return;
    SWindow* old = m_pHover;
    m_pHover = wnd;
    if (old)
        old->OnMouseLeave();
    if (wnd && !wnd->IsDisabled(true))
        wnd->OnMouseHover();
}

SWindow* SHostWnd::PressTarget(SWindow* hit, CPoint pt) const {
    for (SWindow* w = hit; w != nullptr; w = w->GetParent()) {
        // Disabled and message-transparent windows let the press through to what holds
        // them, like content that does not want it.
        if (w->IsDisabled(true) || w->IsMsgTransparent())
            continue;
        if (w->WantsPress(pt))
            return w;
    }
    return nullptr;
}

void SHostWnd::OnNativeMouse(const SMouseInput& in) {
    std::shared_ptr<bool> keep = m_alive;  // a handler may destroy the window
    auto alive = [&keep] { return keep && *keep; };
    if (!alive())
        return;
    UpdateLayoutIfNeeded();
    // The drag of the window reads the pointer's screen position while this event is
    // handled.
    m_ptInputScreen = in.ptScreen;
    SWindow* hit = HitTest(in.pt);
    switch (in.kind) {
        case SMouseInput::Move: {
            if (m_pCapture) {
                SetHoverWindow(m_pCapture->GetWindowRect().PtInRect(in.pt) ? m_pCapture : nullptr);
                m_pCapture->OnMouseMove(in.pt, in.flags);
            } else {
                SetHoverWindow(hit);
                if (hit && !hit->IsDisabled(true))
                    hit->OnMouseMove(in.pt, in.flags);
            }
            if (alive() && m_pNative) {
                SWindow* c = m_pCapture ? m_pCapture : hit;
                m_pNative->SetCursor(c && !c->IsDisabled(true) ? c->GetCursor() : SCursor::Arrow);
            }
            break;
        }
        case SMouseInput::LDown:
        case SMouseInput::LDblClk: {
            SetHoverWindow(hit);
            SetFocusCues(false);
            SWindow* target = PressTarget(hit, in.pt);
            if ((!target || !target->IsFocusable()) && m_pFocus && m_pFocus != target)
                OnSetFocus(nullptr);
            if (!target)
                break;
            if (in.kind == SMouseInput::LDown)
                target->OnLButtonDown(in.pt, in.flags);
            else
                target->OnLButtonDblClk(in.pt, in.flags);
            break;
        }
        case SMouseInput::LUp: {
            SWindow* target = m_pCapture ? m_pCapture : PressTarget(hit, in.pt);
            if (target && !target->IsDisabled(true))
                target->OnLButtonUp(in.pt, in.flags);
            if (!alive())
                return;  // the click closed the window
            if (m_pCapture)
                OnReleaseCapture(m_pCapture);
            SetHoverWindow(HitTest(in.pt));
            break;
        }
        case SMouseInput::Wheel: {
            for (SWindow* w = hit; w; w = w->GetParent())
                if (!w->IsDisabled(true) && w->OnMouseWheel(in.wheelDelta, in.pt))
                    break;
            break;
        }
        case SMouseInput::Leave:
            if (!m_pCapture)
                SetHoverWindow(nullptr);
            break;
    }
    if (alive())
        m_ptInputScreen.reset();
}

void SHostWnd::OnSetCapture(SWindow* wnd) {
    m_pCapture = wnd;
}

void SHostWnd::OnReleaseCapture(SWindow* wnd) {
    if (m_pCapture == wnd) {
        m_pCapture = nullptr;
        wnd->OnCaptureChanged();
    }
}

// ---------------------------------------------------------------- moving the window

CPoint SHostWnd::PointerOnScreen(CPoint ptInClient) const {
    if (m_ptInputScreen)
        return *m_ptInputScreen;
    // Without the backend's word, from where the window stands now.
    CRect now = GetScreenRect();
    return CPoint(now.left + ptInClient.x, now.top + ptInClient.y);
}

bool SHostWnd::OnBeginMoveDrag(CPoint pt) {
    if (!m_pNative)
        return false;
    const CPoint screen = PointerOnScreen(pt);
    if (m_pNative->BeginSystemMove(screen))
        return false;
    m_bDragging = true;
    m_rcDragStart = GetScreenRect();
    m_ptDragStart = screen;
    return true;
}

void SHostWnd::OnMoveDragTo(CPoint pt) {
    if (!m_bDragging || !m_pNative)
        return;
    // Screen coordinates throughout: client coordinates of events that were queued before
    // the last move would count that move twice.
    CPoint screen = PointerOnScreen(pt);
    CRect rc = m_rcDragStart;
    rc.OffsetRect(screen.x - m_ptDragStart.x, screen.y - m_ptDragStart.y);
    if (!(rc == GetScreenRect()))
        m_pNative->SetGeometry(rc);
}

void SHostWnd::OnEndMoveDrag() {
    m_bDragging = false;
}

// ---------------------------------------------------------------- keys and text

bool SHostWnd::WantsTextInput() const {
    return m_pFocus && !m_pFocus->IsDisabled(true) && m_pFocus->AcceptsText();
}

void SHostWnd::EndKeyPress(bool bActivate) {
    SWindow* pressed = m_pKeyPressed;
    if (!pressed)
        return;
    m_pKeyPressed = nullptr;
    pressed->ModifyState(0, WndState_PushDown);
    if (bActivate && !pressed->IsDisabled(true))
        pressed->OnActivate();
}

void SHostWnd::OnNativeKey(UINT vk, bool bDown, UINT flags) {
    std::shared_ptr<bool> keep = m_alive;
    if (!keep || !*keep)
        return;
    UpdateLayoutIfNeeded();  // the focus may have left the visible area
    SWindow* focus = m_pFocus;
    bool usable = focus && !focus->IsDisabled(true);
    if (!bDown) {
        if (usable && focus->OnKeyUp(vk, flags))
            return;
        if (vk == VK_SPACE)
            EndKeyPress(m_pKeyPressed == focus && usable);
        return;
    }
    if (usable && focus->OnKeyDown(vk, flags))
        return;
    if (vk == VK_TAB && !(focus && focus->WantsTab())) {
        FocusNext((flags & MK_SHIFT) != 0);
        return;
    }
    if (!usable)
        return;
    if (vk == VK_RETURN) {
        focus->OnActivate();
    } else if (vk == VK_SPACE && m_pKeyPressed != focus) {
        // Held keys repeat their key-down; the press starts once.
        EndKeyPress(false);
        m_pKeyPressed = focus;
        focus->ModifyState(WndState_PushDown, 0);
    }
}

void SHostWnd::OnNativeText(const SStringW& text) {
    UpdateLayoutIfNeeded();
    if (m_pFocus && !m_pFocus->IsDisabled(true))
        m_pFocus->OnChar(text);
}

void SHostWnd::OnNativePreedit(const SStringW& text) {
    if (m_pFocus && !m_pFocus->IsDisabled(true))
        m_pFocus->OnImeComposition(text);
}

void SHostWnd::OnNativeFocus(bool) {
    if (m_pFocus)
        m_pFocus->Invalidate();
}

// ---------------------------------------------------------------- focus

void SHostWnd::SetFocusCues(bool bShow) {
    if (m_bFocusCues == bShow)
        return;
    m_bFocusCues = bShow;
    if (m_pFocus)
        m_pFocus->Invalidate();
}

void SHostWnd::OnSetFocus(SWindow* wnd) {
    if (wnd == m_pFocus)
        return;
    EndKeyPress(false);
    SWindow* old = m_pFocus;
    m_pFocus = wnd;
    if (old)
        old->OnKillFocus();
    if (wnd)
        wnd->OnSetFocus();
    if (wnd && m_pNative)
        m_pNative->GrabFocus();
    if (m_pNative)
        m_pNative->OnAccFocus(wnd);
}

void SHostWnd::KeepFocusInSight() {
    if (!m_pFocus)
        return;
    const std::vector<SWindow*> order = FocusOrder();
    if (std::find(order.begin(), order.end(), m_pFocus) == order.end())
        OnSetFocus(nullptr);
}

std::vector<SWindow*> SHostWnd::FocusOrder() {
    UpdateLayoutIfNeeded();
    // Tree order; a window counts when some of it can be seen: it and its ancestors are
    // shown and enabled, and its rectangle is not wholly clipped away by theirs (children
    // paint inside their parents, the root inside the native window).
    std::vector<SWindow*> order;
    std::function<void(SWindow*, const CRect&)> walk = [&](SWindow* w, const CRect& clip) {
        if (!w->IsVisible() || w->IsDisabled())
            return;
        CRect shown = w->GetWindowRect() & clip;
        if (shown.IsRectEmpty())
            return;
        if (w != this && w->IsFocusable())
            order.push_back(w);
        for (size_t i = 0; i < w->GetChildrenCount(); ++i)
            walk(w->GetChild(i), shown);
    };
    walk(this, m_rcWindow);
    return order;
}

void SHostWnd::FocusNext(bool bBackward) {
    SetFocusCues(true);
    std::vector<SWindow*> order = FocusOrder();
    if (order.empty())
        return;
    auto it = std::find(order.begin(), order.end(), m_pFocus);
    size_t idx;
    if (it == order.end())
        idx = bBackward ? order.size() - 1 : 0;
    else if (bBackward)
        idx = (it - order.begin() + order.size() - 1) % order.size();
    else
        idx = (it - order.begin() + 1) % order.size();
    OnSetFocus(order[idx]);
}

void SHostWnd::DropInputState(SWindow* wnd) {
    if (IsWithin(m_pHover, wnd))
        m_pHover = nullptr;
    if (IsWithin(m_pCapture, wnd))
        m_pCapture = nullptr;
    if (IsWithin(m_pKeyPressed, wnd))
        m_pKeyPressed = nullptr;
    if (IsWithin(m_pFocus, wnd)) {
        SWindow* focus = m_pFocus;
        m_pFocus = nullptr;
        focus->OnKillFocus();
        if (m_pNative)
            m_pNative->OnAccFocus(nullptr);
    }
}

}  // namespace SOUI
