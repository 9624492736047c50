// One package step of the installer, timed: the download into the working folder, the
// signature fetched and checked (with `keys`) and the package started and waited for, by the
// real CInstallMgr. The C++ half of bench/install/signed_install.sh, which places this
// program beside an Install.ini naming the package. Usage:
//   bench_signed_install keys|none PUBLIC_KEY_FILE INSTALL_DIR
// `none` checks as a build without keys does. Prints "seconds" on success.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "install/InstallMgr.h"
#include "install/PublisherSignature.h"
#include "net/CurlRuntime.h"
#include "platform/File.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
    const bool keyed = argc == 4 && std::strcmp(argv[1], "keys") == 0;
    if (argc != 4 || (!keyed && std::strcmp(argv[1], "none") != 0)) {
        std::fprintf(stderr, "usage: %s keys|none PUBLIC_KEY_FILE INSTALL_DIR\n", argv[0]);
        return 2;
    }
    CPublisherKeySet keys;
    std::string text;
    std::string error;
    if (keyed && (platform::ReadWholeFile(argv[2], text) != 0 ||
                  !ParsePublisherKeys(text, keys.keys, &error))) {
        std::fprintf(stderr, "no public key in %s: %s\n", argv[2], error.c_str());
        return 2;
    }
    SetPublisherKeysForTesting(&keys);  // empty: as a build without keys
    int status = 1;
    {
        auto mgr = std::make_unique<CInstallMgr>();
        mgr->SetInstallDir(platform::Utf8ToWide(argv[3]));
        const auto start = std::chrono::steady_clock::now();
        const bool ok = mgr->DownInstallFile() && mgr->InstallFile();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (ok) {
            std::printf("%.4f\n", took.count());
            status = 0;
        } else {
            std::fprintf(stderr, "the package step failed: reason %d\n",
                         static_cast<int>(mgr->GetResult()));
        }
    }
    SetPublisherKeysForTesting(nullptr);
    ReleaseCurlGlobal(true);
    return status;
}
