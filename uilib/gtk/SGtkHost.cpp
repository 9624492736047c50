#include "uilib/gtk/SGtkHost.h"

#include <gdk/gdkwayland.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/Text.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/gtk/SGtkAccessible.h"

namespace SOUI {
namespace {

std::atomic<uint64_t> s_framesDrawn{0};

// Under a Wayland compositor a client neither places nor moves its own windows: the
// compositor does, also when the user drags a caption.
bool OnWayland() {
    GdkDisplay* display = gdk_display_get_default();
    return display != nullptr && GDK_IS_WAYLAND_DISPLAY(display);
}

// The folder chooser while its loop runs (GTK's thread only), and the window it is modal
// over: one at a time, as the chooser is modal.
struct OpenChooser {
    GtkWidget* dialog = nullptr;
    const INativeWnd* owner = nullptr;
};
OpenChooser s_chooser;

void CancelOpenChooser() {
    if (s_chooser.dialog != nullptr)
        gtk_dialog_response(GTK_DIALOG(s_chooser.dialog), GTK_RESPONSE_CANCEL);
}

std::string U8(const SStringW& s) {
    return platform::WideToUtf8(s);
}

UINT ModifierFlags(guint state) {
    UINT flags = 0;
    if (state & GDK_SHIFT_MASK)
        flags |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK)
        flags |= MK_CONTROL;
    return flags;
}

// GDK key values to the virtual keys the controls know; 0 for the rest.
UINT VirtualKey(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return VK_TAB;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return VK_RETURN;
        case GDK_KEY_space:
            return VK_SPACE;
        case GDK_KEY_BackSpace:
            return VK_BACK;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return VK_DELETE;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return VK_LEFT;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return VK_RIGHT;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return VK_UP;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return VK_DOWN;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return VK_HOME;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return VK_END;
        case GDK_KEY_Page_Up:
            return VK_PRIOR;
        case GDK_KEY_Page_Down:
            return VK_NEXT;
        case GDK_KEY_Escape:
            return VK_ESCAPE;
        default:
            break;
    }
    guint upper = gdk_keyval_to_upper(keyval);
    if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9'))
        return upper;
    return 0;
}

const char* CursorName(SCursor c) {
    switch (c) {
        case SCursor::Hand:
            return "pointer";
        case SCursor::IBeam:
            return "text";
        case SCursor::SizeWE:
            return "ew-resize";
        case SCursor::SizeNS:
            return "ns-resize";
        case SCursor::SizeAll:
            return "move";
        default:
            return "default";
    }
}

