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
#include "ui/testing/MainWindowFixture.h"
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

class EnglishUiTest : public uitest::MainWindowFixture {
protected:
    std::string InstallIniExtra() override { return "language=2\r\n"; }
    // As start-up does it: the translator with the language Install.ini asks for.
    void BeforeWindow() override {
        m_translator.attach(new STranslatorMgr);
        LoadLanguage(m_ui.App(), m_translator.get());
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        m_ui.App().SetTranslator(nullptr);
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
    // An install event, and the clock on until the window has shown it.
    void PostShown(int progress, int status, const wchar_t* text) {
        Post(progress, status, text);
        m_host.Advance(10);
    }

    SAutoRefPtr<ITranslatorMgr> m_translator;
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
        PostShown(50, -1, text);
        ExpectEnglish(m_dlg.get(), "progress-event");
    }
    // Every reason under a failure text, and the links of a run that ended on one.
    for (InstallFailure reason :
         {InstallFailure::NoConnection, InstallFailure::NameNotResolved,
          InstallFailure::CertificateRefused, InstallFailure::HttpStatus,
          InstallFailure::DigestMismatch, InstallFailure::DiskFull,
          InstallFailure::DirectoryNotWritable, InstallFailure::Stalled, InstallFailure::FileInUse,
          InstallFailure::WriteFailed, InstallFailure::BadAddress, InstallFailure::DownloadFailed,
          InstallFailure::ProductRunning, InstallFailure::RuntimeSetupFailed,
          InstallFailure::SetupFailed, InstallFailure::InvalidInstallDir,
          InstallFailure::BadConfiguration, InstallFailure::SignatureInvalid,
          InstallFailure::Cancelled}) {
        for (int64_t value : {404, 1603}) {
            PostFailureEvent(m_dlg->GetInstallMgr(), 80, L"下载安装包失败", reason, value);
            m_host.Advance(10);
            ExpectEnglish(m_dlg.get(), std::string("reason-") + InstallFailureName(reason));
        }
    }
    EXPECT_EQ(m_dlg->FindChildByName(L"txt_reason")->GetWindowTextW(),
              L"The installation was cancelled.");
    PostFailureEvent(m_dlg->GetInstallMgr(), 80, L"安装失败", InstallFailure::SetupFailed, 1603);
    PostInstallEnded(m_dlg->GetInstallMgr(), InstallFailure::SetupFailed, 1603);
    m_host.Advance(10);
    EXPECT_EQ(m_dlg->FindChildByName(L"txt_reason")->GetWindowTextW(),
              L"The setup failed with exit code 1603.");
    EXPECT_EQ(m_dlg->FindChildByName(L"link_retry")->GetWindowTextW(), L"Retry");
    EXPECT_TRUE(m_dlg->FindChildByName(L"link_retry")->IsVisible(true));
    ExpectEnglish(m_dlg.get(), "failure-links");
    PostDownloadEvent(m_dlg->GetInstallMgr(), 60, L"正在下载安装包...", 3e6, 75);
    m_host.Advance(10);
    ExpectEnglish(m_dlg.get(), "speed-and-time-left");
    PostShown(100, 0, L"安装完成");
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
