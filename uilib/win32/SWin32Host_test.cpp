// The Win32 host with real windows. Under Wine the program takes a desktop of its own on
// Wine's null graphics driver: windows, messages, timers and the clipboard work without an
// X display, and the tests read the layered windows' buffers, not the screen.
#include "uilib/win32/SWin32Host.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "uilib/SCheckBox.h"
#include "uilib/SHostDialog.h"
#include "uilib/SHostWnd.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"
#include "uilib/testing/SRunLoopUntil.h"
#include "uilib/testing/SUiTestEnv.h"

// Last: its macros (VK_*, GetRValue) would break the library's headers.
#include <windows.h>

#include <imm.h>

// Not the whole namespace: its DWORD and HWND would clash with the system's in macros.
using SOUI::CPoint;
using SOUI::CRect;
using SOUI::CSize;
using SOUI::EventArgs;
using SOUI::IBitmapS;
using SOUI::IEventHandler;
using SOUI::IHostBackend;
using SOUI::INativeWnd;
using SOUI::INativeWndHandler;
using SOUI::IRenderFactory;
using SOUI::IRenderTarget;
using SOUI::RGBA;
using SOUI::SAutoRefPtr;
using SOUI::SCursor;
using SOUI::SMouseInput;
using SOUI::SNativeWndParams;
using SOUI::SNotifyCenter;
using SOUI::SRenderFactoryCairo;
using SOUI::SStringW;
using SOUI::SWin32Host;
using SOUI::SWindow;
using SOUI::TplEventArgs;

namespace {

class WineDesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
            return;  // Windows itself: the interactive desktop
        // Wine reads the driver when a desktop's first window comes, so a desktop of this
        // program's own takes it whatever the default desktop runs on.
        HKEY key;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            static const wchar_t kNull[] = L"null";
            ::RegSetValueExW(key, L"Graphics", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNull),
                             sizeof kNull);
            ::RegCloseKey(key);
        }
        const std::wstring name = L"qi-win32-host-" + std::to_wstring(::GetCurrentProcessId());
        HDESK desk = ::CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        ASSERT_NE(desk, nullptr);
        ASSERT_TRUE(::SetThreadDesktop(desk));
    }
};

const auto* g_env = ::testing::AddGlobalTestEnvironment(new WineDesktopEnvironment);

constexpr uint32_t kOpaqueBlue = 0xff0000ff;  // 0xAARRGGBB
constexpr uint32_t kHalfRed = 0x80800000;     // red at alpha 128, premultiplied
const CRect kPlace(30, 40, 30 + 64, 40 + 32);

// Draws the left half opaque blue and the right half translucent red; records the rest.
class CTestHandler : public INativeWndHandler {
public:
    CTestHandler() {
        m_factory.attach(new SRenderFactoryCairo);
        IRenderTarget* rt = nullptr;
        m_factory->CreateRenderTarget(&rt, 1, 1);
        m_rt.attach(rt);
    }
    IRenderTarget* OnNativeRender(const CRect& rcDirty) override {
        dirty.push_back(rcDirty);
        m_rt->Resize(size);
        m_rt->FillSolidRect(CRect(0, 0, size.cx / 2, size.cy), RGBA(0, 0, 255, 255));
        m_rt->FillSolidRect(CRect(size.cx / 2, 0, size.cx, size.cy), RGBA(255, 0, 0, 128));
        if (onRender)
            onRender();
        return m_rt.get();
    }
    void OnNativeMouse(const SMouseInput& input) override { mouse.push_back(input); }
    void OnNativeKey(UINT vk, bool bDown, UINT flags) override {
        keys.push_back({vk, bDown, flags});
    }
    void OnNativeText(const SStringW& t) override { texts.push_back(t); }
    void OnNativePreedit(const SStringW& t) override { preedit.push_back(t); }
    void OnNativeFocus(bool bFocused) override { focus.push_back(bFocused); }
    void OnNativeCloseRequest() override { ++closeRequests; }
    bool WantsTextInput() const override { return wantsText; }

