#include "uilib/gtk/SGtkAccessible.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Text.h"

namespace SOUI {

// ------------------------------------------------------------------ role and state mapping

AtkRole SGtkAccRole(SAccRole role) {
    switch (role) {
        case SAccRole::PushButton:
            return ATK_ROLE_PUSH_BUTTON;
        case SAccRole::CheckBox:
            return ATK_ROLE_CHECK_BOX;
        case SAccRole::Link:
            return ATK_ROLE_LINK;
        case SAccRole::TextField:
            return ATK_ROLE_ENTRY;
        case SAccRole::Label:
            return ATK_ROLE_LABEL;
        case SAccRole::ProgressBar:
            return ATK_ROLE_PROGRESS_BAR;
        case SAccRole::PageTabList:
            return ATK_ROLE_PAGE_TAB_LIST;
        case SAccRole::PageTab:
            return ATK_ROLE_PAGE_TAB;
        case SAccRole::None:
            break;
    }
    return ATK_ROLE_INVALID;
}

namespace {

// The states that follow one flag each; the rest depend on the role.
struct SStateMap {
    DWORD flag;
    AtkStateType atk;
};
constexpr SStateMap kStateMap[] = {
    {SAccState_Enabled, ATK_STATE_ENABLED},      {SAccState_Enabled, ATK_STATE_SENSITIVE},
    {SAccState_Focusable, ATK_STATE_FOCUSABLE},  {SAccState_Focused, ATK_STATE_FOCUSED},
    {SAccState_Checkable, ATK_STATE_CHECKABLE},  {SAccState_Checked, ATK_STATE_CHECKED},
    {SAccState_Visible, ATK_STATE_VISIBLE},      {SAccState_Showing, ATK_STATE_SHOWING},
    {SAccState_Selected, ATK_STATE_SELECTED},    {SAccState_ReadOnly, ATK_STATE_READ_ONLY},
    {SAccState_MultiLine, ATK_STATE_MULTI_LINE},
};

}  // namespace

void SGtkAddAccStates(AtkStateSet* set, DWORD states, SAccRole role) {
    for (const SStateMap& m : kStateMap)
        if (states & m.flag)
            atk_state_set_add_state(set, m.atk);
    if (role == SAccRole::PageTab)
        atk_state_set_add_state(set, ATK_STATE_SELECTABLE);
    if (role == SAccRole::TextField) {
        if (!(states & SAccState_ReadOnly))
            atk_state_set_add_state(set, ATK_STATE_EDITABLE);
        if (!(states & SAccState_MultiLine))
            atk_state_set_add_state(set, ATK_STATE_SINGLE_LINE);
    }
}

namespace {

std::string U8(const SStringW& s) {
    return platform::WideToUtf8(s);
}

// ------------------------------------------------------------------ the GObject types

// What an accessible of a window knows; lives as long as the GObject.
struct SAccNodeData {
    SGtkAccessible::Impl* impl = nullptr;  // null once defunct
    SWindow* wnd = nullptr;                // null once defunct
    SAccRole role = SAccRole::None;
    std::vector<AtkObject*> children;  // one reference each
    std::string nameBuf;               // what get_name returned last (the caller borrows it)
    // What was last told, to find what changed.
    SStringW toldName;
    DWORD toldStates = 0;
    int toldValue = 0;
    SStringW toldText;
};

struct SGtkAccNode {
    AtkObject parent;
    SAccNodeData* d;
};
struct SGtkAccNodeClass {
    AtkObjectClass parent_class;
};

SAccNodeData* Data(gpointer obj) {
    return reinterpret_cast<SGtkAccNode*>(obj)->d;
}

// The drawing area of a host window, with the accessible type below.
struct SGtkCanvas {
    GtkDrawingArea parent;
    SGtkAccessible::Impl* impl;  // null once the host window's tree is gone
};
struct SGtkCanvasClass {
    GtkDrawingAreaClass parent_class;
};

struct SGtkCanvasAccessible {
    GtkWidgetAccessible parent;
};
struct SGtkCanvasAccessibleClass {
    GtkWidgetAccessibleClass parent_class;
};

GType sgtk_acc_node_get_type();
GType sgtk_acc_text_node_get_type();
GType sgtk_acc_value_node_get_type();
GType sgtk_canvas_get_type();
GType sgtk_canvas_accessible_get_type();
void NodeComponentInit(AtkComponentIface* iface);
void NodeActionInit(AtkActionIface* iface);
void NodeTextInit(AtkTextIface* iface);
void NodeValueInit(AtkValueIface* iface);

}  // namespace

// ------------------------------------------------------------------ the tree

struct SGtkAccessible::Impl {
    SWindow* root = nullptr;
    GtkWidget* canvas = nullptr;  // owned by the GTK window
    bool active = false;          // a client asked for the children
    bool built = false;           // the first pass ran (it announces nothing)
    guint idle = 0;
    std::vector<AtkObject*> top;                     // the canvas's children, a reference each
    std::unordered_map<SWindow*, AtkObject*> nodes;  // every live node, by its window
    AtkObject* focus = nullptr;                      // the node told focused

