#include "install/InstallFailure.h"

InstallFailure InstallFailureOfDownload(const CurlResult& result) {
    switch (result.failure) {
        case DownloadFailure::None:
            return InstallFailure::None;
        case DownloadFailure::NoConnection:
            return InstallFailure::NoConnection;
        case DownloadFailure::NameNotResolved:
            return InstallFailure::NameNotResolved;
        case DownloadFailure::CertificateRefused:
            return InstallFailure::CertificateRefused;
        case DownloadFailure::HttpStatus:
            return InstallFailure::HttpStatus;
        case DownloadFailure::DigestMismatch:
            return InstallFailure::DigestMismatch;
        case DownloadFailure::DiskFull:
            return InstallFailure::DiskFull;
        case DownloadFailure::DirectoryNotWritable:
            return InstallFailure::DirectoryNotWritable;
        case DownloadFailure::Cancelled:
            return InstallFailure::Cancelled;
        case DownloadFailure::Stalled:
            return InstallFailure::Stalled;
        case DownloadFailure::FileInUse:
            return InstallFailure::FileInUse;
        case DownloadFailure::WriteFailed:
            return InstallFailure::WriteFailed;
        case DownloadFailure::BadAddress:
            return InstallFailure::BadAddress;
        case DownloadFailure::Other:
            break;
    }
    return InstallFailure::DownloadFailed;
}

const char* InstallFailureName(InstallFailure failure) {
    switch (failure) {
        case InstallFailure::None:
            return "none";
        case InstallFailure::Usage:
            return "usage";
        case InstallFailure::NoConnection:
            return "no-connection";
        case InstallFailure::NameNotResolved:
            return "name-not-resolved";
        case InstallFailure::CertificateRefused:
            return "certificate-refused";
        case InstallFailure::HttpStatus:
            return "http-status";
        case InstallFailure::DigestMismatch:
            return "digest-mismatch";
        case InstallFailure::DiskFull:
            return "disk-full";
        case InstallFailure::DirectoryNotWritable:
            return "directory-not-writable";
        case InstallFailure::Stalled:
            return "stalled";
        case InstallFailure::FileInUse:
            return "file-in-use";
        case InstallFailure::WriteFailed:
            return "write-failed";
        case InstallFailure::BadAddress:
            return "bad-address";
        case InstallFailure::DownloadFailed:
            return "download-failed";
        case InstallFailure::ProductRunning:
            return "product-running";
        case InstallFailure::RuntimeSetupFailed:
            return "runtime-setup-failed";
        case InstallFailure::SetupFailed:
            return "setup-failed";
        case InstallFailure::InvalidInstallDir:
            return "invalid-install-dir";
        case InstallFailure::BadConfiguration:
            return "bad-configuration";
        case InstallFailure::SignatureInvalid:
            return "signature-invalid";
        case InstallFailure::Cancelled:
            return "cancelled";
    }
    return "unknown";
}

const wchar_t* InstallFailureText(InstallFailure failure, int64_t value) {
    switch (failure) {
        case InstallFailure::None:
        case InstallFailure::Usage:
            return L"";
        case InstallFailure::NoConnection:
            return L"无法连接到服务器，请检查网络连接";
        case InstallFailure::NameNotResolved:
            return L"找不到服务器，请检查网络或代理设置";
        case InstallFailure::CertificateRefused:
            return L"服务器证书未通过验证";
        case InstallFailure::HttpStatus:
            return value == 404 ? L"服务器上找不到该文件 (HTTP 404)" : L"服务器返回错误 (HTTP {n})";
        case InstallFailure::DigestMismatch:
            return L"文件校验失败：文件不完整或已被改动";
        case InstallFailure::DiskFull:
            return L"磁盘空间不足";
        case InstallFailure::DirectoryNotWritable:
            return L"无法写入目录，请检查权限";
        case InstallFailure::Stalled:
            return L"网络长时间没有数据";
        case InstallFailure::FileInUse:
            return L"文件被其他程序占用";
        case InstallFailure::WriteFailed:
            return L"无法写入文件";
        case InstallFailure::BadAddress:
            return L"下载地址无效";
        case InstallFailure::DownloadFailed:
            return L"下载失败";
        case InstallFailure::ProductRunning:
            return L"Quillora 仍在运行，请关闭后重试";
        case InstallFailure::RuntimeSetupFailed:
            return L"Net Framework 安装程序失败，退出码 {n}";
        case InstallFailure::SetupFailed:
            return L"安装程序失败，退出码 {n}";
        case InstallFailure::InvalidInstallDir:
            return L"安装目录无效";
        case InstallFailure::BadConfiguration:
            return L"Install.ini 中的校验值无效";
        case InstallFailure::SignatureInvalid:
            return L"文件没有发行方的有效签名";
        case InstallFailure::Cancelled:
            return L"安装已取消";
    }
    return L"";
}

std::wstring FillReasonValue(std::wstring text, int64_t value) {
    const size_t at = text.find(L"{n}");
    if (at != std::wstring::npos)
        text.replace(at, 3, std::to_wstring(value));
    return text;
}
