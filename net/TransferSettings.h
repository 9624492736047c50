#pragma once
// Process-wide defaults that every new ClusterCurl takes at construction: certificate
// checking, the CA bundle and the proxy. The install steps set them from Install.ini
// before a transfer whose client they do not make themselves (the installation report
// goes through CHttpMgr); tests point the CA bundle at a test CA.

#include <string>

struct CTransferSettings {
    bool verifyTls = true;  // peer certificate and host name against the CA store
    std::string caFile;     // CA bundle (PEM); empty: libcurl's own, the system's store
    std::string proxy;      // proxy URL for every transfer; empty: the system's settings
};

void SetDefaultTransferSettings(const CTransferSettings& settings);
CTransferSettings GetDefaultTransferSettings();
