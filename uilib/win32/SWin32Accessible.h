#pragma once
// Accessibility of a Win32 host window through MSAA: WM_GETOBJECT for OBJID_CLIENT hands
// out an IAccessible of the window's client area whose descendants stand for the controls
// of the window tree (those with an SAccRole; the rest are skipped, their controls taking
// their place), as the ATK bridge describes them on Linux: role, name, states, a click as
// the default action, location, value, focus and hit testing.
//
// Every control's object is a full IAccessible of its own; it also has a negative child id,
// unique in the window, which the client object's get_accChild resolves, so that a client
// can find the source of a WinEvent (AccessibleObjectFromEvent). Objects a client still
// holds after their control or window is gone answer CO_E_OBJNOTCONNECTED.

#include <cstdint>
#include <functional>
#include <memory>

#include "uilib/SWindow.h"

namespace SOUI {

class SWin32Accessible {
public:
    // `hwnd`: the host window (a HWND); `root`: its window tree; both outlive this object.
    // `actionMsg`: a message of the window's own that the window hands to RunPendingActions
    // (default actions run from there, after the client's call has returned). `scale`:
    // device pixels per logical pixel of the window now.
    SWin32Accessible(void* hwnd, SWindow* root, unsigned actionMsg, std::function<int()> scale);
    // The objects handed out turn defunct; clients may still hold them.
    ~SWin32Accessible();
    SWin32Accessible(const SWin32Accessible&) = delete;
    SWin32Accessible& operator=(const SWin32Accessible&) = delete;

    // WM_GETOBJECT: true with the answer in `*result` for OBJID_CLIENT; false for the other
    // objects, which DefWindowProc answers.
    bool OnGetObject(uintptr_t wParam, intptr_t lParam, intptr_t* result);
    // `wnd` (null: none) took the keyboard focus: EVENT_OBJECT_FOCUS.
    void OnFocus(SWindow* wnd);
    // The native window took the focus: the control holding the tree's focus is announced
    // as OnFocus does.
    void OnWindowFocus();
    // `wnd` is destroyed or hidden: its object and those below turn defunct now.
    void OnRemoved(SWindow* wnd);
    // After a frame: name, state and value changes of the controls a client has seen.
    void OnFrame();
    // Runs the default actions asked for since the last call; may destroy the window.
    void RunPendingActions();

    struct Impl;

private:
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace SOUI