    struct Key {
        UINT vk;
        bool down;
        UINT flags;
        bool operator==(const Key&) const = default;
    };
    CSize size = kPlace.Size();
    std::function<void()> onRender;
    std::vector<CRect> dirty;
    std::vector<SMouseInput> mouse;
    std::vector<Key> keys;
    std::vector<SStringW> texts;
    std::vector<SStringW> preedit;
    std::vector<bool> focus;
    int closeRequests = 0;
    bool wantsText = true;

private:
    SAutoRefPtr<IRenderFactory> m_factory;
    SAutoRefPtr<IRenderTarget> m_rt;
};

class SWin32HostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SWin32Host::Init()); }

    std::unique_ptr<INativeWnd> MakeWnd(CTestHandler* handler, SNativeWndParams params = {}) {
        if (params.rcScreen.IsRectEmpty())
            params.rcScreen = kPlace;
        params.title = L"QiWin32Probe";
        return host.CreateNativeWnd(handler, params);
    }
    // Runs the loop until something quits it; -1 after `ms` without.
    int RunBounded(UINT ms = 5000) {
        const uint64_t guard = host.AddTimer(ms, [this] { host.QuitLoop(-1); });
        const int code = host.RunLoop();
        host.RemoveTimer(guard);
        return code;
    }
    static ::HWND Hwnd(const std::unique_ptr<INativeWnd>& wnd) {
        return static_cast<::HWND>(SWin32Host::NativeHandle(wnd.get()));
    }

    SWin32Host host;
};

}  // namespace

TEST_F(SWin32HostTest, LayeredWindowShowsTheRenderedPixelsWithTheirAlpha) {
    CTestHandler handler;
    handler.onRender = [&] { host.QuitLoop(7); };
    SNativeWndParams params;
    params.translucent = true;
    auto wnd = MakeWnd(&handler, params);
    ASSERT_NE(wnd, nullptr);
    const ::HWND hwnd = Hwnd(wnd);
    EXPECT_TRUE(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_POPUP);

    const uint64_t frames = SWin32Host::FramesDrawn();
    wnd->Show(true);
    ASSERT_EQ(RunBounded(), 7) << "the window never drew";
    EXPECT_EQ(SWin32Host::FramesDrawn(), frames + 1);
    EXPECT_TRUE(wnd->IsShown());
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.get(), 2, 2), kOpaqueBlue);
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.get(), 63, 31), kHalfRed);
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    EXPECT_EQ(CRect(rc.left, rc.top, rc.right, rc.bottom), kPlace);

    // Invalidations between two frames make one frame of their union.
    wnd->Invalidate(CRect(1, 2, 5, 6));
    wnd->Invalidate(CRect(10, 1, 12, 3));
    ASSERT_EQ(RunBounded(), 7);
    ASSERT_EQ(handler.dirty.size(), 2u);
    EXPECT_EQ(handler.dirty[1], CRect(1, 1, 12, 6));
    EXPECT_EQ(RunBounded(150), -1);
    EXPECT_EQ(handler.dirty.size(), 2u) << "one invalidation drew twice";

    // A new size takes a new buffer at the next frame.
    handler.size = CSize(100, 20);
    wnd->SetGeometry(CRect(30, 40, 130, 60));
    ASSERT_EQ(RunBounded(), 7);
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.get(), 99, 19), kHalfRed);
    EXPECT_EQ(wnd->GetGeometry(), CRect(30, 40, 130, 60));

    wnd->Show(false);
    EXPECT_FALSE(wnd->IsShown());

    // A window that is not translucent shows its pixels over white.
    CTestHandler plainHandler;
    plainHandler.onRender = [&] { host.QuitLoop(8); };
    auto plain = MakeWnd(&plainHandler);
    ASSERT_NE(plain, nullptr);
    plain->Show(true);
    ASSERT_EQ(RunBounded(), 8);
    EXPECT_EQ(SWin32Host::ShownPixelAt(plain.get(), 2, 2), kOpaqueBlue);
    EXPECT_EQ(SWin32Host::ShownPixelAt(plain.get(), 63, 31), 0xffff7f7fu);
}

