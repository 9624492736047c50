#include "install/InstallMgr.h"

#include "install/EventInstallCallBack.h"
#include "platform/Time.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/ProcessControl.h"
#include "sys/TextHelpers.h"

namespace {
// The companion tool may run many times over; it is ended this many times at most.
constexpr int kMaxCompanionKills = 50;
}  // namespace

CInstallMgr::CInstallMgr() = default;

CInstallMgr::~CInstallMgr() {
    StopInstallThread();
}

void CInstallMgr::SetInstallDir(const std::wstring& dir) {
    m_strInstallDir = dir;
}

void CInstallMgr::BeginInstallThread() {
    DebugLog(L"%s %s", L"CInstallMgr::BeginInstallThread", L"创建安装线程");
    if (m_hInstallThread) {
        DebugLog(L"%s %s", L"CInstallMgr::BeginInstallThread", L"安装线程已存在, 忽略");
        return;
    }
    auto thread = std::make_unique<platform::GatedThread>();
    if (!thread->Start([this] { return ThreadInstall(this); }))
        return;  // no thread: no step, no event
    m_hInstallThread = std::move(thread);
    m_hInstallThread->Resume();
}

void CInstallMgr::StopInstallThread() {
    if (!m_hInstallThread)
        return;
    m_hInstallThread->RequestCancel();
    m_hInstallThread->Join();
}

bool CInstallMgr::IsInstallThreadFinished() const {
    return m_hInstallThread && m_hInstallThread->HasFinished();
}

unsigned CInstallMgr::ThreadInstall(void* pParam) {
    if (pParam == nullptr) {
        DebugLog(L"%s 线程参数有问题 threadid=[%d]", L"CInstallMgr::ThreadInstall",
                 static_cast<int>(platform::GetCurrentThreadId()));
        return 0;
    }
    static_cast<CInstallMgr*>(pParam)->IntallSoftware();
    DebugLog(L"%s 安装完成 线程threadid=[%d]退出", L"CInstallMgr::ThreadInstall",
             static_cast<int>(platform::GetCurrentThreadId()));
    return 0;
}

void CInstallMgr::EndProductProcesses() {
    EndProcessByName(L"Quillora.exe");
    EndProcessByName(L"Renovar.exe");
    for (int i = 0; i < kMaxCompanionKills && !platform::IsCurrentThreadCancelled(); ++i) {
        // A copy that could not be ended is found again by the next round.
        if (!EndProcessByName(L"PapyrixTools.exe"))
            break;
    }
}

void CInstallMgr::IntallSoftware() {
    PostInstallEvent(this, 5, 0, L"检测环境...");
    DebugLog(L"%s 安装step=5", L"CInstallMgr::IntallSoftware");
    EndProductProcesses();
    if (platform::IsCurrentThreadCancelled())
        return;

    // .NET Framework 4: a failed download or installer run is reported, and the run goes on.
    if (!CheckNetFile() && !platform::IsCurrentThreadCancelled() && DownNetFile() &&
        !platform::IsCurrentThreadCancelled()) {
        InstallNetFile();
    }
    if (platform::IsCurrentThreadCancelled())
        return;

    // A package left beside the installer (by an earlier run or by hand) is used as it is.
    const std::wstring package = GetExeDirectory() + L"/" + L"QuilloraSetup.exe";
    if (!LongPathExists(package)) {
        if (!DownInstallFile())
            return;
    } else if (!VerifyInstallFile()) {
        return;
    }
    if (platform::IsCurrentThreadCancelled())
        return;

    if (!InstallFile())
        return;
    if (platform::IsCurrentThreadCancelled())
        return;
    AfterInstall();
}
