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

TransferOptions DefaultTransferOptions() {
    const CTransferSettings settings = GetDefaultTransferSettings();
    TransferOptions options;
    options.verifyTls = settings.verifyTls;
    options.caFile = settings.caFile;
    options.proxy = settings.proxy;
    options.proxyLookup = settings.proxyLookup;
    options.firstBackoffMs = settings.firstBackoffMs > 0 ? settings.firstBackoffMs : 1000;
    options.maxBackoffMs = settings.maxBackoffMs > 0 ? settings.maxBackoffMs : 30000;
    return options;
}