    ~Impl() {
        if (idle)
            g_source_remove(idle);
        if (canvas)
            reinterpret_cast<SGtkCanvas*>(canvas)->impl = nullptr;
        for (AtkObject* node : top) {
            Detach(node);
            g_object_unref(node);
        }
    }

    AtkObject* CanvasAccessible() const {
        return canvas ? gtk_widget_get_accessible(canvas) : nullptr;
    }

    void Activate() {
        if (active)
            return;
        active = true;
        Update();
    }

    std::vector<AtkObject*>* ChildrenOf(AtkObject* obj) {
        if (obj == CanvasAccessible())
            return &top;
        if (G_TYPE_CHECK_INSTANCE_TYPE(obj, sgtk_acc_node_get_type()))
            return &Data(obj)->children;
        return nullptr;
    }

    AtkObject* NewNode(SWindow* wnd, AtkObject* parent) {
        const SAccRole role = wnd->GetAccRole();
        GType type = sgtk_acc_node_get_type();
        if (role == SAccRole::TextField || role == SAccRole::Label)
            type = sgtk_acc_text_node_get_type();
        else if (role == SAccRole::ProgressBar)
            type = sgtk_acc_value_node_get_type();
        auto* node = static_cast<AtkObject*>(g_object_new(type, nullptr));
        SAccNodeData* d = Data(node);
        d->impl = this;
        d->wnd = wnd;
        d->role = role;
        d->toldName = wnd->GetAccName();
        d->toldStates = wnd->GetAccStates() & ~SAccState_Focused;
        int lo = 0, hi = 0;
        wnd->GetAccValue(&d->toldValue, &lo, &hi);
        if (ATK_IS_TEXT(node))
            d->toldText = wnd->GetAccText();
        atk_object_set_role(node, SGtkAccRole(role));
        atk_object_set_parent(node, parent);
        nodes[wnd] = node;
        return node;
    }

    // Makes `node` and those below defunct and drops them from the tree; the caller
    // drops its own reference.
    void Detach(AtkObject* node) {
        SAccNodeData* d = Data(node);
        std::vector<AtkObject*> children;
        children.swap(d->children);
        for (AtkObject* child : children) {
            Detach(child);
            g_object_unref(child);
        }
        if (d->wnd)
            nodes.erase(d->wnd);
        if (focus == node)
            focus = nullptr;
        d->wnd = nullptr;
        d->impl = nullptr;
        atk_object_notify_state_change(node, ATK_STATE_DEFUNCT, TRUE);
    }

    void Update() {
        if (idle)
            g_source_remove(idle);
        idle = 0;
        AtkObject* canvasAcc = active ? CanvasAccessible() : nullptr;
        if (!root || !canvasAcc)
            return;
        UpdateChildren(canvasAcc, &top, root);
        built = true;
        ISwndContainer* c = root->GetContainer();
        FocusTo(c ? c->GetFocus() : nullptr);
    }