TEST_F(SWin32HostTest, ToolWindowsAndDialogsFollowTheirParams) {
    CTestHandler main, dlg;
    auto owner = MakeWnd(&main);
    ASSERT_NE(owner, nullptr);
    SNativeWndParams p;
    p.toolWindow = true;
    p.ownerNative = owner.get();
    auto tool = MakeWnd(&dlg, p);
    ASSERT_NE(tool, nullptr);
    EXPECT_TRUE(::GetWindowLongPtrW(Hwnd(tool), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(::GetWindowLongPtrW(Hwnd(owner), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(::GetWindow(Hwnd(tool), GW_OWNER), Hwnd(owner));

    // The icon takes straight alpha: a premultiplied half-transparent red comes out red.
    const uint32_t px[2] = {0x80800000, 0xff00ff00};
    IBitmapS* bmp = nullptr;
    SAutoRefPtr<IRenderFactory> factory;
    factory.attach(new SRenderFactoryCairo);
    ASSERT_TRUE(factory->CreateBitmap(&bmp, 2, 1, reinterpret_cast<const BYTE*>(px), 8));
    SAutoRefPtr<IBitmapS> icon;
    icon.attach(bmp);
    owner->SetIcon(icon.get());
    auto hicon = reinterpret_cast<HICON>(::SendMessageW(Hwnd(owner), WM_GETICON, ICON_BIG, 0));
    ASSERT_NE(hicon, nullptr);
    EXPECT_EQ(::SendMessageW(Hwnd(owner), WM_GETICON, ICON_SMALL, 0),
              reinterpret_cast<LRESULT>(hicon));
    ICONINFO ii{};
    ASSERT_TRUE(::GetIconInfo(hicon, &ii));
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, 2, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    uint32_t got[2] = {};
    HDC dc = ::GetDC(nullptr);
    EXPECT_EQ(::GetDIBits(dc, ii.hbmColor, 0, 1, got, &bi, DIB_RGB_COLORS), 1);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(ii.hbmColor);
    ::DeleteObject(ii.hbmMask);
    EXPECT_EQ(got[0], 0x80ff0000u);
    EXPECT_EQ(got[1], 0xff00ff00u);

    owner->Show(true);
    owner->Minimize();
    EXPECT_TRUE(owner->IsMinimized());
    EXPECT_EQ(owner->GetGeometry(), kPlace) << "minimizing moved the remembered place";
    owner->Show(true);
    EXPECT_FALSE(owner->IsMinimized());

    // Cursor shapes come with WM_SETCURSOR over the client area.
    owner->SetCursor(SCursor::Hand);
    ::SendMessageW(Hwnd(owner), WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd(owner)),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(SWin32HostTest, TimersFireAndMayRemoveThemselvesAndOthers) {
    int first = 0, second = 0;
    uint64_t a = 0, b = 0;
    a = host.AddTimer(10, [&] {
        if (++first == 2) {
            host.RemoveTimer(a);
            host.RemoveTimer(b);
        }
    });
    b = host.AddTimer(200, [&] { ++second; });
    EXPECT_EQ(RunBounded(400), -1);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 0);
}

TEST_F(SWin32HostTest, NestedLoopsReturnTheirCodesInnermostFirst) {
    std::vector<int> codes;
    std::vector<int> depths;
    uint64_t outer = 0, inner = 0;
    outer = host.AddTimer(10, [&] {
        host.RemoveTimer(outer);
        depths.push_back(host.LoopDepth());
        inner = host.AddTimer(10, [&] {
            host.RemoveTimer(inner);
            depths.push_back(host.LoopDepth());
            host.QuitLoop(2);
        });
        codes.push_back(host.RunLoop());  // a modal dialog's loop
        host.QuitLoop(1);
    });
    codes.push_back(RunBounded());
    EXPECT_EQ(codes, (std::vector<int>{2, 1}));
    EXPECT_EQ(depths, (std::vector<int>{1, 2}));
    EXPECT_EQ(host.LoopDepth(), 0);
}

namespace {

struct EvtSeq : public TplEventArgs<EvtSeq> {
    enum { EventID = SOUI::EVT_EXTERNAL_BEGIN + 92 };
    explicit EvtSeq(int n) : TplEventArgs<EvtSeq>(nullptr), seq(n) {}
    int seq;
};

struct CSeqReceiver : public IEventHandler {
    bool _HandleEvent(EventArgs* evt) override {
        seqs.push_back(static_cast<EvtSeq*>(evt)->seq);
        if (seqs.size() == expected)
            host->QuitLoop(3);
        return true;
    }
    IHostBackend* host = nullptr;
    size_t expected = 0;
    std::vector<int> seqs;
};

}  // namespace

TEST_F(SWin32HostTest, LoopDeliversEventsPostedFromAnotherThreadInOrder) {
    SNotifyCenter center;
    ASSERT_TRUE(center.IsValid());
    center.addEvent(EvtSeq::EventID, L"on_seq");
    CSeqReceiver receiver;
    receiver.host = &host;
    receiver.expected = 200;
    center.RegisterEventMap(&receiver);
    std::thread worker([] {
        for (int i = 0; i < 200; ++i)
            SNotifyCenter::PostEvent(new EvtSeq(i));
    });
    const int code = RunBounded(10000);
    worker.join();
    center.UnregisterEventMap(&receiver);
    EXPECT_EQ(code, 3);
    ASSERT_EQ(receiver.seqs.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(receiver.seqs[i], i);
}

namespace {

// The wParam of WM_MOUSEWHEEL: the signed delta in the high word.
WPARAM WheelParam(int delta) {
    return static_cast<WPARAM>(static_cast<WORD>(static_cast<short>(delta))) << 16;
}

}  // namespace

TEST_F(SWin32HostTest, MouseMessagesReachTheHandlerInClientAndScreenPixels) {
    CTestHandler handler;
    auto wnd = MakeWnd(&handler);
    ASSERT_NE(wnd, nullptr);
    const ::HWND hwnd = Hwnd(wnd);
    wnd->Show(true);
    ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(10, 12));
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
    EXPECT_EQ(::GetCapture(), hwnd) << "a pressed button holds the pointer";
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(11, 13));
    EXPECT_EQ(::GetCapture(), nullptr);
    ::SendMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON | MK_CONTROL, MAKELPARAM(11, 13));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(11, 13));
    // The wheel reports screen pixels and deltas of 120 a notch; halves add up.
    ::SendMessageW(hwnd, WM_MOUSEWHEEL, WheelParam(WHEEL_DELTA), MAKELPARAM(35, 45));
    ::SendMessageW(hwnd, WM_MOUSEWHEEL, WheelParam(-WHEEL_DELTA / 2), MAKELPARAM(35, 45));
    ::SendMessageW(hwnd, WM_MOUSEWHEEL, WheelParam(-WHEEL_DELTA / 2), MAKELPARAM(35, 45));
    ::SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);

    using K = SMouseInput;
    const std::vector<K::Kind> kinds{K::Move, K::LDown, K::LUp,   K::LDblClk,
                                     K::LUp,  K::Wheel, K::Wheel, K::Leave};
    ASSERT_EQ(handler.mouse.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(handler.mouse[i].kind, kinds[i]) << "input " << i;
    EXPECT_EQ(handler.mouse[0].pt, CPoint(10, 12));
    EXPECT_EQ(handler.mouse[0].ptScreen, CPoint(40, 52));
    EXPECT_EQ(handler.mouse[0].flags, MK_SHIFT);
    EXPECT_EQ(handler.mouse[2].pt, CPoint(11, 13));
    EXPECT_EQ(handler.mouse[3].flags, MK_CONTROL);
    EXPECT_EQ(handler.mouse[5].pt, CPoint(5, 5));
    EXPECT_EQ(handler.mouse[5].wheelDelta, 1);
    EXPECT_EQ(handler.mouse[6].wheelDelta, -1);
}

TEST_F(SWin32HostTest, KeysTextFocusAndCloseReachTheHandler) {
    CTestHandler handler;
    auto wnd = MakeWnd(&handler);
    ASSERT_NE(wnd, nullptr);
    const ::HWND hwnd = Hwnd(wnd);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_LEFT, 1);
    ::SendMessageW(hwnd, WM_KEYUP, VK_LEFT, 0xC0000001);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 1);
    using Key = CTestHandler::Key;
    EXPECT_EQ(handler.keys,
              (std::vector<Key>{{VK_LEFT, true, 0}, {VK_LEFT, false, 0}, {VK_RETURN, true, 0}}));

    ::SendMessageW(hwnd, WM_CHAR, L'a', 1);
    ::SendMessageW(hwnd, WM_CHAR, L'\r', 1);  // came as VK_RETURN
    ::SendMessageW(hwnd, WM_CHAR, 0xD83D, 1);
    ::SendMessageW(hwnd, WM_CHAR, 0xDE00, 1);
    ::SendMessageW(hwnd, WM_CHAR, L'中', 1);
    ::SendMessageW(hwnd, WM_IME_CHAR, L'文', 1);  // an input method's
    const std::vector<SStringW> typed{L"a", L"\U0001F600", L"中", L"文"};
    EXPECT_EQ(handler.texts, typed);
    handler.wantsText = false;
    ::SendMessageW(hwnd, WM_CHAR, L'b', 1);
    EXPECT_EQ(handler.texts, typed) << "text reached a window without a field";

    ::SendMessageW(hwnd, WM_SETFOCUS, 0, 0);
    ::SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(handler.focus, (std::vector<bool>{true, false}));

    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(handler.closeRequests, 1);
    EXPECT_TRUE(::IsWindow(hwnd)) << "the host window decides whether it closes";
}

