#include "platform/SystemInfo.h"

#include <mutex>

namespace platform {

// The system's answers (SystemInfo_posix.cpp, SystemInfo_win.cpp).
bool SystemVersionRecord(OsVersionInfo& info);
uint16_t SystemNativeArchitecture();
bool SystemIsWow64Process();
bool SystemAdapters(std::vector<AdapterInfo>& adapters);

namespace {

std::mutex g_lock;
bool g_versionHooked = false;                        // guarded by g_lock
std::optional<OsVersionInfo> g_version;              // guarded by g_lock
std::optional<NativeOverride> g_native;              // guarded by g_lock
std::optional<std::vector<AdapterInfo>> g_adapters;  // guarded by g_lock
bool g_adaptersFail = false;                         // guarded by g_lock

}  // namespace

bool GetVersionRecord(OsVersionInfo& info) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_versionHooked) {
            if (!g_version)
                return false;
            info = *g_version;
            return true;
        }
    }
    return SystemVersionRecord(info);
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
    return SystemNativeArchitecture();
}

bool IsWow64Process() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_native)
            return g_native->wow64;
    }
    return SystemIsWow64Process();
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
    return SystemAdapters(adapters);
}

void SetAdaptersForTest(std::optional<std::vector<AdapterInfo>> adapters, bool fail) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_adapters = std::move(adapters);
    g_adaptersFail = fail;
}

}  // namespace platform
