#pragma once
// The application the UI benchmarks run: the real renderer, decoder, resources and the
// program's own button class, on the given host backend.

#include <memory>

#include "resources/NamedIds.h"
#include "ui/SButtonEx.h"
#include "uilib/SApplication.h"
#include "uilib/SResProvider.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

class CBenchApp {
public:
    explicit CBenchApp(SOUI::IHostBackend* backend) {
        using namespace SOUI;
        m_factory = new SRenderFactoryCairo;
        auto* decoder = new SImgDecoderPng;
        m_factory->SetImgDecoderFactory(decoder);
        decoder->Release();
        app = std::make_unique<SApplication>(m_factory, nullptr, L"SOUIHOST",
                                             SObjectDefaultRegister(), backend);
        app->RegisterFactory(TplSObjectFactory<SButtonEx>());
        size_t ids = 0;
        const SNamedID* table = QiGetNamedIds(&ids);
        app->InitXmlNamedID(table, static_cast<int>(ids), true);
        auto* provider = new SResProviderEmbedded;
        size_t count = 0;
        const SEmbeddedRes* res = QiGetEmbeddedResources(&count);
        provider->Init(res, count);
        app->AddResProvider(provider, L"uidef:xml_init");
        provider->Release();
    }
    ~CBenchApp() {
        app.reset();
        m_factory->Release();
    }
    std::unique_ptr<SOUI::SApplication> app;

private:
    SOUI::IRenderFactory* m_factory;
};
