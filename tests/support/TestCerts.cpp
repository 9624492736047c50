#include "tests/support/TestCerts.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace qitest {

namespace {

const char* SiteName(TlsCertificate certificate) {
    switch (certificate) {
        case TlsCertificate::Issued:
            return "server";
        case TlsCertificate::WrongName:
            return "wrong";
        case TlsCertificate::SelfSigned:
            return "self";
    }
    return "";
}

}  // namespace

std::string TestCaFile() {
    return std::string(QI_TEST_CERT_DIR) + "/ca.pem";
}

CTlsSite::CTlsSite(TlsCertificate certificate) {
    const std::string sites = QI_TLS_SITES_DIR;
    std::ifstream ports(FsPath(sites + "/ports"));
    std::string name;
    int port = 0;
    while (ports >> name >> port) {
        if (name == SiteName(certificate))
            m_nPort = port;
    }
    if (m_nPort <= 0)
        return;
    // Tests side by side share the sites: each gets a folder of its own.
    std::random_device random;
    m_strFolder = "t" + std::to_string(random()) + std::to_string(random());
    m_strPath = sites + "/www/" + m_strFolder;
    std::error_code ec;
    if (!std::filesystem::create_directory(FsPath(m_strPath), ec))
        m_nPort = -1;
}

CTlsSite::~CTlsSite() {
    std::error_code ec;
    if (!m_strFolder.empty())
        std::filesystem::remove_all(FsPath(m_strPath), ec);
}

std::string CTlsSite::Url(const std::string& path) const {
    return "https://localhost:" + std::to_string(m_nPort) + "/" + m_strFolder + path;
}

bool CTlsSite::Put(const std::string& path, const std::string& bytes) const {
    return IsRunning() && WriteFile(m_strPath + path, bytes);
}

}  // namespace qitest
