#include "ui/CMainDlg.h"

#include <pugixml.hpp>

#include <algorithm>

#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "net/StopFlag.h"
#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/ProcessControl.h"
#include "sys/SupportLog.h"
#include "sys/TextUtil.h"
#include "ui/CMsgBoxDlg.h"
#include "ui/DownloadSpeed.h"
#include "ui/InstallDir.h"
#include "ui/SButtonEx.h"
#include "uilib/SNotifyCenter.h"

using namespace SOUI;

namespace {

constexpr wchar_t kProductExe[] = L"Quillora.exe";

// The licence in English, for language 2; the layout names the Chinese one.
constexpr wchar_t kEnglishLicence[] = L"RTF:rtf_protocol_en_rtf";
constexpr int kLanguageEnglish = 2;

// Captions of slides 1 to 3; their skins are "skin.1" to "skin.3". Like every text a
// control shows, they pass through the translator when drawn.
constexpr const wchar_t* kSlideCaptions[] = {L"智能识别文件", L"7 x 12小时在线客服",
                                             L"专业团队，精心研发"};

}  // namespace

CMainDlg::CMainDlg() : SHostWnd(L"LAYOUT:XML_MAINWND") {
    SNotifyCenter::getSingleton().RegisterEventMap(this);
    m_pInstallMgr.attach(new CInstallMgr);
}

