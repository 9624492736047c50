#pragma once
// The imgdecoder-png component: PNG bytes to premultiplied BGRA pixels, and back to a
// PNG file (for rendering windows to files).

#include "uilib/SRender.h"

namespace SOUI {

class SImgDecoderPng : public SObjectImpl<IImgDecoderFactory> {
public:
    bool DecodeImage(const void* data, size_t size, int* width, int* height,
                     std::basic_string<BYTE>* pixels) override;
    bool SaveImage(const BYTE* bits, int width, int height, int stride,
                   const char* utf8Path) override;
};

}  // namespace SOUI
