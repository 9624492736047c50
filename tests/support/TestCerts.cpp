#include "tests/support/TestCerts.h"

#include <cstdio>
#include <cstdlib>

namespace qitest {

bool MakeTestCertificates(const std::string& dir, CTestCertificates& certs) {
    const std::string d = "'" + dir + "'";
    // EC keys: quick to make, and what a modern server would carry.
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string script =
        "set -e; cd " + d +
        "; exec >openssl.log 2>&1\n"
        "openssl req -x509" +
        key +
        " -keyout ca.key -out ca.pem -days 2"
        " -subj '/CN=Quillora Test CA'"
        " -addext 'basicConstraints=critical,CA:TRUE'"
        " -addext 'keyUsage=critical,keyCertSign,cRLSign'\n"
        "openssl req" +
        key +
        " -keyout server.key -out server.csr -subj '/CN=127.0.0.1'\n"
        "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\nbasicConstraints=CA:FALSE\\n"
        "extendedKeyUsage=serverAuth\\n' > server.ext\n"
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
        " -out server.pem -days 2 -extfile server.ext\n"
        "openssl req -x509" +
        key +
        " -keyout self.key -out self.pem -days 2"
        " -subj '/CN=127.0.0.1' -addext 'subjectAltName=IP:127.0.0.1'\n";
    const std::string scriptPath = dir + "/make-certs.sh";
    FILE* file = std::fopen(scriptPath.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(script.data(), 1, script.size(), file) == script.size();
    if (std::fclose(file) != 0 || !written)
        return false;
    if (std::system(("sh '" + scriptPath + "'").c_str()) != 0)
        return false;
    certs.caCert = dir + "/ca.pem";
    certs.serverCert = dir + "/server.pem";
    certs.serverKey = dir + "/server.key";
    certs.selfCert = dir + "/self.pem";
    certs.selfKey = dir + "/self.key";
    return true;
}

}  // namespace qitest
