// PNG decoding: any bytes decode or are refused; what decodes has the size it claims.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SOUI::SImgDecoderPng* s_decoder = new SOUI::SImgDecoderPng;  // lives for the run
    int width = 0, height = 0;
    std::basic_string<SOUI::BYTE> pixels;
    if (s_decoder->DecodeImage(data, size, &width, &height, &pixels)) {
        QI_FUZZ_CHECK(width > 0 && height > 0);
        QI_FUZZ_CHECK(pixels.size() == static_cast<size_t>(width) * height * 4);
    }
    return 0;
}
