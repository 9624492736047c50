#pragma once
// Process-wide defaults that every new ClusterCurl takes at construction (through
// DefaultTransferOptions): certificate checking, the CA bundle, the proxy and its lookup,
// and the back-off of downloads. The install steps set them from Install.ini before a
// transfer whose client they do not make themselves (the installation report goes through
// CHttpMgr); tests point the CA bundle at a test CA and shorten the back-off.

#include <cstdint>
#include <string>

#include "net/TransferOptions.h"

struct CTransferSettings {
    bool verifyTls = true;           // peer certificate and host name against the CA store
    std::string caFile;              // CA bundle (PEM); empty: libcurl's own, the system's store
    std::string proxy;               // proxy URL for every transfer; empty: the system's settings
    ProxyLookupFn proxyLookup;       // the system's proxy lookup; empty: SystemProxy.h's
    uint32_t firstBackoffMs = 1000;  // first wait before a download's retry
    uint32_t maxBackoffMs = 30000;   // longest wait before a retry
};

void SetDefaultTransferSettings(const CTransferSettings& settings);
CTransferSettings GetDefaultTransferSettings();
