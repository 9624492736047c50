#include "uilib/win32/SWin32Host.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "uilib/SNotifyCenter.h"
#include "uilib/win32/SWin32Accessible.h"

// After the library's headers: windows.h defines VK_*, GetRValue and friends as macros.
#include <windows.h>

#include <imm.h>
#include <shlobj.h>

namespace SOUI {
namespace {

constexpr wchar_t kWndClass[] = L"QiHostWnd";
constexpr wchar_t kMsgClass[] = L"QiHostMsg";
// Posted to a window once per batch of invalidations: all of them make one frame.
constexpr UINT kMsgRedraw = WM_APP + 1;
// Posted by the accessibility layer: run the default actions clients asked for.
constexpr UINT kMsgAccAction = WM_APP + 2;
// The timer that delivers notify-center events while a system loop (window move, folder
// chooser) runs instead of ours; no token is ever this.
constexpr UINT_PTR kPumpTimer = ~static_cast<UINT_PTR>(0);
constexpr UINT kPumpMs = 15;

std::atomic<uint64_t> s_framesDrawn{0};
SWin32Host* s_pHost = nullptr;
// The folder chooser while it is open (one at a time: it is modal).
::HWND s_chooser = nullptr;
bool s_chooserCancelled = false;
// The DPI tests give windows and the screen instead of the system's (0: none).
UINT s_dpiForTesting = 0;

// Per-monitor DPI calls, which systems before Windows 10 (1607) lack: looked up once.
template <class Fn>
Fn User32Proc(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

UINT DpiOfWindow(::HWND hwnd) {
    if (s_dpiForTesting)
        return s_dpiForTesting;
    using GetDpiForWindowFn = UINT(WINAPI*)(::HWND);
    static const auto getDpi = User32Proc<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = getDpi ? getDpi(hwnd) : 0;
    return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

UINT DpiOfSystem() {
    if (s_dpiForTesting)
        return s_dpiForTesting;
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const auto getDpi = User32Proc<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpi)
        return getDpi();
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// Device pixels per logical pixel at `dpi`: whole numbers only, cut down as GDK takes
// GDK_SCALE (150 % draws at 1, 200 % at 2), so that skins stay sharp.
int ScaleOfDpi(UINT dpi) {
    return std::max(1, static_cast<int>(dpi / USER_DEFAULT_SCREEN_DPI));
}

// Device to logical pixels, rounding towards minus infinity (a captured pointer may be
// left of or above the window).
int ToLogical(int v, int scale) {
    return v >= 0 ? v / scale : -((-v + scale - 1) / scale);
}
CPoint ToLogical(POINT pt, int scale) {
    return CPoint(ToLogical(pt.x, scale), ToLogical(pt.y, scale));
}

UINT KeyFlags() {
    UINT flags = 0;
    if (::GetKeyState(VK_SHIFT) < 0)
        flags |= MK_SHIFT;
    if (::GetKeyState(VK_CONTROL) < 0)
        flags |= MK_CONTROL;
    return flags;
}

LPCWSTR CursorId(SCursor c) {
    switch (c) {
        case SCursor::Hand:
            return IDC_HAND;
        case SCursor::IBeam:
            return IDC_IBEAM;
        case SCursor::SizeWE:
            return IDC_SIZEWE;
        case SCursor::SizeNS:
            return IDC_SIZENS;
        case SCursor::SizeAll:
            return IDC_SIZEALL;
        default:
            return IDC_ARROW;
    }
}

// A premultiplied BGRA bitmap as an icon (icons take straight alpha).
HICON MakeIcon(IBitmapS* bmp) {
    const int w = bmp->Width(), h = bmp->Height();
    BITMAPV5HEADER bi{};
    bi.bV5Size = sizeof bi;
    bi.bV5Width = w;
    bi.bV5Height = -h;
    bi.bV5Planes = 1;
    bi.bV5BitCount = 32;
    bi.bV5Compression = BI_BITFIELDS;
    bi.bV5RedMask = 0x00ff0000;
    bi.bV5GreenMask = 0x0000ff00;
    bi.bV5BlueMask = 0x000000ff;
    bi.bV5AlphaMask = 0xff000000;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP color = ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS,
                                       &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (!color)
        return nullptr;
    auto* out = static_cast<BYTE*>(bits);
    for (int y = 0; y < h; ++y) {
        const BYTE* row = bmp->GetPixelBits() + static_cast<size_t>(y) * bmp->Stride();
        for (int x = 0; x < w; ++x) {
            const unsigned a = row[4 * x + 3];
            BYTE* o = out + (static_cast<size_t>(y) * w + x) * 4;
            for (int c = 0; c < 3; ++c)
                o[c] = a ? static_cast<BYTE>(std::min(255u, row[4 * x + c] * 255u / a)) : 0;
            o[3] = static_cast<BYTE>(a);
        }
    }
    std::vector<BYTE> zeros(static_cast<size_t>((w + 15) / 16 * 2) * h, 0);
    HBITMAP mask = ::CreateBitmap(w, h, 1, 1, zeros.data());
    ICONINFO ii{TRUE, 0, 0, mask, color};
    HICON icon = ::CreateIconIndirect(&ii);
    ::DeleteObject(mask);
    ::DeleteObject(color);
    return icon;
}

// Delivers notify-center events while the wake event is up.
void PumpNotifyCenter() {
    SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
    if (center && center->GetWakeHandle() &&
        ::WaitForSingleObject(center->GetWakeHandle(), 0) == WAIT_OBJECT_0)
        center->DispatchPending();
}

// Runs `fn` while the pump timer keeps notify-center events flowing: for calls that run
// a system loop of their own.
template <class Fn>
auto WithEventPump(::HWND msgWnd, Fn fn) {
    ::SetTimer(msgWnd, kPumpTimer, kPumpMs, nullptr);
    auto result = fn();
    ::KillTimer(msgWnd, kPumpTimer);
    return result;
}

class SWin32Wnd : public INativeWnd {
public:
    SWin32Wnd(INativeWndHandler* handler, const SNativeWndParams& p, ::HWND msgWnd)
        : m_handler(handler), m_rc(p.rcScreen), m_msgWnd(msgWnd), m_bOpaque(!p.translucent) {
        DWORD exStyle = WS_EX_LAYERED;
        if (p.toolWindow)
            exStyle |= WS_EX_TOOLWINDOW;
        ::HWND owner = p.ownerNative ? static_cast<SWin32Wnd*>(p.ownerNative)->m_hWnd : nullptr;
        // WS_SYSMENU and WS_MINIMIZEBOX give the taskbar button its menu; nothing of the
        // frame is drawn, the layered pixels are the whole window.
        m_hWnd = ::CreateWindowExW(exStyle, kWndClass, p.title.c_str(),
                                   WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, m_rc.left, m_rc.top,
                                   m_rc.Width(), m_rc.Height(), owner, nullptr,
                                   ::GetModuleHandleW(nullptr), this);
        if (!m_hWnd)
            return;
        // The DPI is the window's monitor's, known once the window stands on one; the
        // geometry is in logical pixels, the window in device pixels.
        m_scale = ScaleOfDpi(DpiOfWindow(m_hWnd));
        if (m_scale != 1)
            PlaceNative(SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateImeContext();  // nothing has the focus yet
    }

    ~SWin32Wnd() override {
        if (!m_hWnd)
            return;
        // The handler is going: nothing DestroyWindow sends (focus, capture) may reach it.
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        m_acc.reset();  // what clients hold turns defunct
        if (m_imcAside)
            ::ImmAssociateContext(m_hWnd, m_imcAside);  // the system frees it with the window
        ::DestroyWindow(m_hWnd);
        if (m_icon)
            ::DestroyIcon(m_icon);
        FreeDib();
    }

    bool IsValid() const { return m_hWnd != nullptr; }
    ::HWND Hwnd() const { return m_hWnd; }

    void SetTitle(const SStringW& title) override { ::SetWindowTextW(m_hWnd, title.c_str()); }
    void SetGeometry(const CRect& rc) override {
        const bool resized = rc.Size() != m_rc.Size();
        m_rc = rc;
        PlaceNative(SWP_NOZORDER | SWP_NOACTIVATE);
        if (resized)
            Invalidate(CRect(0, 0, rc.Width(), rc.Height()));
    }
    CRect GetGeometry() const override { return m_rc; }
    void Show(bool bShow) override {
        if (bShow) {
            if (!m_drawn)
                Invalidate(CRect(0, 0, m_rc.Width(), m_rc.Height()));
            ::ShowWindow(m_hWnd, ::IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
        } else {
            ::ShowWindow(m_hWnd, SW_HIDE);
        }
    }
    bool IsShown() const override { return ::IsWindowVisible(m_hWnd) != FALSE; }
    void Minimize() override { ::ShowWindow(m_hWnd, SW_MINIMIZE); }
    bool IsMinimized() const override { return ::IsIconic(m_hWnd) != FALSE; }
    void Invalidate(const CRect& rc) override {
        m_rcDirty = m_rcDirty | (rc & CRect(0, 0, m_rc.Width(), m_rc.Height()));
        if (m_rcDirty.IsRectEmpty() || m_redrawPosted)
            return;
        m_redrawPosted = ::PostMessageW(m_hWnd, kMsgRedraw, 0, 0) != FALSE;
    }
    // The monitor's DPI in whole steps of 96 once the process is per-monitor aware (its
    // manifest); until then the system reports 96 and scales the window as a whole.
    int GetScale() const override { return m_scale; }
    void SetCursor(SCursor cursor) override {
        m_cursor = cursor;
        // WM_SETCURSOR comes only with the next move: a pointer already over the window
        // takes the shape now.
        if (m_tracking || ::GetCapture() == m_hWnd)
            ::SetCursor(::LoadCursorW(nullptr, CursorId(cursor)));
    }
    void SetIcon(IBitmapS* icon) override {
        if (!icon || !icon->GetPixelBits())
            return;
        HICON h = MakeIcon(icon);
        if (!h)
            return;
        // The system scales the one image to the big (Alt+Tab) and small (taskbar) sizes.
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(h));
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(h));
        if (m_icon)
            ::DestroyIcon(m_icon);
        m_icon = h;
    }
    void SetImeCursorRect(const CRect& rc) override {
        m_rcImeCaret = rc;
        PlaceIme();
    }
    void GrabFocus() override { ::SetFocus(m_hWnd); }
    void EnableInput(bool bEnable) override { ::EnableWindow(m_hWnd, bEnable); }
    void OnAccFocus(SWindow* wnd) override {
        UpdateImeContext();
        if (SWin32Accessible* acc = Acc())
            acc->OnFocus(wnd);
    }
    void OnAccRemoved(SWindow* wnd) override {
        if (m_acc)
            m_acc->OnRemoved(wnd);
    }
    bool BeginSystemMove(CPoint) override {
        // The system's move loop runs until the button goes up and eats that release; the
        // handler still gets it, so that nothing stays pressed. A notify-center event
        // may close the window meanwhile.
        std::weak_ptr<bool> alive = m_alive;
        ::ReleaseCapture();
        WithEventPump(m_msgWnd, [&] {
            return ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
        });
        if (alive.expired())
            return true;
        POINT pt;
        ::GetCursorPos(&pt);
        SMouseInput in;
        in.kind = SMouseInput::LUp;
        in.ptScreen = ToLogical(pt, m_scale);
        ::ScreenToClient(m_hWnd, &pt);
        in.pt = ToLogical(pt, m_scale);
        in.flags = KeyFlags();
        m_handler->OnNativeMouse(in);
        return true;
    }

    uint32_t PixelAt(int x, int y) const {
        if (!m_bits || x < 0 || y < 0 || x >= m_dibSize.cx || y >= m_dibSize.cy)
            return 0;
        uint32_t v;
        std::memcpy(
            &v, static_cast<const BYTE*>(m_bits) + (static_cast<size_t>(y) * m_dibSize.cx + x) * 4,
            4);
        return v;
    }

    static LRESULT CALLBACK WndProc(::HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            auto* self = static_cast<SWin32Wnd*>(cs->lpCreateParams);
            self->m_hWnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<SWin32Wnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self)
            return ::DefWindowProcW(hwnd, msg, wp, lp);
        LRESULT result = 0;
        // The handler may destroy this window from any of its callbacks: nothing of `self`
        // is touched after one returns.
        if (self->OnMessage(msg, wp, lp, &result))
            return result;
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }

private:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
        switch (msg) {
            case kMsgRedraw:
                m_redrawPosted = false;
                Redraw();
                return true;
            case WM_MOUSEMOVE:
                if (!m_tracking) {
                    TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hWnd, 0};
                    m_tracking = ::TrackMouseEvent(&tme) != FALSE;
                }
                Mouse(SMouseInput::Move, wp, lp);
                return true;
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                ::SetCapture(m_hWnd);
                Mouse(msg == WM_LBUTTONDOWN ? SMouseInput::LDown : SMouseInput::LDblClk, wp, lp);
                return true;
            case WM_LBUTTONUP:
                if (::GetCapture() == m_hWnd)
                    ::ReleaseCapture();
                Mouse(SMouseInput::LUp, wp, lp);
                return true;
            case WM_MOUSEWHEEL: {
                m_wheelAcc += GET_WHEEL_DELTA_WPARAM(wp);
                const int notches = m_wheelAcc / WHEEL_DELTA;
                m_wheelAcc -= notches * WHEEL_DELTA;
                if (notches == 0)
                    return true;
                POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
                SMouseInput in;
                in.kind = SMouseInput::Wheel;
                in.ptScreen = ToLogical(pt, m_scale);
                ::ScreenToClient(m_hWnd, &pt);
                in.pt = ToLogical(pt, m_scale);
                in.flags = static_cast<UINT>(GET_KEYSTATE_WPARAM(wp)) & (MK_SHIFT | MK_CONTROL);
                in.wheelDelta = notches;
                m_handler->OnNativeMouse(in);
                return true;
            }
            case WM_MOUSELEAVE: {
                m_tracking = false;
                SMouseInput in;
                in.kind = SMouseInput::Leave;
                m_handler->OnNativeMouse(in);
                return true;
            }
            case WM_SETCURSOR:
                if (LOWORD(lp) != HTCLIENT)
                    return false;
                ::SetCursor(::LoadCursorW(nullptr, CursorId(m_cursor)));
                *result = TRUE;
                return true;
            case WM_KEYDOWN:
            case WM_KEYUP:
            case WM_SYSKEYDOWN:
            case WM_SYSKEYUP:
                return Key(msg, wp);
            case WM_CHAR:
            case WM_IME_CHAR:
                // An input method's character: taken here rather than as the WM_CHAR that
                // DefWindowProc would post behind keys already queued. A composition's
                // result comes with WM_IME_COMPOSITION instead (see Composition).
                Char(static_cast<wchar_t>(wp));
                return true;
            case WM_IME_SETCONTEXT:
                // The handler draws the composition itself; the input method keeps only its
                // candidate list.
                *result = ::DefWindowProcW(m_hWnd, msg, wp, lp & ~ISC_SHOWUICOMPOSITIONWINDOW);
                return true;
            case WM_IME_STARTCOMPOSITION:
                // Some input methods forget the place between two compositions.
                PlaceIme();
                return true;
            case WM_IME_COMPOSITION:
                return Composition(lp);
            case WM_IME_ENDCOMPOSITION:
                m_handler->OnNativePreedit(SStringW());
                return true;
            case WM_SETFOCUS:
            case WM_KILLFOCUS:
                if (msg == WM_SETFOCUS) {
                    UpdateImeContext();
                    if (m_acc)
                        m_acc->OnWindowFocus();
                }
                m_handler->OnNativeFocus(msg == WM_SETFOCUS);
                return true;
            case WM_GETOBJECT: {
                SWin32Accessible* acc = Acc();
                intptr_t r = 0;
                if (!acc || !acc->OnGetObject(wp, lp, &r))
                    return false;
                *result = r;
                return true;
            }
            case kMsgAccAction:
                if (m_acc)
                    m_acc->RunPendingActions();  // may destroy this window
                return true;
            case WM_DPICHANGED:
                OnDpiChanged(ScaleOfDpi(LOWORD(wp)), *reinterpret_cast<const RECT*>(lp));
                return true;
            case WM_CLOSE:
                m_handler->OnNativeCloseRequest();  // the host window decides and destroys
                return true;
            case WM_WINDOWPOSCHANGED: {
                // A system move (caption drag) places the window: keep its word. A minimized
                // window stands off screen and keeps the place it will come back to.
                const auto* wp2 = reinterpret_cast<const WINDOWPOS*>(lp);
                if (!(wp2->flags & SWP_NOMOVE) && !::IsIconic(m_hWnd)) {
                    const CPoint pt = ToLogical(POINT{wp2->x, wp2->y}, m_scale);
                    m_rc = CRect(pt.x, pt.y, pt.x + m_rc.Width(), pt.y + m_rc.Height());
                }
                return true;
            }
            case WM_ERASEBKGND:
                *result = 1;
                return true;
            default:
                return false;
        }
    }

