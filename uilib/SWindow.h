#pragma once
// The window: a node of a host's window tree with a rectangle in host client coordinates,
// a position rule, state flags, style, background skin and text. Controls derive from it.
//
// Attributes are applied by name (SetAttribute) through attribute tables: each class
// lists its own names in a table that extends its base class's; SetAttribute logs and
// ignores what no table and no style knows.
// Setters do nothing on an unchanged value and then invalidate.

#include <climits>
#include <functional>
#include <optional>
#include <vector>

#include "uilib/SAttrTable.h"
#include "uilib/SAutoRefPtr.h"
#include "uilib/SLayout.h"
#include "uilib/SSkin.h"
#include "uilib/SWndContainer.h"

namespace pugi {
class xml_node;
}

namespace SOUI {

// What a window is to assistive technologies. None: not exposed itself (layout panels,
// decorations); its exposed descendants stand in its place.
enum class SAccRole {
    None,
    PushButton,
    CheckBox,
    Link,
    TextField,  // an editor; read-only ones carry SAccState_ReadOnly
    Label,
    ProgressBar,
    PageTabList,
    PageTab,
};

// Accessible states (GetAccStates), combined.
constexpr DWORD SAccState_Enabled = 0x0001;
constexpr DWORD SAccState_Focusable = 0x0002;
constexpr DWORD SAccState_Focused = 0x0004;
constexpr DWORD SAccState_Checkable = 0x0008;
constexpr DWORD SAccState_Checked = 0x0010;
constexpr DWORD SAccState_Visible = 0x0020;  // it and its ancestors are visible
constexpr DWORD SAccState_Showing = 0x0040;  // visible and at least partly inside the host
constexpr DWORD SAccState_Selected = 0x0080;
constexpr DWORD SAccState_ReadOnly = 0x0100;
constexpr DWORD SAccState_MultiLine = 0x0200;

// Selected font and colours saved by BeforePaint and restored by AfterPaint.
struct SPainter {
    IFontS* oldFont = nullptr;
    COLORREF oldTextColor = 0;
};

class SWindow : public SObjectImpl<IObject> {
    using __baseCls = SObjectImpl<IObject>;
    SOUI_CLASS_NAME(SWindow, L"window")

public:
    SWindow();
    ~SWindow() override;

    int GetObjectType() const override { return 1; }
    int GetID() const override { return m_nID; }
    void SetID(int id) { m_nID = id; }
    const wchar_t* GetName() const override { return m_strName.c_str(); }
    void SetName(const SStringW& name) { m_strName = name; }

    // ---- attributes
    // Applies one attribute: the entry of that name in the class's attribute table (see
    // GetAttributes), else a style attribute. bLoading: set while the layout loads (no
    // relayout or redraw); otherwise the entry's effect follows (relayout and redraw, or
    // redraw). Returns S_OK, S_FALSE (handled, nothing to redraw), or E_FAIL for a value
    // that does not parse or an unknown name (both logged, nothing changes).
    HRESULT SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading);
    // Creates children from XML (element name = class name) and applies their
    // attributes; text content becomes the window text. Returns false on unknown classes
    // (they are skipped with a log line) and on a tree nested deeper than
    // kMaxLayoutDepth (refused whole, with a log line).
    bool CreateChildren(const pugi::xml_node& node);
    // Window trees are walked recursively (layout, paint, hit test, destruction), so
    // layouts nested deeper than this are refused before anything is created.
    static constexpr int kMaxLayoutDepth = 256;
    // True (after a log line naming `what`) when the elements under `node` nest deeper
    // than kMaxLayoutDepth levels.
    static bool IsLayoutTooDeep(const pugi::xml_node& node, const wchar_t* what);
    // Applies the attributes of an XML element (after a "class" style, if any).
    void InitFromXml(const pugi::xml_node& node);
    // Called once the window and its children are created.
    virtual void OnInitFinished() {}
    // The window leaves its tree (children first); it drops its host references.
    virtual void OnDestroy();

