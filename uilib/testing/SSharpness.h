#pragma once
// How sharp the edges of an image are: the measure that tells a picture drawn at twice
// the resolution from one drawn at the single resolution and then enlarged smoothly.

#include <cmath>
#include <cstdint>

#include "uilib/SRender.h"

namespace uitest {

// Pixels are 32-bit BGRA rows; the region is [x0, x0 + w) x [y0, y0 + h). The score is
// the mean height of the steps between neighbouring pixels, each step weighted by its
// height (sum of squares over sum), as a share of full contrast: a crisp edge is one
// steep step, the same edge enlarged is two steps half as high. 0 for a flat region.
inline double Sharpness(const unsigned char* bits, int stride, int x0, int y0, int w, int h) {
    auto lum = [&](int x, int y) {
        const unsigned char* p =
            bits + static_cast<size_t>(y) * stride + 4 * static_cast<size_t>(x);
        return (p[0] + 2.0 * p[1] + p[2]) / 4.0;
    };
    double sum = 0, squares = 0;
    auto step = [&](double d) {
        sum += std::fabs(d);
        squares += d * d;
    };
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            if (x + 1 < x0 + w)
                step(lum(x + 1, y) - lum(x, y));
            if (y + 1 < y0 + h)
                step(lum(x, y + 1) - lum(x, y));
        }
    }
    return sum > 0 ? squares / sum / 255.0 : 0;
}

// Sharpness of what `single` (a target at scale 1) shows when enlarged smoothly to
// scale 2, as a host without HiDPI drawing would show it; the region is in device pixels
// of the enlarged picture. -1 when the pictures cannot be made.
inline double EnlargedSharpness(SOUI::IRenderTarget* single, int x0, int y0, int w, int h) {
    using namespace SOUI;
    IRenderFactory* factory = single->GetRenderFactory();
    CSize size = single->GetSize();
    const BYTE* bits = nullptr;
    int stride = 0;
    IBitmapS* bmp = nullptr;
    IRenderTarget* enlarged = nullptr;
    double score = -1;
    if (factory && single->GetPixels(&bits, &stride) &&
        factory->CreateBitmap(&bmp, size.cx, size.cy, bits, stride) &&
        factory->CreateRenderTarget(&enlarged, size.cx, size.cy)) {
        enlarged->SetScale(2);
        enlarged->DrawBitmap(CRect(0, 0, size.cx, size.cy), bmp, CRect(0, 0, size.cx, size.cy),
                             255);
        if (enlarged->GetPixels(&bits, &stride))
            score = Sharpness(bits, stride, x0, y0, w, h);
    }
    if (bmp)
        bmp->Release();
    if (enlarged)
        enlarged->Release();
    return score;
}

}  // namespace uitest