class SGtkWnd : public INativeWnd {
public:
    SGtkWnd(INativeWndHandler* handler, const SNativeWndParams& p)
        : m_handler(handler), m_rc(p.rcScreen) {
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(m_window);
        gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_title(GTK_WINDOW(m_window), U8(p.title).c_str());
        if (p.toolWindow) {
            gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_DIALOG);
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m_window), TRUE);
        }
        if (p.ownerNative)
            gtk_window_set_transient_for(
                GTK_WINDOW(m_window), GTK_WINDOW(static_cast<SGtkWnd*>(p.ownerNative)->m_window));
        GdkScreen* screen = gtk_widget_get_screen(m_window);
        if (p.translucent && gdk_screen_is_composited(screen)) {
            if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen)) {
                gtk_widget_set_visual(m_window, visual);
                gtk_widget_set_app_paintable(m_window, TRUE);
                m_bAlpha = true;
            }
        }
        m_a11y = std::make_unique<SGtkAccessible>(handler->GetAccessibleRoot());
        m_area = m_a11y->CreateCanvas();
        gtk_widget_set_can_focus(m_area, TRUE);
        gtk_widget_add_events(
            m_area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                        GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_LEAVE_NOTIFY_MASK |
                        GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
        gtk_container_add(GTK_CONTAINER(m_window), m_area);
        gtk_widget_set_size_request(m_area, m_rc.Width(), m_rc.Height());
        MoveToRect();

        m_im = gtk_im_multicontext_new();
        g_signal_connect(m_im, "commit", G_CALLBACK(OnCommit), this);
        g_signal_connect(m_im, "preedit-changed", G_CALLBACK(OnPreedit), this);

        g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
        g_signal_connect(m_area, "realize", G_CALLBACK(OnRealize), this);
        g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(OnMotion), this);
        g_signal_connect(m_area, "button-press-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_area, "button-release-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_area, "scroll-event", G_CALLBACK(OnScroll), this);
        g_signal_connect(m_area, "leave-notify-event", G_CALLBACK(OnLeave), this);
        g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKey), this);
        g_signal_connect(m_window, "key-release-event", G_CALLBACK(OnKey), this);
        g_signal_connect(m_window, "focus-in-event", G_CALLBACK(OnFocus), this);
        g_signal_connect(m_window, "focus-out-event", G_CALLBACK(OnFocus), this);
        g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
        g_signal_connect(m_window, "configure-event", G_CALLBACK(OnConfigure), this);
        gtk_widget_show(m_area);
    }

    ~SGtkWnd() override {
        // A chooser modal over a window that goes would be left without an owner, its loop
        // holding the program: it ends as cancelled.
        if (s_chooser.owner == this)
            CancelOpenChooser();
        m_a11y.reset();  // its accessibles turn defunct while the widgets still exist
        g_signal_handlers_disconnect_by_data(m_im, this);
        g_signal_handlers_disconnect_by_data(m_area, this);
        g_signal_handlers_disconnect_by_data(m_window, this);
        gtk_im_context_set_client_window(m_im, nullptr);
        g_object_unref(m_im);
        gtk_widget_destroy(m_window);
        g_object_unref(m_window);
        if (m_icon)
            g_object_unref(m_icon);
    }

    void SetTitle(const SStringW& title) override {
        gtk_window_set_title(GTK_WINDOW(m_window), U8(title).c_str());
    }
    void SetGeometry(const CRect& rc) override {
        bool resized = rc.Size() != m_rc.Size();
        m_rc = rc;
        if (resized) {
            gtk_widget_set_size_request(m_area, rc.Width(), rc.Height());
            gtk_window_resize(GTK_WINDOW(m_window), rc.Width(), rc.Height());
        }
        MoveToRect();
    }
    CRect GetGeometry() const override { return m_rc; }
    void Show(bool bShow) override {
        m_shown = bShow;
        if (bShow) {
            m_minimized = false;
            MoveToRect();
            gtk_widget_show(m_window);
            gtk_window_deiconify(GTK_WINDOW(m_window));
        } else {
            gtk_widget_hide(m_window);
        }
    }
    bool IsShown() const override { return m_shown; }
    void Minimize() override {
        m_minimized = true;
        gtk_window_iconify(GTK_WINDOW(m_window));
    }
    bool IsMinimized() const override { return m_minimized; }
    void Invalidate(const CRect& rc) override {
        gtk_widget_queue_draw_area(m_area, rc.left, rc.top, rc.Width(), rc.Height());
        m_a11y->ScheduleUpdate();  // every visible change invalidates
    }
    int GetScale() const override { return gtk_widget_get_scale_factor(m_area); }
    void SetCursor(SCursor cursor) override {
        if (cursor == m_cursor)
            return;
        GdkWindow* gw = gtk_widget_get_window(m_area);
        if (!gw)
            return;
        m_cursor = cursor;
        GdkCursor* c = gdk_cursor_new_from_name(gdk_window_get_display(gw), CursorName(cursor));
        gdk_window_set_cursor(gw, c);
        if (c)
            g_object_unref(c);
    }
    void SetIcon(IBitmapS* icon) override {
        if (!icon || !icon->GetPixelBits())
            return;
        int w = icon->Width(), h = icon->Height();
        GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
        guchar* dst = gdk_pixbuf_get_pixels(pb);
        int dstStride = gdk_pixbuf_get_rowstride(pb);
        for (int y = 0; y < h; ++y) {
            const BYTE* row = icon->GetPixelBits() + static_cast<size_t>(y) * icon->Stride();
            for (int x = 0; x < w; ++x) {
                unsigned b = row[4 * x], g = row[4 * x + 1], r = row[4 * x + 2], a = row[4 * x + 3];
                guchar* o = dst + y * dstStride + 4 * x;
                o[0] = a ? static_cast<guchar>(std::min(255u, r * 255 / a)) : 0;
                o[1] = a ? static_cast<guchar>(std::min(255u, g * 255 / a)) : 0;
                o[2] = a ? static_cast<guchar>(std::min(255u, b * 255 / a)) : 0;
                o[3] = static_cast<guchar>(a);
            }
        }
        gtk_window_set_icon(GTK_WINDOW(m_window), pb);
        if (m_icon)
            g_object_unref(m_icon);
        m_icon = pb;
    }
    void SetImeCursorRect(const CRect& rc) override {
        GdkRectangle r{rc.left, rc.top, rc.Width(), rc.Height()};
        gtk_im_context_set_cursor_location(m_im, &r);
    }
    void GrabFocus() override { gtk_widget_grab_focus(m_area); }
    void OnAccFocus(SWindow* wnd) override { m_a11y->OnFocus(wnd); }
    void OnAccRemoved(SWindow* wnd) override { m_a11y->OnRemoved(wnd); }
    GtkWidget* Widget() const { return m_window; }
    bool BeginSystemMove(CPoint ptScreen) override {
        if (!OnWayland())
            return false;  // X11: the host moves the window, as it always has
        gtk_window_begin_move_drag(GTK_WINDOW(m_window), GDK_BUTTON_PRIMARY, ptScreen.x, ptScreen.y,
                                   gtk_get_current_event_time());
        return true;
    }

