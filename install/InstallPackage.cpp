// The steps that put the product on the machine: download of the setup package beside
// the installer, and its silent run into the chosen directory.

#include <cstdio>
#include <string>

#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "install/InstallPackDown.h"
#include "install/InstallTransfer.h"
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

bool CInstallMgr::DownInstallFile() {
    PostInstallEvent(this, kDownloadStart, 0, L"正在下载安装包...");
    DebugLog(L"%s 安装step=%d", L"CInstallMgr::DownInstallFile", kDownloadStart);

    const std::wstring ini = GetInstallIniPath();
    // File names in their system form: a folder outside the ANSI code page must still work.
    const std::string fileName = platform::PathToNarrow(kPackageName);
    const std::string dir = platform::PathToNarrow(DownloadDir());
    const std::string url = WideToAnsi(GetConfigInstallPackUrl(ini));

    const CDigestSetting digest = GetConfigDigest(ini, kDigestKey);
    if (digest.set && !digest.valid) {
        LogMalformedDigest(L"CInstallMgr::DownInstallFile", kDigestKey, digest);
        FailRun(kDownloadEnd, L"安装包校验失败", InstallFailure::BadConfiguration);
        return false;
    }

    CInstallPackDown progress(kDownloadStart, kDownloadEnd, L"正在下载安装包...", this);
    const CurlResult result = DownloadForInstall(url, kMirrorsKey, dir, fileName, ini, digest.hex,
                                                 &progress, L"CInstallMgr::DownInstallFile");

    if (result.code == 200) {
        DebugLog(L"%s success 下载安装包成功", L"CInstallMgr::DownInstallFile");
        return true;
    }
    DebugLog(L"%s error  下载安装包失败 reason=%s class=%d [%s]", L"CInstallMgr::DownInstallFile",
             AnsiToWide(result.message).c_str(), static_cast<int>(result.failure),
             AnsiToWide(DescribeResult(result)).c_str());
    FailRun(kDownloadEnd,
            result.code == ClusterCurl::kSha256Mismatch ? L"安装包校验失败" : L"下载安装包失败",
            InstallFailureOfDownload(result), result.code);
    return false;
}

bool CInstallMgr::VerifyInstallFile() {
    const std::wstring ini = GetInstallIniPath();
    const CDigestSetting digest = GetConfigDigest(ini, kDigestKey);
    if (!digest.set)
        return true;  // no digest named: the package runs as it is
    const std::wstring package = PackagePath();
    // A package named on the command line is the user's file: it stays whatever it holds.
    const bool own = m_strPackageFile.empty();
    if (!digest.valid) {
        LogMalformedDigest(L"CInstallMgr::VerifyInstallFile", kDigestKey, digest);
        if (own)
            LongPathRemove(package);
        FailRun(kDownloadEnd, L"安装包校验失败", InstallFailure::BadConfiguration);
        return false;
    }
    if (VerifyFileDigest(package, digest, L"CInstallMgr::VerifyInstallFile", own))
        return true;
    FailRun(kDownloadEnd, L"安装包校验失败", InstallFailure::DigestMismatch);
    return false;
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

    std::wstring output;
    uint32_t exitCode = static_cast<uint32_t>(-1);
    RunAndCapture(commandLine, output, exitCode, kSetupTimeoutMs);
    DebugLog(L"%s install szCmdLine=[%s] strResult=[%s] exitcode=[%d]", L"CInstallMgr::InstallFile",
             commandLine.c_str(), output.c_str(), static_cast<int>(exitCode));

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
    PostInstallEvent(this, 100, 0, L"下载完成");
    m_bCompleted = true;
    return true;
}

std::wstring CInstallMgr::DownloadDir() const {
    return m_strLayoutDir.empty() ? GetExeDirectory() : m_strLayoutDir;
}
