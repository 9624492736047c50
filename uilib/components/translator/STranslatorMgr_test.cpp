#include "uilib/components/translator/STranslatorMgr.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "platform/Text.h"

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

// Ill-formed UTF-8 in a language file reads as it does everywhere else in the program.
TEST(STranslatorTest, IllFormedTextDecodesLikeTheRestOfTheProgram) {
    const std::string bad[] = {"\xC0\xAF", "\xED\xA0\x80", "\xE4\xB8z", "\xF4\x90\x80\x80"};
    for (const std::string& bytes : bad) {
        std::string xml =
            "<language name=\"x\"><context name=\"c\"><message><source>s</source>"
            "<translation>" +
            bytes + "</translation></message></context></language>";
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(xml.c_str()));
        STranslatorMgr mgr;
        ITranslator* lang = nullptr;
        ASSERT_TRUE(mgr.CreateTranslator(&lang));
        pugi::xml_node root = doc.document_element();
        EXPECT_TRUE(lang->Load(&root, LD_XML));
        EXPECT_TRUE(mgr.InstallTranslator(lang));
        lang->Release();
        const std::wstring got = mgr.tr(L"s", L"c");
        EXPECT_EQ(got, platform::Utf8ToWide(bytes));
        EXPECT_EQ(got.find_first_not_of(L"\uFFFDz"), std::wstring::npos) << "nothing decoded";
    }
}
