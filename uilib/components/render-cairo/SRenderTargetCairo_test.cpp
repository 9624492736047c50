#include "uilib/components/render-cairo/SRenderTargetCairo.h"

#include <gtest/gtest.h>
#include "platform/Module.h"
#include "platform/Text.h"

#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SFontCairo.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"
#include "uilib/testing/SSharpness.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

class SRenderCairoTest : public ::testing::Test {
protected:
    void SetUp() override {
        factory = new SRenderFactoryCairo;
        decoder = new SImgDecoderPng;
        factory->SetImgDecoderFactory(decoder);
        ASSERT_TRUE(factory->CreateRenderTarget(&rt, 100, 60));
    }
    void TearDown() override {
        rt->Release();
        decoder->Release();
        factory->Release();
    }
    // Selects a font of that face and pixel size into the target (which keeps it).
    bool UseFont(const wchar_t* face, int size) {
        FontDesc desc;
        desc.face = face;
        desc.size = size;
        IFontS* font = nullptr;
        if (!factory->CreateFont(&font, desc))
            return false;
        rt->SelectFont(font);
        font->Release();
        return true;
    }
    SRenderFactoryCairo* factory = nullptr;
    SImgDecoderPng* decoder = nullptr;
    IRenderTarget* rt = nullptr;
};

}  // namespace

TEST_F(SRenderCairoTest, FillsClipsAndClears) {
    rt->FillSolidRect(CRect(0, 0, 50, 60), RGBA(255, 0, 0, 255));
    rt->PushClipRect(CRect(50, 0, 60, 60));
    rt->FillSolidRect(CRect(0, 0, 100, 60), RGBA(0, 0, 255, 255));
    rt->PopClip();
    rt->PopClip();  // an extra pop is ignored
    EXPECT_EQ(PixelAt(rt, 10, 10), 0xffff0000u);
    EXPECT_EQ(PixelAt(rt, 55, 10), 0xff0000ffu);
    EXPECT_EQ(PixelAt(rt, 70, 10), 0u);
    rt->FillSolidRect(CRect(0, 0, 10, 10), RGBA(0, 255, 0, 128));  // alpha is kept
    EXPECT_EQ(PixelAt(rt, 5, 5) >> 24, 0xffu);
    rt->Resize(CSize(100, 60));
    EXPECT_EQ(PixelAt(rt, 10, 10), 0u);
    rt->Resize(CSize(20, 10));
    EXPECT_EQ(rt->GetSize(), CSize(20, 10));
}

TEST_F(SRenderCairoTest, PngRoundTripAndStretchedFramesDoNotBleed) {
    std::string png = MakePng(4, 4, {0xff0000ff, 0x00ff00ff});
    IBitmapS* bmp = nullptr;
    ASSERT_TRUE(factory->CreateBitmapFromMemory(&bmp, png.data(), png.size()));
    EXPECT_EQ(bmp->Width(), 8);
    EXPECT_EQ(bmp->Height(), 4);
    // Frame 0 stretched 10x: its right edge must not pick up the green neighbour.
    rt->DrawBitmap(CRect(0, 0, 40, 40), bmp, CRect(0, 0, 4, 4), 255);
    EXPECT_EQ(PixelAt(rt, 39, 20), 0xffff0000u);
    rt->DrawBitmap(CRect(50, 0, 54, 4), bmp, CRect(4, 0, 8, 4), 128);
    uint32_t half = PixelAt(rt, 51, 1);
    EXPECT_NEAR(static_cast<int>(half >> 24), 128, 2);
    EXPECT_EQ(half & 0xff, 0u);
    bmp->Release();
    std::string bad = "not a png";
    EXPECT_FALSE(factory->CreateBitmapFromMemory(&bmp, bad.data(), bad.size()));
    std::string truncated = png.substr(0, png.size() / 2);
    EXPECT_FALSE(factory->CreateBitmapFromMemory(&bmp, truncated.data(), truncated.size()));
    // Write and read back a semi-transparent image.
    std::string path = ::testing::TempDir() + "rt_roundtrip.png";
    const BYTE* bits = nullptr;
    int stride = 0;
    ASSERT_TRUE(rt->GetPixels(&bits, &stride));
    ASSERT_TRUE(decoder->SaveImage(bits, 100, 60, stride, path.c_str()));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string data;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    std::fclose(f);
    std::remove(path.c_str());
    int w = 0, h = 0;
    std::basic_string<BYTE> px;
    ASSERT_TRUE(decoder->DecodeImage(data.data(), data.size(), &w, &h, &px));
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 60);
    EXPECT_EQ(px[(20 * 100 + 39) * 4 + 2], 0xff);  // red channel of a red pixel
}

