#pragma once
// A file the installer is about to run (the setup package, the runtime installer): where it
// comes from and what it must pass. It is run only from the working folder (or, for a
// layout, fetched into the layout folder), after Install.ini's pin and, in a build with
// publisher keys, a valid signature in "<file>.minisig" beside it; it is held open from that
// check until the program that runs it has started.

#include <string>

#include "install/DownloadHash.h"
#include "install/InstallConfig.h"
#include "install/PublisherSignature.h"
#include "platform/WorkFolder.h"

// What a file must pass before it runs.
struct CRunChecks {
    std::string publishedName;  // the "file:" its signature must name
    CDigestSetting digest;      // Install.ini's pin (set and valid), or unset
    const wchar_t* who = L"";   // the step, for the log
};

enum class RunCheck { Passed, Unreadable, DigestMismatch, SignatureInvalid };

// True when this build checks publisher signatures.
bool SignaturesRequired();
// True when a file that was not downloaded by this run can be vouched for at all.
bool HasRunChecks(const CRunChecks& checks);

// Opens `path` into `held`, then checks it: the pin unless `digestChecked` (a download checks
// it on the way), then the signature (a prehashed one against `fileHash` when given: the
// file's BLAKE2b-512 as a download wrote it). A file that fails is closed and removed with
// its signature, so no later run takes it.
RunCheck HoldAndCheck(const std::wstring& path, const CRunChecks& checks, bool digestChecked,
                      platform::HeldFile& held, const CFileHash* fileHash = nullptr);

// Fetches `servedUrl` + ".minisig" (from the server that delivered the file) to `path` +
// ".minisig". False, with a log line, when it cannot be had.
bool FetchSignature(const std::string& servedUrl, const std::wstring& path,
                    const std::wstring& iniPath, const wchar_t* who);

// Copies `from` (a file beside the program, or one named on the command line) and the
// signature beside it into `to` in the working folder; the checks then run on the copy,
// which no other program can change. False, with a log line, when `from` cannot be copied.
bool CopyIntoWorkFolder(const std::wstring& from, const std::wstring& to, const wchar_t* who);

// Takes `candidate` (a file beside the program, one named on the command line, or what an
// earlier run left at `target`), copied to `target` first when it is elsewhere, then held and
// checked there. `failure` says why it was not taken (Unreadable: not there or not copied).
bool TakeExistingFile(const std::wstring& candidate, const std::wstring& target,
                      const CRunChecks& checks, platform::HeldFile& held, RunCheck& failure);
// The digest a download of a file to run feeds (DownloadForInstall's `bodyDigest`): null in
// a build that does not check signatures.
CBodyDigest* SignatureDigest(CDownloadHash& digest);
// After a download of `target` from `servedUrl` (its pin checked on the way, `bodyHash` fed
// through SignatureDigest): its signature fetched, then held and checked.
RunCheck CheckDownloadedFile(const std::string& servedUrl, const std::wstring& target,
                             const std::wstring& iniPath, const CRunChecks& checks,
                             platform::HeldFile& held, CDownloadHash& bodyHash);

// Removes `path` and its signature.
void RemoveWithSignature(const std::wstring& path);

// The support log's line on this build's signature checking, once per run.
void LogSignaturePolicy();
