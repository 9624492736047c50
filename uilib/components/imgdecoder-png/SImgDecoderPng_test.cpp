#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <string>

// From the sanitizer runtimes (the test builds use one); weak so that a plain build links.
extern "C" __attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, size_t), void (*free_hook)(const volatile void*));

namespace {

// The largest single allocation made while the hooks are installed.
std::atomic<size_t> g_largest{0};
void OnMalloc(const volatile void*, size_t size) {
    size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
}
void OnFree(const volatile void*) {}

// `value` as PNG stores it: four bytes, most significant first.
std::string BigEndian(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    png += BigEndian(static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    png += BigEndian(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// A PNG of `width` x `height` RGBA whose image data holds only `rows` zero rows: the
// header declares the size, the rest is cut short, as a hostile file would be.
std::string PngDeclaring(uint32_t width, uint32_t height, uint32_t rows) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr(13, '\0');
    ihdr.replace(0, 4, BigEndian(width));
    ihdr.replace(4, 4, BigEndian(height));
    ihdr[8] = 8;  // bit depth
    ihdr[9] = 6;  // RGBA
    AppendChunk(png, "IHDR", ihdr);
    std::string raw(static_cast<size_t>(rows) * (1 + width * 4), '\0');
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    packed.resize(packedSize);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");
    return png;
}

TEST(SImgDecoderPng, HugeDeclaredSizeIsRefusedBeforeItsPixelsAreAllocated) {
    SOUI::SImgDecoderPng decoder;
    int w = 0, h = 0;
    std::basic_string<SOUI::BYTE> pixels;

    // A small real image decodes.
    const std::string small = PngDeclaring(3, 2, 2);
    ASSERT_TRUE(decoder.DecodeImage(small.data(), small.size(), &w, &h, &pixels));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(pixels.size(), 3u * 2 * 4);

    if (__sanitizer_install_malloc_and_free_hooks == nullptr)
        GTEST_SKIP() << "needs a sanitizer runtime to watch allocations";
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    // 16384 x 16384 (each side within bounds; 1 GiB of pixels) in a few dozen bytes, and
    // a long strip whose pixel count is too large too.
    for (auto [width, height] : {std::pair{16384u, 16384u}, std::pair{16384u, 1024u}}) {
        g_largest = 0;
        const std::string hostile = PngDeclaring(width, height, 1);
        EXPECT_FALSE(decoder.DecodeImage(hostile.data(), hostile.size(), &w, &h, &pixels));
        EXPECT_LT(g_largest.load(), size_t{64} << 20) << width << " x " << height;
    }
    // A strip of state frames as wide as a skin gets still decodes.
    const std::string strip = PngDeclaring(4 * 1024, 600, 600);
    g_largest = 0;
    EXPECT_TRUE(decoder.DecodeImage(strip.data(), strip.size(), &w, &h, &pixels));
    EXPECT_EQ(w, 4096);
}

}  // namespace
