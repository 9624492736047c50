#include "net/TransferSettings.h"

#include "net/AutoLock.h"

namespace {
CMutex g_lockSettings;
CTransferSettings g_settings;  // guarded by g_lockSettings
}  // namespace

void SetDefaultTransferSettings(const CTransferSettings& settings) {
    CAutoLock lock(&g_lockSettings);
    g_settings = settings;
}

CTransferSettings GetDefaultTransferSettings() {
    CAutoLock lock(&g_lockSettings);
    return g_settings;
}