    // ---- tree
    SWindow* GetParent() const { return m_pParent; }
    // Takes over one reference of the child.
    void InsertChild(SWindow* child);
    // Destroys and releases a child.
    bool DestroyChild(SWindow* child);
    size_t GetChildrenCount() const { return m_children.size(); }
    SWindow* GetChild(size_t i) const { return i < m_children.size() ? m_children[i] : nullptr; }
    SWindow* GetPrevSibling() const;
    SWindow* GetNextSibling() const;
    // First window named `name` below this one (any depth when deep is -1); null when none.
    SWindow* FindChildByName(const SStringW& name, int deep = -1) const;
    SWindow* FindChildByID(int id, int deep = -1) const;
    // The same with a class check: null when the window is not of class T.
    template <class T>
    T* FindChildByName2(const SStringW& name, int deep = -1) const {
        SWindow* wnd = FindChildByName(name, deep);
        return wnd && wnd->IsClass(T::GetClassName()) ? static_cast<T*>(wnd) : nullptr;
    }
    ISwndContainer* GetContainer() const;
    // On the root window: the container of the whole tree (copied to every window in it).
    void SetContainer(ISwndContainer* container);
    SWindow* GetRoot();

    // ---- geometry
    void GetWindowRect(CRect* rc) const { *rc = m_rcWindow; }
    CRect GetWindowRect() const { return m_rcWindow; }
    // The window rectangle without the style's margin.
    void GetClientRect(CRect* rc) const;
    CRect GetClientRect() const;
    // Places the window (host client coordinates) and lays out its children.
    void Move(const CRect& rc);
    // Solves the children's position rules inside this window's client rectangle.
    virtual void UpdateChildrenPosition();
    // The content size for "@-1" rules and the "measure" of controls; the default
    // measures the window text with the window's font.
    virtual CSize GetDesiredSize(const CRect* rcContainer);
    const SLayoutPos& GetLayoutPos() const { return m_layout; }
    void RequestRelayout();
    // The frontmost visible, enabled, non-transparent window at pt (this one or below).
    SWindow* HitTest(CPoint pt);
    int GetScale() const { return 100; }

    // ---- state
    DWORD GetState() const { return m_dwState; }
    // Sets and clears state flags; invalidates when they changed. Returns the old flags.
    DWORD ModifyState(DWORD add, DWORD remove, bool bUpdate = true);
    bool IsVisible(bool bCheckParent = false) const;
    // Shows or hides; bUpdate relayouts and redraws.
    void SetVisible(bool bVisible, bool bUpdate = false);
    bool IsDisabled(bool bCheckParent = false) const;
    void EnableWindow(bool bEnable, bool bUpdate = false);
    bool IsChecked() const { return (m_dwState & WndState_Check) != 0; }
    void SetCheck(bool bCheck);
    bool IsFocusable() const;
    bool IsMsgTransparent() const { return m_bMsgTransparent; }
    bool IsFocused() const;
    void SetFocus();
    void KillFocus();
    void SetCapture();
    void ReleaseCapture();

    // ---- text
    // bRawText false: the text as the translator gives it for the host's context.
    SStringW GetWindowTextW(bool bRawText = false) const;
    void SetWindowTextW(const SStringW& text);
    const SStringW& GetToolTipText() const { return m_strToolTip; }

    // ---- style and skins
    SwndStyle& GetStyle() { return m_style; }
    const SwndStyle& GetStyle() const { return m_style; }
    ISkinObj* GetBkgndSkin() const { return m_pBgSkin.get(); }
    SCursor GetCursor() const { return m_style.cursor; }