TEST_F(SWin32HostTest, ClipboardTextRoundTrips) {
    const SStringW text = L"C:\\Program Files\\Quillora 安装 \U0001F600";
    host.SetClipboardText(text);
    SStringW back;
    ASSERT_TRUE(host.GetClipboardText(&back));
    EXPECT_EQ(back, text);
}

namespace {

// The visible dialog of this thread (the folder chooser), if any.
::HWND FindDialog() {
    ::HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](::HWND h, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            ::GetClassNameW(h, cls, 16);
            if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(h))
                return TRUE;
            *reinterpret_cast<::HWND*>(out) = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

TEST_F(SWin32HostTest, FolderChooserIsModalOverItsOwnerAndCancels) {
    CTestHandler handler;
    auto owner = MakeWnd(&handler);
    ASSERT_NE(owner, nullptr);
    owner->Show(true);
    ::HWND chooserOwner = nullptr;
    bool titled = false;
    int ticks = 0;
    const uint64_t poll = host.AddTimer(50, [&] {
        const ::HWND dlg = FindDialog();
        if (!dlg)
            return;
        if (++ticks == 200)  // ten seconds: the test is failing already, end it
            ::PostMessageW(dlg, WM_CLOSE, 0, 0);
        chooserOwner = ::GetWindow(dlg, GW_OWNER);
        titled = titled || ::FindWindowExW(dlg, nullptr, L"Static", L"选择安装位置") != nullptr;
        host.CancelFolderChooser();
    });
    const std::optional<SStringW> folder = host.BrowseForFolder(L"选择安装位置", owner.get());
    host.RemoveTimer(poll);
    EXPECT_FALSE(folder.has_value());
    EXPECT_EQ(chooserOwner, Hwnd(owner));
    EXPECT_TRUE(titled);
    EXPECT_LT(ticks, 200);
    EXPECT_EQ(FindDialog(), nullptr);
}

namespace {

const char* kProbeLayout =
    R"XML(<SOUI name="probe" title="QiWin32Probe" width="400" height="300" translucent="1">
  <root colorBkgnd="#ffffffff">
    <check name="agree" pos="16,104,@115,@24" skin="skin.check">已阅读和同意</check>
  </root></SOUI>)XML";

class CProbeWnd : public SOUI::SHostWnd {
public:
    CProbeWnd() : SOUI::SHostWnd(L"LAYOUT:probe") {}
};

}  // namespace

