#include "ui/Language.h"

#include <pugixml.hpp>

#include "install/InstallConfig.h"
#include "uilib/SAutoRefPtr.h"

using namespace SOUI;

void LoadLanguage(SApplication& app, ITranslatorMgr* translator) {
    app.SetTranslator(translator);
    const int language = GetConfigLanguage(GetInstallIniPath());
    const wchar_t* docName = language == 1 ? L"lang_cn" : language == 2 ? L"lang_en" : nullptr;
    if (docName == nullptr)
        return;
    pugi::xml_document doc;
    if (!app.LoadXmlDocment(doc, docName, L"translator"))
        return;
    ITranslator* created = nullptr;
    if (!translator->CreateTranslator(&created) || created == nullptr)
        return;
    SAutoRefPtr<ITranslator> lang;
    lang.attach(created);
    pugi::xml_node root = doc.child("language");
    if (lang->Load(&root, LD_XML))
        translator->InstallTranslator(lang.get());
}
