// The MSAA tree of a host window on the Win32 host, as a client in this process sees it
// through WM_GETOBJECT (AccessibleObjectFromWindow): roles, names, states, values,
// locations, hit testing, focus, default actions, and objects that outlive their controls.
// Runs on the desktop the host tests set up (SWin32Host_test.cpp).
#include "uilib/win32/SWin32Accessible.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uilib/SHostWnd.h"
#include "uilib/testing/SRunLoopUntil.h"
#include "uilib/testing/SUiTestEnv.h"
#include "uilib/win32/SWin32Host.h"

// Last: its macros (VK_*, GetRValue) would break the library's headers.
#include <windows.h>

#include <oleacc.h>

namespace {

using SOUI::SWin32Host;
using SOUI::SWindow;

const char* kLayout =
    R"XML(<SOUI name="probe" title="QiA11yProbe" width="400" height="300">
  <root colorBkgnd="#ffffffff">
    <window pos="0,0,-0,@60">
      <button name="install" pos="10,10,@100,@30">安装</button>
      <button name="off" pos="120,10,@100,@30" enable="0">禁用</button>
      <button name="hidden" pos="230,10,@100,@30" visible="0">看不见</button>
    </window>
    <check name="agree" pos="10,70,@120,@24" skin="skin.check">同意</check>
    <link name="lnk" pos="140,70,@80,@24">协议</link>
    <text name="lbl" pos="10,100,@200,@24">标签</text>
    <edit name="path" pos="10,130,@200,@30">C:\Quillora</edit>
    <progress name="bar" pos="10,170,@200,@6" min="0" max="200" value="50"/>
    <button name="far" pos="10,400,@100,@30">外面</button>
    <imgbtn name="btn_close" pos="-40,10,@30,@30" accName="关闭"/>
  </root></SOUI>)XML";

class CProbeWnd : public SOUI::SHostWnd {
public:
    CProbeWnd() : SOUI::SHostWnd(L"LAYOUT:probe") {}
};

// One reference to a COM object, released at the end of the scope.
template <class T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    explicit ComRef(T* q) : p(q) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

VARIANT Self() {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

std::wstring TakeBstr(BSTR b) {
    std::wstring s = b ? std::wstring(b, ::SysStringLen(b)) : L"";
    ::SysFreeString(b);
    return s;
}

// An IAccessible from a VARIANT holding an IDispatch (released), or null.
IAccessible* AccFrom(VARIANT v) {
    IAccessible* acc = nullptr;
    if (v.vt == VT_DISPATCH && v.pdispVal) {
        v.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc));
        v.pdispVal->Release();
    }
    return acc;
}

std::wstring Name(IAccessible* acc) {
    BSTR b = nullptr;
    acc->get_accName(Self(), &b);
    return TakeBstr(b);
}

// "role name [states]" with the roles and states the library's controls give.
std::wstring Describe(IAccessible* acc) {
    static const std::pair<LONG, const wchar_t*> kRoles[] = {
        {ROLE_SYSTEM_CLIENT, L"client"},       {ROLE_SYSTEM_PUSHBUTTON, L"button"},
        {ROLE_SYSTEM_CHECKBUTTON, L"check"},   {ROLE_SYSTEM_LINK, L"link"},
        {ROLE_SYSTEM_STATICTEXT, L"label"},    {ROLE_SYSTEM_TEXT, L"text"},
        {ROLE_SYSTEM_PROGRESSBAR, L"progress"}};
    static const std::pair<LONG, const wchar_t*> kStates[] = {
        {STATE_SYSTEM_UNAVAILABLE, L"unavailable"}, {STATE_SYSTEM_FOCUSABLE, L"focusable"},
        {STATE_SYSTEM_FOCUSED, L"focused"},         {STATE_SYSTEM_CHECKED, L"checked"},
        {STATE_SYSTEM_INVISIBLE, L"invisible"},     {STATE_SYSTEM_OFFSCREEN, L"offscreen"},
        {STATE_SYSTEM_LINKED, L"linked"},           {STATE_SYSTEM_READONLY, L"readonly"}};
    VARIANT role, state;
    if (FAILED(acc->get_accRole(Self(), &role)) || FAILED(acc->get_accState(Self(), &state)))
        return L"?";
    std::wstring out = L"role " + std::to_wstring(role.lVal);
    for (const auto& [id, name] : kRoles)
        if (id == role.lVal)
            out = name;
    out += L" " + Name(acc);
    for (const auto& [bit, name] : kStates)
        if (state.lVal & bit)
            out += std::wstring(L" ") + name;
    return out;
}

