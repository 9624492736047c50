// Attributes applied at run time through the class tables: what lays the tree out again
// and what only repaints, a control that brings its own attributes, and the log lines of
// names and values nobody takes.
#include "uilib/SAttrTable.h"

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"
#include "uilib/SButton.h"
#include "uilib/SEdit.h"
#include "uilib/SHostWnd.h"
#include "uilib/SStatic.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

// A control the library does not know: its "cells" attribute sizes it, "shade" only
// paints, and its "tip" replaces the base window's.
class CGauge : public SWindow {
    using __baseCls = SWindow;
    SOUI_CLASS_NAME(CGauge, L"gauge")

public:
    CSize GetDesiredSize(const CRect*) override { return {10 * m_nCells, 12}; }
    int m_nCells = 1;
    int m_nShade = 0;
    SStringW m_strTip;

protected:
    static const SAttrTable& ClassAttributes() {
        static const TplAttrTable<CGauge> table = [] {
            TplAttrTable<CGauge> t(&SWindow::ClassAttributes());
            t.Add({L"cells"}, SAttrEffect::Layout,
                  [](CGauge* w, const SStringW& v) { return ParseIntInto(v, &w->m_nCells, 1); })
                .Add({L"shade"}, SAttrEffect::Paint,
                     [](CGauge* w, const SStringW& v) { return ParseIntInto(v, &w->m_nShade); })
                .Add({L"tip"}, SAttrEffect::Paint, [](CGauge* w, const SStringW& v) {
                    w->m_strTip = L"gauge:" + v;
                    return S_OK;
                });
            return t;
        }();
        return table;
    }
    const SAttrTable& GetAttributes() const override { return ClassAttributes(); }
};

const char* kLayout = R"XML(<SOUI name="t" title="Attr" width="300" height="200">
  <root>
    <gauge name="g" pos="10,10,@-1,@-1"/>
    <text name="label" pos="10,40,@-1,@-1">Hi</text>
    <imgbtn name="btn" pos="10,80,@-1,@-1" skin="skin.small"/>
    <edit name="path" pos="10,120,@100,@20">abc</edit>
  </root>
</SOUI>)XML";

class SAttrTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("UIDEF", "init", R"(<UIDEF><skin src="values:skin"/></UIDEF>)");
        env.Add("VALUES", "skin", R"(<skin>
            <imglist name="skin.small" src="PNG:small" states="1"/>
            <imglist name="skin.large" src="PNG:large" states="1"/></skin>)");
        env.Add("PNG", "small", MakePng(20, 10, {0x102030ff}));
        env.Add("PNG", "large", MakePng(50, 30, {0x405060ff}));
        env.Add("LAYOUT", "attr", kLayout);
        ASSERT_TRUE(env.Commit(L"UIDEF:init"));
        env.app->RegisterFactory(TplSObjectFactory<CGauge>());
        wnd = std::make_unique<SHostWnd>(L"LAYOUT:attr");
        ASSERT_NE(wnd->Create(), nullptr);
        wnd->RenderAll();
    }
    // Moves the window off its rule: only a new layout puts it back.
    CRect Displace(SWindow* w) {
        CRect ruled = w->GetWindowRect();
        w->Move(CRect(200, 150, 210, 160));
        return ruled;
    }
    SUiTestEnv env;
    std::unique_ptr<SHostWnd> wnd;
};

}  // namespace