private:
    // Places the window at m_rc's origin where the window system lets a client do so.
    void MoveToRect() {
        if (!OnWayland())
            gtk_window_move(GTK_WINDOW(m_window), m_rc.left, m_rc.top);
    }
    static void OnRealize(GtkWidget* w, SGtkWnd* self) {
        gtk_im_context_set_client_window(self->m_im, gtk_widget_get_window(w));
    }
    static gboolean OnDraw(GtkWidget*, cairo_t* cr, SGtkWnd* self) {
        IRenderTarget* rt = self->m_handler->OnNativeRender(self->m_rc);
        const BYTE* bits = nullptr;
        int stride = 0;
        if (!rt || !rt->GetPixels(&bits, &stride))
            return TRUE;
        // GDK gives a HiDPI window a context with its device scale; the target's pixels
        // are at that scale, so with the same device scale they land one to one.
        CSize sz = rt->GetSize();
        int scale = rt->GetScale();
        cairo_surface_t* s = cairo_image_surface_create_for_data(
            const_cast<BYTE*>(bits), CAIRO_FORMAT_ARGB32, sz.cx * scale, sz.cy * scale, stride);
        cairo_surface_set_device_scale(s, scale, scale);
        if (self->m_bAlpha) {
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        } else {
            // Without a compositor translucent pixels are laid over white.
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_paint(cr);
        }
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(s);
        ++s_framesDrawn;
        return TRUE;
    }
    static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, SGtkWnd* self) {
        SMouseInput in;
        in.kind = SMouseInput::Move;
        in.pt = CPoint(static_cast<int>(e->x), static_cast<int>(e->y));
        in.ptScreen = CPoint(static_cast<int>(e->x_root), static_cast<int>(e->y_root));
        in.flags = ModifierFlags(e->state);
        self->m_handler->OnNativeMouse(in);
        return TRUE;
    }
    static gboolean OnButton(GtkWidget* w, GdkEventButton* e, SGtkWnd* self) {
        if (e->button != 1)
            return FALSE;
        SMouseInput in;
        in.pt = CPoint(static_cast<int>(e->x), static_cast<int>(e->y));
        in.ptScreen = CPoint(static_cast<int>(e->x_root), static_cast<int>(e->y_root));
        in.flags = ModifierFlags(e->state);
        if (e->type == GDK_BUTTON_PRESS) {
            in.kind = SMouseInput::LDown;
            gtk_widget_grab_focus(w);
        } else if (e->type == GDK_2BUTTON_PRESS) {
            in.kind = SMouseInput::LDblClk;
        } else if (e->type == GDK_BUTTON_RELEASE) {
            in.kind = SMouseInput::LUp;
        } else {
            return TRUE;
        }
        self->m_handler->OnNativeMouse(in);
        return TRUE;
    }
    static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, SGtkWnd* self) {
        int notches = 0;
        if (e->direction == GDK_SCROLL_UP)
            notches = 1;
        else if (e->direction == GDK_SCROLL_DOWN)
            notches = -1;
        else if (e->direction == GDK_SCROLL_SMOOTH) {
            self->m_scrollAcc -= e->delta_y;
            notches = static_cast<int>(self->m_scrollAcc);
            self->m_scrollAcc -= notches;
        }
        if (notches == 0)
            return TRUE;
        SMouseInput in;
        in.kind = SMouseInput::Wheel;
        in.pt = CPoint(static_cast<int>(e->x), static_cast<int>(e->y));
        in.wheelDelta = notches;
        self->m_handler->OnNativeMouse(in);
        return TRUE;
    }
    static gboolean OnLeave(GtkWidget*, GdkEventCrossing* e, SGtkWnd* self) {
        if (e->mode != GDK_CROSSING_NORMAL)
            return FALSE;
        SMouseInput in;
        in.kind = SMouseInput::Leave;
        self->m_handler->OnNativeMouse(in);
        return TRUE;
    }
    static gboolean OnKey(GtkWidget*, GdkEventKey* e, SGtkWnd* self) {
        // Only a text field types through the input method; any other control gets the key
        // itself (the input method would take Space as text and the button never see it).
        if (self->m_handler->WantsTextInput() && gtk_im_context_filter_keypress(self->m_im, e))
            return TRUE;
        UINT vk = VirtualKey(e->keyval);
        if (vk == 0)
            return FALSE;
        UINT flags = ModifierFlags(e->state);
        if (e->keyval == GDK_KEY_ISO_Left_Tab)
            flags |= MK_SHIFT;
        self->m_handler->OnNativeKey(vk, e->type == GDK_KEY_PRESS, flags);
        return TRUE;
    }
    static void OnCommit(GtkIMContext*, const char* text, SGtkWnd* self) {
        self->m_handler->OnNativeText(platform::Utf8ToWide(text ? text : ""));
    }
    static void OnPreedit(GtkIMContext* im, SGtkWnd* self) {
        gchar* text = nullptr;
        gtk_im_context_get_preedit_string(im, &text, nullptr, nullptr);
        self->m_handler->OnNativePreedit(platform::Utf8ToWide(text ? text : ""));
        g_free(text);
    }
    static gboolean OnFocus(GtkWidget*, GdkEventFocus* e, SGtkWnd* self) {
        if (e->in)
            gtk_im_context_focus_in(self->m_im);
        else
            gtk_im_context_focus_out(self->m_im);
        self->m_handler->OnNativeFocus(e->in != 0);
        return FALSE;
    }
    static gboolean OnDelete(GtkWidget*, GdkEvent*, SGtkWnd* self) {
        self->m_handler->OnNativeCloseRequest();
        return TRUE;  // the host window decides and destroys itself
    }
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, SGtkWnd* self) {
        // A window manager may place the window elsewhere than asked; keep its word.
        self->m_rc = CRect(e->x, e->y, e->x + self->m_rc.Width(), e->y + self->m_rc.Height());
        return FALSE;
    }

    INativeWndHandler* m_handler;
    CRect m_rc;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_area = nullptr;
    std::unique_ptr<SGtkAccessible> m_a11y;
    GtkIMContext* m_im = nullptr;
    GdkPixbuf* m_icon = nullptr;
    bool m_shown = false;
    bool m_minimized = false;
    bool m_bAlpha = false;
    SCursor m_cursor = SCursor::Arrow;
    double m_scrollAcc = 0;
};

