#pragma once
// The render factory of the render-cairo component.

#include "uilib/SAutoRefPtr.h"
#include "uilib/SRender.h"

namespace SOUI {

class SRenderFactoryCairo : public SObjectImpl<IRenderFactory> {
public:
    SRenderFactoryCairo() = default;
    void SetImgDecoderFactory(IImgDecoderFactory* decoder) override;
    IImgDecoderFactory* GetImgDecoderFactory() override { return m_pDecoder.get(); }
    bool CreateRenderTarget(IRenderTarget** ppRT, int width, int height) override;
    bool CreateFont(IFontS** ppFont, const FontDesc& desc) override;
    bool CreateBitmap(IBitmapS** ppBmp, int width, int height, const BYTE* bgraBits,
                      int stride) override;
    bool CreateBitmapFromMemory(IBitmapS** ppBmp, const void* data, size_t size) override;

private:
    SAutoRefPtr<IImgDecoderFactory> m_pDecoder;
};

}  // namespace SOUI
