#pragma once
// HTTPS for tests: certificates made on the build host (make-test-certs), and sites that
// serve files with them. A site is openssl's server on the build host, which CTest starts
// for programs that require the fixture qi_tls_sites (tls-sites); the Windows programs have
// no TLS server of their own, and the Linux ones use the same sites.
//
// Address a site as "localhost": Windows' libcurl (Schannel) matches DNS names only.

#include <string>

namespace qitest {

// The test CA (PEM): what a CA file for the tests holds.
std::string TestCaFile();

enum class TlsCertificate {
    Issued,      // localhost, issued by the test CA
    WrongName,   // issued by the test CA for another name
    SelfSigned,  // localhost, signed by itself
};

// A folder of its own on the site with `certificate`, removed with what is in it at the end.
class CTlsSite {
public:
    explicit CTlsSite(TlsCertificate certificate);
    ~CTlsSite();
    CTlsSite(const CTlsSite&) = delete;
    CTlsSite& operator=(const CTlsSite&) = delete;

    // False when the fixture's site is not listed (the program ran outside CTest).
    bool IsRunning() const { return m_nPort > 0; }
    // "https://localhost:PORT/<folder>" + path.
    std::string Url(const std::string& path) const;
    // Serves `bytes` at `path` ("/name"); false when the file could not be written.
    bool Put(const std::string& path, const std::string& bytes) const;

private:
    int m_nPort = -1;
    std::string m_strFolder;  // the folder's name on the site
    std::string m_strPath;    // and where it is on disk
};

}  // namespace qitest
