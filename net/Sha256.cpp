#include "net/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

CSha256::CSha256() : m_pCtx(EVP_MD_CTX_new()), m_bValid(false) {
    Reset();
}

CSha256::~CSha256() {
    EVP_MD_CTX_free(m_pCtx);
}

bool CSha256::Reset() {
    m_bValid = m_pCtx != nullptr && EVP_DigestInit_ex(m_pCtx, EVP_sha256(), nullptr) == 1;
    return m_bValid;
}

bool CSha256::Update(const void* data, size_t size) {
    if (!m_bValid)
        return false;
    if (size > 0 && EVP_DigestUpdate(m_pCtx, data, size) != 1)
        m_bValid = false;
    return m_bValid;
}

std::string CSha256::FinalHex() {
    if (!m_bValid)
        return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    m_bValid = false;  // a finished context takes no more data until Reset
    if (EVP_DigestFinal_ex(m_pCtx, digest, &length) != 1)
        return "";
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

std::string Sha256Hex(const std::string& bytes) {
    CSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return sha.FinalHex();
}

bool Sha256OfFile(const std::string& path, std::string& hexDigest) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    CSha256 sha;
    std::vector<char> buffer(1 << 20);
    bool ok = sha.IsValid();
    while (ok) {
        ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ok = false;  // EISDIR for a folder
            break;
        }
        if (got == 0)
            break;
        ok = sha.Update(buffer.data(), static_cast<size_t>(got));
    }
    ::close(fd);
    if (!ok)
        return false;
    hexDigest = sha.FinalHex();
    return !hexDigest.empty();
}

bool ParseSha256Hex(const std::string& text, std::string& normalized) {
    if (text.size() != 64)
        return false;
    std::string lower;
    lower.reserve(64);
    for (char c : text) {
        if (c >= '0' && c <= '9')
            lower.push_back(c);
        else if (c >= 'a' && c <= 'f')
            lower.push_back(c);
        else if (c >= 'A' && c <= 'F')
            lower.push_back(static_cast<char>(c - 'A' + 'a'));
        else
            return false;
    }
    normalized = lower;
    return true;
}
