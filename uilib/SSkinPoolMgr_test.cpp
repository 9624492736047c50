// Skins shared by the pool and the windows that use them: a skin the pool replaces or
// drops lives on until the last window lets it go, and is destroyed exactly then.

#include "uilib/SSkinPoolMgr.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "uilib/SApplication.h"
#include "uilib/testing/SRecordingTarget.h"

using namespace SOUI;
using namespace uitest;

namespace {

// Logs its draws and counts its destruction under its name.
class CCountedSkin : public SObjectImpl<ISkinObj> {
public:
    CCountedSkin(std::wstring name, CallLog* log, std::map<std::wstring, int>* destroyed)
        : m_name(std::move(name)), m_log(log), m_destroyed(destroyed) {}
    ~CCountedSkin() override { ++(*m_destroyed)[m_name]; }
    void DrawByIndex(IRenderTarget*, const CRect& rc, int index, BYTE alpha) override {
        m_log->push_back({DrawCall::Skin, m_name, rc, index, alpha});
    }
    using ISkinObj::DrawByIndex;
    CSize GetSkinSize() const override { return {10, 10}; }
    int GetStates() const override { return 1; }
    BYTE GetAlpha() const override { return 0xff; }
    HRESULT SetAttribute(const SStringW&, const SStringW&, BOOL) override { return E_FAIL; }

private:
    std::wstring m_name;
    CallLog* m_log;
    std::map<std::wstring, int>* m_destroyed;
};

class SkinHoldingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_factory.attach(new SRecordingFactory);
        m_app = std::make_unique<SApplication>(m_factory.get(), nullptr);
        m_pool = SSkinPoolMgr::getSingletonPtr();
        ASSERT_NE(m_pool, nullptr);
        m_rt.attach(new SRecordingTarget(m_factory.get(), &m_log));
    }
    void TearDown() override {
        m_rt.reset();
        m_app.reset();
    }

    void Add(const wchar_t* name, const wchar_t* skinName) {
        m_pool->AddSkin(name, new CCountedSkin(skinName, &m_log, &m_destroyed));
    }
    // The names of the skins the window draws with one paint.
    std::wstring Paint(SWindow* wnd) {
        m_log.clear();
        LRESULT result = -1;
        EXPECT_TRUE(
            wnd->ProcessSwndMessage(WM_PAINT, reinterpret_cast<WPARAM>(m_rt.get()), 0, result));
        std::wstring names;
        for (const DrawCall& c : m_log) {
            if (c.kind == DrawCall::Skin)
                names += c.what + L";";
        }
        return names;
    }

    SAutoRefPtr<SRecordingFactory> m_factory;
    std::unique_ptr<SApplication> m_app;
    SSkinPoolMgr* m_pool = nullptr;
    SAutoRefPtr<SRecordingTarget> m_rt;
    CallLog m_log;
    std::map<std::wstring, int> m_destroyed;
};

TEST_F(SkinHoldingTest, AWindowKeepsDrawingTheSkinItTookWhenThePoolReplacesIt) {
    Add(L"bg", L"old");
    auto wnd = AdoptRef(new SWindow);
    wnd->Move(CRect(0, 0, 50, 20));
    ASSERT_EQ(wnd->SetAttribute(L"skin", L"bg", FALSE), S_OK);
    EXPECT_EQ(Paint(wnd.get()), L"old;");

    Add(L"bg", L"new");  // the pool's entry replaced
    EXPECT_EQ(m_destroyed[L"old"], 0);
    EXPECT_EQ(Paint(wnd.get()), L"old;");  // a freed skin here was a use after free
    EXPECT_NE(wnd->SetAttribute(L"skin", L"missing", FALSE), S_OK);
    EXPECT_EQ(Paint(wnd.get()), L"old;");

    // The attribute set again takes the pool's current skin; the old one goes now.
    ASSERT_EQ(wnd->SetAttribute(L"skin", L"bg", FALSE), S_OK);
    EXPECT_EQ(m_destroyed[L"old"], 1);
    EXPECT_EQ(Paint(wnd.get()), L"new;");

    // A cleared pool leaves the window its skin; an empty value takes it away.
    m_pool->Clear();
    EXPECT_EQ(Paint(wnd.get()), L"new;");
    EXPECT_EQ(m_destroyed[L"new"], 0);
    ASSERT_EQ(wnd->SetAttribute(L"skin", L"", FALSE), S_OK);
    EXPECT_EQ(m_destroyed[L"new"], 1);
    EXPECT_EQ(Paint(wnd.get()), L"");
}

TEST_F(SkinHoldingTest, EverySkinAttributeHoldsItsSkinAndLetsGoOfTheOneBefore) {
    struct Case {
        const wchar_t* windowClass;
        const wchar_t* attribute;
    };
    const Case cases[] = {
        {L"window", L"skin"},      {L"window", L"focusSkin"}, {L"progress", L"bkgndSkin"},
        {L"progress", L"posSkin"}, {L"tabctrl", L"tabSkin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.windowClass) + L" " + c.attribute);
        m_destroyed.clear();
        Add(L"a", L"first");
        Add(L"b", L"second");
        SAutoRefPtr<SWindow> wnd;
        wnd.attach(m_app->CreateWindowByName(c.windowClass));
        ASSERT_TRUE(wnd);
        ASSERT_EQ(wnd->SetAttribute(c.attribute, L"a", FALSE), S_OK);
        m_pool->Clear();
        EXPECT_EQ(m_destroyed[L"first"], 0) << "the window holds it";
        EXPECT_EQ(m_destroyed[L"second"], 1) << "nobody holds it";

        Add(L"b", L"second");
        ASSERT_EQ(wnd->SetAttribute(c.attribute, L"b", FALSE), S_OK);
        EXPECT_EQ(m_destroyed[L"first"], 1) << "replaced on the window";
        m_pool->Clear();
        EXPECT_EQ(m_destroyed[L"second"], 1) << "the window holds it";
        wnd.reset();
        EXPECT_EQ(m_destroyed[L"second"], 2);
    }
}

}  // namespace
