// The steps that put the product on the machine: download of the setup package beside
// the installer, and its silent run into the chosen directory.

#include <cstdio>
#include <string>

#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "install/InstallPackDown.h"
#include "install/InstallTransfer.h"
#include "install/PublisherSignature.h"
#include "net/ClusterCurl.h"
#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/ProcessControl.h"
#include "sys/TextHelpers.h"
#include "sys/TextUtil.h"

namespace {

constexpr wchar_t kPackageName[] = L"QuilloraSetup.exe";
constexpr wchar_t kDigestKey[] = L"install_pack_sha256";
constexpr wchar_t kMirrorsKey[] = L"install_pack_mirrors";
constexpr int kDownloadStart = 50;
constexpr int kDownloadEnd = 80;
constexpr uint32_t kSetupTimeoutMs = 300000;

}  // namespace

CRunChecks CInstallMgr::PackageChecks() const {
    CRunChecks checks;
    const std::wstring ini = GetInstallIniPath();
    checks.publishedName = PublishedName(WideToAnsi(GetConfigInstallPackUrl(ini)));
    checks.digest = GetConfigDigest(ini, kDigestKey);
    return checks;
}

bool CInstallMgr::DownInstallFile() {
    PostInstallEvent(this, kDownloadStart, 0, L"正在下载安装包...");
    DebugLog(L"%s 安装step=%d", L"CInstallMgr::DownInstallFile", kDownloadStart);
    m_heldPackage.Close();  // what an earlier pass checked is fetched and checked again
    if (!PrepareWorkDir())
        return false;

    const std::wstring ini = GetInstallIniPath();
    // File names in their system form: a folder outside the ANSI code page must still work.
    const std::string fileName = platform::PathToNarrow(kPackageName);
    const std::string dir = platform::PathToNarrow(DownloadDir());
    const std::string url = WideToAnsi(GetConfigInstallPackUrl(ini));

    CRunChecks checks = PackageChecks();
    checks.who = L"CInstallMgr::DownInstallFile";
    if (checks.digest.set && !checks.digest.valid) {
        LogMalformedDigest(checks.who, kDigestKey, checks.digest);
        FailRun(kDownloadEnd, L"安装包校验失败", InstallFailure::BadConfiguration);
        return false;
    }

    CInstallPackDown progress(kDownloadStart, kDownloadEnd, L"正在下载安装包...", this);
    CDownloadHash bodyHash;
    const CurlResult result =
        DownloadForInstall(url, kMirrorsKey, dir, fileName, ini, checks.digest.hex, &progress,
                           checks.who, SignatureDigest(bodyHash));

    if (result.code == 200) {
        DebugLog(L"%s success 下载安装包成功", checks.who);
        const RunCheck check = CheckDownloadedFile(result.servedUrl, PackagePath(), ini, checks,
                                                   m_heldPackage, bodyHash);
        FailCheck(kDownloadEnd,
                  check == RunCheck::SignatureInvalid ? L"安装包签名无效" : L"安装包校验失败",
                  check);
        return check == RunCheck::Passed;
    }
    DebugLog(L"%s error  下载安装包失败 reason=%s class=%d [%s]", checks.who,
             AnsiToWide(result.message).c_str(), static_cast<int>(result.failure),
             AnsiToWide(DescribeResult(result)).c_str());
    FailRun(kDownloadEnd,
            result.code == ClusterCurl::kSha256Mismatch ? L"安装包校验失败" : L"下载安装包失败",
            InstallFailureOfDownload(result), result.code);
    return false;
}

