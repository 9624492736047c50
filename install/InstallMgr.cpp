#include "install/InstallMgr.h"

#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
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
    if (m_hInstallThread && !m_hInstallThread->HasFinished()) {
        DebugLog(L"%s %s", L"CInstallMgr::BeginInstallThread", L"安装线程已存在, 忽略");
        return;
    }
    if (m_hInstallThread) {
        m_hInstallThread->Join();  // the last run has returned: this one starts afresh
        m_hInstallThread.reset();
    }
    m_result = InstallFailure::None;
    m_resultValue = 0;
    m_bCompleted = false;
    m_strWorkDir.clear();  // made again: it may have been removed since
    m_heldRuntime.Close();
    m_heldPackage.Close();
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
    auto* self = static_cast<CInstallMgr*>(pParam);
    LogInstallConfig(GetInstallIniPath());
    LogSignaturePolicy();
    if (self->m_strLayoutDir.empty())
        self->IntallSoftware();
    else
        self->LayoutFiles();
    // The run is over, whichever way: nothing it checked runs any more, and a later run (or
    // another program) may replace those files.
    self->m_heldRuntime.Close();
    self->m_heldPackage.Close();
    if (platform::IsCurrentThreadCancelled() && self->m_result == InstallFailure::None &&
        !self->m_bCompleted)
        self->m_result = InstallFailure::Cancelled;
    DebugLog(L"%s result=%d (%hs) value=%lld", L"CInstallMgr::ThreadInstall",
             static_cast<int>(self->m_result), InstallFailureName(self->m_result),
             static_cast<long long>(self->m_resultValue));
    PostInstallEnded(self, self->m_result, self->m_resultValue);
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
    if (!PrepareWorkDir())
        return;
    EndProductProcesses();
    if (platform::IsCurrentThreadCancelled())
        return;

    // .NET Framework 4: a failed download or installer run is reported, and the run goes on.
    // A runtime installer without a valid signature ends the run, as a package would.
    if (!CheckNetFile() && !platform::IsCurrentThreadCancelled() && DownNetFile() &&
        !platform::IsCurrentThreadCancelled()) {
        InstallNetFile();
    }
    if (platform::IsCurrentThreadCancelled() || m_result == InstallFailure::SignatureInvalid)
        return;

    // A package named on the command line, beside the installer or left by an earlier run
    // is used when it passes the checks; otherwise it is downloaded.
    if (!VerifyInstallFile() && (m_result != InstallFailure::None || !DownInstallFile()))
        return;
    if (platform::IsCurrentThreadCancelled())
        return;

    if (!InstallFile())
        return;
    if (platform::IsCurrentThreadCancelled())
        return;
    m_bCompleted = AfterInstall();
}

void CInstallMgr::FailRun(int progress, const wchar_t* text, InstallFailure reason, int64_t value) {
    m_result = reason;
    m_resultValue = value;
    DebugLog(L"%s error 安装失败 step=%d reason=%d (%hs) value=%lld", L"CInstallMgr::FailRun",
             progress, static_cast<int>(reason), InstallFailureName(reason),
             static_cast<long long>(value));
    PostFailureEvent(this, progress, text, reason, value);
}

std::wstring CInstallMgr::PackagePath() const {
    return DownloadDir() + L"/" + L"QuilloraSetup.exe";
}

std::wstring CInstallMgr::DownloadDir() const {
    return m_strLayoutDir.empty() ? m_strWorkDir : m_strLayoutDir;
}

bool CInstallMgr::PrepareWorkDir() {
    if (!DownloadDir().empty())
        return true;  // this run has it already, or lays out into a folder of its own
    std::string error;
    if (platform::PrepareWorkFolder(m_strWorkDir, &error)) {
        DebugLog(L"%s workdir=[%s]", L"CInstallMgr::PrepareWorkDir", m_strWorkDir.c_str());
        return true;
    }
    DebugLog(L"%s error 无法使用工作目录: %hs", L"CInstallMgr::PrepareWorkDir", error.c_str());
    FailRun(5, L"下载失败", InstallFailure::DirectoryNotWritable);
    return false;
}

void CInstallMgr::FailCheck(int progress, const wchar_t* text, RunCheck check) {
    switch (check) {
        case RunCheck::Passed:
            return;
        case RunCheck::Unreadable:
            FailRun(progress, text, InstallFailure::FileInUse);
            return;
        case RunCheck::DigestMismatch:
            FailRun(progress, text, InstallFailure::DigestMismatch);
            return;
        case RunCheck::SignatureInvalid:
            FailRun(progress, text, InstallFailure::SignatureInvalid);
            return;
    }
}
