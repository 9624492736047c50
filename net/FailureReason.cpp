#include "net/FailureReason.h"

#include <curl/curl.h>

#include <cerrno>

#include "net/CurlResult.h"

const char* DescribeDownloadFailure(DownloadFailure failure) {
    switch (failure) {
        case DownloadFailure::None:
            return "no failure";
        case DownloadFailure::NoConnection:
            return "no connection to the server";
        case DownloadFailure::NameNotResolved:
            return "server name not resolved";
        case DownloadFailure::CertificateRefused:
            return "server certificate refused";
        case DownloadFailure::HttpStatus:
            return "HTTP status";
        case DownloadFailure::DigestMismatch:
            return "file digest mismatch";
        case DownloadFailure::DiskFull:
            return "disk full";
        case DownloadFailure::DirectoryNotWritable:
            return "directory not writable";
        case DownloadFailure::Cancelled:
            return "cancelled";
        case DownloadFailure::Stalled:
            return "connection stalled";
        case DownloadFailure::FileInUse:
            return "file in use";
        case DownloadFailure::WriteFailed:
            return "file could not be written";
        case DownloadFailure::BadAddress:
            return "address not usable";
        case DownloadFailure::Other:
            break;
    }
    return "transfer failed";
}

DownloadFailure ClassifyCurlFailure(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return DownloadFailure::None;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return DownloadFailure::NameNotResolved;
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PROXY:
            return DownloadFailure::NoConnection;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
            return DownloadFailure::CertificateRefused;
        case CURLE_ABORTED_BY_CALLBACK:
            return DownloadFailure::Cancelled;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_TOO_MANY_REDIRECTS:
            return DownloadFailure::BadAddress;
        case CURLE_WRITE_ERROR:
            return DownloadFailure::WriteFailed;
        default:
            return DownloadFailure::Other;
    }
}

DownloadFailure ClassifyFileError(int error) {
    switch (error) {
        case 0:
            return DownloadFailure::None;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG:
            return DownloadFailure::DiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
        case ENOENT:
        case ENOTDIR:
            return DownloadFailure::DirectoryNotWritable;
        default:
            return DownloadFailure::WriteFailed;
    }
}

std::string DescribeResult(const CurlResult& result) {
    std::string text = DescribeDownloadFailure(result.failure);
    if (result.failure == DownloadFailure::HttpStatus || result.failure == DownloadFailure::Other)
        text += (result.failure == DownloadFailure::HttpStatus ? " " : " (code ") +
                std::to_string(result.code) +
                (result.failure == DownloadFailure::HttpStatus ? "" : ")");
    return text;
}
