// The interface in English (language=2) on the headless host: every page, the custom
// panel, the slides, the failure texts of the install events and the message box are
// walked, and no text any control shows (through the translator, as drawn) holds a
// Chinese character. Each state is also rendered to a PNG for a person to look at
// (QI_ENGLISH_SHOTS=folder keeps them).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "install/EventInstallCallBack.h"
#include "install/InstallMgr.h"
#include "net/HttpMgr.h"
#include "net/StopFlag.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/TempDir.h"
#include "ui/CMainDlg.h"
#include "ui/CMsgBoxDlg.h"
#include "ui/Language.h"
#include "ui/testing/ProgramUi.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SRichEdit.h"
#include "uilib/components/translator/STranslatorMgr.h"

using namespace SOUI;

namespace {

bool IsCjk(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x3000 && c <= 0x303F);
}

// Every text of the tree under `wnd` as its control draws it, with the control's name.
void CollectTexts(SWindow* wnd, std::vector<std::pair<std::wstring, std::wstring>>& texts) {
    const SStringW text = wnd->GetWindowTextW();
    if (!text.empty())
        texts.emplace_back(wnd->GetName(), text);
    for (size_t i = 0; i < wnd->GetChildrenCount(); ++i)
        CollectTexts(wnd->GetChild(i), texts);
}

class EnglishUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_ui.Ok());
        g_bStopFlag = false;
        ::setenv("QI_REGISTRY_DIR", (m_tmp / "registry").c_str(), 1);
        platform::SetModuleFileNameForTest(
            platform::Utf8ToWide(m_tmp / "installer/quillora-installer"));
        m_tmp.Write("installer/Install.ini", qitest::OfflineInstallIni() + "language=2\r\n");
        // As start-up does it: the translator with the language Install.ini asks for.
        m_translator = new STranslatorMgr;
        LoadLanguage(m_ui.App(), m_translator);

        m_host.SetIdleLimitMs(2000);
        m_center = std::make_unique<SNotifyCenter>();
        m_dlg = std::make_unique<CMainDlg>();
        ASSERT_NE(m_dlg->Create(), nullptr);
        m_dlg->SendMessageW(WM_INITDIALOG);
        m_dlg->ShowWindow(SW_SHOWNORMAL);
    }
    void TearDown() override {
        m_dlg.reset();
        CHttpMgr::GetInstance()->TerminateAll();
        m_center.reset();
        m_ui.App().SetTranslator(nullptr);
        if (m_translator != nullptr)
            m_translator->Release();
        platform::SetModuleFileNameForTest(L"");
        ::unsetenv("QI_REGISTRY_DIR");
    }

    // Checks every text of `wnd` (and renders it) in the state called `state`.
    void ExpectEnglish(SHostWnd* wnd, const std::string& state) {
        SCOPED_TRACE(state);
        std::vector<std::pair<std::wstring, std::wstring>> texts;
        CollectTexts(wnd, texts);
        ASSERT_FALSE(texts.empty());
        for (const auto& [name, text] : texts) {
            for (wchar_t c : text)
                EXPECT_FALSE(IsCjk(c))
                    << platform::WideToUtf8(name) << ": " << platform::WideToUtf8(text);
        }
        ++m_nShots;
        const char* keep = ::getenv("QI_ENGLISH_SHOTS");
        const std::string folder = keep != nullptr ? std::string(keep) : m_tmp.Path();
        const std::string shot = folder + "/" + std::to_string(m_nShots) + "-" + state + ".png";
        EXPECT_TRUE(SHeadlessHost::RenderToPng(wnd, shot.c_str()));
    }
    bool Click(const wchar_t* name) { return SHeadlessHost::ClickByName(m_dlg.get(), name); }
    void Post(int progress, int status, const wchar_t* text) {
        PostInstallEvent(m_dlg->GetInstallMgr(), progress, status, text);
        m_host.Advance(10);
    }

    qitest::TempDir m_tmp;
    SHeadlessHost m_host;
    uitest::ProgramUi m_ui{&m_host};
    STranslatorMgr* m_translator = nullptr;
    std::unique_ptr<SNotifyCenter> m_center;
    std::unique_ptr<CMainDlg> m_dlg;
    int m_nShots = 0;
};

