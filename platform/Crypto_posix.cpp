// SHA-256 on Linux: OpenSSL's EVP interface.
#include "platform/Crypto.h"

#include <openssl/evp.h>

namespace platform {

Sha256Context::Sha256Context() {
    m_pState = EVP_MD_CTX_new();
    Reset();
}

Sha256Context::~Sha256Context() {
    Release();
}

void Sha256Context::Release() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_pState));
    m_pState = nullptr;
}

bool Sha256Context::Reset() {
    auto* ctx = static_cast<EVP_MD_CTX*>(m_pState);
    m_bValid = ctx != nullptr && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
    return m_bValid;
}

bool Sha256Context::Update(const void* data, size_t size) {
    if (!m_bValid)
        return false;
    if (size > 0 && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_pState), data, size) != 1)
        m_bValid = false;
    return m_bValid;
}

bool Sha256Context::Final(Digest& digest) {
    if (!m_bValid)
        return false;
    m_bValid = false;  // a finished context takes no more data until Reset
    unsigned int length = 0;
    unsigned char out[EVP_MAX_MD_SIZE];
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_pState), out, &length) != 1 ||
        length != digest.size())
        return false;
    for (size_t i = 0; i < digest.size(); ++i)
        digest[i] = out[i];
    return true;
}

}  // namespace platform
