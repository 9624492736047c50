#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"

#include <png.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace SOUI {

namespace {
// Larger images are refused before their pixels are allocated: the header alone can
// declare gigabytes. A skin is a strip of a few state frames of at most window size; a
// 2560 x 1600 background fits with room to spare, at 16 MiB of pixels.
constexpr png_uint_32 kMaxSide = 16384;
constexpr uint64_t kMaxPixels = 4u * 1024 * 1024;
}  // namespace

bool SImgDecoderPng::DecodeImage(const void* data, size_t size, int* width, int* height,
                                 std::basic_string<BYTE>* pixels) {
    if (!data || size == 0 || !width || !height || !pixels)
        return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide ||
        image.height > kMaxSide || uint64_t{image.width} * image.height > kMaxPixels) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    pixels->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    // Premultiply, as cairo draws premultiplied pixels.
    for (size_t i = 0; i + 3 < pixels->size(); i += 4) {
        unsigned a = (*pixels)[i + 3];
        if (a == 255)
            continue;
        for (int k = 0; k < 3; ++k)
            (*pixels)[i + k] = static_cast<BYTE>(((*pixels)[i + k] * a + 127) / 255);
    }
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return true;
}

bool SImgDecoderPng::SaveImage(const BYTE* bits, int width, int height, int stride,
                               const char* utf8Path) {
    if (!bits || width <= 0 || height <= 0 || !utf8Path)
        return false;
    std::vector<BYTE> rgba(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = bits + static_cast<size_t>(y) * stride;
        BYTE* out = rgba.data() + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            unsigned b = row[4 * x], g = row[4 * x + 1], r = row[4 * x + 2], a = row[4 * x + 3];
            if (a != 0 && a != 255) {
                r = std::min(255u, (r * 255 + a / 2) / a);
                g = std::min(255u, (g * 255 + a / 2) / a);
                b = std::min(255u, (b * 255 + a / 2) / a);
            }
            out[4 * x] = static_cast<BYTE>(r);
            out[4 * x + 1] = static_cast<BYTE>(g);
            out[4 * x + 2] = static_cast<BYTE>(b);
            out[4 * x + 3] = static_cast<BYTE>(a);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    bool ok = png_image_write_to_file(&image, utf8Path, 0, rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

}  // namespace SOUI
