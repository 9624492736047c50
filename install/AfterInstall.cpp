// The last step of a successful installation: the product's first settings and the
// installation report.

#include <json/json.h>

#include <string>

#include "install/Base64Encode.h"
#include "install/EventInstallCallBack.h"
#include "install/InstallConfig.h"
#include "install/InstallMgr.h"
#include "install/InstallTransfer.h"
#include "net/HttpMgr.h"
#include "platform/Profile.h"
#include "platform/WideFormat.h"
#include "sys/DebugLog.h"
#include "sys/OsInfo.h"
#include "sys/TextHelpers.h"

namespace {

// JSON text is UTF-8; the values pass through the system code page first, as every
// narrow text of the installer does.
std::string ToJsonText(const std::wstring& text) {
    return AnsiToUtf8(WideToAnsi(text));
}

}  // namespace

bool CInstallMgr::AfterInstall() {
    DebugLog(L"%s 安装step=%d", L"CInstallMgr::AfterInstall", 90);
    PostInstallEvent(this, 90, 0, L"安装完成");

    const std::wstring iniPath = GetInstallIniPath();
    // Built to whatever length the directory needs; no fixed buffer to overrun.
    const std::wstring userIniPath = m_strInstallDir + L"/user.ini";

    const std::wstring language = platform::FormatW(L"%d", GetConfigLanguage(iniPath));
    const bool channelWritten = platform::WritePrivateProfileStringW(
        L"Config", L"channel", GetConfigChannel(iniPath).c_str(), userIniPath.c_str());
    const bool languageWritten = platform::WritePrivateProfileStringW(
        L"Config", L"language", language.c_str(), userIniPath.c_str());
    DebugLog(L"%s user.ini=[%s] channel=[%s] language=%s written=%d", L"CInstallMgr::AfterInstall",
             userIniPath.c_str(), GetConfigChannel(iniPath).c_str(), language.c_str(),
             channelWritten && languageWritten ? 1 : 0);

    Json::Value record(Json::objectValue);
    record["channel"] = ToJsonText(GetConfigChannel(iniPath));
    record["version"] = ToJsonText(GetConfigVersion(iniPath));
    record["mac_id"] = ToJsonText(GetMacAddressText());
    record["lang"] = GetConfigLanguage(iniPath) == 1 ? "zh_cn" : "en_us";
    Json::StyledWriter writer;
    const std::string body = "info=" + Base64Encode(writer.write(record));

    // The report's client is made on its request thread; it takes these defaults.
    ApplyTransferDefaults(iniPath, L"CInstallMgr::AfterInstall");
    CHttpMgr::GetInstance()->AsyncPost(AnsiToWide(body), 0, GetConfigStatisticsUrl(iniPath));
    DebugLog(L"%s Statistics url=%s ret=%s", L"CInstallMgr::AfterInstall",
             GetConfigStatisticsUrl(iniPath).c_str(), AnsiToWide(body).c_str());

    PostInstallEvent(this, 100, 0, L"安装完成");
    return true;
}
