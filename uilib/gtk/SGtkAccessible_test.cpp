// The accessibles of a real GTK host window, read in-process through ATK as the AT-SPI
// bridge reads them (the bridge itself and the bus are covered end to end).
#include "uilib/gtk/SGtkAccessible.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "uilib/SCheckBox.h"
#include "uilib/SEdit.h"
#include "uilib/SHostWnd.h"
#include "uilib/SStatic.h"
#include "uilib/STabCtrl.h"
#include "uilib/gtk/SGtkHost.h"
#include "uilib/testing/SUiTestEnv.h"
#include "uilib/testing/SXvfb.h"

using namespace SOUI;
using namespace uitest;

namespace {

// A panel without a role passes its buttons through; the hidden button is left out and the
// one below the window's edge is listed but not showing.
const char* kLayout =
    R"XML(<SOUI name="a11y" title="QiA11yProbe" width="400" height="300">
  <root colorBkgnd="#ffffffff">
    <tabctrl name="tabs" pos="0,0,-0,-0" tabHeight="0">
      <page title="欢迎">
        <window pos="0,0,-0,@60">
          <button name="install" pos="10,10,@100,@30">安装</button>
          <button name="off" pos="120,10,@100,@30" enable="0">禁用</button>
          <button name="hidden" pos="230,10,@100,@30" visible="0">看不见</button>
        </window>
        <check name="agree" pos="10,70,@120,@24" checked="1">同意</check>
        <link name="lnk" pos="140,70,@80,@24">协议</link>
        <text name="lbl" pos="10,100,@200,@24">标签</text>
        <edit name="path" pos="10,130,@200,@30"/>
        <button name="far" pos="10,400,@100,@30">外面</button>
      </page>
      <page title="进度">
        <progress name="bar" pos="10,10,@200,@6" min="0" max="100" value="20"/>
      </page>
    </tabctrl>
    <imgbtn name="btn_close" pos="-40,10,@30,@30" accName="关闭"/>
  </root></SOUI>)XML";

const char* kWelcomeTree = R"(page tab list ""
  page tab "欢迎"
    push button "安装"
    push button "禁用"
    check box "同意"
    link "协议"
    label "标签"
    entry ""
    push button "外面"
push button "关闭"
)";

std::string Name(AtkObject* obj) {
    const char* name = atk_object_get_name(obj);
    return name ? name : "";
}

// One line per accessible below `obj`: role and name, indented by depth.
std::string Dump(AtkObject* obj, int depth = 0) {
    std::string out;
    for (gint i = 0; i < atk_object_get_n_accessible_children(obj); ++i) {
        AtkObject* child = atk_object_ref_accessible_child(obj, i);
        out += std::string(depth * 2, ' ') + atk_role_get_name(atk_object_get_role(child)) + " \"" +
               Name(child) + "\"\n" + Dump(child, depth + 1);
        g_object_unref(child);
    }
    return out;
}

// The accessible named `name` below `obj` (a reference the caller drops); null when none.
AtkObject* Find(AtkObject* obj, const std::string& name) {
    for (gint i = 0; i < atk_object_get_n_accessible_children(obj); ++i) {
        AtkObject* child = atk_object_ref_accessible_child(obj, i);
        if (Name(child) == name)
            return child;
        AtkObject* found = Find(child, name);
        g_object_unref(child);
        if (found)
            return found;
    }
    return nullptr;
}

bool Has(AtkObject* obj, AtkStateType state) {
    AtkStateSet* set = atk_object_ref_state_set(obj);
    bool has = atk_state_set_contains_state(set, state);
    g_object_unref(set);
    return has;
}

class CA11yProbe : public SHostWnd {
public:
    CA11yProbe() : SHostWnd(L"LAYOUT:a11y") {}
};

class SGtkAccessibleTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_xvfbUp)
            GTEST_SKIP() << "Xvfb could not start";
        ASSERT_TRUE(g_gtkUp) << "GTK did not open the Xvfb display";
        env = std::make_unique<SUiTestEnv>(&host);
        env->Add("LAYOUT", "a11y", kLayout);
        ASSERT_TRUE(env->Commit());
        wnd = std::make_unique<CA11yProbe>();
        ASSERT_NE(wnd->Create(), nullptr);
        wnd->ShowWindow(SW_SHOWNORMAL);
        GList* tops = gtk_window_list_toplevels();
        for (GList* l = tops; l; l = l->next)
            if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), "QiA11yProbe") == 0)
                canvas = atk_object_ref_accessible_child(
                    gtk_widget_get_accessible(GTK_WIDGET(l->data)), 0);
        g_list_free(tops);
        ASSERT_NE(canvas, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return wnd->IsWindowVisible(); }));
    }
    void TearDown() override {
        for (AtkObject* obj : watched) {
            g_signal_handlers_disconnect_by_data(obj, &events);
            g_object_unref(obj);
        }
        if (canvas)
            g_object_unref(canvas);
        wnd.reset();
    }

    // Records the object's state changes and its children's comings and goings in
    // `events` as "name state=0/1", "name +child" and "name -child".
    AtkObject* Watch(const std::string& name) {
        AtkObject* obj =
            name.empty() ? static_cast<AtkObject*>(g_object_ref(canvas)) : Find(canvas, name);
        if (!obj)
            return nullptr;
        watched.push_back(obj);
        g_signal_connect(obj, "state-change", G_CALLBACK(OnState), &events);
        g_signal_connect(obj, "children-changed::add", G_CALLBACK(OnAdded), &events);
        g_signal_connect(obj, "children-changed::remove", G_CALLBACK(OnRemoved), &events);
        return obj;
    }
    static void OnState(AtkObject* obj, const gchar* state, gboolean value,
                        std::vector<std::string>* log) {
        log->push_back(Name(obj) + " " + state + "=" + (value ? "1" : "0"));
    }
    static void OnAdded(AtkObject* obj, guint, AtkObject* child, std::vector<std::string>* log) {
        log->push_back(Name(obj) + " +" + atk_role_get_name(atk_object_get_role(child)));
    }
    static void OnRemoved(AtkObject* obj, guint, AtkObject* child, std::vector<std::string>* log) {
        log->push_back(Name(obj) + " -" + atk_role_get_name(atk_object_get_role(child)));
    }
    static void OnNotify(GObject*, GParamSpec*, int* count) { ++*count; }
    bool Logged(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    SGtkHost host;
    std::unique_ptr<SUiTestEnv> env;
    std::unique_ptr<CA11yProbe> wnd;
    AtkObject* canvas = nullptr;
    std::vector<AtkObject*> watched;
    std::vector<std::string> events;
};

}  // namespace

TEST_F(SGtkAccessibleTest, TreeListsVisibleControlsByRoleAndName) {
    EXPECT_EQ(atk_object_get_role(canvas), ATK_ROLE_PANEL);
    EXPECT_EQ(Dump(canvas), kWelcomeTree);

    AtkObject* agree = Find(canvas, "同意");
    ASSERT_NE(agree, nullptr);
    AtkObject* page = atk_object_get_parent(agree);
    EXPECT_EQ(Name(page), "欢迎");
    EXPECT_EQ(atk_object_get_index_in_parent(agree), 2);
    EXPECT_EQ(atk_object_get_role(atk_object_get_parent(page)), ATK_ROLE_PAGE_TAB_LIST);
    EXPECT_EQ(atk_object_get_parent(atk_object_get_parent(page)), canvas);
    g_object_unref(agree);
}

TEST_F(SGtkAccessibleTest, StatesFollowTheControls) {
    struct Case {
        const char* name;
        std::vector<AtkStateType> has, hasNot;
    };
    const Case cases[] = {
        {"同意",
         {ATK_STATE_CHECKABLE, ATK_STATE_CHECKED, ATK_STATE_ENABLED, ATK_STATE_SENSITIVE,
          ATK_STATE_FOCUSABLE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING},
         {ATK_STATE_FOCUSED}},
        {"禁用",
         {ATK_STATE_VISIBLE},
         {ATK_STATE_ENABLED, ATK_STATE_SENSITIVE, ATK_STATE_FOCUSABLE}},
        {"外面", {ATK_STATE_VISIBLE, ATK_STATE_ENABLED}, {ATK_STATE_SHOWING}},
        {"标签", {ATK_STATE_SHOWING}, {ATK_STATE_FOCUSABLE, ATK_STATE_CHECKABLE}},
        {"欢迎", {ATK_STATE_SELECTED, ATK_STATE_SELECTABLE}, {}},
        {"关闭", {ATK_STATE_FOCUSABLE, ATK_STATE_SHOWING}, {ATK_STATE_CHECKED}},
    };
    for (const Case& c : cases) {
        AtkObject* obj = Find(canvas, c.name);
        ASSERT_NE(obj, nullptr) << c.name;
        for (AtkStateType s : c.has)
            EXPECT_TRUE(Has(obj, s)) << c.name << " lacks " << atk_state_type_get_name(s);
        for (AtkStateType s : c.hasNot)
            EXPECT_FALSE(Has(obj, s)) << c.name << " has " << atk_state_type_get_name(s);
        g_object_unref(obj);
    }

    // The editor: nameless, its content through AtkText, editable on one line.
    auto* path = wnd->FindChildByName2<SEdit>(L"path");
    ASSERT_NE(path, nullptr);
    path->SetWindowTextW(L"/opt/软件");
    AtkObject* page = Find(canvas, "欢迎");
    ASSERT_NE(page, nullptr);
    AtkObject* entry = atk_object_ref_accessible_child(page, 5);
    ASSERT_EQ(atk_object_get_role(entry), ATK_ROLE_ENTRY);
    EXPECT_EQ(Name(entry), "");
    ASSERT_TRUE(ATK_IS_TEXT(entry));
    EXPECT_EQ(atk_text_get_character_count(ATK_TEXT(entry)), 7);
    gchar* text = atk_text_get_text(ATK_TEXT(entry), 5, -1);
    EXPECT_STREQ(text, "软件");
    g_free(text);
    EXPECT_TRUE(Has(entry, ATK_STATE_EDITABLE));
    EXPECT_TRUE(Has(entry, ATK_STATE_SINGLE_LINE));
    g_object_unref(entry);
    g_object_unref(page);
}

