#pragma once
// Install.ini beside the executable: section "Config", seven keys, each with a built-in
// default. Read afresh at every call; never written.

#include <string>

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
