#include "install/InstallConfig.h"

#include <algorithm>
#include <vector>

#include "net/ClusterCurl.h"
#include "net/Sha256.h"
#include "platform/Profile.h"
#include "sys/DebugLog.h"
#include "sys/TextHelpers.h"

namespace {

std::wstring ReadText(const std::wstring& iniPath, const wchar_t* key, const wchar_t* def,
                      size_t size) {
    std::vector<wchar_t> buffer(size, 0);
    platform::GetPrivateProfileStringW(L"Config", key, def, buffer.data(),
                                       static_cast<uint32_t>(size), iniPath.c_str());
    return std::wstring(buffer.data());
}

}  // namespace

std::wstring GetInstallIniPath() {
    return GetExeDirectory() + L"/" + L"Install.ini";
}

std::wstring GetConfigVersion(const std::wstring& iniPath) {
    return ReadText(iniPath, L"version", L"0.0.0.0", 64);
}

std::wstring GetConfigNet40Url(const std::wstring& iniPath) {
    return ReadText(iniPath, L"net40_url",
                    L"http://" QI_DOWNLOAD_HOST L"/software/third_party/NETFramework4.0.exe", 1024);
}

std::wstring GetConfigNet45Url(const std::wstring& iniPath) {
    return ReadText(iniPath, L"net45_url",
                    L"http://" QI_DOWNLOAD_HOST L"/software/third_party/NETFramework4.5.exe", 1024);
}

std::wstring GetConfigInstallPackUrl(const std::wstring& iniPath) {
    return ReadText(iniPath, L"install_pack_url",
                    L"http://" QI_DOWNLOAD_HOST L"/software/install_pack/quillora1.0.exe", 1024);
}

std::wstring GetConfigStatisticsUrl(const std::wstring& iniPath) {
    return ReadText(iniPath, L"install_statistics_url",
                    L"http://" QI_API_HOST L"/Soft/Sys/InstallationPackage", 1024);
}

std::wstring GetConfigChannel(const std::wstring& iniPath) {
    return ReadText(iniPath, L"channel", L"mokra", 1024);
}

int GetConfigLanguage(const std::wstring& iniPath) {
    return platform::GetPrivateProfileIntW(L"Config", L"language", 1, iniPath.c_str());
}

CDigestSetting GetConfigDigest(const std::wstring& iniPath, const wchar_t* key) {
    // A file can hold any text, so no single default tells a missing key from a value:
    // the key is missing only when two different defaults both come back. A value that
    // equals one of them is present, and malformed, so the check fails closed.
    CDigestSetting setting;
    std::wstring value = ReadText(iniPath, key, L"\x01", 1024);
    if (value == L"\x01" && ReadText(iniPath, key, L"\x02", 1024) == L"\x02")
        return setting;
    setting.set = true;
    setting.raw = value;
    std::string narrow;
    for (wchar_t c : value) {
        if (c > 0x7f) {
            narrow.clear();
            narrow.push_back('?');  // not a hex digit: the parse below refuses it
            break;
        }
        narrow.push_back(static_cast<char>(c));
    }
    setting.valid = ParseSha256Hex(narrow, setting.hex);
    return setting;
}

bool GetConfigTlsVerify(const std::wstring& iniPath) {
    // Only an explicit 0 turns checking off; a typo must not.
    return ReadText(iniPath, L"tls_verify", L"1", 64) != L"0";
}

std::wstring GetConfigProxy(const std::wstring& iniPath) {
    return ReadText(iniPath, L"proxy", L"", 1024);
}

std::vector<std::wstring> GetConfigMirrors(const std::wstring& iniPath, const wchar_t* key) {
    const std::wstring value = ReadText(iniPath, key, L"", 4096);
    std::vector<std::wstring> mirrors;
    size_t at = 0;
    while (mirrors.size() < kMaxMirrors) {
        at = value.find_first_not_of(L" \t", at);
        if (at == std::wstring::npos)
            break;
        const size_t end = value.find_first_of(L" \t", at);
        mirrors.push_back(
            value.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
        at = end;
    }
    return mirrors;
}

int GetConfigStallTimeout(const std::wstring& iniPath) {
    constexpr int kDefaultSeconds = 20;
    const int seconds = platform::GetPrivateProfileIntW(L"Config", L"stall_timeout",
                                                        kDefaultSeconds, iniPath.c_str());
    if (seconds <= 0)
        return kDefaultSeconds;
    return std::clamp(seconds, 5, 600);
}

void LogInstallConfig(const std::wstring& iniPath) {
    const auto url = [](const std::wstring& value) {
        return AnsiToWide(UrlWithoutCredentials(WideToAnsi(value)));
    };
    const auto digest = [&](const wchar_t* key) {
        const CDigestSetting setting = GetConfigDigest(iniPath, key);
        return !setting.set ? std::wstring(L"(none)") : setting.raw;
    };
    const auto mirrors = [&](const wchar_t* key) {
        std::wstring list;
        for (const std::wstring& mirror : GetConfigMirrors(iniPath, key))
            list += (list.empty() ? L"" : L" ") + url(mirror);
        return list;
    };
    DebugLog(L"%s ini=[%s] version=[%s] channel=[%s] language=%d", L"Config", iniPath.c_str(),
             GetConfigVersion(iniPath).c_str(), GetConfigChannel(iniPath).c_str(),
             GetConfigLanguage(iniPath));
    DebugLog(L"%s net40_url=[%s] net40_sha256=[%s] net40_mirrors=[%s]", L"Config",
             url(GetConfigNet40Url(iniPath)).c_str(), digest(L"net40_sha256").c_str(),
             mirrors(L"net40_mirrors").c_str());
    DebugLog(L"%s net45_url=[%s] net45_sha256=[%s] net45_mirrors=[%s]", L"Config",
             url(GetConfigNet45Url(iniPath)).c_str(), digest(L"net45_sha256").c_str(),
             mirrors(L"net45_mirrors").c_str());
    DebugLog(L"%s install_pack_url=[%s] install_pack_sha256=[%s] install_pack_mirrors=[%s]",
             L"Config", url(GetConfigInstallPackUrl(iniPath)).c_str(),
             digest(L"install_pack_sha256").c_str(), mirrors(L"install_pack_mirrors").c_str());
    DebugLog(L"%s install_statistics_url=[%s] tls_verify=%d proxy=[%s] stall_timeout=%d", L"Config",
             url(GetConfigStatisticsUrl(iniPath)).c_str(), GetConfigTlsVerify(iniPath) ? 1 : 0,
             url(GetConfigProxy(iniPath)).c_str(), GetConfigStallTimeout(iniPath));
}
