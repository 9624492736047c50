// SButtonEx through a render target that records its draw calls. Text measures 12 pixels
// per character and 20 high, so "自定义安装" is 60 x 20; the icon skin has 16 x 16 frames.

#include "ui/SButtonEx.h"

#include <gtest/gtest.h>

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "uilib/SApplication.h"
#include "uilib/SStyle.h"
#include "uilib/testing/SRecordingTarget.h"

using namespace SOUI;
using namespace uitest;

namespace {

// A skin that records which frame it draws where.
class CRecordingSkin : public SObjectImpl<ISkinObj> {
public:
    CRecordingSkin(std::wstring name, CSize size, int states, CallLog* log, BYTE alpha = 0xff)
        : m_name(std::move(name)), m_size(size), m_states(states), m_log(log), m_alpha(alpha) {}
    void DrawByIndex(IRenderTarget*, const CRect& rc, int index, BYTE alpha) override {
        m_log->push_back({DrawCall::Skin, m_name, rc, index, alpha});
    }
    using ISkinObj::DrawByIndex;
    CSize GetSkinSize() const override { return m_size; }
    int GetStates() const override { return m_states; }
    BYTE GetAlpha() const override { return m_alpha; }
    HRESULT SetAttribute(const SStringW&, const SStringW&, BOOL) override { return E_FAIL; }

private:
    std::wstring m_name;
    CSize m_size;
    int m_states;
    CallLog* m_log;
    BYTE m_alpha;
};

// Reaches the hover fade, which the library runs on its own timeline.
class CTestButton : public SButtonEx {
public:
    void SetFade(BYTE alpha) { m_byAniAlpha = alpha; }
};

class ButtonExTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_factory = new SRecordingFactory;
        m_app = std::make_unique<SApplication>(m_factory, nullptr);
        SSkinPoolMgr* pool = SSkinPoolMgr::getSingletonPtr();
        ASSERT_NE(pool, nullptr);
        pool->AddSkin(L"skin.icon", new CRecordingSkin(L"icon", {16, 16}, 4, &m_log));
        pool->AddSkin(L"skin.icon24", new CRecordingSkin(L"icon24", {24, 24}, 4, &m_log));
        pool->AddSkin(L"skin.bg", new CRecordingSkin(L"bg", {10, 10}, 4, &m_log));
        pool->AddSkin(L"skin.bg_half", new CRecordingSkin(L"bg", {10, 10}, 4, &m_log, 0x80));
        m_rt = new SRecordingTarget(m_factory, &m_log);
    }
    void TearDown() override {
        for (CTestButton* b : m_buttons)
            b->Release();
        if (m_rt != nullptr)
            m_rt->Release();
        m_app.reset();
        if (m_factory != nullptr)
            m_factory->Release();
    }

    // A button at rc with the icon skin, the background skin and the text.
    CTestButton* Make(const CRect& rc, const wchar_t* text = L"自定义安装") {
        auto* b = new CTestButton;
        m_buttons.push_back(b);
        b->SetAttribute(L"icon", L"skin.icon", 1);
        b->SetAttribute(L"skin", L"skin.bg", 1);
        b->SetWindowTextW(text);
        b->Move(rc);
        return b;
    }

    CallLog Paint(SButtonEx* b) {
        m_log.clear();
        LRESULT result = -1;
        EXPECT_TRUE(b->ProcessSwndMessage(WM_PAINT, reinterpret_cast<WPARAM>(m_rt), 0, result));
        EXPECT_EQ(result, 0);
        return m_log;
    }

    static const DrawCall* Find(const CallLog& log, DrawCall::Kind kind, const wchar_t* what) {
        for (const DrawCall& c : log) {
            if (c.kind == kind && c.what == what)
                return &c;
        }
        return nullptr;
    }
    static const DrawCall& Icon(const CallLog& log) {
        static const DrawCall none{DrawCall::Skin, L"none", CRect(-999, -999, -999, -999)};
        const DrawCall* c = Find(log, DrawCall::Skin, L"icon");
        return c != nullptr ? *c : none;
    }
    static CPoint TextAt(const CallLog& log) {
        for (const DrawCall& c : log) {
            if (c.kind == DrawCall::Text)
                return c.rc.TopLeft();
        }
        return {-999, -999};
    }

    SRecordingFactory* m_factory = nullptr;
    std::unique_ptr<SApplication> m_app;
    SRecordingTarget* m_rt = nullptr;
    CallLog m_log;
    std::vector<CTestButton*> m_buttons;
};

constexpr DWORD kHover = WndState_Hover, kPushed = WndState_PushDown, kChecked = WndState_Check,
                kDisabled = WndState_Disable;

}  // namespace