// The library's host window on this host: it draws through the layered window and a
// click sent to the native window checks the box.
TEST_F(SWin32HostTest, HostWindowDrawsAndTakesClicks) {
    uitest::SUiTestEnv env(&host);
    ASSERT_TRUE(uitest::CommitProbeResources(&env, kProbeLayout));
    CProbeWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetWindowPos(nullptr, 50, 60, 0, 0, SWP_NOSIZE);
    const uint64_t before = SWin32Host::FramesDrawn();
    wnd.ShowWindow(SW_SHOWNORMAL);
    auto runUntil = [&](auto pred) {
        const uint64_t poll = host.AddTimer(10, [&] {
            if (pred())
                host.QuitLoop(0);
        });
        const int code = RunBounded();
        host.RemoveTimer(poll);
        return code == 0;
    };
    ASSERT_TRUE(runUntil([&] { return SWin32Host::FramesDrawn() > before; }));
    const ::HWND hwnd = static_cast<::HWND>(SWin32Host::NativeHandle(wnd.GetNative()));
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    EXPECT_EQ(CRect(rc.left, rc.top, rc.right, rc.bottom), CRect(50, 60, 450, 360));
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 300, 250), 0xffffffffu);

    auto* agree = wnd.FindChildByName2<SOUI::SCheckBox>(L"agree");
    ASSERT_NE(agree, nullptr);
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(28, 116));
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(28, 116));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(28, 116));
    EXPECT_TRUE(agree->IsChecked());
    // The checked frame of the skin (blue) reaches the window's buffer.
    const uint64_t clicked = SWin32Host::FramesDrawn();
    ASSERT_TRUE(runUntil([&] { return SWin32Host::FramesDrawn() > clicked; }));
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 28, 116), 0xff1e78d5u);
    wnd.DestroyWindow();
    EXPECT_FALSE(::IsWindow(hwnd));
}