    void Mouse(SMouseInput::Kind kind, WPARAM wp, LPARAM lp) {
        SMouseInput in;
        in.kind = kind;
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        in.pt = ToLogical(pt, m_scale);
        ::ClientToScreen(m_hWnd, &pt);
        in.ptScreen = ToLogical(pt, m_scale);
        in.flags = static_cast<UINT>(wp) & (MK_SHIFT | MK_CONTROL);
        m_handler->OnNativeMouse(in);
    }

    bool Key(UINT msg, WPARAM vk) {
        const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
        const UINT flags = KeyFlags();
        // A key that types a character goes to a text field as text (WM_CHAR), as the
        // input method hands it over elsewhere; the field still gets editing keys and
        // Ctrl shortcuts.
        if (m_handler->WantsTextInput() && !(flags & MK_CONTROL) && ::GetKeyState(VK_MENU) >= 0) {
            const UINT ch = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_CHAR) & 0x7fffffff;
            if (ch >= 0x20)
                return true;
        }
        if (msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) {
            // Alt+F4 and the system menu stay the system's.
            if (vk == VK_F4 || vk == VK_MENU || vk == VK_SPACE)
                return false;
        }
        m_handler->OnNativeKey(static_cast<UINT>(vk), down, flags);
        return true;
    }