TEST_F(ButtonExTest, MeasuresContentPlusPaddingInEachArrangement) {
    CTestButton* b = Make(CRect(0, 0, 200, 60));
    // Defaults: icon left of text with a 5 pixel gap.
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(81, 20));
    EXPECT_EQ(b->SetAttribute(L"padding", L"3,4,7,2", FALSE), S_OK);
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(81 + 10, 20 + 6));
    b->SetAttribute(L"padding", L"0", FALSE);

    b->SetAttribute(L"drawMode", L"horzTextIcon", FALSE);
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(81, 20));
    b->SetAttribute(L"drawMode", L"vertIconText", FALSE);
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(60, 41));
    b->SetAttribute(L"drawMode", L"vertTextIcon", FALSE);
    b->SetAttribute(L"sepSize", L"0x2", FALSE);
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(60, 38));
    b->SetAttribute(L"drawMode", L"freeDraw", FALSE);
    b->SetAttribute(L"iconPos", L"50,30", FALSE);
    b->SetAttribute(L"textPos", L"4,6", FALSE);
    EXPECT_EQ(b->GetDesiredSize(nullptr), CSize(66, 46));  // max(4+60, 50+16), max(6+20, 30+16)
    // Huge values are clamped as the style rules clamp coordinates: the sums stay defined.
    b->SetAttribute(L"iconPos", L"99999999999,-99999999999", FALSE);
    b->SetAttribute(L"textPos", L"99999999999,1", FALSE);
    EXPECT_EQ(b->GetDesiredSize(nullptr).cx, kMaxCoord + 60);
    b->SetAttribute(L"sepSize", L"0x7fffffffff", FALSE);
    b->SetAttribute(L"drawMode", L"horzIconText", FALSE);
    EXPECT_GE(b->GetDesiredSize(nullptr).cx, kMaxCoord);
    b->SetAttribute(L"drawMode", L"vertIconText", FALSE);
    EXPECT_GE(b->GetDesiredSize(nullptr).cy, kMaxCoord);
    b->SetAttribute(L"sepSize", L"0x2", FALSE);
    b->SetAttribute(L"drawMode", L"freeDraw", FALSE);
    b->SetAttribute(L"iconPos", L"50,30", FALSE);
    b->SetAttribute(L"textPos", L"4,6", FALSE);
    EXPECT_GE(m_factory->m_nTargets, 1) << "measures on a target of the render factory";

    // A button whose icon skin does not exist measures its text alone.
    CTestButton* plain = Make(CRect(0, 0, 100, 30), L"abc");
    plain->SetAttribute(L"icon", L"skin.missing", FALSE);
    EXPECT_EQ(plain->GetIconSize(), CSize(0, 0));
    EXPECT_EQ(plain->GetDesiredSize(nullptr), CSize(36 + 5, 20));
    CallLog log = Paint(plain);
    EXPECT_EQ(Find(log, DrawCall::Skin, L"icon"), nullptr);
    EXPECT_NE(Find(log, DrawCall::Text, L"abc"), nullptr);
}

