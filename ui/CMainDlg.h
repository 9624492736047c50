#pragma once
// The installer's main window and the driver of the installation: four pages in one tab
// control (welcome, licence, progress, finished), the custom-install panel with the install
// directory, and a progress display that rises one percent per 10 ms towards what the install
// thread last reported. It owns the install manager.

#include <string>

#include "uilib/SAutoRefPtr.h"
#include "uilib/SButton.h"
#include "uilib/SCheckBox.h"
#include "uilib/SEdit.h"
#include "uilib/SHostWnd.h"
#include "uilib/SLink.h"
#include "uilib/SStatic.h"
#include "uilib/STabCtrl.h"

class CInstallMgr;
namespace SOUI {
class SButtonEx;
}
class CMsgBoxDlg;

class CMainDlg : public SOUI::SHostWnd {
public:
    // Timers and their periods.
    // Timers: the progress step runs while the display is below the reported figure.
    enum { kTimerProgress = 101, kTimerSlide = 102 };
    enum { kProgressStepMs = 10, kSlideMs = 2000 };
    // Window sizes with the custom panel folded and unfolded.
    enum { kWidth = 640, kHeightFolded = 400, kHeightUnfolded = 445 };
    // Pages of tab_main.
    enum { kPageWelcome = 0, kPageLicence = 1, kPageProgress = 2, kPageFinished = 3 };

    // The notify center must exist: the window registers with it here.
    CMainDlg();
    ~CMainDlg() override;

    SOUI::BOOL ProcessWindowMessage(SOUI::HWND hWnd, SOUI::UINT msg, SOUI::WPARAM wParam,
                                    SOUI::LPARAM lParam, SOUI::LRESULT& lResult) override;
    // Command events of the window's controls and the install events the notify center
    // delivers.
    bool _HandleEvent(SOUI::EventArgs* evt) override;

    // The install directory, computed the first time it is asked for.
    std::wstring GetInstallDir();
    // Before WM_INITDIALOG: the folder the folder box starts with instead of the default.
    void PresetInstallDir(const std::wstring& dir) { m_strInstallDir = dir; }
    int GetShownProgress() const { return m_nShownProgress; }
    int GetTargetProgress() const { return m_nTargetProgress; }
    int GetSlide() const { return m_nSlide; }
    bool IsPanelExpanded() const { return m_bPanelExpanded; }
    CInstallMgr* GetInstallMgr() const { return m_pInstallMgr.get(); }
    // The message box while one is shown over the window; null otherwise.
    CMsgBoxDlg* GetMsgBox() const { return m_pMsgBox; }

protected:
    void OnInitDialog() override;

private:
    // `text` through the translator in this window's context (for texts no control draws).
    SOUI::SStringW TrText(const wchar_t* text) const;
    void CreateSpeedLine();
    // The line under a failure: its reason, and the links to try again and to open the log.
    void CreateFailureLine();
    void ShowFailureLine(bool reason, bool links);
    void OnInstallEnded(SOUI::EventArgs* evt);
    void OnRetry();
    void OnOpenLog();
    void OnProgressTimer();
    void OnSlideTimer();
    void OnClose();
    void OnInstallEvent(SOUI::EventArgs* evt);
    bool OnCommand(const SOUI::SStringW& sender);
    void OnAgree();
    void OnBrowseFolder();
    void OnTogglePanel();
    void OnBack();
    void OnInstall();
    // The progress display from 0 with its timers, and the install thread (a first run or a
    // retry).
    void BeginRun();
    void OnStartProduct();
    void SetPanel(bool bExpanded);
    void ShowProgress(int percent);

    SOUI::STabCtrl* m_pTabMain = nullptr;
    SOUI::SImageButton* m_pBtnInstaller = nullptr;
    SOUI::SCheckBox* m_pAgree = nullptr;
    SOUI::SLink* m_pLinkLicense = nullptr;
    SOUI::SImageButton* m_pBtnOpen = nullptr;
    SOUI::SButtonEx* m_pBtnExtend = nullptr;
    SOUI::SEdit* m_pEditPath = nullptr;
    SOUI::SImageWnd* m_pImgGif = nullptr;
    SOUI::SStatic* m_pTxtGif = nullptr;
    SOUI::SStatic* m_pTxtPercent = nullptr;
    SOUI::SStatic* m_pTxtSpeed = nullptr;
    SOUI::SStatic* m_pTxtReason = nullptr;
    SOUI::SLink* m_pLinkRetry = nullptr;
    SOUI::SLink* m_pLinkLog = nullptr;
    SOUI::SProgress* m_pProInstall = nullptr;

    std::wstring m_strInstallDir;
    int m_nTargetProgress = 0;
    int m_nShownProgress = 0;
    // The text and figure of the last failed step, until a later step reports more.
    std::wstring m_strFailText;
    int m_nFailProgress = -1;
    bool m_bInstalling = false;  // from the install click until the display reaches 100
    bool m_bStepping = false;    // the progress timer runs: the display is below the target
    SOUI::SAutoRefPtr<CInstallMgr> m_pInstallMgr;
    int m_nSlide = 1;
    bool m_bPanelExpanded = false;
    CMsgBoxDlg* m_pMsgBox = nullptr;  // while the message box runs
    bool m_bChoosingFolder = false;   // while the folder chooser runs
    bool m_bCloseAfterModal = false;  // a close came while the box or the chooser ran
};
