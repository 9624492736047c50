#include "install/RunnableFile.h"

#include "install/InstallTransfer.h"
#include "install/PublisherSignature.h"
#include "net/ClusterCurl.h"
#include "net/StopFlag.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/FileUtil.h"
#include "sys/TextHelpers.h"

namespace {

constexpr wchar_t kSignatureSuffix[] = L".minisig";

// Copies through a temporary name, so that a copy cut short never stands under `to`.
bool CopyFileContent(const std::wstring& from, const std::wstring& to) {
    const std::wstring partial = to + L".copy";
    bool ok = false;
    {
        FileHandle in = LongPathOpen(from, L"rb");
        FileHandle out = in ? LongPathOpen(partial, L"wb") : nullptr;
        if (out) {
            std::vector<char> buffer(size_t{1} << 20);
            ok = true;
            while (ok) {
                const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
                if (got == 0) {
                    ok = !std::ferror(in.get());
                    break;
                }
                ok = std::fwrite(buffer.data(), 1, got, out.get()) == got;
            }
            ok = std::fflush(out.get()) == 0 && ok;
        }
    }
    if (ok && LongPathRename(partial, to))
        return true;
    LongPathRemove(partial);
    return false;
}

}  // namespace

bool SignaturesRequired() {
    return PublisherKeys().Enabled();
}

bool HasRunChecks(const CRunChecks& checks) {
    return SignaturesRequired() || checks.digest.valid;
}

void RemoveWithSignature(const std::wstring& path) {
    LongPathRemove(path);
    LongPathRemove(path + kSignatureSuffix);
}

RunCheck HoldAndCheck(const std::wstring& path, const CRunChecks& checks, bool digestChecked,
                      platform::HeldFile& held, const CFileHash* fileHash) {
    std::string error;
    if (!held.Open(path, &error)) {
        DebugLog(L"%s error 无法打开文件 file=[%s] %s", checks.who, path.c_str(),
                 AnsiToWide(error).c_str());
        RemoveWithSignature(path);
        return RunCheck::Unreadable;
    }
    RunCheck result = RunCheck::Passed;
    if (checks.digest.valid && !digestChecked &&
        !VerifyFileDigest(path, checks.digest, checks.who, false))
        result = RunCheck::DigestMismatch;
    if (result == RunCheck::Passed && SignaturesRequired()) {
        const CPublisherKeySet& keys = PublisherKeys();
        std::string signature;
        std::string reason;
        const int readError =
            platform::ReadWholeFile(platform::PathToNarrow(path + kSignatureSuffix), signature);
        if (keys.broken)
            reason = "the compiled-in publisher keys do not parse";
        else if (readError != 0)
            reason = "no signature file (" + platform::PathToNarrow(path + kSignatureSuffix) + ")";
        else if (VerifyPublisherSignature(path, signature, keys.keys, checks.publishedName, &reason,
                                          fileHash))
            reason.clear();
        if (reason.empty()) {
            DebugLog(L"%s 签名有效 file=[%s] name=%s", checks.who, path.c_str(),
                     AnsiToWide(checks.publishedName).c_str());
        } else {
            DebugLog(L"%s error 签名无效 file=[%s] name=%s: %s", checks.who, path.c_str(),
                     AnsiToWide(checks.publishedName).c_str(), AnsiToWide(reason).c_str());
            result = RunCheck::SignatureInvalid;
        }
    }
    if (result != RunCheck::Passed) {
        held.Close();
        RemoveWithSignature(path);  // never taken by a later run
    }
    return result;
}

bool FetchSignature(const std::string& servedUrl, const std::wstring& path,
                    const std::wstring& iniPath, const wchar_t* who) {
    const std::wstring target = path + kSignatureSuffix;
    LongPathRemove(target);
    TransferOptions options = DefaultTransferOptions();
    options.stopFlag = &g_bStopFlag;
    ApplyTransferConfig(options, iniPath, who);
    options.retries = kDownloadRetries;
    options.maxBytes = static_cast<int64_t>(kMaxSignatureFileSize);
    const std::string url = servedUrl + platform::WideToUtf8(kSignatureSuffix);
    const std::string name = platform::PathToNarrow(target);
    const size_t slash = name.find_last_of(platform::kPathSeparators);
    ClusterCurl client(options);
    const CurlResult result =
        client.downloadFile(url, name.substr(0, slash), name.substr(slash + 1));
    if (result.code != 200) {
        DebugLog(L"%s error 签名下载失败 url=[%s] [%s]", who,
                 AnsiToWide(UrlWithoutCredentials(url)).c_str(),
                 AnsiToWide(DescribeResult(result)).c_str());
        LongPathRemove(target);
        return false;
    }
    return true;
}

bool CopyIntoWorkFolder(const std::wstring& from, const std::wstring& to, const wchar_t* who) {
    RemoveWithSignature(to);
    if (!CopyFileContent(from, to)) {
        DebugLog(L"%s error 无法复制 from=[%s] to=[%s]", who, from.c_str(), to.c_str());
        return false;
    }
    // The signature is optional here: its absence is for the check to judge.
    if (LongPathExists(from + kSignatureSuffix))
        CopyFileContent(from + kSignatureSuffix, to + kSignatureSuffix);
    DebugLog(L"%s 复制到工作目录 from=[%s] to=[%s]", who, from.c_str(), to.c_str());
    return true;
}

void LogSignaturePolicy() {
    const CPublisherKeySet& keys = PublisherKeys();
    if (!keys.Enabled()) {
        DebugLog(
            L"%s warning 此版本未编译发行方公钥: 下载的文件不做签名校验 (downloads are not "
            L"signature-checked)",
            L"LogSignaturePolicy");
        return;
    }
    std::wstring ids;
    for (const CPublisherKey& key : keys.keys)
        ids += (ids.empty() ? L"" : L" ") + AnsiToWide(KeyIdText(key.keyId));
    DebugLog(L"%s 下载的文件须有发行方签名 keys=[%s]%s", L"LogSignaturePolicy", ids.c_str(),
             keys.broken ? L" (公钥无法解析: 一律拒绝)" : L"");
}

bool TakeExistingFile(const std::wstring& candidate, const std::wstring& target,
                      const CRunChecks& checks, platform::HeldFile& held, RunCheck& failure) {
    failure = RunCheck::Unreadable;
    if (!LongPathExists(candidate))
        return false;
    if (candidate != target && !CopyIntoWorkFolder(candidate, target, checks.who))
        return false;
    failure = HoldAndCheck(target, checks, false, held);
    if (failure != RunCheck::Passed)
        return false;
    DebugLog(L"%s 使用已有的文件 file=[%s]", checks.who, candidate.c_str());
    return true;
}

CBodyDigest* SignatureDigest(CDownloadHash& digest) {
    return SignaturesRequired() ? &digest : nullptr;
}

RunCheck CheckDownloadedFile(const std::string& servedUrl, const std::wstring& target,
                             const std::wstring& iniPath, const CRunChecks& checks,
                             platform::HeldFile& held, CDownloadHash& bodyHash) {
    if (SignaturesRequired() && !FetchSignature(servedUrl, target, iniPath, checks.who)) {
        DebugLog(L"%s error 签名无效 file=[%s]: no signature at the server", checks.who,
                 target.c_str());
        RemoveWithSignature(target);
        return RunCheck::SignatureInvalid;
    }
    const CFileHash fileHash = bodyHash.Final();
    return HoldAndCheck(target, checks, checks.digest.valid, held, &fileHash);
}
