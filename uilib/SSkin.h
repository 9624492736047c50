#pragma once
// Skins: what draws a window's background or an icon in one of its states.
//
// Skin table entries (XML element name = skin class):
//   <imglist  name= src="PNG:name" states="3" [vertical="1"] [tile="1"] [autoFit="1"] [alpha=]/>
//       A strip of equal frames, one per state, drawn stretched (or tiled) into the target.
//   <imgframe name= src= states= left= top= right= bottom= | margin-x= margin-y= | margin=/>
//       Like imglist, but each frame is a nine-patch: the fixed edges keep their size, the
//       middle stretches. `left` without `right` sets both (same for top/bottom).
//   <scrollbar name= src= margin="3" [hasGripper="0"]/>
//       The scroll-bar strip: 9 columns x 3 rows of equal cells. Rows are the states
//       normal, hover, pushed; columns are: 0 up arrow, 1 down arrow, 2 left arrow,
//       3 right arrow, 4 vertical thumb, 5 horizontal thumb, 6 vertical rail,
//       7 horizontal rail, 8 corner. Thumbs and rails stretch as nine-patches with
//       `margin` fixed edges.

#include <vector>

#include "uilib/SAutoRefPtr.h"
#include "uilib/SRender.h"
#include "uilib/SString.h"

namespace SOUI {

struct ISkinObj : public IObject {
    // Draws frame `index` (clamped to the frames there are) into rc.
    virtual void DrawByIndex(IRenderTarget* rt, const CRect& rc, int index, BYTE alpha) = 0;
    void DrawByIndex(IRenderTarget* rt, const CRect& rc, int index) {
        DrawByIndex(rt, rc, index, GetAlpha());
    }
    // Draws the frame of a window state (see StateToIndex).
    void DrawByState(IRenderTarget* rt, const CRect& rc, DWORD state) {
        DrawByIndex(rt, rc, StateToIndex(state), GetAlpha());
    }
    virtual CSize GetSkinSize() const = 0;  // size of one frame
    virtual int GetStates() const = 0;
    virtual BYTE GetAlpha() const = 0;
    virtual int GetScale() const { return 100; }
    virtual HRESULT SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) = 0;

    // Frame for window state flags: disabled 3, pushed or checked 2, hover 1, else 0.
    static int StateToIndex(DWORD state) {
        if (state & WndState_Disable)
            return 3;
        if (state & (WndState_PushDown | WndState_Check))
            return 2;
        if (state & WndState_Hover)
            return 1;
        return 0;
    }
};

// A horizontal (or vertical) strip of equal state frames.
class SSkinImgList : public SObjectImpl<ISkinObj> {
    using __baseCls = SObjectImpl<ISkinObj>;
    SOUI_CLASS_NAME(SSkinImgList, L"imglist")

public:
    SSkinImgList() = default;

    void DrawByIndex(IRenderTarget* rt, const CRect& rc, int index, BYTE alpha) override;
    using ISkinObj::DrawByIndex;
    CSize GetSkinSize() const override;
    int GetStates() const override { return m_nStates; }
    BYTE GetAlpha() const override { return m_byAlpha; }
    HRESULT SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) override;

    // Takes its own reference to the bitmap.
    void SetImage(IBitmapS* bmp);
    // The bitmap; one named by "src" is decoded now if it was not yet.
    IBitmapS* GetImage() const { return Image(); }
    void SetStates(int states) { m_nStates = states < 1 ? 1 : states; }
    bool IsAutoFit() const { return m_bAutoFit; }

protected:
    CRect FrameRect(int index) const;  // source rectangle of a frame in the image
    virtual void DrawFrame(IRenderTarget* rt, const CRect& dst, const CRect& src, BYTE alpha);

    IBitmapS* Image() const;

    int m_nStates = 1;
    bool m_bVertical = false;
    bool m_bTile = false;
    bool m_bAutoFit = false;
    BYTE m_byAlpha = 0xff;

private:
    mutable SAutoRefPtr<IBitmapS> m_pImg;
    mutable SStringW m_strSrc;  // the image resource, until it is decoded
};

// Nine-patch frames: the edges keep their size, the middle stretches.
class SSkinImgFrame : public SSkinImgList {
    using __baseCls = SSkinImgList;
    SOUI_CLASS_NAME(SSkinImgFrame, L"imgframe")

public:
    HRESULT SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) override;
    const CRect& GetMargin() const { return m_rcMargin; }
    void SetMargin(const CRect& rc) { m_rcMargin = rc; }

    // Draws src of bmp into dst as a nine-patch with the given fixed edges.
    static void DrawNinePatch(IRenderTarget* rt, IBitmapS* bmp, const CRect& dst, const CRect& src,
                              const CRect& margin, BYTE alpha);

protected:
    void DrawFrame(IRenderTarget* rt, const CRect& dst, const CRect& src, BYTE alpha) override;

    CRect m_rcMargin;  // fixed edges: left, top, right, bottom
    bool m_bRightSet = false;
    bool m_bBottomSet = false;
};

// The scroll-bar skin (layout described at the top of this file).
class SSkinScrollbar : public SSkinImgList {
    using __baseCls = SSkinImgList;
    SOUI_CLASS_NAME(SSkinScrollbar, L"scrollbar")

public:
    enum Part {
        kUpArrow = 0,
        kDownArrow,
        kLeftArrow,
        kRightArrow,
        kVThumb,
        kHThumb,
        kVRail,
        kHRail,
        kCorner
    };
    SSkinScrollbar() { m_nStates = 3; }
    HRESULT SetAttribute(const SStringW& name, const SStringW& value, BOOL bLoading) override;
    // Draws one part in state 0 (normal), 1 (hover) or 2 (pushed).
    void DrawPart(IRenderTarget* rt, const CRect& rc, Part part, int state, BYTE alpha);
    CSize GetSkinSize() const override;  // one cell
    int GetMargin() const { return m_nMargin; }
    bool HasGripper() const { return m_bHasGripper; }

private:
    int m_nMargin = 3;
    bool m_bHasGripper = false;
};

// Creates a skin object of a skin-table class name ("imglist", "imgframe", "scrollbar");
// null for an unknown class.
ISkinObj* CreateSkinByClass(const wchar_t* className);

}  // namespace SOUI
