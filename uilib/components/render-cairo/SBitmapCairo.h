#pragma once
// A bitmap held as a cairo image surface (premultiplied BGRA).

#include <cairo.h>

#include "uilib/SRender.h"

namespace SOUI {

class SBitmapCairo : public SObjectImpl<IBitmapS> {
public:
    // Copies the pixels; an empty bitmap when width or height is 0.
    SBitmapCairo(int width, int height, const BYTE* bgraBits, int stride);
    ~SBitmapCairo() override;
    int Width() const override { return m_nWidth; }
    int Height() const override { return m_nHeight; }
    int Stride() const override;
    const BYTE* GetPixelBits() const override;
    cairo_surface_t* GetSurface() const { return m_pSurface; }

private:
    int m_nWidth;
    int m_nHeight;
    cairo_surface_t* m_pSurface = nullptr;
};

}  // namespace SOUI