    void Char(wchar_t c) {
        if (IS_HIGH_SURROGATE(c)) {
            if (m_highSurrogate)
                Text(SStringW(1, L'\xFFFD'));
            m_highSurrogate = c;
            return;
        }
        SStringW text;
        if (IS_LOW_SURROGATE(c)) {
            if (m_highSurrogate)
                text = {m_highSurrogate, c};
            else
                text = L"\xFFFD";
        } else {
            if (m_highSurrogate)
                text = L"\xFFFD";
            // Control characters (Enter, Tab, Backspace, Ctrl+letters) came as keys.
            if (c >= 0x20 && c != 0x7f)
                text += c;
        }
        m_highSurrogate = 0;
        if (!text.empty())
            Text(text);
    }
    void Text(const SStringW& text) {
        if (m_handler->WantsTextInput())
            m_handler->OnNativeText(text);
    }

    bool Composition(LPARAM lp) {
        HIMC imc = ::ImmGetContext(m_hWnd);
        if (!imc)
            return false;
        auto read = [&](DWORD which) {
            SStringW s;
            const LONG bytes = ::ImmGetCompositionStringW(imc, which, nullptr, 0);
            if (bytes > 0) {
                s.resize(static_cast<size_t>(bytes) / sizeof(wchar_t));
                ::ImmGetCompositionStringW(imc, which, s.data(), static_cast<DWORD>(bytes));
            }
            return s;
        };
        const bool hasResult = (lp & GCS_RESULTSTR) != 0;
        const bool hasComp = (lp & GCS_COMPSTR) != 0;
        SStringW resultText = hasResult ? read(GCS_RESULTSTR) : SStringW();
        SStringW comp = hasComp ? read(GCS_COMPSTR) : SStringW();
        ::ImmReleaseContext(m_hWnd, imc);
        // The result is taken here, not as WM_IME_CHAR/WM_CHAR, so it comes once.
        if (hasResult) {
            m_handler->OnNativePreedit(SStringW());
            if (!resultText.empty())
                Text(resultText);
        }
        if (hasComp)
            m_handler->OnNativePreedit(comp);
        return hasResult || hasComp;
    }

