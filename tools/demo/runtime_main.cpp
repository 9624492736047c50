// qi-demo-runtime: the demo runtime installer (served as NETFramework4.x.exe, saved by the
// installer as net4.exe). Registers the runtime in the registry store the way the real one
// does, so the installer's check finds a "v4" key under NDP and skips the runtime next time.
// On Linux that is the registry store, whose folder comes from QI_REGISTRY_DIR, inherited
// from the installer; on Windows the system's registry.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace {

constexpr wchar_t kFullKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
constexpr wchar_t kVersion[] = L"4.5.50709";
constexpr uint32_t kRelease = 378389;  // the release number 4.5 registers

class CRegKeyHolder {
public:
    CRegKeyHolder() = default;
    ~CRegKeyHolder() {
        if (m_hKey != nullptr)
            platform::RegCloseKey(m_hKey);
    }
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;

    platform::HKEY* Receive() { return &m_hKey; }
    platform::HKEY Get() const { return m_hKey; }

private:
    platform::HKEY m_hKey = nullptr;
};

platform::LSTATUS SetDword(platform::HKEY key, const wchar_t* name, uint32_t value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, sizeof(bytes));  // REG_DWORD is little-endian, as this host
    return platform::RegSetValueExW(key, name, 0, platform::REG_DWORD, bytes, sizeof(bytes));
}

platform::LSTATUS SetString(platform::HKEY key, const wchar_t* name, const wchar_t* value) {
    std::vector<uint8_t> bytes = platform::RegStringBytes(value);
    return platform::RegSetValueExW(key, name, 0, platform::REG_SZ, bytes.data(),
                                    static_cast<uint32_t>(bytes.size()));
}

const char* Explain(platform::LSTATUS status) {
    switch (status) {
        case platform::ERROR_ACCESS_DENIED:
            return "access denied (set QI_REGISTRY_DIR to a folder you may write)";
        case platform::ERROR_BADDB:
            return "the machine hive does not parse; repair it first";
        case platform::ERROR_REGISTRY_IO_FAILED:
            return "the machine hive could not be written";
        default:
            return "registry error";
    }
}

// Where the key goes, for people reading the output.
std::string RegistryName() {
#ifdef _WIN32
    return "the system's registry";
#else
    return "the registry store (" + platform::GetRegistryHivePath(true) + ")";
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        bool help = std::strcmp(argv[1], "--help") == 0;
        std::fprintf(help ? stdout : stderr,
                     "usage: qi-demo-runtime\n"
                     "Registers the demo runtime %ls under HKEY_LOCAL_MACHINE\\%ls\n"
                     "in %s.\n",
                     kVersion, kFullKey, RegistryName().c_str());
        return help ? 0 : 2;
    }

    CRegKeyHolder key;
    // The runtime registers in the native view, where a 32-bit installer also looks for it.
    platform::LSTATUS status = platform::RegCreateKeyExW(
        platform::HKEY_LOCAL_MACHINE, kFullKey, 0, nullptr, platform::REG_OPTION_NON_VOLATILE,
        platform::KEY_WRITE | platform::KEY_WOW64_64KEY, nullptr, key.Receive(), nullptr);
    if (status == platform::ERROR_SUCCESS)
        status = SetDword(key.Get(), L"Install", 1);
    if (status == platform::ERROR_SUCCESS)
        status = SetString(key.Get(), L"Version", kVersion);
    if (status == platform::ERROR_SUCCESS)
        status = SetDword(key.Get(), L"Release", kRelease);

    const std::string hive = RegistryName();
    if (status != platform::ERROR_SUCCESS) {
        std::fprintf(stderr, "qi-demo-runtime: cannot register the runtime in %s: error %d, %s\n",
                     hive.c_str(), static_cast<int>(status), Explain(status));
        return 1;
    }
    std::printf("qi-demo-runtime: registered runtime %ls (Install=1) under HKLM\\%ls in %s\n",
                kVersion, kFullKey, hive.c_str());
    return 0;
}
