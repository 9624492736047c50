#pragma once
// The GTK host: each host window is an undecorated GtkWindow with one drawing area that
// shows the window's memory render target. Input, timers, the notify-center wake-up,
// nested loops, the folder chooser, the window icon, cursors and input methods come
// from GTK. Call gtk_init (or SGtkHost::Init) on the UI thread first.

#include "uilib/SHostBackend.h"

namespace SOUI {

class SGtkHost : public IHostBackend {
public:
    // Initialises GTK (with GDK_GL=disable); false when there is no display.
    static bool Init();
    // Frames drawn into native windows so far, by every host of the process: a test waits
    // for it to advance before it looks at the screen.
    static uint64_t FramesDrawn();
    SGtkHost();
    ~SGtkHost() override;

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

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace SOUI