    void Redraw() {
        const CRect dirty = m_rcDirty;
        m_rcDirty = CRect();
        IRenderTarget* rt = m_handler->OnNativeRender(dirty);
        const BYTE* bits = nullptr;
        int stride = 0;
        if (!rt || !rt->GetPixels(&bits, &stride))
            return;
        const CSize size(m_rc.Width() * m_scale, m_rc.Height() * m_scale);
        if (size.cx <= 0 || size.cy <= 0 || !EnsureDib(size))
            return;
        // The window keeps its geometry; a target of another size gives what overlaps.
        const CSize src(rt->GetSize().cx * rt->GetScale(), rt->GetSize().cy * rt->GetScale());
        const int w = std::min(src.cx, size.cx), h = std::min(src.cy, size.cy);
        auto* dst = static_cast<BYTE*>(m_bits);
        std::memset(dst, 0, static_cast<size_t>(size.cx) * size.cy * 4);
        for (int y = 0; y < h; ++y)
            std::memcpy(dst + static_cast<size_t>(y) * size.cx * 4,
                        bits + static_cast<size_t>(y) * stride, static_cast<size_t>(w) * 4);
        if (m_bOpaque) {
            // A window that did not ask for translucency is laid over white, as on GTK
            // without a compositor: nothing of it is see-through or click-through.
            for (size_t i = 0; i < static_cast<size_t>(size.cx) * size.cy; ++i) {
                BYTE* px = dst + i * 4;
                const BYTE rest = static_cast<BYTE>(255 - px[3]);
                px[0] = static_cast<BYTE>(px[0] + rest);
                px[1] = static_cast<BYTE>(px[1] + rest);
                px[2] = static_cast<BYTE>(px[2] + rest);
                px[3] = 255;
            }
        }
        SIZE sz{size.cx, size.cy};
        POINT ptSrc{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        // The window stays where it is (a minimized one off screen).
        if (::UpdateLayeredWindow(m_hWnd, nullptr, nullptr, &sz, m_memDC, &ptSrc, 0, &blend,
                                  ULW_ALPHA)) {
            m_drawn = true;
            ++s_framesDrawn;
            if (m_acc)
                m_acc->OnFrame();
        }
    }

    // Puts the native window where the logical geometry says, at the current scale.
    void PlaceNative(UINT flags) {
        ::SetWindowPos(m_hWnd, nullptr, m_rc.left * m_scale, m_rc.top * m_scale,
                       m_rc.Width() * m_scale, m_rc.Height() * m_scale, flags);
    }

    // The window went to a monitor of another DPI (or that monitor's DPI changed): the
    // system's rectangle keeps the window's place on it; the size is the layout's at the
    // new scale, which whole-number scales may make differ from the system's.
    void OnDpiChanged(int scale, const RECT& suggested) {
        if (scale == m_scale)
            return;
        m_scale = scale;
        ::SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, m_rc.Width() * scale,
                       m_rc.Height() * scale, SWP_NOZORDER | SWP_NOACTIVATE);
        Invalidate(CRect(0, 0, m_rc.Width(), m_rc.Height()));
        PlaceIme();
    }