    // ---- painting
    void Invalidate();
    void InvalidateRect(const CRect& rc);
    // Paints this window and its visible children clipped to rcDirty.
    void PaintTree(IRenderTarget* rt, const CRect& rcDirty);
    // Window messages of the tree; WM_PAINT (wParam = IRenderTarget*) paints through
    // OnPaint. Returns true when handled; result in `lResult`.
    virtual BOOL ProcessSwndMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // Selects the font and text colour of the current state; saves the old ones.
    void BeforePaint(IRenderTarget* rt, SPainter& painter);
    void AfterPaint(IRenderTarget* rt, SPainter& painter);
    // The same without saving (for measuring on a temporary target).
    void BeforePaintEx(IRenderTarget* rt);
    // A target of the application's render factory prepared by BeforePaintEx, for
    // measuring; null when there is none. The caller releases it.
    IRenderTarget* CreateMeasureTarget();
    // The font of the current state (a reference owned by the font cache).
    IFontS* GetStateFont() const;
    COLORREF GetStateTextColor() const;
    // Frame index of the current state (see ISkinObj::StateToIndex).
    int GetStateIndex() const { return ISkinObj::StateToIndex(m_dwState); }
    // Hover fade of windows with `animate`: 255 when no fade runs.
    BYTE GetAnimateAlpha() const { return m_byAniAlpha; }

    // ---- events
    // Raises an event: own subscribers first, then the host's handling.
    bool FireEvent(EventArgs* evt);
    // Raises the command event (id 10000) from this window.
    bool FireCommand();
    using EventHandler = std::function<bool(EventArgs*)>;
    void SubscribeEvent(int eventId, EventHandler handler);

    // ---- input (called by the host; coordinates in host client pixels)
    virtual void OnLButtonDown(CPoint pt, UINT flags);
    virtual void OnLButtonUp(CPoint pt, UINT flags);
    virtual void OnLButtonDblClk(CPoint pt, UINT flags) { OnLButtonDown(pt, flags); }
    virtual void OnMouseMove(CPoint pt, UINT flags);
    virtual void OnMouseHover();
    virtual void OnMouseLeave();
    // Returns true when consumed; delta in wheel notches (+1 up).
    virtual bool OnMouseWheel(int delta, CPoint pt);
    // Returns true when consumed.
    virtual bool OnKeyDown(UINT vk, UINT flags);
    virtual bool OnKeyUp(UINT vk, UINT flags);
    // Committed text (typed characters or input-method result).
    virtual void OnChar(const SStringW& text) { (void)text; }
    // The input method's composition text (preedit); empty when it ends.
    virtual void OnImeComposition(const SStringW& text) { (void)text; }
    virtual void OnSetFocus() { Invalidate(); }
    virtual void OnKillFocus() { Invalidate(); }
    virtual void OnCaptureChanged() {}
    // Enter or Space on the focused window (buttons click).
    virtual bool OnActivate() { return false; }
    // Called about every 10 ms while registered with the host's timeline.
    virtual void OnNextFrame();
    // Wants Tab for itself (multi-line editors); false for the usual controls.
    virtual bool WantsTab() const { return false; }
    // Whether a left press at pt is for this window. Controls the user works with take it;
    // text, images, pages and other containers do not, and the host offers the press to
    // their ancestors instead (so a caption drags through the content it holds). The
    // default: focusable windows take it.
    virtual bool WantsPress(CPoint pt) const {
        (void)pt;
        return IsFocusable();
    }
    // A text field: typed text and the input method go to it, so keys do not reach it
    // before the input method has seen them.
    virtual bool AcceptsText() const { return false; }

