#pragma once
// The display language: the translator and the language document that Install.ini's
// "language" asks for (1 "lang_cn", 2 "lang_en", any other code none).

#include "uilib/SApplication.h"

// Installs `translator` in the application and, when the resources hold the language
// document of the configured code, that language in the translator.
void LoadLanguage(SOUI::SApplication& app, SOUI::ITranslatorMgr* translator);
