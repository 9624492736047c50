#pragma once
// A publisher key pair made at test time, signing as minisign does (the same bytes, both
// forms), so the signature tests run alike on Linux and under Wine.

#include <cstdint>
#include <string>

#include "install/PublisherSignature.h"

namespace qitest {

class CTestSigner {
public:
    CTestSigner();  // a fresh Ed25519 key pair with a random key id

    // The public key as `minisign -G` writes its .pub file.
    std::string PublicKeyFile() const;
    CPublisherKey Key() const;

    // A .minisig for `content` whose trusted comment is `comment` (minisign's default form
    // is prehashed; `legacy` signs the content itself).
    std::string Sign(const std::string& content, const std::string& comment,
                     bool legacy = false) const;
    // The usual comment for a file published as `name`.
    static std::string CommentFor(const std::string& name) {
        return "timestamp:1700000000\tfile:" + name;
    }

private:
    uint8_t m_keyId[8];
    uint8_t m_public[32];
    uint8_t m_secret[64];
};

// The key set of a test: in force from construction to destruction (PublisherKeys()), then
// the one before it again. Without keys: a build without keys, whatever this one was given
// (the fixtures of tests that serve unsigned files).
class CScopedPublisherKeys {
public:
    explicit CScopedPublisherKeys(CPublisherKeySet keys = {})
        : m_keys(std::move(keys)), m_pPrevious(SetPublisherKeysForTesting(&m_keys)) {}
    ~CScopedPublisherKeys() { SetPublisherKeysForTesting(m_pPrevious); }
    CScopedPublisherKeys(const CScopedPublisherKeys&) = delete;
    CScopedPublisherKeys& operator=(const CScopedPublisherKeys&) = delete;

private:
    CPublisherKeySet m_keys;
    const CPublisherKeySet* m_pPrevious;
};

}  // namespace qitest