    void UpdateChildren(AtkObject* parent, std::vector<AtkObject*>* kids, SWindow* under) {
        std::vector<SWindow*> want;
        under->GetAccChildren(&want);
        std::vector<AtkObject*> next;
        std::vector<bool> added;
        for (SWindow* wnd : want) {
            auto it = nodes.find(wnd);
            if (it != nodes.end()) {
                // Windows never change parents, so a known one stays where it was.
                if (atk_object_get_parent(it->second) == parent) {
                    next.push_back(it->second);
                    added.push_back(false);
                }
                continue;
            }
            next.push_back(NewNode(wnd, parent));
            added.push_back(true);
        }
        for (size_t i = kids->size(); i-- > 0;) {
            AtkObject* old = (*kids)[i];
            if (std::find(next.begin(), next.end(), old) != next.end())
                continue;
            kids->erase(kids->begin() + static_cast<std::ptrdiff_t>(i));
            g_signal_emit_by_name(parent, "children-changed::remove", static_cast<guint>(i), old);
            Detach(old);
            g_object_unref(old);
        }
        *kids = next;
        for (size_t i = 0; i < next.size(); ++i)
            if (added[i] && built)
                g_signal_emit_by_name(parent, "children-changed::add", static_cast<guint>(i),
                                      next[i]);
        for (AtkObject* node : next) {
            if (!Data(node)->wnd)
                continue;  // a signal handler above removed it
            UpdateNode(node);
            if (SWindow* wnd = Data(node)->wnd)
                UpdateChildren(node, &Data(node)->children, wnd);
        }
    }

    static void UpdateNode(AtkObject* node) {
        SAccNodeData* d = Data(node);
        SWindow* wnd = d->wnd;
        SStringW name = wnd->GetAccName();
        if (name != d->toldName) {
            d->toldName = name;
            g_object_notify(G_OBJECT(node), "accessible-name");
        }
        // Focus goes through FocusTo, so that the old holder loses it first.
        const DWORD states = wnd->GetAccStates() & ~SAccState_Focused;
        const DWORD changed = states ^ d->toldStates;
        d->toldStates = states;
        for (const SStateMap& m : kStateMap)
            if (changed & m.flag)
                atk_object_notify_state_change(node, m.atk, (states & m.flag) != 0);
        int value = 0, lo = 0, hi = 0;
        if (wnd->GetAccValue(&value, &lo, &hi) && value != d->toldValue) {
            d->toldValue = value;
            g_object_notify(G_OBJECT(node), "accessible-value");
        }
        if (ATK_IS_TEXT(node)) {
            SStringW text = wnd->GetAccText();
            if (text != d->toldText) {
                std::string oldText = U8(d->toldText), newText = U8(text);
                const auto oldLen = static_cast<gint>(d->toldText.size());
                const auto newLen = static_cast<gint>(text.size());
                d->toldText = text;
                if (oldLen > 0)
                    g_signal_emit_by_name(node, "text-remove", 0, oldLen, oldText.c_str());
                if (newLen > 0)
                    g_signal_emit_by_name(node, "text-insert", 0, newLen, newText.c_str());
            }
        }
    }

    void FocusTo(SWindow* wnd) {
        auto it = wnd ? nodes.find(wnd) : nodes.end();
        AtkObject* now = it != nodes.end() ? it->second : nullptr;
        if (now == focus)
            return;
        AtkObject* old = focus;
        focus = now;
        if (old)
            atk_object_notify_state_change(old, ATK_STATE_FOCUSED, FALSE);
        if (now)
            atk_object_notify_state_change(now, ATK_STATE_FOCUSED, TRUE);
    }

    void Remove(SWindow* wnd) {
        auto it = nodes.find(wnd);
        if (it == nodes.end())
            return;
        AtkObject* node = it->second;
        AtkObject* parent = atk_object_get_parent(node);
        std::vector<AtkObject*>* kids = parent ? ChildrenOf(parent) : nullptr;
        auto at = kids ? std::find(kids->begin(), kids->end(), node) : decltype(kids->end())();
        if (!kids || at == kids->end()) {
            Detach(node);  // not in any child list: no tree reference to drop
            return;
        }
        const auto index = static_cast<guint>(at - kids->begin());
        kids->erase(at);
        g_signal_emit_by_name(parent, "children-changed::remove", index, node);
        Detach(node);
        g_object_unref(node);
    }

    static gboolean OnIdle(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->idle = 0;
        self->Update();
        return G_SOURCE_REMOVE;
    }
};

namespace {

// ------------------------------------------------------------------ node: AtkObject

G_DEFINE_TYPE_WITH_CODE(SGtkAccNode, sgtk_acc_node, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, NodeComponentInit)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, NodeActionInit))

void sgtk_acc_node_init(SGtkAccNode* self) {
    self->d = new SAccNodeData;
}

