#pragma once
// The main window of the program on the headless host with its virtual clock, in a folder
// and a registry of the test's own: the installer's Install.ini beside a stand-in of its
// executable, Program Files in the same folder. The window opens in SetUp as start-up opens
// it; the teardown closes it and joins what it started.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "install/EventInstallCallBack.h"
#include "net/HttpMgr.h"
#include "net/StopFlag.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "ui/CMainDlg.h"
#include "ui/testing/ProgramUi.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SNotifyCenter.h"

namespace uitest {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_ui.Ok());
        ASSERT_TRUE(m_registry.Ok());
        g_bStopFlag = false;  // a test before may have closed its window
        WriteInstallIni(qitest::OfflineInstallIni() + InstallIniExtra());
        BeforeWindow();
        m_host.SetIdleLimitMs(2000);
        m_center = std::make_unique<SOUI::SNotifyCenter>();
        m_dlg = std::make_unique<CMainDlg>();
        ASSERT_NE(m_dlg->Create(), nullptr);
        m_dlg->SendMessageW(WM_INITDIALOG);
        m_dlg->ShowWindow(SW_SHOWNORMAL);
    }
    void TearDown() override {
        m_dlg.reset();  // joins the install thread
        CHttpMgr::GetInstance()->TerminateAll();
        m_center.reset();
    }

    // Lines added to the offline Install.ini the window starts with.
    virtual std::string InstallIniExtra() { return ""; }
    // Runs after Install.ini is written and before the window is made.
    virtual void BeforeWindow() {}

    void WriteInstallIni(const std::string& text) { m_tmp.Write("installer/Install.ini", text); }
    static std::wstring W(const std::string& path) { return platform::PathFromNarrow(path); }
    bool Click(const wchar_t* name) { return SOUI::SHeadlessHost::ClickByName(m_dlg.get(), name); }
    void Post(int progress, int status, const wchar_t* text) {
        PostInstallEvent(m_dlg->GetInstallMgr(), progress, status, text);
    }

    qitest::TempDir m_tmp;
    qitest::TempRegistry m_registry;
    const qitest::ScopedOverride m_module =
        qitest::OverrideModuleFileName(W(m_tmp / "installer/quillora-installer"));
    const qitest::ScopedOverride m_programs = qitest::OverrideSpecialFolders(
        {platform::CSIDL_PROGRAM_FILES, platform::CSIDL_PROGRAM_FILESX86}, W(m_tmp / "programs"));
    SOUI::SHeadlessHost m_host;
    ProgramUi m_ui{&m_host};
    std::unique_ptr<SOUI::SNotifyCenter> m_center;
    std::unique_ptr<CMainDlg> m_dlg;
};

}  // namespace uitest
