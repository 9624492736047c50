#include "platform/Module.h"

#include <mutex>

namespace platform {
namespace {
std::mutex g_hookLock;
std::wstring g_hookPath;  // guarded by g_hookLock
}  // namespace

// The system's answer (Module_posix.cpp, Module_win.cpp).
std::wstring SystemModuleFileName();

std::wstring GetModuleFileName() {
    {
        std::lock_guard<std::mutex> lock(g_hookLock);
        if (!g_hookPath.empty())
            return g_hookPath;
    }
    return SystemModuleFileName();
}

void SetModuleFileNameForTest(std::wstring path) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_hookPath = std::move(path);
}

}  // namespace platform