TEST_F(ButtonExTest, PlacesIconAndTextInTheFiveArrangements) {
    // Content area (10,5)-(190,55): 180 x 50 after the padding.
    CTestButton* b = Make(CRect(0, 0, 200, 60));
    b->SetAttribute(L"padding", L"10,5,10,5", FALSE);
    struct Case {
        const wchar_t* mode;
        CPoint icon, text;
    };
    const Case cases[] = {
        // content 81 x 20: starts at 10 + (180 - 81) / 2 = 59
        {L"horzIconText", {59, 5 + 17}, {59 + 16 + 5, 5 + 15}},
        {L"horzTextIcon", {59 + 60 + 5, 5 + 17}, {59, 5 + 15}},
        // content 60 x 41: top at 5 + (50 - 41) / 2 = 9
        {L"vertIconText", {10 + 82, 9}, {10 + 60, 9 + 16 + 5}},
        {L"vertTextIcon", {10 + 82, 9 + 20 + 5}, {10 + 60, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(b->SetAttribute(L"drawMode", c.mode, FALSE), S_OK);
        CallLog log = Paint(b);
        EXPECT_EQ(Icon(log).rc, CRect(c.icon.x, c.icon.y, c.icon.x + 16, c.icon.y + 16));
        EXPECT_EQ(TextAt(log), c.text);
    }
    b->SetAttribute(L"drawMode", L"freeDraw", FALSE);
    b->SetAttribute(L"iconPos", L"3,4", FALSE);
    b->SetAttribute(L"textPos", L"30,1", FALSE);
    CallLog log = Paint(b);
    EXPECT_EQ(Icon(log).rc, CRect(13, 9, 29, 25));
    EXPECT_EQ(TextAt(log), CPoint(40, 6));
}

TEST_F(ButtonExTest, ContentWiderThanTheButtonStartsLeftOfTheContentArea) {
    CTestButton* b = Make(CRect(100, 50, 140, 70));  // 40 x 20 for 81 x 20 of content
    CallLog log = Paint(b);
    // (40 - 81) / 2 truncates toward zero: -20.
    EXPECT_EQ(Icon(log).rc.left, 100 - 20);
    EXPECT_EQ(TextAt(log), CPoint(100 - 20 + 21, 50));
    b->SetAttribute(L"drawMode", L"vertIconText", FALSE);
    log = Paint(b);
    EXPECT_EQ(Icon(log).rc.top, 50 + (20 - 41) / 2);
    EXPECT_LT(Icon(log).rc.top, 50);
}

TEST_F(ButtonExTest, IconFrameIsFixedOrFollowsTheState) {
    CTestButton* b = Make(CRect(0, 0, 120, 30));
    const std::pair<DWORD, int> states[] = {
        {0, 0}, {kHover, 1}, {kPushed, 2}, {kChecked, 2}, {kDisabled, 3}, {kDisabled | kPushed, 3}};
    for (auto [state, frame] : states) {
        b->ModifyState(state, ~state, false);
        EXPECT_EQ(Icon(Paint(b)).frame, 0) << "iconIndex 0, state " << state;
        // The background follows the state whatever the icon does.
        EXPECT_EQ(Find(m_log, DrawCall::Skin, L"bg")->frame, frame);
    }
    b->SetAttribute(L"iconIndex", L"-1", FALSE);
    for (auto [state, frame] : states) {
        b->ModifyState(state, ~state, false);
        EXPECT_EQ(Icon(Paint(b)).frame, frame) << "iconIndex -1, state " << state;
    }
    b->SetAttribute(L"iconIndex", L"0x3", FALSE);
    EXPECT_EQ(b->GetIconIndex(), 3);
    b->SetAttribute(L"iconIndex", L"none", FALSE);
    EXPECT_EQ(b->GetIconIndex(), 0);
}

TEST_F(ButtonExTest, PushedContentMovesByThePushOffsetAndTheBackgroundStays) {
    CTestButton* b = Make(CRect(10, 10, 130, 40));
    CallLog normal = Paint(b);
    b->ModifyState(kPushed, 0, false);
    CallLog pushed = Paint(b);
    EXPECT_EQ(Find(pushed, DrawCall::Skin, L"bg")->rc, Find(normal, DrawCall::Skin, L"bg")->rc);
    EXPECT_EQ(Find(pushed, DrawCall::Skin, L"bg")->rc, CRect(10, 10, 130, 40));
    CRect moved = Icon(normal).rc;
    moved.OffsetRect(2, 2);
    EXPECT_EQ(Icon(pushed).rc, moved);
    EXPECT_EQ(TextAt(pushed), CPoint(TextAt(normal).x + 2, TextAt(normal).y + 2));

    // One number sets only the horizontal shift; no number changes nothing.
    b->SetAttribute(L"pushOffset", L"3,4", FALSE);
    EXPECT_EQ(b->GetPushOffset(), CPoint(3, 4));
    b->SetAttribute(L"pushOffset", L"5", FALSE);
    EXPECT_EQ(b->GetPushOffset(), CPoint(5, 4));
    b->SetAttribute(L"pushOffset", L"x,9", FALSE);
    EXPECT_EQ(b->GetPushOffset(), CPoint(5, 4));
    b->SetAttribute(L"pushOffset", L"99999999999999,-1", FALSE);  // clamped, not undefined
    EXPECT_EQ(b->GetPushOffset().y, -1);
    b->SetAttribute(L"pushOffset", L"5,4", FALSE);
    CallLog shifted = Paint(b);
    EXPECT_EQ(TextAt(shifted), CPoint(TextAt(normal).x + 5, TextAt(normal).y + 4));
}

TEST_F(ButtonExTest, DrawModeWordsAreCaseSensitive) {
    CTestButton* b = Make(CRect(0, 0, 120, 30));
    ASSERT_EQ(b->SetAttribute(L"drawMode", L"vertTextIcon", FALSE), S_OK);
    for (const wchar_t* word : {L"HorzTextIcon", L"horztexticon", L"", L"5", L"freeDraw "}) {
        EXPECT_EQ(b->SetAttribute(L"drawMode", word, FALSE), E_FAIL) << word;
        EXPECT_EQ(b->GetDrawMode(), SButtonEx::VertTextIcon);
    }
    // Attribute names themselves match without regard to case.
    EXPECT_EQ(b->SetAttribute(L"DRAWMODE", L"horzTextIcon", FALSE), S_OK);
    EXPECT_EQ(b->GetDrawMode(), SButtonEx::HorzTextIcon);
    EXPECT_EQ(b->SetAttribute(L"SepSize", L"7", FALSE), S_OK);
    EXPECT_EQ(b->GetSepSize(), 7);
}

TEST_F(ButtonExTest, HoverFadeBlendsTheHoverFrameOverTheNormalOne) {
    CTestButton* b = Make(CRect(0, 0, 120, 30));
    b->SetAttribute(L"skin", L"skin.bg_half", FALSE);  // skin alpha 0x80
    b->SetFade(100);
    b->ModifyState(kHover, 0, false);
    CallLog log = Paint(b);
    std::vector<std::pair<int, int>> frames;
    for (const DrawCall& c : log) {
        if (c.what == L"bg")
            frames.push_back({c.frame, c.alpha});
    }
    const int a = (100 * 0x80) >> 8;
    EXPECT_EQ(frames, (std::vector<std::pair<int, int>>{{0, 0x80}, {1, a}}));

    b->ModifyState(0, kHover, false);  // fading out
    log = Paint(b);
    frames.clear();
    for (const DrawCall& c : log) {
        if (c.what == L"bg")
            frames.push_back({c.frame, c.alpha});
    }
    EXPECT_EQ(frames, (std::vector<std::pair<int, int>>{{0, 0x80}, {1, 0x80 - a}}));
}

TEST_F(ButtonExTest, IconGivenByCodeTakesPrecedenceAndHiddenIconKeepsItsSpace) {
    CTestButton* b = Make(CRect(0, 0, 200, 40));
    CPoint textWithSkin = TextAt(Paint(b));

    IBitmapS* first = new SFakeBitmap(48, 48);
    EXPECT_EQ(b->SetIcon(first, 24), nullptr);
    EXPECT_EQ(b->GetIconSize(), CSize(24, 24));
    CallLog log = Paint(b);
    EXPECT_EQ(Icon(log).what, L"none") << "the skin is not drawn";
    const DrawCall* bmp = nullptr;
    for (const DrawCall& c : log) {
        if (c.kind == DrawCall::Bitmap)
            bmp = &c;
    }
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->rc.Width(), 24);
    EXPECT_EQ(bmp->rc.Height(), 24);

    // The previous icon comes back to the caller; the last one is released by the button.
    IBitmapS* second = new SFakeBitmap(16, 16);
    IBitmapS* back = b->SetIcon(second, 16);
    EXPECT_EQ(back, first);
    back->Release();
    EXPECT_EQ(b->SetIcon(nullptr, 32), second);
    second->Release();

    b->ShowIcon(false);
    log = Paint(b);
    EXPECT_EQ(Find(log, DrawCall::Skin, L"icon"), nullptr);
    EXPECT_EQ(TextAt(log), textWithSkin);
}

TEST_F(ButtonExTest, FactoryCreatesTheButtonFromALayoutElement) {
    EXPECT_TRUE(m_app->RegisterFactory(TplSObjectFactory<SButtonEx>()));
    EXPECT_FALSE(m_app->RegisterFactory(TplSObjectFactory<SButtonEx>())) << "kept, not replaced";
    TplSObjectFactory<SButtonEx> factory;
    EXPECT_STREQ(factory.GetName(), L"buttonex");
    EXPECT_STREQ(factory.GetBaseClassName(), L"button");
    EXPECT_EQ(factory.GetObjectType(), 1);
    std::unique_ptr<SObjectFactory> clone(factory.Clone());
    EXPECT_STREQ(clone->GetName(), L"buttonex");

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(
        "<window><buttonex name=\"btn_extend\" pos=\"512,103,@110,@20\" icon=\"skin.icon\" "
        "iconIndex=\"0\" drawMode=\"horzTextIcon\" skin=\"skin.bg\" animate=\"1\" "
        "cursor=\"hand\">自定义安装</buttonex></window>"));
    SWindow parent;
    parent.CreateChildren(doc.child("window"));
    auto* b = parent.FindChildByName2<SButtonEx>(L"btn_extend");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->IsClass(L"buttonex"));
    EXPECT_TRUE(b->IsClass(L"button")) << "keeps the base button's class";
    EXPECT_FALSE(b->IsClass(L"ButtonEx"));
    EXPECT_STREQ(b->GetObjectClass(), L"buttonex");
    EXPECT_EQ(b->GetObjectType(), 1);
    EXPECT_EQ(b->GetDrawMode(), SButtonEx::HorzTextIcon);
    EXPECT_EQ(b->GetIconSkin(), SSkinPoolMgr::getSingleton().GetSkin(L"skin.icon"));
    EXPECT_EQ(b->GetWindowTextW(true), L"自定义安装");
    EXPECT_EQ(b->GetCursor(), SCursor::Hand);

    // The icon attribute switches the skin at run time, as the custom-install toggle does.
    b->SetAttribute(L"icon", L"skin.icon24", FALSE);
    EXPECT_EQ(b->GetIconSize(), CSize(24, 24));
}