TEST_F(EnglishUiTest, EveryPageAndTheMessageBoxShowNoChineseText) {
    EXPECT_EQ(m_dlg->GetNativeTitle(), L"Quillora Setup");
    ExpectEnglish(m_dlg.get(), "welcome");
    ASSERT_TRUE(Click(L"btn_extend"));
    m_host.Advance(100);
    ExpectEnglish(m_dlg.get(), "welcome-custom");

    // The licence page shows the English licence.
    ASSERT_TRUE(Click(L"link_license"));
    m_host.Advance(100);
    auto* licence = m_dlg->FindChildByName2<SRichEdit>(L"richedit_rtf");
    ASSERT_NE(licence, nullptr);
    const SStringW plain = licence->GetPlainText();
    EXPECT_NE(plain.find(L"End User Licence Agreement"), SStringW::npos);
    for (wchar_t c : plain)
        ASSERT_FALSE(IsCjk(c));
    ExpectEnglish(m_dlg.get(), "licence");
    ASSERT_TRUE(Click(L"btn_back"));

    // An invalid folder: the message box, in English.
    bool boxChecked = false;
    m_dlg->FindChildByName(L"edit_path")->SetWindowTextW(L"relative/path");
    m_host.PostTask([&] {
        if (CMsgBoxDlg* box = m_dlg->GetMsgBox()) {
            ExpectEnglish(box, "message-box");
            EXPECT_EQ(box->FindChildByName(L"text_msg")->GetWindowTextW(),
                      L"  Invalid install folder");
            boxChecked = true;
            SHeadlessHost::ClickByName(box, L"btn_confirm");
        }
    });
    ASSERT_TRUE(Click(L"btn_installer"));
    EXPECT_TRUE(boxChecked);

    // The progress page with each slide and every text an event may show.
    m_tmp.Write("target/.keep", "");
    m_dlg->FindChildByName(L"edit_path")->SetWindowTextW(platform::Utf8ToWide(m_tmp / "target"));
    ASSERT_TRUE(Click(L"btn_installer"));
    ASSERT_EQ(m_dlg->FindChildByName2<STabCtrl>(L"tab_main")->GetCurSel(), CMainDlg::kPageProgress);
    for (int slide = 1; slide <= 3; ++slide) {
        m_host.Advance(2000);
        ExpectEnglish(m_dlg.get(), "progress-slide-" + std::to_string(slide));
    }
    for (const wchar_t* text :
         {L"检测环境...", L"检测Net环境", L"下载 Net Framework 组件", L"正在下载net包...",
          L"下载 Net Framework 组件失败", L"开始安装 Net Framework 组件",
          L"安装 Net Framework 组件成功", L"安装 Net Framework 组件失败", L"正在下载安装包...",
          L"下载安装包失败", L"安装包校验失败", L"正在安装...", L"安装完成", L"安装失败"}) {
        Post(50, -1, text);
        ExpectEnglish(m_dlg.get(), "progress-event");
    }
    Post(100, 0, L"安装完成");
    m_host.Advance(2000);
    ASSERT_EQ(m_dlg->FindChildByName2<STabCtrl>(L"tab_main")->GetCurSel(), CMainDlg::kPageFinished);
    ExpectEnglish(m_dlg.get(), "finished");
}

TEST(EnglishUiLanguageOne, ChineseStaysAsItIsWithoutADocument) {
    // Language 1 names "lang_cn", which the resources do not carry: nothing is translated.
    SHeadlessHost host;
    uitest::ProgramUi ui{&host};
    ASSERT_TRUE(ui.Ok());
    pugi::xml_document doc;
    EXPECT_FALSE(ui.App().LoadXmlDocment(doc, L"lang_cn", L"translator"));
    EXPECT_TRUE(ui.App().LoadXmlDocment(doc, L"lang_en", L"translator"));
}

}  // namespace
