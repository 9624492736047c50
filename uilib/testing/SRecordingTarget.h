#pragma once
// A render target that records the bitmap draws of skins (destination, source, alpha),
// for the skin tests.

#include <vector>

#include "uilib/SRender.h"

namespace uitest {
using namespace SOUI;

struct BitmapDraw {
    CRect dst;
    CRect src;
    int alpha;
};

class SRecordingTarget : public SObjectImpl<IRenderTarget> {
public:
    std::vector<BitmapDraw> draws;
    IRenderFactory* GetRenderFactory() override { return nullptr; }
    CSize GetSize() const override { return {}; }
    void Resize(CSize) override {}
    IFontS* SelectFont(IFontS* f) override {
        IFontS* old = m_font;
        m_font = f;
        return old;
    }
    IFontS* GetCurrentFont() override { return m_font; }
    COLORREF SetTextColor(COLORREF c) override {
        COLORREF old = m_color;
        m_color = c;
        return old;
    }
    COLORREF GetTextColor() const override { return m_color; }
    void FillSolidRect(const CRect&, COLORREF) override {}
    void DrawRectangle(const CRect&, COLORREF) override {}
    void DrawBitmap(const CRect& dst, IBitmapS*, const CRect& src, BYTE alpha) override {
        draws.push_back({dst, src, alpha});
    }
    int DrawText(const wchar_t*, int, CRect*, UINT) override { return 0; }
    void TextOut(int, int, const wchar_t*, int) override {}
    CSize MeasureText(const wchar_t*, int) override { return {}; }
    void PushClipRect(const CRect&) override {}
    void PopClip() override {}
    bool GetPixels(const BYTE**, int*) override { return false; }

private:
    IFontS* m_font = nullptr;
    COLORREF m_color = 0;
};

class SFakeBitmap : public SObjectImpl<IBitmapS> {
public:
    SFakeBitmap(int w, int h) : m_w(w), m_h(h) {}
    int Width() const override { return m_w; }
    int Height() const override { return m_h; }
    int Stride() const override { return m_w * 4; }
    const BYTE* GetPixelBits() const override { return nullptr; }

private:
    int m_w, m_h;
};

}  // namespace uitest
