#pragma once
// Certificates for HTTPS tests, made with the openssl command in a test's own folder: a
// test CA with a server certificate for 127.0.0.1 and localhost, and a self-signed one.

#include <string>

namespace qitest {

struct CTestCertificates {
    std::string caCert;      // the test CA (PEM): what a CA file for the test holds
    std::string serverCert;  // 127.0.0.1 and localhost, issued by the test CA
    std::string serverKey;
    std::string selfCert;  // 127.0.0.1, signed by itself
    std::string selfKey;
};

// Writes them under `dir`; false when the openssl command failed.
bool MakeTestCertificates(const std::string& dir, CTestCertificates& certs);

}  // namespace qitest