struct TimerData {
    std::function<void()> fn;
};

gboolean OnTimer(gpointer data) {
    std::function<void()> fn = static_cast<TimerData*>(data)->fn;  // it may remove itself
    fn();
    return G_SOURCE_CONTINUE;
}

void FreeTimer(gpointer data) {
    delete static_cast<TimerData*>(data);
}

}  // namespace

struct SGtkHost::Impl {
    std::map<uint64_t, guint> timers;
    uint64_t nextToken = 1;
    std::vector<GMainLoop*> loops;
    std::vector<int> codes;
    std::vector<bool> quitting;  // QuitLoop came for the loop, perhaps before it ran
    guint wakeSource = 0;
    SNotifyCenter* watched = nullptr;

    static gboolean OnWake(gint, GIOCondition cond, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
        if (center != self->watched || (cond & (G_IO_NVAL | G_IO_ERR))) {
            self->wakeSource = 0;
            self->watched = nullptr;
            return G_SOURCE_REMOVE;
        }
        center->DispatchPending();
        return G_SOURCE_CONTINUE;
    }
    void WatchNotifyCenter() {
        SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
        if (center == watched)
            return;
        Unwatch();
        if (!center)
            return;
        watched = center;
        wakeSource = g_unix_fd_add(center->GetWakeHandle(), G_IO_IN, OnWake, this);
    }
    void Unwatch() {
        if (wakeSource)
            g_source_remove(wakeSource);
        wakeSource = 0;
        watched = nullptr;
    }
};

uint64_t SGtkHost::FramesDrawn() {
    return s_framesDrawn.load();
}

bool SGtkHost::Init() {
    setenv("GDK_GL", "disable", 0);
    return gtk_init_check(nullptr, nullptr) != FALSE;
}

SGtkHost::SGtkHost() : m_pImpl(std::make_unique<Impl>()) {}

