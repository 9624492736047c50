#include "ui/ProgramApp.h"

#include "resources/NamedIds.h"
#include "sys/DebugLog.h"
#include "ui/SButtonEx.h"
#include "uilib/SAutoRefPtr.h"
#include "uilib/SResProvider.h"

using namespace SOUI;

std::unique_ptr<SApplication> CreateProgramApp(
    IRenderFactory* renderFactory, IHostBackend* host,
    const std::function<void(SApplication&)>& beforeResources) {
    auto app = std::make_unique<SApplication>(renderFactory, nullptr, L"SOUIHOST",
                                              SObjectDefaultRegister(), host);
    if (!app->RegisterFactory(TplSObjectFactory<SButtonEx>())) {
        DebugLog(L"%s buttonex 控件注册失败", L"CreateProgramApp");
        return nullptr;
    }
    if (beforeResources)
        beforeResources(*app);
    size_t idCount = 0;
    const SNamedID* ids = QiGetNamedIds(&idCount);
    app->InitXmlNamedID(ids, static_cast<int>(idCount), true);

    SAutoRefPtr<SResProviderEmbedded> provider;
    provider.attach(new SResProviderEmbedded);
    size_t resCount = 0;
    const SEmbeddedRes* table = QiGetEmbeddedResources(&resCount);
    if (!provider->Init(table, resCount) ||
        !app->AddResProvider(provider.get(), L"uidef:xml_init")) {
        DebugLog(L"%s 程序资源加载失败", L"CreateProgramApp");
        return nullptr;
    }
    return app;
}
