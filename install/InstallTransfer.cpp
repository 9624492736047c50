#include "install/InstallTransfer.h"

#include <cstdio>

#include "net/ClusterCurl.h"
#include "net/Sha256.h"
#include "net/StopFlag.h"
#include "net/TransferSettings.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/TextHelpers.h"

namespace {

void WarnIfUnchecked(bool verify, const wchar_t* who) {
    if (!verify)
        DebugLog(L"%s warning tls_verify=0: 不检查服务器证书", who);
}

}  // namespace

void ApplyTransferConfig(TransferOptions& options, const std::wstring& iniPath,
                         const wchar_t* who) {
    options.verifyTls = GetConfigTlsVerify(iniPath);
    WarnIfUnchecked(options.verifyTls, who);
    const std::wstring proxy = GetConfigProxy(iniPath);
    if (!proxy.empty())
        options.proxy = WideToAnsi(proxy);
    options.stallSeconds = GetConfigStallTimeout(iniPath);
}

void ApplyTransferDefaults(const std::wstring& iniPath, const wchar_t* who) {
    CTransferSettings settings = GetDefaultTransferSettings();
    settings.verifyTls = GetConfigTlsVerify(iniPath);
    WarnIfUnchecked(settings.verifyTls, who);
    settings.proxy = WideToAnsi(GetConfigProxy(iniPath));
    SetDefaultTransferSettings(settings);
}

void LogMalformedDigest(const wchar_t* who, const wchar_t* key, const CDigestSetting& digest) {
    DebugLog(L"%s error %s=[%s] 不是64位十六进制的SHA-256值, 按校验失败处理", who, key,
             digest.raw.c_str());
}

bool VerifyFileDigest(const std::wstring& path, const CDigestSetting& digest, const wchar_t* who,
                      bool removeOnMismatch) {
    std::string actual;
    const bool read = Sha256OfFile(platform::PathToNarrow(path), actual);
    if (read && actual == digest.hex) {
        DebugLog(L"%s 校验通过 file=[%s] sha256=%s", who, path.c_str(), AnsiToWide(actual).c_str());
        return true;
    }
    DebugLog(L"%s error 校验失败 file=[%s] expected=%s actual=%s", who, path.c_str(),
             AnsiToWide(digest.hex).c_str(), read ? AnsiToWide(actual).c_str() : L"(unreadable)");
    if (removeOnMismatch)
        LongPathRemove(path);  // the next run fetches it afresh
    return false;
}

CurlResult DownloadForInstall(const std::string& url, const wchar_t* mirrorsKey,
                              const std::string& dir, const std::string& fileName,
                              const std::wstring& iniPath, const std::string& sha256,
                              CLibcurlDownCallback* progress, const wchar_t* who,
                              CBodyDigest* bodyDigest) {
    TransferOptions options = DefaultTransferOptions();
    options.listener = progress;
    options.stopFlag = &g_bStopFlag;
    ApplyTransferConfig(options, iniPath, who);
    options.retries = kDownloadRetries;
    options.sha256 = sha256;
    options.bodyDigest = bodyDigest;
    for (const std::wstring& mirror : GetConfigMirrors(iniPath, mirrorsKey)) {
        DebugLog(L"%s mirror %s=[%s]", who, mirrorsKey, mirror.c_str());
        options.mirrors.push_back(WideToAnsi(mirror));
    }
    ClusterCurl client(options);
    return client.downloadFile(url, dir, fileName);
}
