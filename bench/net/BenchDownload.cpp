// One download with the installer's client, timed: the C++ half of bench/download.sh and
// bench/net/resume.sh. Usage: bench_download URL DIR FILE [RETRIES [SHA256]]. Prints
// "bytes seconds" on success.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/ClusterCurl.h"
#include "net/CurlRuntime.h"

namespace {

// Counts reports as the installer's listener would receive them.
class CCountingListener final : public CLibcurlDownCallback {
public:
    void OnDownloadProgress(int, int, double, double) override { ++m_nReports; }
    void OnUploadProgress(int, double, double) override {}
    int m_nReports = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "usage: %s URL DIR FILE [RETRIES [SHA256]]\n", argv[0]);
        return 2;
    }
    int status = 1;
    {
        CCountingListener listener;
        TransferOptions options = DefaultTransferOptions();
        options.listener = &listener;
        if (argc > 4)
            options.retries = std::atoi(argv[4]);
        if (argc > 5)
            options.sha256 = argv[5];
        ClusterCurl client(options);
        const auto start = std::chrono::steady_clock::now();
        CurlResult result = client.downloadFile(argv[1], argv[2], argv[3]);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        struct stat info {};
        std::string path = std::string(argv[2]) + "/" + argv[3];
        if (result.code == 200 && ::stat(path.c_str(), &info) == 0) {
            std::printf("%lld %.6f\n", static_cast<long long>(info.st_size), seconds);
            status = 0;
        } else {
            std::fprintf(stderr, "download failed: %d %s\n", result.code, result.message.c_str());
        }
    }
    ReleaseCurlGlobal(true);
    return status;
}