// The tree below `acc` through AccessibleChildren, as a client walks it: a line a node,
// indented by depth.
void Walk(IAccessible* acc, int depth, std::vector<std::wstring>* out) {
    LONG count = 0;
    ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
    if (count == 0)
        return;
    std::vector<VARIANT> kids(static_cast<size_t>(count));
    LONG got = 0;
    ASSERT_TRUE(SUCCEEDED(::AccessibleChildren(acc, 0, count, kids.data(), &got)));
    ASSERT_EQ(got, count);
    for (VARIANT& v : kids) {
        ComRef<IAccessible> child(AccFrom(v));
        ASSERT_NE(child.p, nullptr) << "a child came as an id, not an object";
        out->push_back(std::wstring(static_cast<size_t>(depth) * 2, L' ') + Describe(child.p));
        Walk(child.p, depth + 1, out);
    }
}

class SWin32HostAccessibleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SWin32Host::Init());
        env = std::make_unique<uitest::SUiTestEnv>(&host);
        ASSERT_TRUE(uitest::CommitProbeResources(env.get(), kLayout));
        wnd = std::make_unique<CProbeWnd>();
        ASSERT_NE(wnd->Create(), nullptr);
        wnd->SetWindowPos(nullptr, 50, 60, 0, 0, SWP_NOSIZE);
        wnd->ShowWindow(SW_SHOWNORMAL);
        hwnd = static_cast<::HWND>(SWin32Host::NativeHandle(wnd->GetNative()));
    }
    void TearDown() override {
        wnd.reset();
        env.reset();
    }

    IAccessible* Client() {
        IAccessible* acc = nullptr;
        EXPECT_EQ(
            ::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&acc)),
            S_OK);
        return acc;
    }
    // The object of the control at logical client point `pt`, by hit testing the client.
    IAccessible* At(IAccessible* client, int x, int y) {
        VARIANT v;
        EXPECT_EQ(client->accHitTest(50 + x, 60 + y, &v), S_OK);
        return AccFrom(v);
    }
    // Runs the loop until `pred` holds; false after five seconds without.
    template <class Pred>
    bool RunUntil(Pred pred) {
        return SOUI::RunLoopUntil(host, pred);
    }
    // Runs the loop a moment: what was posted gets handled.
    void Pump() {
        const uint64_t stop = host.AddTimer(100, [&] { host.QuitLoop(0); });
        host.RunLoop();
        host.RemoveTimer(stop);
    }

    SWin32Host host;
    std::unique_ptr<uitest::SUiTestEnv> env;
    std::unique_ptr<CProbeWnd> wnd;
    ::HWND hwnd = nullptr;
};

}  // namespace

