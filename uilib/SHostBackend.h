#pragma once
// The host backend: what a host window needs from the platform. Two implementations:
// the GTK host (a real undecorated window with one drawing area) and the headless host
// (no display, a virtual clock, injected input).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "uilib/SRender.h"
#include "uilib/SString.h"
#include "uilib/SStyle.h"

namespace SOUI {

class SWindow;

// Mouse input given to a host window, in client pixels (logical pixels: on a HiDPI
// window the backend has divided the device coordinates by the window's scale).
struct SMouseInput {
    enum Kind { Move, LDown, LUp, LDblClk, Wheel, Leave };
    Kind kind = Move;
    CPoint pt;
    // The pointer on the screen, when the backend knows it (moving the window by the
    // mouse uses it; client coordinates move with the window).
    std::optional<CPoint> ptScreen;
    UINT flags = 0;      // MK_SHIFT, MK_CONTROL
    int wheelDelta = 0;  // notches, +1 = away from the user
};

// Implemented by the host window; the backend calls it on the UI thread.
struct INativeWndHandler {
    // Renders the dirty part and returns the target whose pixels the window shows
    // (owned by the handler).
    virtual IRenderTarget* OnNativeRender(const CRect& rcDirty) = 0;
    virtual void OnNativeMouse(const SMouseInput& input) = 0;
    virtual void OnNativeKey(UINT vk, bool bDown, UINT flags) = 0;
    virtual void OnNativeText(const SStringW& text) = 0;
    virtual void OnNativePreedit(const SStringW& text) = 0;
    virtual void OnNativeFocus(bool bFocused) = 0;
    virtual void OnNativeCloseRequest() = 0;
    // True when keys should go to the input method first (a text field has the focus);
    // otherwise they go to OnNativeKey as they are.
    virtual bool WantsTextInput() const = 0;
    // The window tree the backend's accessibility layer describes; null: none.
    virtual SWindow* GetAccessibleRoot() { return nullptr; }

protected:
    virtual ~INativeWndHandler() = default;
};

struct SNativeWndParams {
    SStringW title;
    CRect rcScreen;  // position and size
    bool resizable = false;
    bool toolWindow = false;
    bool translucent = false;
    void* ownerNative = nullptr;  // the owner's INativeWnd, for dialogs
};

// One native window; destroyed with its owner object.
struct INativeWnd {
    virtual ~INativeWnd() = default;
    virtual void SetTitle(const SStringW& title) = 0;
    // Screen position and size.
    virtual void SetGeometry(const CRect& rcScreen) = 0;
    virtual CRect GetGeometry() const = 0;
    virtual void Show(bool bShow) = 0;
    virtual bool IsShown() const = 0;
    virtual void Minimize() = 0;
    virtual bool IsMinimized() const = 0;
    virtual void Invalidate(const CRect& rc) = 0;
    // Device pixels per logical pixel of the window (2 on a HiDPI screen). Sizes and
    // positions stay in logical pixels; the window's render target takes this scale.
    virtual int GetScale() const = 0;
    virtual void SetCursor(SCursor cursor) = 0;
    virtual void SetIcon(IBitmapS* icon) = 0;
    virtual void SetImeCursorRect(const CRect& rc) = 0;
    virtual void GrabFocus() = 0;
    // Whether the window takes input from the window system: a modal dialog turns its
    // owner's off while it runs, so that the system hands activation and focus to the
    // dialog (ignored by backends where the library's own disabling is enough).
    virtual void EnableInput(bool bEnable) { (void)bEnable; }
    // Hands a caption drag that starts with the pointer at `ptScreen` to the window system,
    // which then moves the window itself until the button is released; false when the
    // window is moved by SetGeometry instead. A Wayland compositor lets no client place its
    // own window.
    virtual bool BeginSystemMove(CPoint ptScreen) {
        (void)ptScreen;
        return false;
    }
    // Notices for the accessibility layer (ignored by backends without one). Every other
    // change it reports (states, texts, values, pages) invalidates the window, and the
    // layer catches up after an invalidation.
    // `wnd` (null: none) took the keyboard focus.
    virtual void OnAccFocus(SWindow* wnd) { (void)wnd; }
    // `wnd` is destroyed or hidden: nothing may reach it through the layer any more.
    virtual void OnAccRemoved(SWindow* wnd) { (void)wnd; }
};

struct IHostBackend {
    virtual ~IHostBackend() = default;
    virtual std::unique_ptr<INativeWnd> CreateNativeWnd(INativeWndHandler* handler,
                                                        const SNativeWndParams& params) = 0;
    virtual CSize GetScreenSize() const = 0;
    // Milliseconds of the backend's clock (virtual on the headless host).
    virtual uint64_t NowMs() const = 0;
    // A repeating timer; returns a token (never 0).
    virtual uint64_t AddTimer(UINT intervalMs, std::function<void()> callback) = 0;
    virtual void RemoveTimer(uint64_t token) = 0;
    // Runs a (possibly nested) loop until QuitLoop ends it; returns the code. Events of
    // the notify center are delivered in the loop.
    virtual int RunLoop() = 0;
    // Ends the innermost running loop with `code`.
    virtual void QuitLoop(int code) = 0;
    virtual int LoopDepth() const = 0;
    // Folder chooser, modal over `owner` (null: none); nullopt when cancelled. It runs a
    // loop of its own until the user answers, CancelFolderChooser is called or the owner
    // goes.
    virtual std::optional<SStringW> BrowseForFolder(const SStringW& title,
                                                    INativeWnd* owner = nullptr) = 0;
    // Ends an open folder chooser as if the user had cancelled it; nothing when none is open.
    virtual void CancelFolderChooser() = 0;
    virtual bool GetClipboardText(SStringW* text) = 0;
    virtual void SetClipboardText(const SStringW& text) = 0;
};

}  // namespace SOUI
