#pragma once
// A host window: a native window (through the application's backend) holding a window
// tree built from a layout resource. Window messages carry the Windows ids; the derived
// class's ProcessWindowMessage sees each message first, then the host's own handling
// runs for what it left (WM_TIMER of its timers, WM_CLOSE destroys, WM_SYSCOMMAND).
// Its input routing (mouse, keys, focus, moving the window) is in SHostInput.cpp.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "uilib/SApplication.h"
#include "uilib/SNotifyCenter.h"

namespace SOUI {

class SHostWnd : public SWindow,
                 public ISwndContainer,
                 public IEventHandler,
                 protected INativeWndHandler {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(SHostWnd, L"hostwnd")

public:
    // layoutName: "LAYOUT:XML_MAINWND" form.
    explicit SHostWnd(const wchar_t* layoutName = nullptr);
    ~SHostWnd() override;

    // Builds the window from its layout. x, y, cx, cy all 0: the layout's size at
    // (0, 0). Returns the handle, null when the layout does not load.
    HWND Create(HWND hOwner = nullptr, int x = 0, int y = 0, int cx = 0, int cy = 0);
    HWND m_hWnd = nullptr;
    bool IsWindow() const { return m_hWnd != nullptr; }
    static SHostWnd* FromHandle(HWND h);  // null when no such window exists

    // ---- messages
    // The derived window's message handling, before the host's own; return true when
    // handled (then the host's handling is skipped).
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult);
    LRESULT SendMessageW(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageW(msg, wParam, lParam);
    }

    // ---- timers: WM_TIMER with the id every `elapse` ms until KillTimer.
    bool SetTimer(UINT id, UINT elapse);
    bool KillTimer(UINT id);

    // ---- geometry and visibility (screen pixels)
    bool CenterWindow(HWND hRef = nullptr);
    bool ShowWindow(int nCmdShow);
    bool SetWindowPos(HWND hAfter, int x, int y, int cx, int cy, UINT flags);
    bool MoveWindow(int x, int y, int cx, int cy);
    bool DestroyWindow();
    CRect GetScreenRect() const;
    bool SetWindowTextW(const SStringW& title);  // the native title
    SStringW GetNativeTitle() const { return m_strTitle; }
    bool IsWindowVisible() const;
    bool IsIconic() const;

    // ---- events: the host's handling of its windows' events (and of delivered ones)
    bool _HandleEvent(EventArgs* evt) override;
    // Called for every event the tree raises; the default hands it to _HandleEvent.
    virtual bool OnFireEvent(EventArgs* evt) override;

    // ---- for backends and tests
    SWindow* GetRoot() { return this; }
    INativeWnd* GetNative() const { return m_pNative.get(); }
    // Renders the whole window into its memory target and returns it.
    IRenderTarget* RenderAll();
    // Processes every pending layout and paint; called by the loops before drawing.
    void UpdateLayoutIfNeeded();
    bool IsAppMain() const { return m_bAppMain; }
    const SStringW& GetTranslatorContext() const override { return m_strTrCtx; }
    const CRect& GetHostMargin() const { return m_rcMargin; }
    CSize GetMinSize() const { return m_szMin; }

    // Injected or native input, in client pixels.
    void OnNativeMouse(const SMouseInput& input) override;
    void OnNativeKey(UINT vk, bool bDown, UINT flags) override;
    void OnNativeText(const SStringW& text) override;
    void OnNativePreedit(const SStringW& text) override;
    void OnNativeFocus(bool bFocused) override;
    void OnNativeCloseRequest() override;
    IRenderTarget* OnNativeRender(const CRect& rcDirty) override;
    SWindow* GetAccessibleRoot() override { return this; }

    // ISwndContainer
    void OnInvalidate(const CRect& rc) override;
    void OnRelayout() override;
    void OnSetCapture(SWindow* wnd) override;
    void OnReleaseCapture(SWindow* wnd) override;
    SWindow* GetCapture() const override { return m_pCapture; }
    void OnSetFocus(SWindow* wnd) override;
    SWindow* GetFocus() const override { return m_pFocus; }
    void RegisterTimelineHandler(SWindow* wnd) override;
    void UnregisterTimelineHandler(SWindow* wnd) override;
    bool OnBeginMoveDrag(CPoint ptInClient) override;
    void OnMoveDragTo(CPoint ptInClient) override;
    void OnEndMoveDrag() override;
    bool GetClipboardText(SStringW* text) override;
    void SetClipboardText(const SStringW& text) override;
    void SetImeCursorRect(const CRect& rc) override;
    void OnWindowGone(SWindow* wnd) override;
    bool ShowsFocusCues() const override { return m_bFocusCues; }

    // Moves keyboard focus to the next (or previous) window of FocusOrder, and turns the
    // focus cues on.
    void FocusNext(bool bBackward);
    // The windows Tab visits, in tree order: focusable, shown, enabled and not wholly
    // outside the visible part of their ancestors.
    std::vector<SWindow*> FocusOrder();
    // After a new layout or size: a focused window put out of sight gives up the focus, so
    // that keys cannot change it unseen.
    void KeepFocusInSight();
    // Whether keys should go through the input method: the focus is an enabled text field.
    bool WantsTextInput() const override;

protected:
    // The host's own message handling (after ProcessWindowMessage).
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // WM_INITDIALOG, once the layout is built: where a window finds its controls and sets
    // them up.
    virtual void OnInitDialog() {}
    virtual void OnFinalMessage() {}
    // Loads the host attributes of the layout's root <SOUI> element.
    virtual void ApplyHostAttributes(const pugi::xml_node& root);

    SStringW m_strLayout;
    SStringW m_strTitle;
    SStringW m_strTrCtx;
    CRect m_rcMargin;
    CSize m_szLayout;
    CSize m_szMin;
    bool m_bResizable = false;
    bool m_bAppMain = false;
    bool m_bToolWindow = false;
    bool m_bTranslucent = false;
    SStringW m_strBigIcon;
    SStringW m_strSmallIcon;

private:
    void SetHoverWindow(SWindow* wnd);
    // The window a left press on `hit` goes to: it or its nearest ancestor that wants it.
    SWindow* PressTarget(SWindow* hit, CPoint pt) const;
    CPoint PointerOnScreen(CPoint ptInClient) const;
    void SetFocusCues(bool bShow);
    // Ends a press Space started; bActivate: released on the control, which activates.
    void EndKeyPress(bool bActivate);
    // Forgets hover, capture, focus and key press held by `wnd` or its descendants.
    void DropInputState(SWindow* wnd);
    static bool IsWithin(const SWindow* wnd, const SWindow* ancestor);
    void FlushTimeline();
    void ReleaseNative();

    std::unique_ptr<INativeWnd> m_pNative;
    IRenderTarget* m_pMemRT = nullptr;
    CRect m_rcDirty;
    bool m_bLayoutDirty = true;
    SWindow* m_pHover = nullptr;
    SWindow* m_pCapture = nullptr;
    SWindow* m_pFocus = nullptr;
    SWindow* m_pKeyPressed = nullptr;  // pushed down by Space until its release
    bool m_bFocusCues = false;
    std::optional<CPoint> m_ptInputScreen;  // of the mouse event being handled
    std::map<UINT, uint64_t> m_timers;      // id -> backend token
    std::set<SWindow*> m_timeline;
    uint64_t m_timelineToken = 0;
    bool m_bDragging = false;
    CPoint m_ptDragStart;
    CRect m_rcDragStart;
    std::shared_ptr<bool> m_alive;
};

}  // namespace SOUI
