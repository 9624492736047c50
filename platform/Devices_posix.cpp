// Devices and interfaces from sysfs.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/Devices.h"
#include "platform/Text.h"

namespace platform {
namespace {

// The configuration manager's codes: no problem, and "drivers not installed".
constexpr int kNoProblem = 0;
constexpr int kProblemFailedInstall = 28;

std::mutex s_rootMutex;
std::string s_root = "/sys";

std::string Root() {
    std::lock_guard<std::mutex> lock(s_rootMutex);
    return s_root;
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A sysfs number file ("0x8086"); false when missing or not a number.
bool ReadHex(const std::string& path, unsigned long& value) {
    std::string text = ReadLine(path);
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 16);
    return end != text.c_str() && (*end == '\0' || *end == '\n' || *end == ' ');
}

}  // namespace

bool ListDevices(std::vector<DeviceEntry>& devices) {
    devices.clear();
    std::string dir = Root() + "/bus/pci/devices";
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr)
        return false;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string base = dir + "/" + name + "/";
        unsigned long vendor = 0, device = 0, subVendor = 0, subDevice = 0, revision = 0;
        if (!ReadHex(base + "vendor", vendor) || !ReadHex(base + "device", device))
            continue;
        ReadHex(base + "subsystem_vendor", subVendor);
        ReadHex(base + "subsystem_device", subDevice);
        ReadHex(base + "revision", revision);
        wchar_t id[96];
        // Windows puts the subsystem device before the subsystem vendor.
        std::swprintf(id, 96, L"PCI\\VEN_%04lX&DEV_%04lX&SUBSYS_%04lX%04lX&REV_%02lX",
                      vendor & 0xFFFF, device & 0xFFFF, subDevice & 0xFFFF, subVendor & 0xFFFF,
                      revision & 0xFF);
        DeviceEntry entry;
        entry.hardwareId = id;
        struct stat st {};
        entry.problemCode =
            ::stat((base + "driver").c_str(), &st) == 0 ? kNoProblem : kProblemFailedInstall;
        devices.push_back(std::move(entry));
    }
    return true;
}

bool GetAdapterFriendlyName(const std::string& name, std::wstring& friendlyName) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return false;
    }
    std::string base = Root() + "/class/net/" + name;
    if (::access(base.c_str(), F_OK) != 0)
        return false;
    std::string alias = ReadLine(base + "/ifalias");  // UTF-8, as the kernel keeps it
    friendlyName = Utf8ToWide(alias.empty() ? name : alias);
    return true;
}

void SetSysfsRootForTest(std::string root) {
    std::lock_guard<std::mutex> lock(s_rootMutex);
    s_root = root.empty() ? std::string("/sys") : std::move(root);
}

}  // namespace platform
