// The .NET Framework 4 steps of the install manager: look for it in the registry, and when it is
// missing, download its installer for this OS version and run it. None of them stops the run.

#include <string>
#include <vector>

#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "install/InstallPackDown.h"
#include "install/InstallTransfer.h"
#include "install/PublisherSignature.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/OsInfo.h"
#include "sys/ProcessControl.h"
#include "sys/RegSettings.h"
#include "sys/TextHelpers.h"
#include "sys/TextUtil.h"

namespace {
const wchar_t kNdpKey[] = L"Software\\Microsoft\\NET Framework Setup\\NDP";
const char kNetFileName[] = "net4.exe";
constexpr uint32_t kNetSetupTimeoutMs = 1800000;  // 30 minutes
constexpr int kLastXpVersionCode = 3;             // codes 0..3: XP and older take .NET 4.0
}  // namespace

bool CInstallMgr::CheckNetFile() {
    DebugLog(L"%s 检测net文件step=%d", L"CInstallMgr::CheckNetFile", 10);
    PostInstallEvent(this, 10, 0, L"检测Net环境");
    // A 32-bit installer on a 64-bit system reads the native view, where the runtime registers.
    CRegSettings ndp(platform::HKEY_LOCAL_MACHINE, kNdpKey, IsWow64(), false);
    std::vector<std::wstring> versions;
    ndp.EnumSubKeys(versions);  // a key that cannot be opened lists nothing
    for (const std::wstring& version : versions) {
        if (version.size() >= 2 && version.compare(0, 2, L"v4") == 0)
            return true;
    }
    return false;
}

bool CInstallMgr::DownNetFile() {
    PostInstallEvent(this, 20, 0, L"下载 Net Framework 组件");
    DebugLog(L"%s 安装step=%d", L"CInstallMgr::DownNetFile", 20);
    m_heldRuntime.Close();  // what an earlier pass checked is fetched and checked again
    if (!PrepareWorkDir())
        return false;
    std::string dir = platform::PathToNarrow(DownloadDir());
    std::wstring ini = GetInstallIniPath();
    const bool oldOs = GetOsVersionCode() <= kLastXpVersionCode;
    std::wstring url = oldOs ? GetConfigNet40Url(ini) : GetConfigNet45Url(ini);
    // The digest of the installer that URL gives, when the deployment names one.
    const wchar_t* digestKey = oldOs ? L"net40_sha256" : L"net45_sha256";
    const CDigestSetting digest = GetConfigDigest(ini, digestKey);
    if (digest.set && !digest.valid) {
        LogMalformedDigest(L"CInstallMgr::DownNetFile", digestKey, digest);
        ReportRuntimeFailure(L"下载 Net Framework 组件失败", InstallFailure::BadConfiguration, 0);
        return false;
    }
    CRunChecks checks;
    checks.publishedName = PublishedName(WideToAnsi(url));
    checks.digest = digest;
    checks.who = L"CInstallMgr::DownNetFile";
    const std::wstring target = DownloadDir() + L"/" + AnsiToWide(kNetFileName);
    // An installer beside the program (offline media) or left by an earlier run is used only
    // when something vouches for it: a pin or the publisher's signature.
    RunCheck failure = RunCheck::Unreadable;
    if (m_strLayoutDir.empty() && HasRunChecks(checks) &&
        (TakeExistingFile(GetExeDirectory() + L"/" + AnsiToWide(kNetFileName), target, checks,
                          m_heldRuntime, failure) ||
         TakeExistingFile(target, target, checks, m_heldRuntime, failure))) {
        DebugLog(L"%s 使用已有的net包 file=[%s]", checks.who, target.c_str());
        return true;
    }
    CInstallPackDown progress(20, 40, L"正在下载net包...", this);
    CDownloadHash bodyHash;
    const CurlResult result = DownloadForInstall(
        WideToAnsi(url), oldOs ? L"net40_mirrors" : L"net45_mirrors", dir, kNetFileName, ini,
        digest.hex, &progress, checks.who, SignatureDigest(bodyHash));
    if (result.code == 200) {
        DebugLog(L"%s success 下载net包成功", checks.who);
        const RunCheck check =
            CheckDownloadedFile(result.servedUrl, target, ini, checks, m_heldRuntime, bodyHash);
        if (check == RunCheck::SignatureInvalid)
            FailRun(40, L"Net Framework 组件签名无效", InstallFailure::SignatureInvalid);
        else if (check != RunCheck::Passed)
            ReportRuntimeFailure(L"下载 Net Framework 组件失败",
                                 check == RunCheck::DigestMismatch ? InstallFailure::DigestMismatch
                                                                   : InstallFailure::FileInUse,
                                 0);
        return check == RunCheck::Passed;
    }
    DebugLog(L"%s error 下载net包失败 reason=%s class=%d [%s]", L"CInstallMgr::DownNetFile",
             AnsiToWide(result.message).c_str(), static_cast<int>(result.failure),
             AnsiToWide(DescribeResult(result)).c_str());
    ReportRuntimeFailure(L"下载 Net Framework 组件失败", InstallFailureOfDownload(result),
                         result.code);
    return false;
}

void CInstallMgr::ReportRuntimeFailure(const wchar_t* text, InstallFailure reason, int64_t value) {
    if (m_strLayoutDir.empty()) {
        DebugLog(L"%s error %s reason=%d (%hs) value=%lld, 继续安装",
                 L"CInstallMgr::ReportRuntimeFailure", text, static_cast<int>(reason),
                 InstallFailureName(reason), static_cast<long long>(value));
        PostFailureEvent(this, 40, text, reason, value);  // the installation goes on
    } else {
        FailRun(40, text, reason, value);  // a layout without its runtime is no layout
    }
}

bool CInstallMgr::InstallNetFile() {
    PostInstallEvent(this, 40, 0, L"开始安装 Net Framework 组件");
    // The path is quoted: with blanks in the directory it must still reach the system whole.
    // No switch follows it.
    std::wstring program = DownloadDir() + L"/" + AnsiToWide(kNetFileName);
    SetOwnerExecuteBit(program);  // downloads arrive without it
    // Only a file that passed its checks, still held since, runs.
    if (!m_heldRuntime.IsOpen()) {
        DebugLog(L"%s error net包未经校验 file=[%s]", L"CInstallMgr::InstallNetFile",
                 program.c_str());
        ReportRuntimeFailure(L"安装 Net Framework 组件失败", InstallFailure::SignatureInvalid, 0);
        return false;
    }
    std::wstring output;
    uint32_t exitCode = static_cast<uint32_t>(-1);
    const std::wstring commandLine = QuoteCommandArgument(program);
    RunAndCapture(commandLine, output, exitCode, kNetSetupTimeoutMs);
    m_heldRuntime.Close();  // it has run
    DebugLog(L"%s szCmdLine=[%s] strResult=[%s] exitcode=[%d]", L"CInstallMgr::InstallNetFile",
             commandLine.c_str(), output.c_str(), static_cast<int>(exitCode));
    if (exitCode == 0) {
        PostInstallEvent(this, 40, 0, L"安装 Net Framework 组件成功");
        return true;
    }
    ReportRuntimeFailure(L"安装 Net Framework 组件失败", InstallFailure::RuntimeSetupFailed,
                         static_cast<int32_t>(exitCode));
    return false;
}
