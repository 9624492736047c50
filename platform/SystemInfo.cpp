#include "platform/SystemInfo.h"

#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace platform {
namespace {

std::mutex g_lock;
bool g_versionHooked = false;                        // guarded by g_lock
std::optional<OsVersionInfo> g_version;              // guarded by g_lock
std::optional<NativeOverride> g_native;              // guarded by g_lock
std::optional<std::vector<AdapterInfo>> g_adapters;  // guarded by g_lock
bool g_adaptersFail = false;                         // guarded by g_lock

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ParseMac(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    unsigned v[6];
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) !=
        6)
        return false;
    for (unsigned b : v)
        out.push_back(static_cast<uint8_t>(b));
    return true;
}

}  // namespace

bool GetVersionRecord(OsVersionInfo& info) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_versionHooked) {
        if (!g_version)
            return false;
        info = *g_version;
        return true;
    }
    info = OsVersionInfo{};
    return true;
}

void SetVersionRecordForTest(std::optional<OsVersionInfo> info) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_versionHooked = true;
    g_version = info;
}

void ResetVersionRecordForTest() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_versionHooked = false;
    g_version.reset();
}

uint16_t GetNativeArchitecture() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_native)
            return g_native->architecture;
    }
    utsname u{};
    if (::uname(&u) != 0)
        return kArchUnknown;
    std::string m = u.machine;
    if (m == "x86_64")
        return kArchAmd64;
    if (m == "ia64")
        return kArchIa64;
    if (m == "aarch64" || m == "arm64")
        return kArchArm64;
    if (m.rfind("arm", 0) == 0)
        return kArchArm;
    if (m.size() == 4 && m[0] == 'i' && m.compare(2, 2, "86") == 0)
        return kArchIntel;
    return kArchUnknown;
}

bool IsWow64Process() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_native)
            return g_native->wow64;
    }
    if (sizeof(void*) >= 8)
        return false;
    uint16_t arch = GetNativeArchitecture();
    return arch == kArchAmd64 || arch == kArchIa64 || arch == kArchArm64;
}

void SetNativeSystemForTest(std::optional<NativeOverride> value) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_native = value;
}

bool GetAdapters(std::vector<AdapterInfo>& adapters) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_adaptersFail)
            return false;
        if (g_adapters) {
            adapters = *g_adapters;
            return true;
        }
    }
    adapters.clear();
    DIR* dir = ::opendir("/sys/class/net");
    if (dir == nullptr)
        return false;
    std::vector<std::pair<long, AdapterInfo>> found;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string base = "/sys/class/net/" + name;
        AdapterInfo info;
        info.name = name;
        if (!ParseMac(ReadLine(base + "/address"), info.address))
            continue;
        long index = std::atol(ReadLine(base + "/ifindex").c_str());
        char link[4096];
        ssize_t n = ::readlink((base + "/device/subsystem").c_str(), link, sizeof link - 1);
        std::string subsystem;
        if (n > 0) {
            std::string s(link, static_cast<size_t>(n));
            subsystem = s.substr(s.rfind('/') + 1);
        }
        info.description =
            subsystem == "pci" ? "PCI network adapter " + name : "Virtual adapter " + name;
        info.type = ::access((base + "/wireless").c_str(), F_OK) == 0 ||
                            ::access((base + "/phy80211").c_str(), F_OK) == 0
                        ? kIfTypeIeee80211
                        : kIfTypeEthernet;
        found.emplace_back(index, std::move(info));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : found)
        adapters.push_back(std::move(f.second));
    return true;
}

void SetAdaptersForTest(std::optional<std::vector<AdapterInfo>> adapters, bool fail) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_adapters = std::move(adapters);
    g_adaptersFail = fail;
}

}  // namespace platform