namespace {

::HWND HwndOf(const SOUI::SHostWnd& wnd) {
    return static_cast<::HWND>(SWin32Host::NativeHandle(wnd.GetNative()));
}

// The DPI hook back to the system's, however the test ends.
struct DpiForTesting {
    explicit DpiForTesting(unsigned dpi) { SWin32Host::SetDpiForTesting(dpi); }
    ~DpiForTesting() { SWin32Host::SetDpiForTesting(0); }
};

}  // namespace

// On a 192 DPI monitor the window keeps its layout in logical pixels and shows it at twice
// the pixels; a move to a 96 DPI monitor (WM_DPICHANGED) takes it back to one.
TEST_F(SWin32HostTest, HostWindowDrawsAtItsMonitorsScaleAndMapsTheMouse) {
    uitest::SUiTestEnv env(&host);
    ASSERT_TRUE(uitest::CommitProbeResources(&env, kProbeLayout));
    CProbeWnd wnd;
    {
        DpiForTesting dpi(192);
        ASSERT_NE(wnd.Create(), nullptr);
    }
    wnd.SetWindowPos(nullptr, 50, 60, 0, 0, SWP_NOSIZE);
    EXPECT_EQ(wnd.GetNative()->GetScale(), 2);
    const uint64_t before = SWin32Host::FramesDrawn();
    wnd.ShowWindow(SW_SHOWNORMAL);
    ASSERT_TRUE(RunLoopUntil(host, [&] { return SWin32Host::FramesDrawn() > before; }));
    const ::HWND hwnd = HwndOf(wnd);
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    EXPECT_EQ(CRect(rc.left, rc.top, rc.right, rc.bottom), CRect(100, 120, 900, 720));
    EXPECT_EQ(wnd.GetScreenRect(), CRect(50, 60, 450, 360));
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 799, 599), 0xffffffffu);

    // A click at device pixels reaches the box at its logical place.
    auto* agree = wnd.FindChildByName2<SOUI::SCheckBox>(L"agree");
    ASSERT_NE(agree, nullptr);
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(2 * 28, 2 * 116));
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2 * 28, 2 * 116));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(2 * 28, 2 * 116));
    EXPECT_TRUE(agree->IsChecked());
    const uint64_t clicked = SWin32Host::FramesDrawn();
    ASSERT_TRUE(RunLoopUntil(host, [&] { return SWin32Host::FramesDrawn() > clicked; }));
    // The box's checked frame covers device pixels (32..79, 208..255).
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 33, 209), 0xff1e78d5u);
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 78, 254), 0xff1e78d5u);
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 30, 206), 0xffffffffu);

    // The system's rectangle places the window on the new monitor; the size is the
    // layout's at the new scale.
    RECT suggested{300, 200, 700, 500};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(wnd.GetNative()->GetScale(), 1);
    ::GetWindowRect(hwnd, &rc);
    EXPECT_EQ(CRect(rc.left, rc.top, rc.right, rc.bottom), CRect(300, 200, 700, 500));
    EXPECT_EQ(wnd.GetScreenRect(), CRect(300, 200, 700, 500));
    const uint64_t moved = SWin32Host::FramesDrawn();
    ASSERT_TRUE(RunLoopUntil(host, [&] { return SWin32Host::FramesDrawn() > moved; }));
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 28, 116), 0xff1e78d5u);
    EXPECT_EQ(SWin32Host::ShownPixelAt(wnd.GetNative(), 400, 300), 0u) << "the old buffer";
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(28, 116));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(28, 116));
    EXPECT_FALSE(agree->IsChecked());
}

