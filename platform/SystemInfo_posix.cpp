// Machine identity from uname and /sys/class/net.
#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/SystemInfo.h"

namespace platform {
namespace {

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

// No compatibility layer to ask: the record of the Windows the program was made for.
bool SystemVersionRecord(OsVersionInfo& info) {
    info = OsVersionInfo{};
    return true;
}

uint16_t SystemNativeArchitecture() {
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

bool SystemIsWow64Process() {
    if (sizeof(void*) >= 8)
        return false;
    uint16_t arch = SystemNativeArchitecture();
    return arch == kArchAmd64 || arch == kArchIa64 || arch == kArchArm64;
}

bool SystemAdapters(std::vector<AdapterInfo>& adapters) {
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

}  // namespace platform