// The click runs from the loop, as a real click would; what it changes elsewhere in the
// window is announced without any call from the program.
TEST_F(SGtkAccessibleTest, ActionClicksAndItsEffectsAreAnnounced) {
    auto* agreeWnd = wnd->FindChildByName2<SCheckBox>(L"agree");
    SWindow* installWnd = wnd->FindChildByName(L"install");
    ASSERT_TRUE(agreeWnd && installWnd);
    agreeWnd->SubscribeEvent(EVT_CMD, [&](EventArgs*) {
        installWnd->EnableWindow(agreeWnd->IsChecked(), true);
        return true;
    });
    AtkObject* agree = Watch("同意");
    AtkObject* install = Watch("安装");
    AtkObject* off = Find(canvas, "禁用");
    AtkObject* label = Find(canvas, "标签");
    ASSERT_TRUE(agree && install && off && label);

    ASSERT_EQ(atk_action_get_n_actions(ATK_ACTION(agree)), 1);
    EXPECT_STREQ(atk_action_get_name(ATK_ACTION(agree), 0), "click");
    EXPECT_EQ(atk_action_get_n_actions(ATK_ACTION(label)), 0);
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(off), 0));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(agree), 1));

    ASSERT_TRUE(atk_action_do_action(ATK_ACTION(agree), 0));
    EXPECT_TRUE(agreeWnd->IsChecked());  // not yet: the call returned first
    EXPECT_TRUE(PumpUntil([&] { return Logged("安装 sensitive=0"); }))
        << ::testing::PrintToString(events);
    EXPECT_FALSE(agreeWnd->IsChecked());
    EXPECT_TRUE(Logged("同意 checked=0"));
    EXPECT_TRUE(Logged("安装 enabled=0"));
    EXPECT_FALSE(Has(install, ATK_STATE_ENABLED));
    EXPECT_FALSE(Has(agree, ATK_STATE_CHECKED));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(install), 0));
    g_object_unref(off);
    g_object_unref(label);
}

TEST_F(SGtkAccessibleTest, FocusMovesAreAnnouncedInOrder) {
    AtkObject* install = Watch("安装");
    AtkObject* link = Watch("协议");
    ASSERT_TRUE(install && link);
    wnd->FindChildByName(L"install")->SetFocus();
    EXPECT_TRUE(Has(install, ATK_STATE_FOCUSED));
    ASSERT_TRUE(atk_component_grab_focus(ATK_COMPONENT(link)));
    EXPECT_EQ(events,
              (std::vector<std::string>{"安装 focused=1", "安装 focused=0", "协议 focused=1"}));
    EXPECT_TRUE(wnd->FindChildByName(L"lnk")->IsFocused());
    AtkObject* label = Find(canvas, "标签");
    EXPECT_FALSE(atk_component_grab_focus(ATK_COMPONENT(label)));
    g_object_unref(label);
}