namespace {

const char* kImeLayout =
    R"XML(<SOUI name="probe" title="QiWin32Probe" width="300" height="200">
  <root colorBkgnd="#ffffffff">
    <edit name="path" pos="20,30,@200,@30"/>
    <check name="agree" pos="20,100,@115,@24" skin="skin.check">同意</check>
  </root></SOUI>)XML";

}  // namespace

// The input method works for the focused field, at its caret, and stays off elsewhere;
// its characters arrive once.
TEST_F(SWin32HostTest, InputMethodFollowsTheFocusedFieldsCaret) {
    uitest::SUiTestEnv env(&host);
    ASSERT_TRUE(uitest::CommitProbeResources(&env, kImeLayout));
    CProbeWnd wnd;
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.ShowWindow(SW_SHOWNORMAL);
    const ::HWND hwnd = HwndOf(wnd);
    auto context = [&] {
        HIMC imc = ::ImmGetContext(hwnd);
        if (imc)
            ::ImmReleaseContext(hwnd, imc);
        return imc;
    };
    EXPECT_EQ(context(), nullptr) << "no field has the focus";

    SWindow* path = wnd.FindChildByName(L"path");
    path->SetFocus();
    const HIMC own = context();
    if (!own)  // Wine on its null graphics driver has no input method, hence no contexts
        GTEST_SKIP() << "the system gives windows no input context";
    ::SendMessageW(hwnd, WM_CHAR, L'中', 1);  // moves the caret
    COMPOSITIONFORM cf{};
    ASSERT_TRUE(::ImmGetCompositionWindow(own, &cf));
    EXPECT_EQ(cf.dwStyle, static_cast<DWORD>(CFS_POINT));
    // After the character: right of the field's left edge, inside the field.
    const CRect field = path->GetWindowRect();
    EXPECT_GT(cf.ptCurrentPos.x, field.left + 4);
    EXPECT_LT(cf.ptCurrentPos.x, field.left + 60);
    EXPECT_GE(cf.ptCurrentPos.y, field.top);
    EXPECT_LT(cf.ptCurrentPos.y, field.bottom);

    wnd.FindChildByName(L"agree")->SetFocus();
    EXPECT_EQ(context(), nullptr) << "the check box took the input method";
    path->SetFocus();
    EXPECT_EQ(context(), own);
}

namespace {

class CProbeDialog : public SOUI::SHostDialog {
public:
    CProbeDialog() : SOUI::SHostDialog(L"LAYOUT:probe") {}
    BOOL ProcessWindowMessage(SOUI::HWND h, UINT msg, WPARAM wp, LPARAM lp,
                              LRESULT& result) override {
        if (msg == WM_DESTROY && owner)
            ownerEnabledAtDestroy = ::IsWindowEnabled(owner) != FALSE;
        return SOUI::SHostDialog::ProcessWindowMessage(h, msg, wp, lp, result);
    }
    ::HWND owner = nullptr;
    bool ownerEnabledAtDestroy = false;
};

}  // namespace

// While a modal dialog runs, the window system sees its owner disabled, so activation
// and focus go to the dialog; the owner takes input again before the dialog goes.
TEST_F(SWin32HostTest, ModalDialogDisablesItsOwnerWhileItRuns) {
    uitest::SUiTestEnv env(&host);
    ASSERT_TRUE(uitest::CommitProbeResources(&env, kProbeLayout));
    CProbeWnd main;
    ASSERT_NE(main.Create(), nullptr);
    main.ShowWindow(SW_SHOWNORMAL);
    CProbeDialog dlg;
    dlg.owner = HwndOf(main);
    bool ownerEnabledDuring = true, dialogEnabledDuring = false;
    const uint64_t probe = host.AddTimer(20, [&] {
        if (!dlg.GetNative())
            return;
        ownerEnabledDuring = ::IsWindowEnabled(dlg.owner) != FALSE;
        dialogEnabledDuring = ::IsWindowEnabled(HwndOf(dlg)) != FALSE;
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(main.m_hWnd), IDOK);
    host.RemoveTimer(probe);
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(dialogEnabledDuring);
    EXPECT_TRUE(dlg.ownerEnabledAtDestroy);
    EXPECT_TRUE(::IsWindowEnabled(dlg.owner));
}
