#include "net/TransferSettings.h"

#include <mutex>

namespace {
std::mutex g_lockSettings;
CTransferSettings g_settings;  // guarded by g_lockSettings
}  // namespace

void SetDefaultTransferSettings(const CTransferSettings& settings) {
    std::lock_guard<std::mutex> lock(g_lockSettings);
    g_settings = settings;
}

CTransferSettings GetDefaultTransferSettings() {
    std::lock_guard<std::mutex> lock(g_lockSettings);
    return g_settings;
}
