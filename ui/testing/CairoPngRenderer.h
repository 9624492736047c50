#pragma once
// The renderer the program loads as modules (cairo with the PNG decoder), linked in for
// tests and benchmarks.

#include "uilib/SAutoRefPtr.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

namespace uitest {

inline SOUI::SAutoRefPtr<SOUI::IRenderFactory> CreateCairoPngRenderer() {
    SOUI::SAutoRefPtr<SOUI::IRenderFactory> factory;
    factory.attach(new SOUI::SRenderFactoryCairo);
    SOUI::SAutoRefPtr<SOUI::IImgDecoderFactory> decoder;
    decoder.attach(new SOUI::SImgDecoderPng);
    factory->SetImgDecoderFactory(decoder.get());
    return factory;
}

}  // namespace uitest
