#pragma once
// The render factory of the render-cairo component.

#include "uilib/SRender.h"

namespace SOUI {

class SRenderFactoryCairo : public SObjectImpl<IRenderFactory> {
public:
    SRenderFactoryCairo() = default;
    ~SRenderFactoryCairo() override;
    void SetImgDecoderFactory(IImgDecoderFactory* decoder) override;
    IImgDecoderFactory* GetImgDecoderFactory() override { return m_pDecoder; }
    bool CreateRenderTarget(IRenderTarget** ppRT, int width, int height) override;
    bool CreateFont(IFontS** ppFont, const FontDesc& desc) override;
    bool CreateBitmap(IBitmapS** ppBmp, int width, int height, const BYTE* bgraBits,
                      int stride) override;
    bool CreateBitmapFromMemory(IBitmapS** ppBmp, const void* data, size_t size) override;

private:
    IImgDecoderFactory* m_pDecoder = nullptr;
};

}  // namespace SOUI
