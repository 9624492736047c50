#pragma once
// Install.ini's transfer keys ("tls_verify", "proxy", "stall_timeout", the mirror keys) for
// the clients of the install steps, and the digest check of a file that is about to run.

#include <string>

#include "install/InstallConfig.h"
#include "net/CurlResult.h"
#include "net/TransferOptions.h"

class CLibcurlDownCallback;

// Further attempts of a package or runtime download after transient failures that brought
// no new byte (an attempt that moves the file forward does not count).
constexpr int kDownloadRetries = 5;

// Sets certificate checking, the proxy and the stall limit of `options` from Install.ini;
// writes a warning line naming `who` when checking is off.
void ApplyTransferConfig(TransferOptions& options, const std::wstring& iniPath, const wchar_t* who);
// Downloads `url` into `dir`/`fileName` as the install steps do: Install.ini's transfer
// settings and the mirrors of `mirrorsKey`, retries after transient failures, the stop flag,
// progress through `progress`, and `sha256` (64 hex digits, or empty for none) checked
// before the file takes its name; `bodyDigest` (or null) fed with the file's bytes.
CurlResult DownloadForInstall(const std::string& url, const wchar_t* mirrorsKey,
                              const std::string& dir, const std::string& fileName,
                              const std::wstring& iniPath, const std::string& sha256,
                              CLibcurlDownCallback* progress, const wchar_t* who,
                              CBodyDigest* bodyDigest = nullptr);
// The same keys as the process-wide defaults of new clients (the report's client is made
// by CHttpMgr on its own thread).
void ApplyTransferDefaults(const std::wstring& iniPath, const wchar_t* who);

// The log line of a digest key that is not 64 hex digits; it counts as a mismatch.
void LogMalformedDigest(const wchar_t* who, const wchar_t* key, const CDigestSetting& digest);

// Checks the file at `path` against `digest` (set and valid). On a mismatch (or a file
// that cannot be read) a line with both digests is logged and, with `removeOnMismatch`, the
// file is deleted.
bool VerifyFileDigest(const std::wstring& path, const CDigestSetting& digest, const wchar_t* who,
                      bool removeOnMismatch = true);