    // Keys reach the input method only while a text field has the focus: elsewhere it
    // would swallow them into a composition nothing shows.
    void UpdateImeContext() {
        const bool want = m_handler->WantsTextInput();
        if (want == m_imeOn)
            return;
        m_imeOn = want;
        // The window's own context is set aside and given back (IACE_DEFAULT does not
        // bring it back everywhere).
        if (want) {
            ::ImmAssociateContext(m_hWnd, m_imcAside);
            m_imcAside = nullptr;
        } else {
            m_imcAside = ::ImmAssociateContext(m_hWnd, nullptr);
        }
    }

    // Puts the input method's composition and candidates at the field's caret, with a
    // font of the caret's height.
    void PlaceIme() {
        if (m_rcImeCaret.IsRectEmpty())
            return;
        HIMC imc = ::ImmGetContext(m_hWnd);
        if (!imc)
            return;
        const CRect rc(m_rcImeCaret.left * m_scale, m_rcImeCaret.top * m_scale,
                       m_rcImeCaret.right * m_scale, m_rcImeCaret.bottom * m_scale);
        COMPOSITIONFORM cf{};
        cf.dwStyle = CFS_POINT;
        cf.ptCurrentPos = {rc.left, rc.top};
        ::ImmSetCompositionWindow(imc, &cf);
        CANDIDATEFORM cand{};
        cand.dwStyle = CFS_EXCLUDE;
        cand.ptCurrentPos = {rc.left, rc.bottom};
        cand.rcArea = {rc.left, rc.top, rc.right, rc.bottom};
        ::ImmSetCandidateWindow(imc, &cand);
        LOGFONTW lf{};
        lf.lfHeight = rc.Height();  // the cell height: the caret spans the line
        lf.lfCharSet = DEFAULT_CHARSET;
        ::ImmSetCompositionFontW(imc, &lf);
        ::ImmReleaseContext(m_hWnd, imc);
    }

