#include <windows.h>

#include "platform/Text.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/ProductWindow.h"

namespace qidemo {

namespace {

constexpr wchar_t kClassName[] = L"QuilloraDemoProduct";
constexpr int kWidth = 480;
constexpr int kHeight = 220;
constexpr int kCloseId = 1;

HFONT s_hFont = nullptr;

HWND AddChild(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
              int w, int h, int id) {
    HWND child = ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (child != nullptr && s_hFont != nullptr)
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(s_hFont), FALSE);
    return child;
}

LRESULT CALLBACK ProductWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kCloseId)
                ::DestroyWindow(wnd);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

}  // namespace

bool RunProductWindow(int&, char**&, const std::string& dir, const std::function<void()>& shown) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ProductWndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (::RegisterClassExW(&wc) == 0)
        return false;
    // The CJK face first, the installed fallback behind it, as the installer names them.
    s_hFont = ::CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                            L"Microsoft YaHei");

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rc{0, 0, kWidth, kHeight};
    ::AdjustWindowRectEx(&rc, style, FALSE, 0);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    const std::wstring title = platform::Utf8ToWide(kProductTitle);
    HWND wnd = ::CreateWindowExW(0, kClassName, title.c_str(), style, x, y, w, h, nullptr, nullptr,
                                 instance, nullptr);
    if (wnd == nullptr)
        return false;

    const std::wstring heading =
        title + L" " + platform::Utf8ToWide(kProductVersion) + L"\r\n安装成功 — installed";
    AddChild(wnd, L"STATIC", heading, SS_CENTER, 24, 24, kWidth - 48, 44, 0);
    AddChild(wnd, L"STATIC", L"安装目录 / installed in:\r\n" + platform::Utf8ToWide(dir), SS_CENTER,
             24, 80, kWidth - 48, 70, 0);
    HWND close = AddChild(wnd, L"BUTTON", L"关闭 / Close", BS_DEFPUSHBUTTON | WS_TABSTOP,
                          (kWidth - 120) / 2, kHeight - 52, 120, 30, kCloseId);
    ::ShowWindow(wnd, SW_SHOWNORMAL);
    ::UpdateWindow(wnd);
    ::SetForegroundWindow(wnd);
    ::SetFocus(close);
    shown();

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Escape closes the window from whichever control has the focus.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            ::DestroyWindow(wnd);
            continue;
        }
        if (::IsDialogMessageW(wnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (s_hFont != nullptr)
        ::DeleteObject(s_hFont);
    return true;
}

}  // namespace qidemo