TEST_F(SAttrTableTest, SizeAttributesLayOutAgainAndPaintAttributesDoNot) {
    auto* label = wnd->FindChildByName2<SStatic>(L"label");
    ASSERT_NE(label, nullptr);
    CRect ruled = Displace(label);
    // Paint-only attributes, of the window and of the style, leave the layout alone.
    EXPECT_EQ(label->SetAttribute(L"colorText", L"#ff0000", FALSE), S_OK);
    EXPECT_EQ(label->SetAttribute(L"tip", L"hello", FALSE), S_OK);
    EXPECT_EQ(label->SetAttribute(L"valign", L"bottom", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(label->GetWindowRect(), CRect(200, 150, 210, 160));

    // A style attribute that sizes (font) lays out again, names without regard to case.
    EXPECT_EQ(label->SetAttribute(L"FONT", L"size:30", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(label->GetWindowRect().TopLeft(), ruled.TopLeft());
    EXPECT_GT(label->GetWindowRect().Height(), ruled.Height());

    // While loading nothing is laid out or drawn; the next layout uses the value.
    Displace(label);
    EXPECT_EQ(label->SetAttribute(L"text", L"Hello there", TRUE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(label->GetWindowRect(), CRect(200, 150, 210, 160));
    EXPECT_EQ(label->SetAttribute(L"multiLines", L"1", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(label->GetWindowRect().TopLeft(), ruled.TopLeft());
    EXPECT_EQ(label->GetWindowTextW(), L"Hello there");
}

TEST_F(SAttrTableTest, ControlRegistersItsOwnAttributesWithoutTheBaseKnowingThem) {
    SWindow* gauge = wnd->FindChildByName(L"g");
    ASSERT_NE(gauge, nullptr);
    auto* g = static_cast<CGauge*>(gauge);
    EXPECT_EQ(gauge->GetWindowRect().Width(), 10);

    EXPECT_EQ(gauge->SetAttribute(L"cells", L"4", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(gauge->GetWindowRect(), CRect(10, 10, 50, 22));

    Displace(gauge);
    EXPECT_EQ(gauge->SetAttribute(L"Shade", L"3", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(g->m_nShade, 3);
    EXPECT_EQ(gauge->GetWindowRect(), CRect(200, 150, 210, 160));

    // Its own entry replaces the base window's of the same name; the base's others stay.
    EXPECT_EQ(gauge->SetAttribute(L"tip", L"t", FALSE), S_OK);
    EXPECT_EQ(g->m_strTip, L"gauge:t");
    EXPECT_TRUE(gauge->GetToolTipText().empty());
    EXPECT_EQ(gauge->SetAttribute(L"visible", L"0", FALSE), S_OK);
    EXPECT_FALSE(gauge->IsVisible());

    // The base window knows nothing of the control's names.
    SWindow* label = wnd->FindChildByName(L"label");
    platform::ScopedDebugCapture log;
    EXPECT_EQ(label->SetAttribute(L"cells", L"4", FALSE), E_FAIL);
    EXPECT_NE(log.Text().find("SWindow::SetAttribute unknown attribute cells=\"4\" on <text>"),
              std::string::npos)
        << log.Text();
}

TEST_F(SAttrTableTest, BadValuesAreLoggedAndChangeNothing) {
    SWindow* gauge = wnd->FindChildByName(L"g");
    auto* g = static_cast<CGauge*>(gauge);
    auto* path = wnd->FindChildByName2<SEdit>(L"path");
    ASSERT_NE(path, nullptr);
    platform::ScopedDebugCapture log;
    EXPECT_EQ(gauge->SetAttribute(L"cells", L"0", FALSE), E_FAIL);  // below its minimum
    EXPECT_EQ(gauge->SetAttribute(L"cells", L"many", FALSE), E_FAIL);
    EXPECT_EQ(g->m_nCells, 1);
    EXPECT_EQ(gauge->SetAttribute(L"skin", L"skin.none", FALSE), E_FAIL);
    EXPECT_EQ(gauge->GetBkgndSkin(), nullptr);
    EXPECT_EQ(path->SetAttribute(L"password", L"-1", FALSE), E_FAIL);
    EXPECT_EQ(path->SetAttribute(L"colorText", L"#12", FALSE), E_FAIL);
    std::string text = log.Text();
    EXPECT_NE(text.find("gauge: attribute cells=\"0\" ignored (bad value)"), std::string::npos);
    EXPECT_NE(text.find("gauge: attribute cells=\"many\" ignored (bad value)"), std::string::npos);
    EXPECT_NE(text.find("gauge: attribute skin=\"skin.none\" ignored"), std::string::npos);
    EXPECT_NE(text.find("edit: attribute password=\"-1\" ignored"), std::string::npos);
    EXPECT_NE(text.find("edit: attribute colorText=\"#12\" ignored"), std::string::npos);
    EXPECT_EQ(text.find("unknown"), std::string::npos) << text;
}

TEST_F(SAttrTableTest, DerivedClassesChangeWhatABaseAttributeDoes) {
    // A skin only paints a plain window but sizes an image button.
    auto* btn = wnd->FindChildByName2<SImageButton>(L"btn");
    ASSERT_NE(btn, nullptr);
    EXPECT_EQ(btn->GetWindowRect(), CRect(10, 80, 30, 90));
    EXPECT_EQ(btn->SetAttribute(L"skin", L"skin.large", FALSE), S_OK);
    wnd->RenderAll();
    EXPECT_EQ(btn->GetWindowRect(), CRect(10, 80, 60, 110));

    // The editor's text goes through the base's text handling and then moves the caret.
    auto* path = wnd->FindChildByName2<SEdit>(L"path");
    path->SetSel(0, 1);
    EXPECT_EQ(path->SetAttribute(L"text", L"line\\nbreak", FALSE), S_OK);
    EXPECT_EQ(path->GetWindowTextW(), L"line\nbreak");
    int start = -1, end = -1;
    path->GetSel(&start, &end);
    EXPECT_EQ(start, end);
    EXPECT_EQ(path->GetCaretPos(), 10);
}