TEST_F(SRenderCairoTest, TextMeasuresAndDrawsWithTheCjkFace) {
#ifdef _WIN32
    const std::string cjk = "Microsoft YaHei,WenQuanYi Micro Hei";  // the system's, else the host's
#else
    const std::string cjk = "WenQuanYi Micro Hei";
#endif
    EXPECT_EQ(SFontCairo::MapFace(L"微软雅黑"), cjk);
    EXPECT_EQ(SFontCairo::MapFace(L"宋体"), cjk);
    EXPECT_EQ(SFontCairo::MapFace(L"Arial"), "Arial," + cjk);
    ASSERT_TRUE(UseFont(L"微软雅黑", 20));
    CSize one = rt->MeasureText(L"中", 1);
    CSize two = rt->MeasureText(L"中文", -1);
    EXPECT_GT(one.cx, 10);
    EXPECT_NEAR(two.cx, 2 * one.cx, 2);
    EXPECT_GE(one.cy, 20);
    CRect calc(0, 0, 30, 1000);
    int h = rt->DrawText(L"中文中文中文", -1, &calc, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_GE(h, 2 * one.cy);  // wrapped inside 30 pixels
    rt->SetTextColor(RGBA(0, 0, 0, 255));
    CRect rc(0, 0, 100, 60);
    rt->DrawText(L"安装", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    int inked = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            inked += (PixelAt(rt, x, y) >> 24) > 0x80;
    EXPECT_GT(inked, 20);
    EXPECT_EQ(PixelAt(rt, 1, 1), 0u);  // centred: the corner stays empty
}

// Each module exports SCreateInstance and hands over a working component.
TEST(SComponentModulesTest, ModulesExportSCreateInstance) {
    for (const wchar_t* base : {L"render-cairo", L"imgdecoder-png", L"translator"}) {
        const std::wstring path = platform::PathFromNarrow(QI_COMPONENT_DIR) + L"/" + base +
                                  platform::SharedModuleSuffix();
        std::string error;
        platform::ModuleHandle h = platform::LoadSharedModule(path, &error);
        ASSERT_NE(h, nullptr) << error;
        auto fn =
            reinterpret_cast<FunSCreateInstance>(platform::FindModuleSymbol(h, "SCreateInstance"));
        ASSERT_NE(fn, nullptr) << platform::WideToUtf8(base);
        IObject* obj = nullptr;
        EXPECT_TRUE(fn(&obj));
        ASSERT_NE(obj, nullptr);
        if (std::wstring(base) == L"render-cairo") {
            auto* rf = static_cast<IRenderFactory*>(obj);
            IRenderTarget* t = nullptr;
            EXPECT_TRUE(rf->CreateRenderTarget(&t, 4, 4));
            if (t)
                t->Release();
        }
        obj->Release();
        platform::FreeSharedModule(h);
    }
}

// Boundaries are per wide unit: on Windows a character outside the basic plane is a
// surrogate pair, and the words after it keep their places.
TEST_F(SRenderCairoTest, BoundariesStayOnTheirUnitsAfterAnAstralCharacter) {
    const std::wstring text = L"ab \U0001F600 cd";
    std::vector<BYTE> flags(text.size() + 1, 0xFF);
    rt->GetTextBoundaries(text.c_str(), static_cast<int>(text.size()), flags.data());
    const size_t c = text.find(L'c');
    EXPECT_TRUE(flags[0] & kBoundWordStart);
    EXPECT_TRUE(flags[2] & kBoundWordEnd);
    EXPECT_TRUE(flags[c] & kBoundWordStart);
    EXPECT_TRUE(flags[text.size()] & kBoundWordEnd);
    EXPECT_FALSE(flags[c + 1] & kBoundWordStart);
}

// A scale-2 target: the same logical coordinates, twice the pixels in each direction,
// and text rasterised at that resolution, not enlarged from a scale-1 picture.
TEST_F(SRenderCairoTest, ScaledTargetDrawsLogicalCoordinatesAtDeviceResolution) {
    EXPECT_EQ(rt->GetScale(), 1);
    rt->SetScale(2);
    EXPECT_EQ(rt->GetScale(), 2);
    EXPECT_EQ(rt->GetSize(), CSize(100, 60));
    const BYTE* bits = nullptr;
    int stride = 0;
    ASSERT_TRUE(rt->GetPixels(&bits, &stride));
    EXPECT_GE(stride, 200 * 4);
    rt->FillSolidRect(CRect(10, 10, 20, 20), RGBA(255, 0, 0, 255));
    EXPECT_EQ(PixelAt(rt, 20, 20), 0xffff0000u);  // logical (10, 10)
    EXPECT_EQ(PixelAt(rt, 39, 39), 0xffff0000u);
    EXPECT_EQ(PixelAt(rt, 19, 19), 0u);
    EXPECT_EQ(PixelAt(rt, 40, 40), 0u);
    rt->Resize(CSize(100, 60));  // clears, keeps the scale
    EXPECT_EQ(PixelAt(rt, 30, 30), 0u);
    EXPECT_EQ(rt->GetScale(), 2);
    rt->SetScale(99);
    EXPECT_EQ(rt->GetScale(), kMaxRenderScale);
    rt->SetScale(0);
    EXPECT_EQ(rt->GetScale(), 1);

    FontDesc d;
    d.face = L"微软雅黑";
    d.size = 16;
    IFontS* font = nullptr;
    ASSERT_TRUE(factory->CreateFont(&font, d));
    auto render = [&](IRenderTarget* t) {
        t->SelectFont(font);
        t->FillSolidRect(CRect(0, 0, 100, 60), RGBA(255, 255, 255, 255));
        t->SetTextColor(RGBA(0x38, 0x38, 0x38, 255));
        CRect rc(0, 0, 100, 60);
        t->DrawText(L"安装 Setup", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    };
    render(rt);  // scale 1
    CSize measured = rt->MeasureText(L"安装 Setup", -1);
    double soft = EnlargedSharpness(rt, 0, 0, 200, 120);

    IRenderTarget* crisp = nullptr;
    ASSERT_TRUE(factory->CreateRenderTarget(&crisp, 100, 60));
    crisp->SetScale(2);
    render(crisp);
    // Layout metrics do not depend on the scale.
    EXPECT_EQ(crisp->MeasureText(L"安装 Setup", -1), measured);
    ASSERT_TRUE(crisp->GetPixels(&bits, &stride));
    double fine = Sharpness(bits, stride, 0, 0, 200, 120);
    EXPECT_GT(soft, 0.0);
    EXPECT_GT(fine, 1.5 * soft) << "drawn at scale 2 " << fine << ", enlarged " << soft;
    crisp->Release();
    font->Release();
}

TEST_F(SRenderCairoTest, LineBreaksFollowTheUnicodeRules) {
    // Closing punctuation never starts a line, opening punctuation never ends one; Latin
    // words break after their spaces only.
    const std::wstring text = L"你好，世界（测试）。Hello world";
    std::vector<BYTE> flags(text.size() + 1, 0xff);
    rt->GetTextBoundaries(text.c_str(), static_cast<int>(text.size()), flags.data());
    auto breaks = [&](size_t i) { return (flags[i] & kBoundLineBreak) != 0; };
    EXPECT_TRUE(breaks(1));                      // between 你 and 好
    EXPECT_FALSE(breaks(text.find(L'，')));      // before ，
    EXPECT_TRUE(breaks(text.find(L'，') + 1));   // after it
    EXPECT_FALSE(breaks(text.find(L'（') + 1));  // after （
    EXPECT_FALSE(breaks(text.find(L'）')));      // before ）
    EXPECT_FALSE(breaks(text.find(L'。')));      // before 。
    EXPECT_FALSE(breaks(text.find(L"ello")));    // inside a word
    EXPECT_TRUE(breaks(text.find(L"world")));    // after the space
    EXPECT_TRUE(flags[text.find(L"world")] & kBoundWordStart);
    EXPECT_TRUE(flags[text.size()] & kBoundWordEnd);
    EXPECT_FALSE(flags[text.find(L' ')] & kBoundWordStart);
}

TEST_F(SRenderCairoTest, CharacterEdgesAddUpToTheMeasuredWidth) {
    ASSERT_TRUE(UseFont(L"宋体", 16));
    // Characters of one, two, three and four UTF-8 bytes: edges are per character.
    for (const std::wstring& text :
         {std::wstring(L"Width"), std::wstring(L"é中文 \U0001F600x"), std::wstring(L"a")}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        const int n = static_cast<int>(text.size());
        std::vector<int> edges(text.size(), -1);
        rt->MeasureCharEdges(text.c_str(), n, edges.data());
        for (int i = 0; i < n; ++i) {
            EXPECT_GE(edges[i], i ? edges[i - 1] : 0) << i;
            // A character outside the basic plane (one unit, or a surrogate pair) may keep
            // its edge on the unit that does not end it.
            const auto unit = static_cast<uint32_t>(text[i]);
            if (unit != L' ' && unit < 0xD800) {
                EXPECT_GT(edges[i], i ? edges[i - 1] : 0) << i;
            }
        }
        EXPECT_NEAR(edges[n - 1], rt->MeasureText(text.c_str(), n).cx, 1);
    }
    // The wide ideographs take about twice a Latin letter.
    const wchar_t mixed[] = L"中i";
    int e[2];
    rt->MeasureCharEdges(mixed, 2, e);
    EXPECT_GT(e[0], 2 * (e[1] - e[0]));
}
