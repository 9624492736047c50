#include "uilib/components/render-cairo/SBitmapCairo.h"

#include <cstring>

namespace SOUI {

SBitmapCairo::SBitmapCairo(int width, int height, const BYTE* bits, int stride)
    : m_nWidth(width > 0 ? width : 0), m_nHeight(height > 0 ? height : 0) {
    if (m_nWidth == 0 || m_nHeight == 0) {
        m_nWidth = m_nHeight = 0;
        return;
    }
    m_pSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_nWidth, m_nHeight);
    if (cairo_surface_status(m_pSurface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(m_pSurface);
        m_pSurface = nullptr;
        m_nWidth = m_nHeight = 0;
        return;
    }
    cairo_surface_flush(m_pSurface);
    BYTE* dst = cairo_image_surface_get_data(m_pSurface);
    int dstStride = cairo_image_surface_get_stride(m_pSurface);
    for (int y = 0; y < m_nHeight; ++y) {
        if (bits)
            std::memcpy(dst + y * dstStride, bits + static_cast<size_t>(y) * stride, m_nWidth * 4);
        else
            std::memset(dst + y * dstStride, 0, m_nWidth * 4);
    }
    cairo_surface_mark_dirty(m_pSurface);
}

SBitmapCairo::~SBitmapCairo() {
    if (m_pSurface)
        cairo_surface_destroy(m_pSurface);
}

int SBitmapCairo::Stride() const {
    return m_pSurface ? cairo_image_surface_get_stride(m_pSurface) : 0;
}

const BYTE* SBitmapCairo::GetPixelBits() const {
    return m_pSurface ? cairo_image_surface_get_data(m_pSurface) : nullptr;
}

}  // namespace SOUI