bool CInstallMgr::VerifyInstallFile() {
    CRunChecks checks = PackageChecks();
    checks.who = L"CInstallMgr::VerifyInstallFile";
    const bool named = !m_strPackageFile.empty();
    if (!PrepareWorkDir())
        return false;
    if (checks.digest.set && !checks.digest.valid) {
        LogMalformedDigest(checks.who, kDigestKey, checks.digest);
        FailRun(kDownloadEnd, L"安装包校验失败", InstallFailure::BadConfiguration);
        return false;
    }
    RunCheck failure = RunCheck::Unreadable;
    if (named) {
        // The user's file stays where it is, whatever it holds; its copy is what runs.
        if (TakeExistingFile(m_strPackageFile, PackagePath(), checks, m_heldPackage, failure))
            return true;
        FailCheck(kDownloadEnd,
                  failure == RunCheck::SignatureInvalid ? L"安装包签名无效" : L"安装包校验失败",
                  failure);
        return false;
    }
    // One beside the installer (left there by hand or taken from offline media), then what
    // an earlier run fetched; a file that fails goes, and the package is downloaded.
    return TakeExistingFile(GetExeDirectory() + L"/" + kPackageName, PackagePath(), checks,
                            m_heldPackage, failure) ||
           TakeExistingFile(PackagePath(), PackagePath(), checks, m_heldPackage, failure);
}

bool CInstallMgr::InstallFile() {
    PostInstallEvent(this, 80, 0, L"正在安装...");

    const std::wstring package = PackagePath();
    if (!platform::MayStandQuoted(package) || !platform::MayStandQuoted(m_strInstallDir)) {
        DebugLog(L"%s 安装目录无效 szDir=[%s]", L"CInstallMgr::InstallFile",
                 m_strInstallDir.c_str());
        FailRun(80, L"安装失败", InstallFailure::InvalidInstallDir);
        return false;
    }

    // Built to whatever length the directory needs; no fixed buffer to overrun.
    const std::wstring commandLine = QuoteCommandArgument(package) +
                                     L" /VERYSILENT /SUPPRESSMSGBOXES /DIR=" +
                                     QuoteCommandArgument(m_strInstallDir);
    SetOwnerExecuteBit(package);  // a downloaded file carries no execute bit here
    // Only a file that passed its checks, still held since, runs.
    if (!m_heldPackage.IsOpen()) {
        DebugLog(L"%s error 安装包未经校验 file=[%s]", L"CInstallMgr::InstallFile",
                 package.c_str());
        FailRun(80, L"安装失败", InstallFailure::SignatureInvalid);
        return false;
    }

    std::wstring output;
    uint32_t exitCode = static_cast<uint32_t>(-1);
    RunAndCapture(commandLine, output, exitCode, kSetupTimeoutMs);
    DebugLog(L"%s install szCmdLine=[%s] strResult=[%s] exitcode=[%d]", L"CInstallMgr::InstallFile",
             commandLine.c_str(), output.c_str(), static_cast<int>(exitCode));

    m_heldPackage.Close();  // it has run
    if (exitCode == 0) {
        PostInstallEvent(this, 80, 0, L"安装完成");
        return true;
    }
    // A copy of the product that could not be ended holds its files: that is what the user
    // can act on, rather than the setup's code.
    uint32_t pid = 0;
    const bool productRunning = FindProcessByName(L"Quillora.exe", pid);
    FailRun(80, L"安装失败",
            productRunning ? InstallFailure::ProductRunning : InstallFailure::SetupFailed,
            static_cast<int32_t>(exitCode));
    return false;
}

bool CInstallMgr::LayoutFiles() {
    PostInstallEvent(this, 5, 0, L"检测环境...");
    DebugLog(L"%s layout dir=[%s]", L"CInstallMgr::LayoutFiles", m_strLayoutDir.c_str());
    if (!CreateDirectories(m_strLayoutDir)) {
        DebugLog(L"%s error 无法创建目录 dir=[%s]", L"CInstallMgr::LayoutFiles",
                 m_strLayoutDir.c_str());
        FailRun(5, L"下载失败", InstallFailure::DirectoryNotWritable);
        return false;
    }
    if (!DownNetFile() || platform::IsCurrentThreadCancelled())
        return false;
    if (!DownInstallFile() || platform::IsCurrentThreadCancelled())
        return false;
    m_heldRuntime.Close();  // media are made, nothing runs
    m_heldPackage.Close();
    PostInstallEvent(this, 100, 0, L"下载完成");
    m_bCompleted = true;
    return true;
}
