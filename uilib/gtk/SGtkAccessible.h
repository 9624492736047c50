#pragma once
// Accessibility of a GTK host window through ATK, which the AT-SPI bridge carries to
// assistive technologies. The window's drawing area gets an accessible whose descendants
// stand for the controls of the window tree (those with an SAccRole; the rest are
// skipped, their controls taking their place): role, name, states, a click action,
// extents, text and values.
//
// Nothing is built until a client first asks for the drawing area's children. From then
// on every invalidation of the window (which every visible change causes) schedules one
// pass at idle time that compares the tree with what was last told and emits the
// differences: children added and removed, name, state, value and text changes. Focus
// changes and windows that leave the tree are taken at once.

#include <gtk/gtk.h>

#include <memory>

#include "uilib/SWindow.h"

namespace SOUI {

// The ATK role of a window's role (ATK_ROLE_INVALID for SAccRole::None).
AtkRole SGtkAccRole(SAccRole role);
// Adds the ATK states of SAccState_* flags of a window of `role` to `set`.
void SGtkAddAccStates(AtkStateSet* set, DWORD states, SAccRole role);

class SGtkAccessible {
public:
    // `root`: the host's window tree, which outlives this object (null: an empty tree).
    explicit SGtkAccessible(SWindow* root);
    // The accessibles handed out turn defunct; clients may still hold them.
    ~SGtkAccessible();
    SGtkAccessible(const SGtkAccessible&) = delete;
    SGtkAccessible& operator=(const SGtkAccessible&) = delete;

    // A drawing area whose accessible describes the tree (floating, as
    // gtk_drawing_area_new gives it). Call once; the widget must not outlive this object
    // holding the only pointer to it (the destructor unhooks it).
    GtkWidget* CreateCanvas();
    // Something in the tree may have changed: catch up at idle time.
    void ScheduleUpdate();
    // `wnd` (null: none) took the keyboard focus.
    void OnFocus(SWindow* wnd);
    // `wnd` is destroyed or hidden: its accessible (and those below) turn defunct now.
    void OnRemoved(SWindow* wnd);

    struct Impl;

private:
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace SOUI
