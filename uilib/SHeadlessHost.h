#pragma once
// The headless host: no display. Windows render into memory; a virtual clock drives
// timers and animations (tests advance it); input is injected by coordinates or by
// control name; a window renders to a PNG file; the folder chooser answers from a queue.

#include <algorithm>
#include <deque>
#include <map>

#include "uilib/SHostBackend.h"

namespace SOUI {

class SHostWnd;

class SHeadlessHost : public IHostBackend {
public:
    SHeadlessHost();
    ~SHeadlessHost() override;

    std::unique_ptr<INativeWnd> CreateNativeWnd(INativeWndHandler* handler,
                                                const SNativeWndParams& params) override;
    CSize GetScreenSize() const override { return m_szScreen; }
    void SetScreenSize(CSize size) { m_szScreen = size; }
    // The device scale of every window of this host, as a HiDPI screen gives it (1 to
    // kMaxRenderScale); windows render at it from their next frame.
    void SetWindowScale(int scale) { m_nWindowScale = std::clamp(scale, 1, kMaxRenderScale); }
    int GetWindowScale() const { return m_nWindowScale; }
    uint64_t NowMs() const override { return m_nowMs; }
    uint64_t AddTimer(UINT intervalMs, std::function<void()> callback) override;
    void RemoveTimer(uint64_t token) override;
    // Runs until QuitLoop. While it waits it delivers notify-center events and posted
    // tasks; when nothing else is due it advances the virtual clock to the next timer.
    // A loop with neither tasks nor timers waits for notify-center events up to
    // `idleLimitMs` of real time and then ends with -1 (a test never hangs).
    int RunLoop() override;
    void QuitLoop(int code) override;
    int LoopDepth() const override { return static_cast<int>(m_loops.size()); }
    std::optional<SStringW> BrowseForFolder(const SStringW& title,
                                            INativeWnd* owner = nullptr) override;
    // Answers come from the queue at once: there is never a chooser left to cancel.
    void CancelFolderChooser() override {}
    bool GetClipboardText(SStringW* text) override;
    void SetClipboardText(const SStringW& text) override;

    // ---- test controls
    // Advances the virtual clock, firing due timers in time order, and delivers pending
    // notify-center events before each step.
    void Advance(uint64_t ms);
    // Delivers pending notify-center events now (UI thread); returns how many.
    size_t DispatchPending();
    // A task the running loop (or the next one) runs on the UI thread.
    void PostTask(std::function<void()> task);
    void SetIdleLimitMs(int ms) { m_idleLimitMs = ms; }
    // Answers of the folder chooser, in order; an empty queue answers "cancelled".
    void QueueFolderAnswer(std::optional<SStringW> answer);
    const SStringW& LastFolderTitle() const { return m_lastFolderTitle; }
    // Windows hand caption drags to the "window system" (as under Wayland), which here
    // only counts them and moves nothing.
    void SetSystemMoves(bool on) { m_bSystemMoves = on; }
    int SystemMovesBegun() const { return m_nSystemMoves; }
    bool TakeSystemMove() const {
        m_nSystemMoves += m_bSystemMoves ? 1 : 0;
        return m_bSystemMoves;
    }

    // Input by coordinates (client pixels of the window) or by control name.
    static void Click(SHostWnd* wnd, CPoint pt);
    static bool ClickByName(SHostWnd* wnd, const SStringW& name);
    static void MoveMouse(SHostWnd* wnd, CPoint pt);
    static void Drag(SHostWnd* wnd, CPoint from, CPoint to);
    static void Wheel(SHostWnd* wnd, CPoint pt, int notches);
    static void KeyPress(SHostWnd* wnd, UINT vk, UINT flags = 0);
    static void TypeText(SHostWnd* wnd, const SStringW& text);
    static void Preedit(SHostWnd* wnd, const SStringW& text);
    // Renders the window and writes its pixels (device pixels) as PNG; false on failure.
    static bool RenderToPng(SHostWnd* wnd, const char* utf8Path);

private:
    struct Timer {
        UINT interval;
        uint64_t due;
        std::function<void()> callback;
    };
    bool RunDueTimer(uint64_t limit);  // fires the earliest timer due by limit
    bool RunOneTask();

    int m_nWindowScale = 1;
    uint64_t m_nowMs = 0;
    uint64_t m_nextToken = 1;
    std::map<uint64_t, Timer> m_timers;
    std::deque<std::function<void()>> m_tasks;
    struct Loop {
        bool quit = false;
        int code = 0;
    };
    std::vector<Loop*> m_loops;
    std::deque<std::optional<SStringW>> m_folderAnswers;
    SStringW m_lastFolderTitle;
    SStringW m_clipboard;
    CSize m_szScreen{1920, 1080};
    bool m_bSystemMoves = false;
    mutable int m_nSystemMoves = 0;
    int m_idleLimitMs = 5000;
};

}  // namespace SOUI