SGtkHost::~SGtkHost() {
    m_pImpl->Unwatch();
    for (auto& [token, id] : m_pImpl->timers)
        g_source_remove(id);
}

std::unique_ptr<INativeWnd> SGtkHost::CreateNativeWnd(INativeWndHandler* handler,
                                                      const SNativeWndParams& params) {
    return std::make_unique<SGtkWnd>(handler, params);
}

CSize SGtkHost::GetScreenSize() const {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return {1024, 768};
    GdkMonitor* mon = gdk_display_get_primary_monitor(display);
    if (!mon)
        mon = gdk_display_get_monitor(display, 0);
    if (!mon)
        return {1024, 768};
    GdkRectangle r;
    gdk_monitor_get_geometry(mon, &r);
    return {r.width, r.height};
}

uint64_t SGtkHost::NowMs() const {
    return static_cast<uint64_t>(g_get_monotonic_time() / 1000);
}

uint64_t SGtkHost::AddTimer(UINT intervalMs, std::function<void()> callback) {
    uint64_t token = m_pImpl->nextToken++;
    guint id = g_timeout_add_full(G_PRIORITY_DEFAULT, intervalMs, OnTimer,
                                  new TimerData{std::move(callback)}, FreeTimer);
    m_pImpl->timers[token] = id;
    return token;
}

void SGtkHost::RemoveTimer(uint64_t token) {
    auto it = m_pImpl->timers.find(token);
    if (it == m_pImpl->timers.end())
        return;
    g_source_remove(it->second);
    m_pImpl->timers.erase(it);
}

int SGtkHost::RunLoop() {
    m_pImpl->WatchNotifyCenter();
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    m_pImpl->loops.push_back(loop);
    m_pImpl->codes.push_back(0);
    m_pImpl->quitting.push_back(false);
    // Events that waited for the loop go first; a handler among them may already end it,
    // and GLib forgets a quit that comes before the loop runs.
    if (SNotifyCenter* center = SNotifyCenter::getSingletonPtr())
        center->DispatchPending();
    if (!m_pImpl->quitting.back())
        g_main_loop_run(loop);
    int code = m_pImpl->codes.back();
    m_pImpl->loops.pop_back();
    m_pImpl->codes.pop_back();
    m_pImpl->quitting.pop_back();
    g_main_loop_unref(loop);
    if (m_pImpl->loops.empty())
        m_pImpl->Unwatch();
    return code;
}

void SGtkHost::QuitLoop(int code) {
    if (m_pImpl->loops.empty())
        return;
    m_pImpl->codes.back() = code;
    m_pImpl->quitting.back() = true;
    g_main_loop_quit(m_pImpl->loops.back());
}

int SGtkHost::LoopDepth() const {
    return static_cast<int>(m_pImpl->loops.size());
}

std::optional<SStringW> SGtkHost::BrowseForFolder(const SStringW& title, INativeWnd* owner) {
    if (s_chooser.dialog != nullptr)
        return std::nullopt;  // one is open already; a second would stack a second loop
    auto* parent = static_cast<SGtkWnd*>(owner);
    GtkWidget* dlg = gtk_file_chooser_dialog_new(
        U8(title).c_str(), parent != nullptr ? GTK_WINDOW(parent->Widget()) : nullptr,
        GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "取消", GTK_RESPONSE_CANCEL, "选择",
        GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dlg), TRUE);
    m_pImpl->WatchNotifyCenter();
    s_chooser = {dlg, owner};
    const gint response = gtk_dialog_run(GTK_DIALOG(dlg));
    s_chooser = {};
    std::optional<SStringW> result;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dlg))) {
            result = platform::PathFromNarrow(name);
            g_free(name);
        } else {
            result = SStringW();  // a folder without a file-system path
        }
    }
    gtk_widget_destroy(dlg);
    return result;
}

void SGtkHost::CancelFolderChooser() {
    CancelOpenChooser();
}

bool SGtkHost::GetClipboardText(SStringW* text) {
    GtkClipboard* cb = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gchar* t = gtk_clipboard_wait_for_text(cb);
    if (!t)
        return false;
    *text = platform::Utf8ToWide(t);
    g_free(t);
    return true;
}

void SGtkHost::SetClipboardText(const SStringW& text) {
    GtkClipboard* cb = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    std::string u = U8(text);
    gtk_clipboard_set_text(cb, u.c_str(), static_cast<gint>(u.size()));
}

}  // namespace SOUI
