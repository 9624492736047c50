#pragma once
// A memory render target: a cairo image surface, text through pango with the language
// set to Simplified Chinese (so CJK text takes the Simplified glyph forms). At a scale
// above 1 the surface has that many device pixels per logical pixel and carries it as
// cairo's device scale, so that everything is drawn in logical coordinates yet rasterised
// at the device resolution.

#include <cairo.h>
#include <pango/pangocairo.h>

#include <vector>

#include "uilib/SRender.h"

namespace SOUI {

class SFontCairo;

class SRenderTargetCairo : public SObjectImpl<IRenderTarget> {
public:
    SRenderTargetCairo(IRenderFactory* factory, int width, int height);
    ~SRenderTargetCairo() override;

    IRenderFactory* GetRenderFactory() override { return m_pFactory; }
    CSize GetSize() const override { return m_size; }
    void Resize(CSize size) override;
    int GetScale() const override { return m_nScale; }
    void SetScale(int scale) override;
    IFontS* SelectFont(IFontS* font) override;
    IFontS* GetCurrentFont() override { return m_pFont; }
    COLORREF SetTextColor(COLORREF color) override;
    COLORREF GetTextColor() const override { return m_crText; }
    void FillSolidRect(const CRect& rc, COLORREF color) override;
    void DrawRectangle(const CRect& rc, COLORREF color) override;
    void DrawBitmap(const CRect& dst, IBitmapS* bmp, const CRect& src, BYTE alpha) override;
    int DrawText(const wchar_t* text, int len, CRect* rc, UINT format) override;
    void TextOut(int x, int y, const wchar_t* text, int len) override;
    CSize MeasureText(const wchar_t* text, int len) override;
    void MeasureCharEdges(const wchar_t* text, int len, int* rightEdges) override;
    void GetTextBoundaries(const wchar_t* text, int len, BYTE* flags) override;
    void PushClipRect(const CRect& rc) override;
    void PopClip() override;
    bool GetPixels(const BYTE** bits, int* stride) override;

private:
    void CreateSurface(CSize size);
    void DestroySurface();
    // Prepares the layout for text in the current font; returns its pixel extent.
    CSize PrepareLayout(const wchar_t* text, int len, int wrapWidth, bool singleLine);
    void SetSourceColor(COLORREF c);

    IRenderFactory* m_pFactory;  // not owned: the factory outlives its targets
    CSize m_size;                // logical pixels
    int m_nScale = 1;
    cairo_surface_t* m_pSurface = nullptr;
    cairo_t* m_pCr = nullptr;
    PangoLayout* m_pLayout = nullptr;
    IFontS* m_pFont = nullptr;
    IFontS* m_pDefFont = nullptr;
    std::vector<IFontS*> m_fontRefs;  // every font selected stays alive with the target
    COLORREF m_crText = RGBA(0, 0, 0, 255);
    int m_nClipDepth = 0;
};

}  // namespace SOUI
