#pragma once
// What a window tree needs from the host that holds it.

#include <functional>

#include "uilib/SEvents.h"
#include "uilib/SStyle.h"

namespace SOUI {

class SWindow;

struct ISwndContainer {
    virtual ~ISwndContainer() = default;

    // Routes an event of a window of this tree to the host's event handling; true
    // when handled.
    virtual bool OnFireEvent(EventArgs* evt) = 0;
    virtual void OnInvalidate(const CRect& rc) = 0;
    virtual void OnRelayout() = 0;
    virtual void OnSetCapture(SWindow* wnd) = 0;
    virtual void OnReleaseCapture(SWindow* wnd) = 0;
    virtual SWindow* GetCapture() const = 0;
    virtual void OnSetFocus(SWindow* wnd) = 0;
    virtual SWindow* GetFocus() const = 0;
    // Whether the focused window shows its focus outline (after keyboard navigation, not
    // after a mouse press).
    virtual bool ShowsFocusCues() const = 0;
    // Asks for OnNextFrame calls on `wnd` about every 10 ms until unregistered.
    virtual void RegisterTimelineHandler(SWindow* wnd) = 0;
    virtual void UnregisterTimelineHandler(SWindow* wnd) = 0;
    // Starts moving the host window with the mouse (caption drag). False when the window
    // system took the drag over: no moves or end follow then.
    virtual bool OnBeginMoveDrag(CPoint ptInClient) = 0;
    virtual void OnMoveDragTo(CPoint ptInClient) = 0;
    virtual void OnEndMoveDrag() = 0;
    virtual bool GetClipboardText(SStringW* text) = 0;
    virtual void SetClipboardText(const SStringW& text) = 0;
    // Where the input method should show its candidates (client coordinates).
    virtual void SetImeCursorRect(const CRect& rc) = 0;
    virtual const SStringW& GetTranslatorContext() const = 0;
    // The window left view, hidden or destroyed: the container forgets the input state,
    // the accessible node and the timeline slots of it and its descendants.
    virtual void OnWindowGone(SWindow* wnd) = 0;
};

}  // namespace SOUI
