// The main window's layout from the embedded resources in a real GTK window on a real X
// server: its size, a click on the agreement box, and a screenshot of the welcome page.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "resources/NamedIds.h"
#include "ui/SButtonEx.h"
#include "uilib/SApplication.h"
#include "uilib/SCheckBox.h"
#include "uilib/SHostWnd.h"
#include "uilib/SResProvider.h"
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"
#include "uilib/testing/SXvfb.h"

using namespace SOUI;
using namespace uitest;

namespace {

class MainWindowXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_xvfbUp)
            GTEST_SKIP() << "Xvfb could not start";
        ASSERT_TRUE(g_gtkUp) << "GTK did not open the Xvfb display";
        m_factory = new SRenderFactoryCairo;
        auto* decoder = new SImgDecoderPng;
        m_factory->SetImgDecoderFactory(decoder);
        decoder->Release();
        m_app = std::make_unique<SApplication>(m_factory, nullptr, L"SOUIHOST",
                                               SObjectDefaultRegister(), &m_host);
        ASSERT_TRUE(m_app->RegisterFactory(TplSObjectFactory<SButtonEx>()));
        size_t count = 0;
        const SNamedID* ids = QiGetNamedIds(&count);
        m_app->InitXmlNamedID(ids, static_cast<int>(count), true);
        IResProvider* provider = nullptr;
        ASSERT_TRUE(CreateResProvider(RES_PE, &provider));
        size_t resCount = 0;
        const SEmbeddedRes* table = QiGetEmbeddedResources(&resCount);
        ASSERT_TRUE(static_cast<SResProviderEmbedded*>(provider)->Init(table, resCount));
        ASSERT_TRUE(m_app->AddResProvider(provider, L"uidef:xml_init"));
        provider->Release();
    }
    void TearDown() override {
        m_app.reset();
        if (m_factory != nullptr)
            m_factory->Release();
    }

    SGtkHost m_host;
    IRenderFactory* m_factory = nullptr;
    std::unique_ptr<SApplication> m_app;
};

}  // namespace

TEST_F(MainWindowXvfbTest, WelcomePageInARealWindow) {
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetWindowTextW(L"QiMainWindowUnderTest");
    wnd.SetWindowPos(nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    wnd.ShowWindow(SW_SHOWNORMAL);
    std::string id;
    ASSERT_TRUE(PumpUntil([&] {
        id = RunCmd("xdotool search --onlyvisible --name QiMainWindowUnderTest");
        return !id.empty();
    }));
    id = id.substr(0, id.find('\n'));
    std::string info = RunCmd("xwininfo -id " + id);
    EXPECT_EQ(XwinValue(info, "Width: "), 640) << info;
    EXPECT_EQ(XwinValue(info, "Height: "), 445) << info;

    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    ASSERT_NE(agree, nullptr);
    const bool before = agree->IsChecked();
    PumpUntil([] { return false; }, 300);  // the first frame paints
    CRect rc = agree->GetWindowRect();
    RunCmd("xdotool mousemove --window " + id + " " + std::to_string(rc.left + 8) + " " +
           std::to_string(rc.CenterPoint().y) + " click 1");
    EXPECT_TRUE(PumpUntil([&] { return agree->IsChecked() != before; }))
        << "the click did not toggle agree";

    PumpUntil([] { return false; }, 300);
    const std::string dir = QI_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    const std::string shot = dir + "/xvfb_main_welcome.png";
    std::filesystem::remove(shot);
    RunCmd("import -window " + id + " " + shot);
    ASSERT_TRUE(std::filesystem::exists(shot));
    EXPECT_GT(std::filesystem::file_size(shot), 5000u) << "the window looks empty";
    wnd.DestroyWindow();
}
