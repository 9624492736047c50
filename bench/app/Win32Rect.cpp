// The Windows baseline: a minimal Win32 window the size of the installer's, borderless, that
// fills one rectangle with GDI and ends on a left click or when it is closed. Measured from
// outside as the installer is (first frame, peak memory).
#include <windows.h>

namespace {

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            HBRUSH brush = ::CreateSolidBrush(RGB(0, 69, 69));
            RECT rc{0, 0, 640, 400};
            ::FillRect(dc, &rc, brush);
            ::DeleteObject(brush);
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONUP:
            ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"BenchWin32Rect";
    if (!::RegisterClassW(&wc))
        return 2;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - 640) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - 400) / 2;
    // On the taskbar, as the installer's window is (and so, under Wine, a managed X window).
    HWND hwnd = ::CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"rect", WS_POPUP, x, y, 640,
                                  400, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr)
        return 2;
    ::ShowWindow(hwnd, show == 0 ? SW_SHOWNORMAL : show);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