TEST_F(SWin32HostAccessibleTest, TreeGivesTheControlsRolesNamesStatesAndValues) {
    ComRef<IAccessible> client(Client());
    ASSERT_NE(client.p, nullptr);
    EXPECT_EQ(Describe(client.p), L"client QiA11yProbe focusable focused")
        << "the shown window has the focus and none of its controls";
    // The panel holding the buttons has no role: its buttons stand in its place; the hidden
    // one is left out, the one below the window's edge is there but off screen.
    std::vector<std::wstring> tree;
    Walk(client.p, 0, &tree);
    const std::vector<std::wstring> expected{L"button 安装 focusable",
                                             L"button 禁用 unavailable",
                                             L"check 同意 focusable",
                                             L"link 协议 focusable linked",
                                             L"label 标签",
                                             L"text  focusable",
                                             L"progress ",
                                             L"button 外面 focusable offscreen",
                                             L"button 关闭 focusable"};
    EXPECT_EQ(tree, expected);

    ComRef<IAccessible> path(At(client.p, 20, 140));
    ASSERT_NE(path.p, nullptr);
    BSTR b = nullptr;
    ASSERT_EQ(path->get_accValue(Self(), &b), S_OK);
    EXPECT_EQ(TakeBstr(b), L"C:\\Quillora");
    ComRef<IAccessible> bar(At(client.p, 20, 172));
    ASSERT_NE(bar.p, nullptr);
    ASSERT_EQ(bar->get_accValue(Self(), &b), S_OK);
    EXPECT_EQ(TakeBstr(b), L"25%");

    // Up again: a control's parent is the client, the client's is the window.
    IDispatch* disp = nullptr;
    ASSERT_EQ(bar->get_accParent(&disp), S_OK);
    ComRef<IDispatch> parent(disp);
    EXPECT_EQ(static_cast<IUnknown*>(parent.p), static_cast<IUnknown*>(client.p));
    ASSERT_EQ(client->get_accParent(&disp), S_OK);
    ComRef<IDispatch> frameDisp(disp);
    IAccessible* acc = nullptr;
    ASSERT_EQ(disp->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc)), S_OK);
    ComRef<IAccessible> frame(acc);
    EXPECT_NE(static_cast<IUnknown*>(frame.p), static_cast<IUnknown*>(client.p));

    // States follow the controls.
    wnd->FindChildByName(L"agree")->SetCheck(true);
    ComRef<IAccessible> agree(At(client.p, 20, 80));
    ASSERT_NE(agree.p, nullptr);
    EXPECT_EQ(Describe(agree.p), L"check 同意 focusable checked");
}

