#pragma once
// How sharp the edges of an image are: the measure that tells a picture drawn at twice
// the resolution from one drawn at the single resolution and then enlarged smoothly.

#include <cmath>
#include <cstdint>

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

}  // namespace uitest