void NodeFinalize(GObject* obj) {
    SAccNodeData* d = Data(obj);
    for (AtkObject* child : d->children)
        g_object_unref(child);
    delete d;
    G_OBJECT_CLASS(sgtk_acc_node_parent_class)->finalize(obj);
}

const gchar* NodeGetName(AtkObject* obj) {
    SAccNodeData* d = Data(obj);
    if (!d->wnd)
        return nullptr;
    d->nameBuf = U8(d->wnd->GetAccName());
    return d->nameBuf.c_str();
}

gint NodeGetNChildren(AtkObject* obj) {
    return static_cast<gint>(Data(obj)->children.size());
}

AtkObject* NodeRefChild(AtkObject* obj, gint i) {
    auto& kids = Data(obj)->children;
    if (i < 0 || static_cast<size_t>(i) >= kids.size())
        return nullptr;
    return static_cast<AtkObject*>(g_object_ref(kids[static_cast<size_t>(i)]));
}

gint NodeGetIndexInParent(AtkObject* obj) {
    SAccNodeData* d = Data(obj);
    AtkObject* parent = atk_object_get_parent(obj);
    std::vector<AtkObject*>* kids = d->impl && parent ? d->impl->ChildrenOf(parent) : nullptr;
    if (!kids)
        return -1;
    auto it = std::find(kids->begin(), kids->end(), obj);
    return it == kids->end() ? -1 : static_cast<gint>(it - kids->begin());
}

AtkStateSet* NodeRefStateSet(AtkObject* obj) {
    AtkStateSet* set = atk_state_set_new();
    SAccNodeData* d = Data(obj);
    if (d->wnd)
        SGtkAddAccStates(set, d->wnd->GetAccStates(), d->role);
    else
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
    return set;
}

void sgtk_acc_node_class_init(SGtkAccNodeClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = NodeFinalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = NodeGetName;
    atk->get_n_children = NodeGetNChildren;
    atk->ref_child = NodeRefChild;
    atk->get_index_in_parent = NodeGetIndexInParent;
    atk->ref_state_set = NodeRefStateSet;
}

// ------------------------------------------------------------------ node: AtkComponent

GtkWidget* CanvasOf(SAccNodeData* d) {
    return d->impl ? d->impl->canvas : nullptr;
}

void NodeGetExtents(AtkComponent* comp, gint* x, gint* y, gint* width, gint* height,
                    AtkCoordType coords) {
    SAccNodeData* d = Data(comp);
    *x = *y = *width = *height = 0;
    GtkWidget* canvas = CanvasOf(d);
    if (!d->wnd || !canvas)
        return;
    const CRect rc = d->wnd->GetWindowRect();
    *width = rc.Width();
    *height = rc.Height();
    gint ox = 0, oy = 0;
    if (coords == ATK_XY_SCREEN) {
        if (GdkWindow* gw = gtk_widget_get_window(canvas))
            gdk_window_get_origin(gw, &ox, &oy);
    } else if (coords == ATK_XY_WINDOW) {
        gtk_widget_translate_coordinates(canvas, gtk_widget_get_toplevel(canvas), 0, 0, &ox, &oy);
    } else {  // ATK_XY_PARENT: the parent node's corner, or the canvas's for the top nodes
        AtkObject* parent = atk_object_get_parent(ATK_OBJECT(comp));
        if (parent && G_TYPE_CHECK_INSTANCE_TYPE(parent, sgtk_acc_node_get_type()) &&
            Data(parent)->wnd) {
            const CRect prc = Data(parent)->wnd->GetWindowRect();
            ox = -prc.left;
            oy = -prc.top;
        }
    }
    *x = rc.left + ox;
    *y = rc.top + oy;
}

gboolean NodeGrabFocus(AtkComponent* comp) {
    SAccNodeData* d = Data(comp);
    if (!d->wnd || !(d->wnd->GetAccStates() & SAccState_Focusable))
        return FALSE;
    d->wnd->SetFocus();
    return TRUE;
}

void NodeComponentInit(AtkComponentIface* iface) {
    iface->get_extents = NodeGetExtents;
    iface->grab_focus = NodeGrabFocus;
}

// ------------------------------------------------------------------ node: AtkAction

gint NodeGetNActions(AtkAction* action) {
    SAccNodeData* d = Data(action);
    return d->wnd && d->wnd->HasAccAction() ? 1 : 0;
}

