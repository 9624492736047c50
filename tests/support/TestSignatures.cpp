#include "tests/support/TestSignatures.h"

#include <sodium.h>

#include <cstring>

namespace qitest {
namespace {

std::string Base64(const uint8_t* data, size_t size) {
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);  // the terminating zero
    return text;
}

}  // namespace

CTestSigner::CTestSigner() {
    if (sodium_init() < 0)
        std::abort();
    crypto_sign_keypair(m_public, m_secret);
    randombytes_buf(m_keyId, sizeof m_keyId);
}

std::string CTestSigner::PublicKeyFile() const {
    uint8_t raw[42] = {'E', 'd'};
    std::memcpy(raw + 2, m_keyId, 8);
    std::memcpy(raw + 10, m_public, 32);
    return "untrusted comment: minisign public key " + KeyIdText(Key().keyId) + "\n" +
           Base64(raw, sizeof raw) + "\n";
}

CPublisherKey CTestSigner::Key() const {
    CPublisherKey key;
    std::memcpy(key.keyId.data(), m_keyId, 8);
    std::memcpy(key.publicKey.data(), m_public, 32);
    return key;
}

std::string CTestSigner::Sign(const std::string& content, const std::string& comment,
                              bool legacy) const {
    uint8_t raw[74] = {'E', static_cast<uint8_t>(legacy ? 'd' : 'D')};
    std::memcpy(raw + 2, m_keyId, 8);
    if (legacy) {
        crypto_sign_detached(raw + 10, nullptr, reinterpret_cast<const uint8_t*>(content.data()),
                             content.size(), m_secret);
    } else {
        uint8_t hash[crypto_generichash_BYTES_MAX];
        crypto_generichash(hash, sizeof hash, reinterpret_cast<const uint8_t*>(content.data()),
                           content.size(), nullptr, 0);
        crypto_sign_detached(raw + 10, nullptr, hash, sizeof hash, m_secret);
    }
    std::string global(reinterpret_cast<const char*>(raw + 10), 64);
    global += comment;
    uint8_t globalSignature[64];
    crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const uint8_t*>(global.data()),
                         global.size(), m_secret);
    return "untrusted comment: signature from minisign secret key\n" + Base64(raw, sizeof raw) +
           "\ntrusted comment: " + comment + "\n" + Base64(globalSignature, 64) + "\n";
}

}  // namespace qitest
