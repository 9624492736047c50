#pragma once
// The Windows-style basic types, message ids and geometry the library's users write in.

#include <algorithm>
#include <cstdint>

namespace SOUI {

using BYTE = uint8_t;
using UINT = unsigned int;
using DWORD = uint32_t;
using BOOL = int;
using HRESULT = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
// Colour with alpha: 0xAABBGGRR, as RGBA() builds it.
using COLORREF = uint32_t;

// The handle of a host window (the SHostWnd object behind it).
using HWND = struct SHWND__*;
using HINSTANCE = void*;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr COLORREF RGBA(unsigned r, unsigned g, unsigned b, unsigned a) {
    return (r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16) | ((a & 0xff) << 24);
}
constexpr unsigned GetRValue(COLORREF c) {
    return c & 0xff;
}
constexpr unsigned GetGValue(COLORREF c) {
    return (c >> 8) & 0xff;
}
constexpr unsigned GetBValue(COLORREF c) {
    return (c >> 16) & 0xff;
}
constexpr unsigned GetAValue(COLORREF c) {
    return (c >> 24) & 0xff;
}
// "No colour set": fully transparent white never comes out of a colour parse with an
// explicit alpha of 0 in the layouts, and it is what the library this replaces used.
constexpr COLORREF CR_INVALID = 0x00ffffff;

// Window state flags.
constexpr DWORD WndState_Normal = 0;
constexpr DWORD WndState_Hover = 0x01;
constexpr DWORD WndState_PushDown = 0x02;
constexpr DWORD WndState_Check = 0x04;
constexpr DWORD WndState_Invisible = 0x08;
constexpr DWORD WndState_Disable = 0x10;

// DrawText formats.
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Virtual key codes the controls react to.
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_DELETE = 0x2E;

// Modifier bits given with key and mouse input.
constexpr UINT MK_SHIFT = 0x4;
constexpr UINT MK_CONTROL = 0x8;

struct CPoint {
    int x = 0;
    int y = 0;
    CPoint() = default;
    CPoint(int px, int py) : x(px), y(py) {}
    bool operator==(const CPoint&) const = default;
};

struct CSize {
    int cx = 0;
    int cy = 0;
    CSize() = default;
    CSize(int w, int h) : cx(w), cy(h) {}
    bool operator==(const CSize&) const = default;
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    bool operator==(const CRect&) const = default;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return {Width(), Height()}; }
    CPoint TopLeft() const { return {left, top}; }
    CPoint CenterPoint() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool PtInRect(CPoint pt) const {
        return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom;
    }
    void OffsetRect(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void DeflateRect(int l, int t, int r, int b) {
        left += l;
        top += t;
        right -= r;
        bottom -= b;
    }
    void DeflateRect(const CRect& by) { DeflateRect(by.left, by.top, by.right, by.bottom); }
    void InflateRect(int dx, int dy) { DeflateRect(-dx, -dy, -dx, -dy); }
    // Intersection; an empty result is (0,0,0,0).
    CRect operator&(const CRect& o) const {
        CRect r(std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom));
        return r.IsRectEmpty() ? CRect() : r;
    }
    CRect operator|(const CRect& o) const {
        if (IsRectEmpty())
            return o;
        if (o.IsRectEmpty())
            return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }
};

}  // namespace SOUI

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Window messages, with the Windows ids.
#ifndef WM_CLOSE
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SETCURSOR 0x0020
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define IDOK 1
#define IDCANCEL 2
#endif
