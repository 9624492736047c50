// qi_test_child: the child program that tests start when they need a real process that
// behaves in one exact way. It is a helper, not a test; tests find it through QI_TEST_CHILD.
//
//   qi_test_child bursts TEXT...
//       Writes each TEXT to standard output with a single write ("\0" stands for a zero
//       byte) and, before the next one, waits until the reader has taken all of it, so the
//       reader sees each TEXT in reads of its own. Exits 1 if a reader takes nothing for 20 s.
//   qi_test_child exe-dir
//       Prints "EXEDIR=[<folder of this program>]" as the program finds it.
//   qi_test_child registry-add-values ID COUNT
//       In the registry store named by QI_REGISTRY_DIR: creates ready<ID> there, waits
//       (at most 20 s) for a file "go", then sets COUNT values c<ID>_<i> = i (REG_DWORD)
//       under HKEY_LOCAL_MACHINE\Software\Shared, one write each.

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "sys/TextHelpers.h"

namespace {

constexpr int kWaitLimitMs = 20000;

std::string Unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == '0') {
            out.push_back('\0');
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

bool WriteAllTo(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Waits until nothing written to `fd` (a pipe) is left unread.
bool WaitUntilDrained(int fd) {
    for (int waited = 0; waited < kWaitLimitMs; ++waited) {
        int unread = 0;
        if (::ioctl(fd, FIONREAD, &unread) != 0)
            return true;  // not a pipe: nothing to wait for
        if (unread == 0)
            return true;
        ::usleep(1000);
    }
    return false;
}

int Bursts(int count, char** texts) {
    for (int i = 0; i < count; ++i) {
        if (!WriteAllTo(STDOUT_FILENO, Unescape(texts[i])))
            return 1;
        if (i + 1 < count && !WaitUntilDrained(STDOUT_FILENO))
            return 1;
    }
    return 0;
}

int ExeDir() {
    std::setlocale(LC_ALL, "C.UTF-8");
    std::printf("EXEDIR=[%s]\n", platform::WideToUtf8(GetExeDirectory()).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RegistryAddValues(const char* id, int count) {
    const char* dir = std::getenv("QI_REGISTRY_DIR");
    if (dir == nullptr)
        return 2;
    using namespace platform;
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &k, nullptr) != ERROR_SUCCESS)
        return 1;
    // Every child starts writing at once, so that their changes really overlap.
    const std::string ready = std::string(dir) + "/ready" + id;
    if (FILE* f = std::fopen(ready.c_str(), "w"))
        std::fclose(f);
    const std::string go = std::string(dir) + "/go";
    for (int waited = 0; ::access(go.c_str(), F_OK) != 0 && waited < kWaitLimitMs; ++waited)
        ::usleep(1000);
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        std::wstring name = L"c" + std::to_wstring(std::atoi(id)) + L"_" + std::to_wstring(i);
        uint32_t v = static_cast<uint32_t>(i);
        if (RegSetValueExW(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<uint8_t*>(&v), 4) !=
            ERROR_SUCCESS)
            ++failures;
    }
    RegCloseKey(k);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "bursts") == 0)
        return Bursts(argc - 2, argv + 2);
    if (std::strcmp(command, "exe-dir") == 0 && argc == 2)
        return ExeDir();
    if (std::strcmp(command, "registry-add-values") == 0 && argc == 4)
        return RegistryAddValues(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "qi_test_child: unknown command line (see tests/support/TestChild.cpp)\n");
    return 2;
}