const gchar* NodeGetActionName(AtkAction* action, gint i) {
    return i == 0 && NodeGetNActions(action) == 1 ? "click" : nullptr;
}

gboolean NodeRunAction(gpointer data) {
    if (SWindow* wnd = Data(data)->wnd)
        wnd->DoAccAction();
    return G_SOURCE_REMOVE;
}

gboolean NodeDoAction(AtkAction* action, gint i) {
    SAccNodeData* d = Data(action);
    if (i != 0 || !d->wnd || !d->wnd->HasAccAction() || d->wnd->IsDisabled(true))
        return FALSE;
    // The click may run a modal loop or close the window; the client's call returns first.
    g_idle_add_full(G_PRIORITY_DEFAULT, NodeRunAction, g_object_ref(action), g_object_unref);
    return TRUE;
}

void NodeActionInit(AtkActionIface* iface) {
    iface->get_n_actions = NodeGetNActions;
    iface->get_name = NodeGetActionName;
    iface->get_localized_name = NodeGetActionName;
    iface->do_action = NodeDoAction;
}

// ------------------------------------------------------------------ text node: AtkText

struct SGtkAccTextNode {
    SGtkAccNode parent;
};
struct SGtkAccTextNodeClass {
    SGtkAccNodeClass parent_class;
};

G_DEFINE_TYPE_WITH_CODE(SGtkAccTextNode, sgtk_acc_text_node, sgtk_acc_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, NodeTextInit))

void sgtk_acc_text_node_init(SGtkAccTextNode*) {}
void sgtk_acc_text_node_class_init(SGtkAccTextNodeClass*) {}

SStringW NodeText(gpointer obj) {
    SAccNodeData* d = Data(obj);
    return d->wnd ? d->wnd->GetAccText() : SStringW();
}

gchar* NodeGetText(AtkText* text, gint start, gint end) {
    SStringW s = NodeText(text);
    const auto len = static_cast<gint>(s.size());
    if (end < 0 || end > len)
        end = len;
    start = std::clamp(start, 0, end);
    return g_strdup(
        U8(s.substr(static_cast<size_t>(start), static_cast<size_t>(end - start))).c_str());
}

gint NodeGetCharacterCount(AtkText* text) {
    return static_cast<gint>(NodeText(text).size());
}

gunichar NodeGetCharacterAtOffset(AtkText* text, gint offset) {
    SStringW s = NodeText(text);
    return offset >= 0 && static_cast<size_t>(offset) < s.size()
               ? static_cast<gunichar>(s[static_cast<size_t>(offset)])
               : 0;
}

gint NodeGetCaretOffset(AtkText*) {
    return -1;  // no caret is told
}

void NodeTextInit(AtkTextIface* iface) {
    iface->get_text = NodeGetText;
    iface->get_character_count = NodeGetCharacterCount;
    iface->get_character_at_offset = NodeGetCharacterAtOffset;
    iface->get_caret_offset = NodeGetCaretOffset;
}

// ------------------------------------------------------------------ value node: AtkValue

struct SGtkAccValueNode {
    SGtkAccNode parent;
};
struct SGtkAccValueNodeClass {
    SGtkAccNodeClass parent_class;
};

G_DEFINE_TYPE_WITH_CODE(SGtkAccValueNode, sgtk_acc_value_node, sgtk_acc_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, NodeValueInit))

void sgtk_acc_value_node_init(SGtkAccValueNode*) {}
void sgtk_acc_value_node_class_init(SGtkAccValueNodeClass*) {}

// Value, minimum and maximum; all 0 when defunct.
void NodeValues(gpointer obj, int* value, int* lo, int* hi) {
    *value = *lo = *hi = 0;
    if (SWindow* wnd = Data(obj)->wnd)
        wnd->GetAccValue(value, lo, hi);
}

void NodeGetValueAndText(AtkValue* obj, gdouble* value, gchar** text) {
    int v, lo, hi;
    NodeValues(obj, &v, &lo, &hi);
    *value = v;
    if (text)
        *text = nullptr;
}

AtkRange* NodeGetRange(AtkValue* obj) {
    int v, lo, hi;
    NodeValues(obj, &v, &lo, &hi);
    return atk_range_new(lo, hi, nullptr);
}

