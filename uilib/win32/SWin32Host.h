#pragma once
// The Win32 host: each host window is a layered popup (WS_EX_LAYERED) whose pixels come
// from the window's memory render target, copied into a premultiplied 32-bit DIB and
// shown with UpdateLayeredWindow, so a skin's alpha reaches the desktop as drawn. The
// loop waits on the thread's messages and the notify center's wake event; timers live on
// a hidden message-only window. Everything runs on the thread that made the host.
//
// Geometry is in logical pixels: a window on a monitor of 192 DPI is twice its layout's
// size in device pixels and draws at scale 2 (once the process is per-monitor DPI aware);
// screen positions are device pixels divided by that scale. Input methods are placed at
// the focused field's caret and kept away from other controls; WM_GETOBJECT answers with
// the window's MSAA tree (SWin32Accessible).

#include <cstdint>

#include "uilib/SHostBackend.h"

namespace SOUI {

class SWin32Host : public IHostBackend {
public:
    // Registers the window classes; false when the system refuses them.
    static bool Init();
    // The host of this process (null: none); the last one made wins.
    static SWin32Host* Instance();
    // Frames shown by native windows so far, by every host of the process: a test waits
    // for it to advance before it looks at a window's pixels.
    static uint64_t FramesDrawn();
    // The HWND of one of this host's windows, as void* (the header stays free of
    // windows.h).
    static void* NativeHandle(const INativeWnd* wnd);
    // A pixel of the layered window's DIB as 0xAARRGGBB (premultiplied), what the window
    // last showed; 0 outside it or before its first frame.
    static uint32_t ShownPixelAt(const INativeWnd* wnd, int x, int y);
    // Makes windows made from now on and the screen report `dpi` instead of the system's
    // (0: the system's again); WM_DPICHANGED still sets a window's own.
    static void SetDpiForTesting(unsigned dpi);

    SWin32Host();
    ~SWin32Host() override;

    std::unique_ptr<INativeWnd> CreateNativeWnd(INativeWndHandler* handler,
                                                const SNativeWndParams& params) override;
    CSize GetScreenSize() const override;
    uint64_t NowMs() const override;
    uint64_t AddTimer(UINT intervalMs, std::function<void()> callback) override;
    void RemoveTimer(uint64_t token) override;
    int RunLoop() override;
    void QuitLoop(int code) override;
    int LoopDepth() const override;
    std::optional<SStringW> BrowseForFolder(const SStringW& title,
                                            INativeWnd* owner = nullptr) override;
    void CancelFolderChooser() override;
    bool GetClipboardText(SStringW* text) override;
    void SetClipboardText(const SStringW& text) override;

    struct Impl;

private:
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace SOUI
