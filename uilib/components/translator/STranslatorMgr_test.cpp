#include "uilib/components/translator/STranslatorMgr.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

using namespace SOUI;

TEST(STranslatorTest, TranslatesByContextAndFallsBackToTheSource) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<language name="en">
        <context name="dlg_main"><message><source>立即安装</source><translation>Install now</translation></message></context>
        <context name=""><message><source>取消</source><translation>Cancel</translation></message></context>
      </language>)"));
    STranslatorMgr mgr;
    ITranslator* lang = nullptr;
    ASSERT_TRUE(mgr.CreateTranslator(&lang));
    pugi::xml_node root = doc.document_element();
    EXPECT_TRUE(lang->Load(&root, LD_XML));
    EXPECT_FALSE(lang->Load(&root, 99));
    EXPECT_EQ(lang->name(), L"en");
    EXPECT_TRUE(mgr.InstallTranslator(lang));
    EXPECT_FALSE(mgr.InstallTranslator(lang));  // one language of a name
    lang->Release();
    EXPECT_EQ(mgr.tr(L"立即安装", L"dlg_main"), L"Install now");
    EXPECT_EQ(mgr.tr(L"立即安装", L"dlg_msgbox"), L"立即安装");
    EXPECT_EQ(mgr.tr(L"取消", L"dlg_msgbox"), L"Cancel");
    EXPECT_EQ(mgr.tr(L"其他", L"dlg_main"), L"其他");
    EXPECT_TRUE(mgr.UninstallTranslator(L"en"));
    EXPECT_EQ(mgr.tr(L"取消", L""), L"取消");
    EXPECT_FALSE(mgr.UninstallTranslator(L"en"));
}
