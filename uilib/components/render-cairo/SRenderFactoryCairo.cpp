#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

#include "uilib/components/render-cairo/SBitmapCairo.h"
#include "uilib/components/render-cairo/SFontCairo.h"
#include "uilib/components/render-cairo/SRenderTargetCairo.h"

namespace SOUI {

void SRenderFactoryCairo::SetImgDecoderFactory(IImgDecoderFactory* decoder) {
    m_pDecoder = decoder;
}

bool SRenderFactoryCairo::CreateRenderTarget(IRenderTarget** ppRT, int width, int height) {
    if (!ppRT)
        return false;
    *ppRT = new SRenderTargetCairo(this, std::max(0, width), std::max(0, height));
    return true;
}

bool SRenderFactoryCairo::CreateFont(IFontS** ppFont, const FontDesc& desc) {
    if (!ppFont)
        return false;
    *ppFont = new SFontCairo(desc);
    return true;
}

bool SRenderFactoryCairo::CreateBitmap(IBitmapS** ppBmp, int width, int height, const BYTE* bits,
                                       int stride) {
    if (!ppBmp || width <= 0 || height <= 0)
        return false;
    auto* bmp = new SBitmapCairo(width, height, bits, stride);
    if (bmp->Width() != width) {  // the surface could not be made
        bmp->Release();
        return false;
    }
    *ppBmp = bmp;
    return true;
}

bool SRenderFactoryCairo::CreateBitmapFromMemory(IBitmapS** ppBmp, const void* data, size_t size) {
    if (!ppBmp || !m_pDecoder)
        return false;
    int w = 0, h = 0;
    std::basic_string<BYTE> pixels;
    if (!m_pDecoder->DecodeImage(data, size, &w, &h, &pixels))
        return false;
    return CreateBitmap(ppBmp, w, h, pixels.data(), w * 4);
}

}  // namespace SOUI