TEST_F(SGtkAccessibleTest, PageSwitchReplacesTheChildrenAndValuesFollow) {
    AtkObject* tabs = atk_object_ref_accessible_child(canvas, 0);
    ASSERT_NE(tabs, nullptr);
    watched.push_back(tabs);
    g_signal_connect(tabs, "children-changed::add", G_CALLBACK(OnAdded), &events);
    g_signal_connect(tabs, "children-changed::remove", G_CALLBACK(OnRemoved), &events);
    AtkObject* oldPage = Find(canvas, "欢迎");
    AtkObject* agree = Find(canvas, "同意");
    ASSERT_TRUE(oldPage && agree);

    wnd->FindChildByName2<STabCtrl>(L"tabs")->SetCurSel(1);
    ASSERT_TRUE(PumpUntil([&] { return Logged(" +page tab"); }))
        << ::testing::PrintToString(events);
    EXPECT_TRUE(Logged(" -page tab"));
    EXPECT_EQ(Dump(canvas),
              "page tab list \"\"\n  page tab \"进度\"\n    progress bar \"\"\n"
              "push button \"关闭\"\n");
    // What a client still holds of the old page is defunct, not dangling.
    EXPECT_TRUE(Has(oldPage, ATK_STATE_DEFUNCT));
    EXPECT_TRUE(Has(agree, ATK_STATE_DEFUNCT));
    EXPECT_EQ(atk_object_get_name(agree), nullptr);
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(agree), 0));
    g_object_unref(oldPage);
    g_object_unref(agree);

    AtkObject* bar = Find(canvas, "进度");
    ASSERT_NE(bar, nullptr);
    AtkObject* progress = atk_object_ref_accessible_child(bar, 0);
    g_object_unref(bar);
    ASSERT_TRUE(ATK_IS_VALUE(progress));
    gdouble value = 0;
    atk_value_get_value_and_text(ATK_VALUE(progress), &value, nullptr);
    EXPECT_EQ(value, 20);
    AtkRange* range = atk_value_get_range(ATK_VALUE(progress));
    EXPECT_EQ(atk_range_get_upper_limit(range), 100);
    atk_range_free(range);
    int notified = 0;
    g_signal_connect(progress, "notify::accessible-value", G_CALLBACK(OnNotify), &notified);
    wnd->FindChildByName2<SProgress>(L"bar")->SetValue(60);
    EXPECT_TRUE(PumpUntil([&] { return notified == 1; }));
    atk_value_get_value_and_text(ATK_VALUE(progress), &value, nullptr);
    EXPECT_EQ(value, 60);
    g_signal_handlers_disconnect_by_data(progress, &notified);
    g_object_unref(progress);
}

TEST_F(SGtkAccessibleTest, ExtentsAreTheControlsRectangles) {
    wnd->SetWindowPos(nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(PumpUntil([&] { return wnd->GetScreenRect().left == 30; }));
    AtkObject* agree = Find(canvas, "同意");
    ASSERT_NE(agree, nullptr);
    const CRect rc = wnd->FindChildByName(L"agree")->GetWindowRect();
    gint x, y, w, h;
    atk_component_get_extents(ATK_COMPONENT(agree), &x, &y, &w, &h, ATK_XY_WINDOW);
    EXPECT_EQ(CRect(x, y, x + w, y + h), rc);
    // Screen positions follow once the X server reports the window's new origin.
    EXPECT_TRUE(PumpUntil([&] {
        atk_component_get_extents(ATK_COMPONENT(agree), &x, &y, &w, &h, ATK_XY_SCREEN);
        return CPoint(x, y) == CPoint(rc.left + 30, rc.top + 40);
    })) << "at "
        << x << "," << y;
    AtkObject* hit = atk_component_ref_accessible_at_point(
        ATK_COMPONENT(atk_object_get_parent(agree)), x + 2, y + 2, ATK_XY_SCREEN);
    EXPECT_EQ(hit, agree);
    if (hit)
        g_object_unref(hit);
    g_object_unref(agree);
}

// The window goes while a client holds its accessibles (the bridge keeps references).
TEST_F(SGtkAccessibleTest, AccessiblesOutliveTheirWindowAsDefunct) {
    AtkObject* install = Find(canvas, "安装");
    ASSERT_NE(install, nullptr);
    wnd->DestroyWindow();
    EXPECT_TRUE(Has(install, ATK_STATE_DEFUNCT));
    EXPECT_EQ(atk_object_get_name(install), nullptr);
    EXPECT_EQ(atk_action_get_n_actions(ATK_ACTION(install)), 0);
    gint x = 1, y = 1, w = 1, h = 1;
    atk_component_get_extents(ATK_COMPONENT(install), &x, &y, &w, &h, ATK_XY_SCREEN);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(atk_object_get_n_accessible_children(canvas), 0);
    g_object_unref(install);
}