    // The accessibility layer, made when first needed; null when the handler has no tree.
    SWin32Accessible* Acc() {
        if (!m_acc) {
            SWindow* root = m_handler->GetAccessibleRoot();
            if (!root)
                return nullptr;
            m_acc = std::make_unique<SWin32Accessible>(m_hWnd, root, kMsgAccAction,
                                                       [this] { return m_scale; });
        }
        return m_acc.get();
    }

    bool EnsureDib(CSize size) {
        if (m_dib && m_dibSize == size)
            return true;
        FreeDib();
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = size.cx;
        bi.bmiHeader.biHeight = -size.cy;  // top-down, as the target's rows
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        m_memDC = ::CreateCompatibleDC(nullptr);
        m_dib = ::CreateDIBSection(m_memDC, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (!m_memDC || !m_dib) {
            FreeDib();
            return false;
        }
        m_oldBmp = ::SelectObject(m_memDC, m_dib);
        m_dibSize = size;
        return true;
    }
    void FreeDib() {
        if (m_memDC && m_oldBmp)
            ::SelectObject(m_memDC, m_oldBmp);
        if (m_dib)
            ::DeleteObject(m_dib);
        if (m_memDC)
            ::DeleteDC(m_memDC);
        m_memDC = nullptr;
        m_dib = nullptr;
        m_oldBmp = nullptr;
        m_bits = nullptr;
        m_dibSize = CSize();
    }

    INativeWndHandler* m_handler;
    CRect m_rc;
    ::HWND m_msgWnd;
    bool m_bOpaque;  // translucent pixels are laid over white
    ::HWND m_hWnd = nullptr;
    CRect m_rcDirty;  // client pixels waiting for the next frame
    bool m_redrawPosted = false;
    bool m_drawn = false;
    HDC m_memDC = nullptr;
    HBITMAP m_dib = nullptr;
    HGDIOBJ m_oldBmp = nullptr;
    void* m_bits = nullptr;
    CSize m_dibSize;
    HICON m_icon = nullptr;
    SCursor m_cursor = SCursor::Arrow;
    bool m_tracking = false;  // TrackMouseEvent will report the leave
    int m_wheelAcc = 0;       // wheel delta short of a notch
    wchar_t m_highSurrogate = 0;
    int m_scale = 1;            // device pixels per logical pixel
    CRect m_rcImeCaret;         // the focused field's caret, logical client pixels
    bool m_imeOn = true;        // the window has its input context (the system's default)
    HIMC m_imcAside = nullptr;  // the window's context while it is off
    std::unique_ptr<SWin32Accessible> m_acc;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace

struct SWin32Host::Impl {
    ::HWND msgWnd = nullptr;
    bool comUp = false;  // this host initialized COM on the thread
    std::map<uint64_t, std::function<void()>> timers;
    uint64_t nextToken = 1;
    struct Loop {
        int code = 0;
        bool quitting = false;
    };
    std::vector<Loop> loops;

    static LRESULT CALLBACK MsgProc(::HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_TIMER) {
            auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (!self)
                return 0;
            if (wp == kPumpTimer) {
                PumpNotifyCenter();
                return 0;
            }
            auto it = self->timers.find(static_cast<uint64_t>(wp));
            if (it == self->timers.end())
                return 0;                           // removed while its message waited
            std::function<void()> fn = it->second;  // it may remove itself
            fn();
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
};

bool SWin32Host::Init() {
    ::HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(inst, kWndClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = SWin32Wnd::WndProc;
        wc.hInstance = inst;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWndClass;
        if (!::RegisterClassExW(&wc))
            return false;
    }
    if (!::GetClassInfoExW(inst, kMsgClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Impl::MsgProc;
        wc.hInstance = inst;
        wc.lpszClassName = kMsgClass;
        if (!::RegisterClassExW(&wc))
            return false;
    }
    return true;
}

SWin32Host* SWin32Host::Instance() {
    return s_pHost;
}

uint64_t SWin32Host::FramesDrawn() {
    return s_framesDrawn.load();
}

void* SWin32Host::NativeHandle(const INativeWnd* wnd) {
    return wnd ? static_cast<const SWin32Wnd*>(wnd)->Hwnd() : nullptr;
}

uint32_t SWin32Host::ShownPixelAt(const INativeWnd* wnd, int x, int y) {
    return wnd ? static_cast<const SWin32Wnd*>(wnd)->PixelAt(x, y) : 0;
}

void SWin32Host::SetDpiForTesting(unsigned dpi) {
    s_dpiForTesting = dpi;
}

SWin32Host::SWin32Host() : m_pImpl(std::make_unique<Impl>()) {
    Init();
    // Accessibility clients reach the windows' objects through COM (WM_GETOBJECT).
    m_pImpl->comUp =
        SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    m_pImpl->msgWnd =
        ::CreateWindowExW(0, kMsgClass, L"", 0, 0, 0, 0, 0, reinterpret_cast<::HWND>(HWND_MESSAGE),
                          nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (m_pImpl->msgWnd)
        ::SetWindowLongPtrW(m_pImpl->msgWnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(m_pImpl.get()));
    s_pHost = this;
}

SWin32Host::~SWin32Host() {
    if (s_pHost == this)
        s_pHost = nullptr;
    if (m_pImpl->msgWnd) {
        for (auto& [token, fn] : m_pImpl->timers)
            ::KillTimer(m_pImpl->msgWnd, static_cast<UINT_PTR>(token));
        ::SetWindowLongPtrW(m_pImpl->msgWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_pImpl->msgWnd);
    }
    if (m_pImpl->comUp)
        ::CoUninitialize();
}

std::unique_ptr<INativeWnd> SWin32Host::CreateNativeWnd(INativeWndHandler* handler,
                                                        const SNativeWndParams& params) {
    auto wnd = std::make_unique<SWin32Wnd>(handler, params, m_pImpl->msgWnd);
    if (!wnd->IsValid())
        return nullptr;
    return wnd;
}

CSize SWin32Host::GetScreenSize() const {
    // Logical pixels of the primary screen, as windows are placed.
    const int scale = ScaleOfDpi(DpiOfSystem());
    return {::GetSystemMetrics(SM_CXSCREEN) / scale, ::GetSystemMetrics(SM_CYSCREEN) / scale};
}

uint64_t SWin32Host::NowMs() const {
    return ::GetTickCount64();
}

uint64_t SWin32Host::AddTimer(UINT intervalMs, std::function<void()> callback) {
    const uint64_t token = m_pImpl->nextToken++;
    m_pImpl->timers[token] = std::move(callback);
    ::SetTimer(m_pImpl->msgWnd, static_cast<UINT_PTR>(token), intervalMs, nullptr);
    return token;
}

void SWin32Host::RemoveTimer(uint64_t token) {
    if (m_pImpl->timers.erase(token))
        ::KillTimer(m_pImpl->msgWnd, static_cast<UINT_PTR>(token));
}

int SWin32Host::RunLoop() {
    std::vector<Impl::Loop>& loops = m_pImpl->loops;
    loops.push_back({});
    const size_t depth = loops.size();
    // Events that waited for the loop go first; one of them may already end it.
    if (SNotifyCenter* center = SNotifyCenter::getSingletonPtr())
        center->DispatchPending();
    while (!loops[depth - 1].quitting) {
        SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
        HANDLE wake = center ? center->GetWakeHandle() : nullptr;
        const ::DWORD count = wake ? 1 : 0;
        const ::DWORD r =
            ::MsgWaitForMultipleObjectsEx(count, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (count == 1 && r == WAIT_OBJECT_0)
            center->DispatchPending();
        // Messages after every wake-up, so that a stream of events cannot starve them.
        MSG msg;
        while (!loops[depth - 1].quitting && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The system asks the thread to end: every loop ends, innermost first.
                loops[depth - 1] = {static_cast<int>(msg.wParam), true};
                if (depth > 1)
                    ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    const int code = loops[depth - 1].code;
    loops.pop_back();
    return code;
}

void SWin32Host::QuitLoop(int code) {
    if (m_pImpl->loops.empty())
        return;
    m_pImpl->loops.back() = {code, true};
    ::PostMessageW(m_pImpl->msgWnd, WM_NULL, 0, 0);  // in case the loop waits
}

int SWin32Host::LoopDepth() const {
    return static_cast<int>(m_pImpl->loops.size());
}

namespace {

int CALLBACK ChooserCallback(::HWND hwnd, UINT msg, LPARAM, LPARAM) {
    if (msg == BFFM_INITIALIZED) {
        s_chooser = hwnd;
        if (s_chooserCancelled)
            ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    return 0;
}

}  // namespace

std::optional<SStringW> SWin32Host::BrowseForFolder(const SStringW& title, INativeWnd* owner) {
    if (s_chooser != nullptr)
        return std::nullopt;  // one is open already; a second would stack a second loop
    // The shell's chooser wants COM on this thread (a single-threaded apartment).
    const HRESULT co = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOW bi{};
    bi.hwndOwner = owner ? static_cast<SWin32Wnd*>(owner)->Hwnd() : nullptr;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = ChooserCallback;
    s_chooserCancelled = false;
    PIDLIST_ABSOLUTE pidl =
        WithEventPump(m_pImpl->msgWnd, [&] { return ::SHBrowseForFolderW(&bi); });
    s_chooser = nullptr;
    std::optional<SStringW> result;
    if (pidl) {
        wchar_t path[MAX_PATH] = {};
        result = ::SHGetPathFromIDListW(pidl, path) ? SStringW(path) : SStringW();
        ::CoTaskMemFree(pidl);
    }
    if (SUCCEEDED(co))
        ::CoUninitialize();
    return result;
}

void SWin32Host::CancelFolderChooser() {
    if (s_chooser != nullptr)
        ::PostMessageW(s_chooser, WM_COMMAND, IDCANCEL, 0);
}

namespace {

// The clipboard is one for the whole session: another program may hold it a moment.
bool OpenClipboardSoon(::HWND owner) {
    for (int i = 0; i < 20; ++i) {
        if (::OpenClipboard(owner))
            return true;
        ::Sleep(10);
    }
    return false;
}

}  // namespace

bool SWin32Host::GetClipboardText(SStringW* text) {
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboardSoon(m_pImpl->msgWnd))
        return false;
    bool ok = false;
    if (HANDLE h = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(h))) {
            const size_t max = ::GlobalSize(h) / sizeof(wchar_t);
            *text = SStringW(p, wcsnlen(p, max));
            ::GlobalUnlock(h);
            ok = true;
        }
    }
    ::CloseClipboard();
    return ok;
}

void SWin32Host::SetClipboardText(const SStringW& text) {
    if (!OpenClipboardSoon(m_pImpl->msgWnd))
        return;
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = ::GlobalLock(h)) {
            std::memcpy(p, text.c_str(), bytes);
            ::GlobalUnlock(h);
            if (!::SetClipboardData(CF_UNICODETEXT, h))
                ::GlobalFree(h);
        } else {
            ::GlobalFree(h);
        }
    }
    ::CloseClipboard();
}

}  // namespace SOUI