// The older calls, which some clients and bridges still use.
void NodeSetGValue(gpointer obj, GValue* out, int which) {
    int v[3];
    NodeValues(obj, &v[0], &v[1], &v[2]);
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, v[which]);
}
void NodeGetCurrentValue(AtkValue* obj, GValue* out) {
    NodeSetGValue(obj, out, 0);
}
void NodeGetMinimumValue(AtkValue* obj, GValue* out) {
    NodeSetGValue(obj, out, 1);
}
void NodeGetMaximumValue(AtkValue* obj, GValue* out) {
    NodeSetGValue(obj, out, 2);
}

void NodeValueInit(AtkValueIface* iface) {
    iface->get_value_and_text = NodeGetValueAndText;
    iface->get_range = NodeGetRange;
    iface->get_current_value = NodeGetCurrentValue;
    iface->get_minimum_value = NodeGetMinimumValue;
    iface->get_maximum_value = NodeGetMaximumValue;
}

// ------------------------------------------------------------------ the canvas and its accessible

G_DEFINE_TYPE(SGtkCanvas, sgtk_canvas, GTK_TYPE_DRAWING_AREA)

void sgtk_canvas_init(SGtkCanvas* self) {
    self->impl = nullptr;
}

void sgtk_canvas_class_init(SGtkCanvasClass* klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass),
                                         sgtk_canvas_accessible_get_type());
}

G_DEFINE_TYPE(SGtkCanvasAccessible, sgtk_canvas_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)

void sgtk_canvas_accessible_init(SGtkCanvasAccessible*) {}

// The tree behind a canvas accessible, activated by the asking; null when gone.
SGtkAccessible::Impl* CanvasImpl(AtkObject* obj) {
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(obj));
    if (!widget || !G_TYPE_CHECK_INSTANCE_TYPE(widget, sgtk_canvas_get_type()))
        return nullptr;
    SGtkAccessible::Impl* impl = reinterpret_cast<SGtkCanvas*>(widget)->impl;
    if (impl)
        impl->Activate();
    return impl;
}

gint CanvasGetNChildren(AtkObject* obj) {
    SGtkAccessible::Impl* impl = CanvasImpl(obj);
    return impl ? static_cast<gint>(impl->top.size()) : 0;
}

AtkObject* CanvasRefChild(AtkObject* obj, gint i) {
    SGtkAccessible::Impl* impl = CanvasImpl(obj);
    if (!impl || i < 0 || static_cast<size_t>(i) >= impl->top.size())
        return nullptr;
    return static_cast<AtkObject*>(g_object_ref(impl->top[static_cast<size_t>(i)]));
}

void CanvasInitialize(AtkObject* obj, gpointer data) {
    ATK_OBJECT_CLASS(sgtk_canvas_accessible_parent_class)->initialize(obj, data);
    obj->role = ATK_ROLE_PANEL;
}

void sgtk_canvas_accessible_class_init(SGtkCanvasAccessibleClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->initialize = CanvasInitialize;
    atk->get_n_children = CanvasGetNChildren;
    atk->ref_child = CanvasRefChild;
}

}  // namespace

// ------------------------------------------------------------------ SGtkAccessible

SGtkAccessible::SGtkAccessible(SWindow* root) : m_pImpl(std::make_unique<Impl>()) {
    m_pImpl->root = root;
}

SGtkAccessible::~SGtkAccessible() = default;

GtkWidget* SGtkAccessible::CreateCanvas() {
    auto* canvas = static_cast<GtkWidget*>(g_object_new(sgtk_canvas_get_type(), nullptr));
    reinterpret_cast<SGtkCanvas*>(canvas)->impl = m_pImpl.get();
    m_pImpl->canvas = canvas;
    return canvas;
}

void SGtkAccessible::ScheduleUpdate() {
    if (!m_pImpl->active || m_pImpl->idle)
        return;
    // Below redrawing: the pass runs once the window has painted its change.
    m_pImpl->idle = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, Impl::OnIdle, m_pImpl.get(), nullptr);
}

void SGtkAccessible::OnFocus(SWindow* wnd) {
    if (!m_pImpl->active)
        return;
    m_pImpl->FocusTo(wnd);
    ScheduleUpdate();  // a window shown with the focus gets its node in the pass
}

void SGtkAccessible::OnRemoved(SWindow* wnd) {
    if (!m_pImpl->active)
        return;
    m_pImpl->Remove(wnd);
    ScheduleUpdate();
}

}  // namespace SOUI
