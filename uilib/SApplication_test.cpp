#include "uilib/SApplication.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "platform/DebugOutput.h"
#include "uilib/SButton.h"
#include "uilib/SHostWnd.h"
#include "uilib/SStatic.h"
#include "uilib/components/translator/STranslatorMgr.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

const char* kUiDef = R"XML(<UIDEF>
  <font face="宋体" size="15"/>
  <string src="values:string"/>
  <color src="values:color"/>
  <skin src="values:skin"/>
  <style>
    <class name="normalbtn" font="" colorText="#385e8b" colorTextDisable="#91a7c0" textMode="0x25" cursor="hand" margin-x="0"/>
    <class name="cls_btn_weblink" cursor="hand" colorText="#1e78d5" font="italic:1" fontHover="underline:1,italic:1"/>
  </style>
</UIDEF>)XML";

const char* kLayout = R"XML(<SOUI title="@string/title" width="200" height="100" trCtx="dlg_main">
  <root>
    <button name="b" class="normalbtn" pos="0,0,@100,@30">立即安装</button>
    <link name="l" class="cls_btn_weblink" pos="0,40,@100,@20" text="@string/ver"/>
    <progress name="p" pos="0,70,@100,@10" min="0" max="100" value="150"/>
    <text name="t" pos="100,0,@100,@60" multiLines="1" valign="bottom">a</text>
  </root></SOUI>)XML";

class SApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("UIDEF", "XML_INIT", kUiDef);
        env.Add("VALUES", "STRING", R"(<string><title value=""/><ver value="1.0"/></string>)");
        env.Add(
            "VALUES", "COLOR",
            R"XML(<color><red value="rgb(255,0,0)"/><gray value="#808080"/><bad value="#12"/></color>)XML");
        env.Add("VALUES", "SKIN", "<skin/>");
        env.Add("LAYOUT", "XML_MAINWND", kLayout);
        ASSERT_TRUE(env.Commit(L"uidef:xml_init"));
    }
    SUiTestEnv env;
};

}  // namespace

TEST_F(SApplicationTest, UiDefinitionTables) {
    EXPECT_EQ(env.app->GetDefaultFontDesc().face, L"宋体");
    EXPECT_EQ(env.app->GetDefaultFontDesc().size, 15);
    EXPECT_EQ(env.app->GetString(L"ver"), L"1.0");
    EXPECT_EQ(env.app->GetString(L"title"), L"");
    EXPECT_EQ(env.app->GetColor(L"red"), RGBA(255, 0, 0, 255));
    EXPECT_EQ(env.app->GetColor(L"gray"), RGBA(0x80, 0x80, 0x80, 255));
    EXPECT_FALSE(env.app->GetColor(L"bad").has_value());  // logged and left out
    EXPECT_EQ(ParseColor(L"@color/red"), RGBA(255, 0, 0, 255));
    ASSERT_NE(env.app->GetStyleClass(L"normalbtn"), nullptr);
    EXPECT_EQ(env.app->GetStyleClass(L"missing"), nullptr);
    pugi::xml_document doc;
    EXPECT_TRUE(env.app->LoadXmlDocment(doc, L"XML_MAINWND", L"layout"));  // any case
    EXPECT_TRUE(env.app->LoadXmlDocment(doc, L"LAYOUT:xml_mainwnd"));
    EXPECT_FALSE(env.app->LoadXmlDocment(doc, L"LAYOUT:none"));
}

TEST_F(SApplicationTest, FactoriesKeepTheFirstRegistration) {
    EXPECT_TRUE(env.app->HasFactory(L"imgbtn"));
    EXPECT_FALSE(env.app->RegisterFactory(TplSObjectFactory<SButton>()));  // already there
    EXPECT_TRUE(env.app->RegisterFactory(TplSObjectFactory<SButton>(), true));
    TplSObjectFactory<SImageButton> f;
    EXPECT_STREQ(f.GetName(), L"imgbtn");
    EXPECT_STREQ(f.GetBaseClassName(), L"button");
    std::unique_ptr<SObjectFactory> clone(f.Clone());
    SWindow* w = clone->NewObject();
    EXPECT_TRUE(w->IsClass(L"button"));
    EXPECT_TRUE(w->IsClass(L"window"));
    EXPECT_FALSE(w->IsClass(L"check"));
    w->Release();
}

TEST_F(SApplicationTest, StyleClassesStringsAndStateColours) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    SWindow* b = wnd.FindChildByName(L"b");
    EXPECT_EQ(b->GetStyle().textMode, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(b->GetCursor(), SCursor::Hand);
    EXPECT_EQ(b->GetStateTextColor(), RGBA(0x38, 0x5e, 0x8b, 255));
    b->EnableWindow(false, true);
    EXPECT_EQ(b->GetStateTextColor(), RGBA(0x91, 0xa7, 0xc0, 255));
    SWindow* l = wnd.FindChildByName(L"l");
    EXPECT_EQ(l->GetWindowTextW(), L"1.0");
    EXPECT_TRUE(l->GetStateFont()->GetDesc().italic);
    EXPECT_FALSE(l->GetStateFont()->GetDesc().underline);
    l->ModifyState(WndState_Hover, 0);
    EXPECT_TRUE(l->GetStateFont()->GetDesc().underline);
    EXPECT_EQ(l->GetStateFont()->GetDesc().face, L"宋体");  // hover font builds on the default
}

TEST_F(SApplicationTest, TranslatorHookChangesShownText) {
    auto* mgr = new STranslatorMgr;
    ITranslator* lang = nullptr;
    ASSERT_TRUE(mgr->CreateTranslator(&lang));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<language name="en"><context name="dlg_main">
        <message><source>立即安装</source><translation>Install now</translation></message>
      </context></language>)"));
    pugi::xml_node node = doc.document_element();
    ASSERT_TRUE(lang->Load(&node, LD_XML));
    mgr->InstallTranslator(lang);
    lang->Release();
    env.app->SetTranslator(mgr);
    mgr->Release();
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    EXPECT_EQ(wnd.FindChildByName(L"b")->GetWindowTextW(), L"Install now");
    EXPECT_EQ(wnd.FindChildByName(L"b")->GetWindowTextW(true), L"立即安装");
    env.app->SetTranslator(nullptr);
    EXPECT_EQ(wnd.FindChildByName(L"b")->GetWindowTextW(), L"立即安装");
}

TEST_F(SApplicationTest, ProgressClampsAndFillsItsShare) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    auto* p = wnd.FindChildByName2<SProgress>(L"p");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetValue(), 150);  // as loaded; SetValue clamps
    EXPECT_TRUE(p->SetValue(-5));
    EXPECT_EQ(p->GetValue(), 0);
    EXPECT_TRUE(p->SetValue(40));
    IRenderTarget* rt = wnd.RenderAll();
    EXPECT_NE(PixelAt(rt, 39, 75), 0u);  // filled up to 40 of 100 pixels
    EXPECT_EQ(PixelAt(rt, 41, 75), 0u);
    p->SetRange(10, 10);
    EXPECT_FALSE(p->SetValue(5));
}