    // ---- accessibility (what the host's accessibility layer tells assistive technologies)
    virtual SAccRole GetAccRole() const { return SAccRole::None; }
    // The windows an accessibility layer shows under this one, in order: the visible
    // descendants with a role, those without one passed through (their children take their
    // place).
    void GetAccChildren(std::vector<SWindow*>* out);
    // The `accName` attribute (translated) when the layout gives one, else
    // GetAccDefaultName().
    SStringW GetAccName() const;
    // SAccState_* of the window as it is now.
    virtual DWORD GetAccStates() const;
    // The text content behind AtkText-like queries (labels, editors).
    virtual SStringW GetAccText() const { return GetWindowTextW(); }
    // Current value and range of value controls; false for the rest.
    virtual bool GetAccValue(int* value, int* min, int* max) const {
        (void)value, (void)min, (void)max;
        return false;
    }
    // Buttons, check boxes and links have one action, a click.
    bool HasAccAction() const;
    // Clicks as Enter/Space on the focused control would; false (nothing done) when the
    // window has no action or is disabled or hidden.
    bool DoAccAction();

private:
    bool CreateChildrenOf(const pugi::xml_node& node);

protected:
    // The accessible name without an accName: the window text. Controls whose text is
    // content (editors) or who name themselves otherwise override it.
    virtual SStringW GetAccDefaultName() const { return GetWindowTextW(); }
    // `src` as the translator gives it for the host's context.
    SStringW TrInContext(const SStringW& src) const;
    virtual void OnPaint(IRenderTarget* rt);
    // Background: colour, then skin frame of the state.
    virtual void DrawBackground(IRenderTarget* rt, const CRect& rc);
    virtual void DrawText(IRenderTarget* rt, const SStringW& text, CRect rc, UINT format);
    // Draws a focus hint (outline) when focused and focusable, while the host shows
    // focus cues.
    virtual void DrawFocus(IRenderTarget* rt);
    // Focused, and the host shows focus cues now.
    bool ShowsFocusCue() const;
    // The window text with the font and colour of the current state, through DrawText:
    // in `rc`, or in the client area less the padding.
    void PaintText(IRenderTarget* rt, const CRect& rc);
    void PaintText(IRenderTarget* rt);
    // Ends a press as SWindow::OnLButtonUp does; true when it was a click: pressed on
    // this window and released over it (dragging off cancels it).
    bool EndClick(CPoint pt, UINT flags);
    // The attributes of this class: a class with attributes of its own hides
    // ClassAttributes with a table that extends its base class's, and overrides
    // GetAttributes to return it.
    static const SAttrTable& ClassAttributes();
    virtual const SAttrTable& GetAttributes() const { return ClassAttributes(); }
    // For setters: an integer (clamped as ParseCoord) into `*target`; E_FAIL, leaving it,
    // when the value is no number or is below `minimum`.
    static HRESULT ParseIntInto(const SStringW& value, int* target, int minimum = INT_MIN);
    // The same for a flag: a number other than 0 sets it.
    static HRESULT ParseFlagInto(const SStringW& value, bool* target, int minimum = INT_MIN);
    // For setters: the skin named `name` at this window's scale into `*skin` (null for an
    // empty name); false when the pool has no such skin.
    bool LookUpSkin(const SStringW& name, ISkinObj** skin) const;
    // Stores the "text" attribute ("@string/name" from the string table, "\n" a break).
    void SetTextAttribute(const SStringW& value);
    void StartHoverAnimation();

    SWindow* m_pParent = nullptr;
    std::vector<SWindow*> m_children;
    ISwndContainer* m_pContainer = nullptr;  // of the tree this window is in

    int m_nID = 0;
    SStringW m_strName;
    SStringW m_strText;
    SStringW m_strToolTip;
    SStringW m_strAccName;  // the layout's name for controls without text (icon buttons)
    SLayoutPos m_layout;
    CRect m_rcWindow;
    DWORD m_dwState = WndState_Normal;
    bool m_bVisible = true;
    bool m_bMsgTransparent = false;
    std::optional<bool> m_bFocusable;  // unset: the class default (ClassFocusable)
    bool m_bClipClient = false;
    bool m_bAnimate = false;
    BYTE m_byAniAlpha = 0xff;
    int m_nAniStep = 0;
    SwndStyle m_style;
    SAutoRefPtr<ISkinObj> m_pBgSkin;  // shared with the skin pool
    SStringW m_strFocusSkin;
    SAutoRefPtr<ISkinObj> m_pFocusSkin;
    int m_nMaxWidth = -1;
    std::vector<std::pair<int, EventHandler>> m_handlers;
    bool m_bDestroyed = false;

    virtual bool ClassFocusable() const { return false; }
};

}  // namespace SOUI
