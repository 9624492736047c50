#pragma once
// Install.ini beside the executable: section "Config", seven keys, each with a built-in
// default, and the optional keys of downloads a user can trust (digests, certificate
// checking, proxy). Read afresh at every call; never written.

#include <string>
#include <vector>

// Host names of the deployment, fixed at build time (-DQI_DOWNLOAD_HOST=..., see the README).
#ifndef QI_DOWNLOAD_HOST
#define QI_DOWNLOAD_HOST "dl.quillora.example"
#endif
#ifndef QI_API_HOST
#define QI_API_HOST "api.quillora.example"
#endif

std::wstring GetInstallIniPath();

std::wstring GetConfigVersion(const std::wstring& iniPath);         // "version", 63 chars
std::wstring GetConfigNet40Url(const std::wstring& iniPath);        // "net40_url"
std::wstring GetConfigNet45Url(const std::wstring& iniPath);        // "net45_url"
std::wstring GetConfigInstallPackUrl(const std::wstring& iniPath);  // "install_pack_url"
std::wstring GetConfigStatisticsUrl(const std::wstring& iniPath);   // "install_statistics_url"
std::wstring GetConfigChannel(const std::wstring& iniPath);         // "channel"
int GetConfigLanguage(const std::wstring& iniPath);                 // "language", default 1

// The SHA-256 a file must have: "install_pack_sha256", "net40_sha256", "net45_sha256".
struct CDigestSetting {
    bool set = false;    // the key is present (an empty value counts as present)
    bool valid = false;  // its value is 64 hex digits
    std::string hex;     // then in lower case
    std::wstring raw;    // the value as written, for the log
};
CDigestSetting GetConfigDigest(const std::wstring& iniPath, const wchar_t* key);

// "tls_verify": 0 turns certificate checking off; anything else (and no key) keeps it on.
bool GetConfigTlsVerify(const std::wstring& iniPath);
// "proxy": a proxy URL for every transfer (http://, https://, socks5h:// ...); empty: the
// system's settings.
std::wstring GetConfigProxy(const std::wstring& iniPath);

// Further URLs of a file, tried in order when its main URL fails: "install_pack_mirrors",
// "net40_mirrors", "net45_mirrors", separated by blanks or tabs. None without the key; at
// most kMaxMirrors (the rest are left out).
constexpr size_t kMaxMirrors = 8;
std::vector<std::wstring> GetConfigMirrors(const std::wstring& iniPath, const wchar_t* key);

// "stall_timeout": seconds without a byte after which a download counts its line as lost and
// tries again. Default 20, also for 0, a negative value or one that is not a number; kept
// within 5..600.
int GetConfigStallTimeout(const std::wstring& iniPath);

// Writes every key of Install.ini to the log as this run reads it; addresses without the
// user names and passwords they may carry.
void LogInstallConfig(const std::wstring& iniPath);