CMainDlg::~CMainDlg() {
    // Joins a running install thread (it stops at its next blocking point) while the
    // window is still registered for the events it posts.
    m_pInstallMgr.reset();
    if (SNotifyCenter* center = SNotifyCenter::getSingletonPtr())
        center->UnregisterEventMap(this);
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT msg, WPARAM wParam, LPARAM, LRESULT&) {
    switch (msg) {
        case WM_TIMER:
            if (wParam == kTimerProgress) {
                OnProgressTimer();
                return TRUE;
            }
            if (wParam == kTimerSlide) {
                OnSlideTimer();
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        default:
            return FALSE;
    }
}

void CMainDlg::CreateSpeedLine() {
    // Made here rather than in the layout, so that the layout's named controls keep the ids
    // they have always had.
    static const char kSpeedLine[] =
        R"(<page><text name="txt_speed" pos="|-150,332,@300,@18" align="center" )"
        R"(colorText="#6fb98fff" font="face:微软雅黑,size:13" visible="0"/></page>)";
    SWindow* page = m_pTxtPercent != nullptr ? m_pTxtPercent->GetParent() : nullptr;
    pugi::xml_document doc;
    if (page != nullptr && doc.load_string(kSpeedLine))
        page->CreateChildren(doc.child("page"));
    m_pTxtSpeed = FindChildByName2<SStatic>(L"txt_speed");
}

void CMainDlg::CreateFailureLine() {
    // Under the failure text, in the strip above the progress bar; made here for the same
    // reason as the speed line.
    static const char kFailureLine[] =
        R"(<page><text name="txt_reason" pos="|-310,377,@440,@15" align="right" )"
        R"(colorText="#ffffffff" font="face:微软雅黑,size:12" visible="0"/>)"
        R"(<link name="link_retry" pos="|140,377,@60,@15" colorText="#6fb98fff" )"
        R"(font="face:微软雅黑,size:12" fontHover="face:微软雅黑,underline:1,size:12" )"
        R"(cursor="hand" visible="0"/>)"
        R"(<link name="link_log" pos="|205,377,@100,@15" colorText="#6fb98fff" )"
        R"(font="face:微软雅黑,size:12" fontHover="face:微软雅黑,underline:1,size:12" )"
        R"(cursor="hand" visible="0"/></page>)";
    SWindow* page = m_pTxtPercent != nullptr ? m_pTxtPercent->GetParent() : nullptr;
    pugi::xml_document doc;
    if (page != nullptr && doc.load_string(kFailureLine))
        page->CreateChildren(doc.child("page"));
    m_pTxtReason = FindChildByName2<SStatic>(L"txt_reason");
    m_pLinkRetry = FindChildByName2<SLink>(L"link_retry");
    m_pLinkLog = FindChildByName2<SLink>(L"link_log");
    if (m_pLinkRetry != nullptr)
        m_pLinkRetry->SetWindowTextW(TrText(L"重试"));
    if (m_pLinkLog != nullptr)
        m_pLinkLog->SetWindowTextW(TrText(L"打开日志"));
}

void CMainDlg::ShowFailureLine(bool reason, bool links) {
    if (m_pTxtReason != nullptr)
        m_pTxtReason->SetVisible(reason, true);
    if (m_pLinkRetry != nullptr)
        m_pLinkRetry->SetVisible(links, true);
    // Without a log file there is nothing to open.
    if (m_pLinkLog != nullptr)
        m_pLinkLog->SetVisible(links && !sys::SupportLogPath().empty(), true);
}

SStringW CMainDlg::TrText(const wchar_t* text) const {
    return SApplication::getSingleton().Tr(text, GetTranslatorContext());
}

void CMainDlg::OnInitDialog() {
    // The native title is the system's, not drawn by a control: translated here.
    SetWindowTextW(TrText(L"安装程序"));
    m_pTabMain = FindChildByName2<STabCtrl>(L"tab_main");
    m_pBtnInstaller = FindChildByName2<SImageButton>(L"btn_installer");
    m_pAgree = FindChildByName2<SCheckBox>(L"agree");
    m_pLinkLicense = FindChildByName2<SLink>(L"link_license");
    m_pBtnOpen = FindChildByName2<SImageButton>(L"btn_open");
    m_pBtnExtend = FindChildByName2<SButtonEx>(L"btn_extend");
    m_pEditPath = FindChildByName2<SEdit>(L"edit_path");
    m_pImgGif = FindChildByName2<SImageWnd>(L"img_gif");
    m_pTxtGif = FindChildByName2<SStatic>(L"txt_gif");
    m_pTxtPercent = FindChildByName2<SStatic>(L"txt_percent");
    CreateSpeedLine();
    CreateFailureLine();
    m_pProInstall = FindChildByName2<SProgress>(L"pro_install");

    if (m_pAgree != nullptr)
        m_pAgree->SetCheck(true);
    if (m_pTxtPercent != nullptr)
        m_pTxtPercent->SetWindowTextW(L"0%");
    if (m_pProInstall != nullptr)
        m_pProInstall->SetValue(0);
    if (m_pBtnInstaller != nullptr)
        m_pBtnInstaller->EnableWindow(true, true);
    if (m_pEditPath != nullptr)
        m_pEditPath->SetWindowTextW(GetInstallDir());
    if (GetConfigLanguage(GetInstallIniPath()) == kLanguageEnglish) {
        if (SWindow* licence = FindChildByName(L"richedit_rtf"))
            licence->SetAttribute(L"rtf", kEnglishLicence, FALSE);
    }
    // The layout is 445 high: the custom panel starts folded.
    SetWindowPos(nullptr, 0, 0, kWidth, kHeightFolded, SWP_NOMOVE | SWP_NOZORDER);
    SNotifyCenter::getSingleton().addEvent(EventInstallCallBack::EventID,
                                           EventInstallCallBack::GetClassName());
    SNotifyCenter::getSingleton().addEvent(EventInstallEnded::EventID,
                                           EventInstallEnded::GetClassName());
}

std::wstring CMainDlg::GetInstallDir() {
    if (m_strInstallDir.empty())
        m_strInstallDir = DefaultInstallDir();
    return m_strInstallDir;
}

bool CMainDlg::_HandleEvent(EventArgs* evt) {
    if (evt->GetID() == EventInstallCallBack::EventID) {
        OnInstallEvent(evt);
        return true;
    }
    if (evt->GetID() == EventInstallEnded::EventID) {
        OnInstallEnded(evt);
        return true;
    }
    if (evt->GetID() == EVT_CMD && OnCommand(evt->nameFrom))
        return true;
    return SHostWnd::_HandleEvent(evt);
}

bool CMainDlg::OnCommand(const SStringW& sender) {
    if (sender == L"btn_close") {
        OnClose();
    } else if (sender == L"btn_min") {
        SendMessageW(WM_SYSCOMMAND, SC_MINIMIZE);
    } else if (sender == L"btn_installer") {
        OnInstall();
    } else if (sender == L"agree") {
        OnAgree();
    } else if (sender == L"link_license") {
        if (m_pTabMain != nullptr)
            m_pTabMain->SetCurSel(kPageLicence);
    } else if (sender == L"btn_open") {
        OnBrowseFolder();
    } else if (sender == L"btn_extend") {
        OnTogglePanel();
    } else if (sender == L"btn_back") {
        OnBack();
    } else if (sender == L"btn_start") {
        OnStartProduct();
    } else if (sender == L"link_retry") {
        OnRetry();
    } else if (sender == L"link_log") {
        OnOpenLog();
    } else {
        return false;
    }
    return true;
}

void CMainDlg::OnInstallEvent(EventArgs* evt) {
    // The notify center holds the event's reference and releases it after delivery.
    auto* e = static_cast<EventInstallCallBack*>(evt);
    m_nTargetProgress = std::clamp(e->progress, 0, 100);
    if (m_pTxtSpeed != nullptr) {
        // Only while a file downloads and both figures are known; any other step hides it.
        const bool known = e->status == 0 && e->bytesPerSecond >= 0 && e->secondsLeft >= 0;
        if (known)
            m_pTxtSpeed->SetWindowTextW(
                FormatDownloadSpeed(e->bytesPerSecond, e->secondsLeft,
                                    [this](const wchar_t* t) { return std::wstring(TrText(t)); }));
        m_pTxtSpeed->SetVisible(known, true);
    }
    if (e->status != 0) {
        if (m_pTxtPercent != nullptr)
            m_pTxtPercent->SetWindowTextW(e->text);
        m_strFailText = e->text;
        m_nFailProgress = m_nTargetProgress;
        if (m_pTxtReason != nullptr && e->reason != InstallFailure::None) {
            m_pTxtReason->SetWindowTextW(FillReasonValue(
                TrText(InstallFailureText(e->reason, e->reasonValue)).c_str(), e->reasonValue));
            ShowFailureLine(true, false);
        }
    } else if (m_nTargetProgress > m_nFailProgress) {
        m_strFailText.clear();  // the run went on past the failed step
        ShowFailureLine(false, false);
    }
    if (m_bInstalling && !m_bStepping && m_nShownProgress < m_nTargetProgress) {
        SetTimer(kTimerProgress, kProgressStepMs);
        m_bInstalling = m_bStepping = true;
        m_bStepping = true;
    }
}

void CMainDlg::OnInstallEnded(EventArgs* evt) {
    auto* e = static_cast<EventInstallEnded*>(evt);
    // A run the window itself stopped needs no way back.
    const bool failed = e->result != InstallFailure::None && e->result != InstallFailure::Cancelled;
    if (!failed)
        return;
    DebugLog(L"%s 安装失败 reason=%d", L"CMainDlg::OnInstallEnded", static_cast<int>(e->result));
    ShowFailureLine(m_pTxtReason != nullptr && !m_pTxtReason->GetWindowTextW().IsEmpty(), true);
}

void CMainDlg::OnRetry() {
    CInstallMgr* mgr = m_pInstallMgr.get();
    if (mgr == nullptr || !mgr->IsInstallThreadFinished())
        return;
    DebugLog(L"%s 重新安装", L"CMainDlg::OnRetry");
    ShowFailureLine(false, false);
    if (m_pTxtReason != nullptr)
        m_pTxtReason->SetWindowTextW(L"");
    m_strFailText.clear();
    m_nFailProgress = -1;
    m_nTargetProgress = 0;
    ShowProgress(0);
    BeginRun();
}

void CMainDlg::OnOpenLog() {
    const std::wstring path = sys::SupportLogPath();
    int error = 0;
    std::string note;
    if (path.empty() || !platform::OpenWithDesktop(path, error, &note))
        DebugLog(L"%s 无法打开日志 path=[%s] error=%d", L"CMainDlg::OnOpenLog", path.c_str(),
                 error);
    if (!note.empty())
        DebugLog(L"%s %s", L"CMainDlg::OnOpenLog", platform::Utf8ToWide(note).c_str());
}

void CMainDlg::ShowProgress(int percent) {
    if (m_pProInstall != nullptr)
        m_pProInstall->SetValue(percent);
    if (m_pTxtPercent != nullptr) {
        SStringW text;
        text.Format(L"%d%%", percent);
        m_pTxtPercent->SetWindowTextW(text);
    }
}

void CMainDlg::OnProgressTimer() {
    if (m_nShownProgress < m_nTargetProgress) {
        ++m_nShownProgress;
        ShowProgress(m_nShownProgress);
        // The steps up to a failed step's figure overwrite its text; once the display stands
        // there, the text comes back, or the user would never learn why it stopped.
        if (!m_strFailText.empty() && m_nShownProgress == m_nFailProgress &&
            m_nShownProgress == m_nTargetProgress && m_pTxtPercent != nullptr)
            m_pTxtPercent->SetWindowTextW(m_strFailText);
    }
    if (m_nShownProgress >= 100) {
        ShowProgress(m_nShownProgress);
        KillTimer(kTimerProgress);
        KillTimer(kTimerSlide);
        m_bStepping = m_bInstalling = false;
        if (m_pTabMain != nullptr)
            m_pTabMain->SetCurSel(kPageFinished);
    } else if (m_nShownProgress >= m_nTargetProgress) {
        // Caught up: rest until the next event raises the target, instead of waking the
        // process a hundred times a second for nothing during a long download.
        KillTimer(kTimerProgress);
        m_bStepping = false;
    }
}

void CMainDlg::OnSlideTimer() {
    if (++m_nSlide >= 4)
        m_nSlide = 1;
    SStringW skin;
    skin.Format(L"skin.%d", m_nSlide);
    if (m_pImgGif != nullptr)
        m_pImgGif->SetAttribute(L"skin", skin, FALSE);
    if (m_pTxtGif != nullptr)
        m_pTxtGif->SetWindowTextW(kSlideCaptions[m_nSlide - 1]);
}

void CMainDlg::OnClose() {
    if (m_pMsgBox != nullptr || m_bChoosingFolder) {
        // Destroying the window now would end the application's loop from inside the
        // message box's or the folder chooser's: end that one first and close the window
        // once it has returned.
        m_bCloseAfterModal = true;
        if (m_pMsgBox != nullptr)
            m_pMsgBox->EndDialog(CMsgBoxDlg::kResultClose);
        else
            SApplication::getSingleton().GetBackend()->CancelFolderChooser();
        return;
    }
    g_bStopFlag = true;
    DestroyWindow();
}

void CMainDlg::OnAgree() {
    if (m_pBtnInstaller != nullptr && m_pAgree != nullptr)
        m_pBtnInstaller->EnableWindow(m_pAgree->IsChecked(), true);
}

void CMainDlg::OnBrowseFolder() {
    m_bChoosingFolder = true;
    std::optional<SStringW> folder = SApplication::getSingleton().GetBackend()->BrowseForFolder(
        TrText(L"从下面选文件夹目录:"), GetNative());
    m_bChoosingFolder = false;
    if (m_bCloseAfterModal) {
        OnClose();
        return;
    }
    if (!folder)
        return;
    m_strInstallDir = PickedFolderToInstallDir(*folder);
    if (m_pEditPath != nullptr)
        m_pEditPath->SetWindowTextW(m_strInstallDir);
}

void CMainDlg::SetPanel(bool bExpanded) {
    if (m_pBtnExtend != nullptr)
        m_pBtnExtend->SetAttribute(L"icon", bExpanded ? L"skin.shrink" : L"skin.extend", FALSE);
    SetWindowPos(nullptr, 0, 0, kWidth, bExpanded ? kHeightUnfolded : kHeightFolded,
                 SWP_NOMOVE | SWP_NOZORDER);
    m_bPanelExpanded = bExpanded;
}

void CMainDlg::OnTogglePanel() {
    SetPanel(!m_bPanelExpanded);
}

void CMainDlg::OnBack() {
    SetPanel(false);
    if (m_pTabMain != nullptr)
        m_pTabMain->SetCurSel(kPageWelcome);
}

void CMainDlg::OnInstall() {
    std::wstring path = m_pEditPath != nullptr ? m_pEditPath->GetWindowTextW(true) : std::wstring();
    path = AppendProductFolder(path);
    if (!PrepareInstallDir(path)) {
        DebugLog(L"%s 安装目录无效 path=[%s]", L"CMainDlg::OnInstall", path.c_str());
        CMsgBoxDlg msgBox;
        msgBox.SetMessage(L"  安装目录无效");
        msgBox.SetMode(CMsgBoxDlg::kModeConfirm);
        m_pMsgBox = &msgBox;
        msgBox.DoModal(m_hWnd);
        m_pMsgBox = nullptr;
        if (m_bCloseAfterModal) {
            OnClose();
            return;
        }
        if (m_pEditPath != nullptr)
            m_pEditPath->SetWindowTextW(GetInstallDir());
        return;
    }
    m_strInstallDir = path;
    m_pInstallMgr->SetInstallDir(path);
    if (m_pTabMain != nullptr)
        m_pTabMain->SetCurSel(kPageProgress);
    BeginRun();
}

void CMainDlg::BeginRun() {
    m_nShownProgress = 0;
    SetTimer(kTimerSlide, kSlideMs);
    SetTimer(kTimerProgress, kProgressStepMs);
    m_bInstalling = m_bStepping = true;
    m_pInstallMgr->BeginInstallThread();
}

void CMainDlg::OnStartProduct() {
    ShowWindow(SW_HIDE);
    // Quoted: a directory with blanks must not start some other program.
    LaunchProcess(QuoteCommandArgument(m_strInstallDir + L"/" + kProductExe));
    OnClose();
}