TEST_F(SWin32HostAccessibleTest, LocationHitTestFocusAndDefaultActionFollowTheControls) {
    ComRef<IAccessible> client(Client());
    ASSERT_NE(client.p, nullptr);
    ComRef<IAccessible> agree(At(client.p, 20, 80));
    ASSERT_NE(agree.p, nullptr);
    EXPECT_EQ(Name(agree.p), L"同意");
    LONG x, y, cx, cy;
    ASSERT_EQ(agree->accLocation(&x, &y, &cx, &cy, Self()), S_OK);
    EXPECT_EQ(std::vector<LONG>({x, y, cx, cy}), std::vector<LONG>({60, 130, 120, 24}));
    VARIANT v;
    EXPECT_EQ(client->accHitTest(40, 50, &v), S_FALSE) << "outside the window";
    EXPECT_EQ(v.vt, VT_EMPTY);
    ASSERT_EQ(client->accHitTest(50 + 300, 60 + 250, &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4) << "no control there: the client itself";

    // Focus: the object answers, and EVENT_OBJECT_FOCUS names it so that a client finds it.
    static std::vector<std::pair<LONG, LONG>> s_focusEvents;
    s_focusEvents.clear();
    HWINEVENTHOOK hook = ::SetWinEventHook(
        EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr,
        [](HWINEVENTHOOK, DWORD, ::HWND, LONG obj, LONG child, DWORD, DWORD) {
            s_focusEvents.emplace_back(obj, child);
        },
        ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    SWindow* pathWnd = wnd->FindChildByName(L"path");
    pathWnd->SetFocus();
    ASSERT_EQ(client->get_accFocus(&v), S_OK);
    ComRef<IAccessible> focused(AccFrom(v));
    ASSERT_NE(focused.p, nullptr);
    EXPECT_EQ(Describe(focused.p), L"text  focusable focused");
    EXPECT_TRUE(RunUntil([] { return !s_focusEvents.empty(); })) << "no focus event";
    ::UnhookWinEvent(hook);
    if (!s_focusEvents.empty()) {
        IAccessible* source = nullptr;
        VARIANT child;
        ASSERT_EQ(::AccessibleObjectFromEvent(hwnd, s_focusEvents[0].first, s_focusEvents[0].second,
                                              &source, &child),
                  S_OK);
        ComRef<IAccessible> src(source);
        EXPECT_EQ(child.vt, VT_I4);
        EXPECT_EQ(Describe(src.p), L"text  focusable focused");
    }

    // The default action clicks, once the client's call has returned.
    BSTR b = nullptr;
    ASSERT_EQ(agree->get_accDefaultAction(Self(), &b), S_OK);
    EXPECT_EQ(TakeBstr(b), L"Check");
    SWindow* agreeWnd = wnd->FindChildByName(L"agree");
    ASSERT_EQ(agree->accDoDefaultAction(Self()), S_OK);
    EXPECT_FALSE(agreeWnd->IsChecked());
    EXPECT_TRUE(RunUntil([&] { return agreeWnd->IsChecked(); })) << "the click never came";
    int clicks = 0;
    SWindow* off = wnd->FindChildByName(L"off");
    off->SubscribeEvent(SOUI::EventCmd::EventID, [&](SOUI::EventArgs*) {
        ++clicks;
        return true;
    });
    ComRef<IAccessible> offAcc(At(client.p, 130, 20));
    ASSERT_NE(offAcc.p, nullptr);
    EXPECT_EQ(offAcc->accDoDefaultAction(Self()), E_FAIL) << "a disabled button clicked";
    EXPECT_EQ(focused->accDoDefaultAction(Self()), DISP_E_MEMBERNOTFOUND)
        << "an editor has no default action";
    Pump();
    EXPECT_EQ(clicks, 0);
}

TEST_F(SWin32HostAccessibleTest, ObjectsHeldPastTheirControlOrWindowAnswerNotConnected) {
    ComRef<IAccessible> client(Client());
    ASSERT_NE(client.p, nullptr);
    ComRef<IAccessible> agree(At(client.p, 20, 80));
    ComRef<IAccessible> install(At(client.p, 20, 20));
    ASSERT_NE(agree.p, nullptr);
    ASSERT_NE(install.p, nullptr);
    LONG before = 0, after = 0;
    ASSERT_EQ(client->get_accChildCount(&before), S_OK);

    wnd->FindChildByName(L"agree")->SetVisible(false, true);
    BSTR b = nullptr;
    EXPECT_EQ(agree->get_accName(Self(), &b), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(agree->accDoDefaultAction(Self()), CO_E_OBJNOTCONNECTED);
    ASSERT_EQ(client->get_accChildCount(&after), S_OK);
    EXPECT_EQ(after, before - 1);
    // Shown again, it is a new object.
    wnd->FindChildByName(L"agree")->SetVisible(true, true);
    ComRef<IAccessible> again(At(client.p, 20, 80));
    ASSERT_NE(again.p, nullptr);
    EXPECT_EQ(Name(again.p), L"同意");

    // A click asked for just before the window goes does nothing.
    ASSERT_EQ(install->accDoDefaultAction(Self()), S_OK);
    wnd->DestroyWindow();
    Pump();
    LONG count = 0;
    EXPECT_EQ(client->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(install->get_accName(Self(), &b), CO_E_OBJNOTCONNECTED);
    VARIANT v;
    EXPECT_EQ(client->accHitTest(60, 70, &v), CO_E_OBJNOTCONNECTED);
    IDispatch* disp = nullptr;
    EXPECT_EQ(again->get_accParent(&disp), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(disp, nullptr);
}
