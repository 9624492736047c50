#pragma once
// The program's UI as tests need it: the real cairo renderer and PNG decoder, the
// "buttonex" control, the named IDs and the embedded resources, on a given host backend
// (null: the headless one).

#include <gtest/gtest.h>

#include <memory>

#include "resources/NamedIds.h"
#include "ui/SButtonEx.h"
#include "uilib/SApplication.h"
#include "uilib/SResProvider.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

namespace uitest {

class ProgramUi {
public:
    // Sets everything up; failures are reported as test failures and leave Ok() false.
    explicit ProgramUi(SOUI::IHostBackend* backend = nullptr) { Init(backend); }
    ~ProgramUi() {
        m_app.reset();
        if (m_factory != nullptr)
            m_factory->Release();
    }
    ProgramUi(const ProgramUi&) = delete;
    ProgramUi& operator=(const ProgramUi&) = delete;

    bool Ok() const { return m_ok; }
    SOUI::SApplication& App() { return *m_app; }

private:
    void Init(SOUI::IHostBackend* backend) {
        using namespace SOUI;
        m_factory = new SRenderFactoryCairo;
        auto* decoder = new SImgDecoderPng;
        m_factory->SetImgDecoderFactory(decoder);
        decoder->Release();
        m_app = std::make_unique<SApplication>(m_factory, nullptr, L"SOUIHOST",
                                               SObjectDefaultRegister(), backend);
        ASSERT_TRUE(m_app->RegisterFactory(TplSObjectFactory<SButtonEx>()));
        size_t count = 0;
        const SNamedID* ids = QiGetNamedIds(&count);
        m_app->InitXmlNamedID(ids, static_cast<int>(count), true);
        IResProvider* provider = nullptr;
        ASSERT_TRUE(CreateResProvider(RES_PE, &provider));
        size_t resCount = 0;
        const SEmbeddedRes* table = QiGetEmbeddedResources(&resCount);
        bool loaded = static_cast<SResProviderEmbedded*>(provider)->Init(table, resCount) &&
                      m_app->AddResProvider(provider, L"uidef:xml_init");
        provider->Release();
        ASSERT_TRUE(loaded) << "the embedded resources did not load";
        m_ok = true;
    }

    SOUI::IRenderFactory* m_factory = nullptr;
    std::unique_ptr<SOUI::SApplication> m_app;
    bool m_ok = false;
};

}  // namespace uitest
