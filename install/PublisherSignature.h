#pragma once
// The publisher's signatures: minisign public keys and detached signatures (Ed25519; the
// file itself for the legacy "Ed" form, its BLAKE2b-512 for the prehashed "ED" form), and
// the keys the build was given (-DQI_PUBLISHER_KEYS).
//
// A signature counts only when its key id names one of the keys, both of its signatures
// (the file's and the global one over the trusted comment) verify, and its trusted comment
// carries "file:NAME" with the name the file was published under: a validly signed other
// file cannot stand in.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/BodyDigest.h"

struct CPublisherKey {
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 32> publicKey{};
};

struct CMinisignSignature {
    bool prehashed = false;  // "ED": over the BLAKE2b-512 of the file; "Ed": over the file
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 64> signature{};
    std::string trustedComment;  // the text after "trusted comment: "
    std::array<uint8_t, 64> globalSignature{};
};

// One or more public keys as `minisign -G` writes them (an "untrusted comment:" line, then
// the key line), blank lines between them allowed. False with the reason on anything else,
// also on no key at all and on two keys with one id.
bool ParsePublisherKeys(std::string_view text, std::vector<CPublisherKey>& keys,
                        std::string* error);

// A .minisig file: four lines (untrusted comment, signature, trusted comment, global
// signature), CR LF or LF, a final line end optional. False with the reason otherwise.
bool ParseMinisignSignature(std::string_view text, CMinisignSignature& signature,
                            std::string* error);

// Largest .minisig taken: minisign's own comments stay far below it.
constexpr size_t kMaxSignatureFileSize = 16384;

using CFileHash = std::array<uint8_t, 64>;  // BLAKE2b-512

// The BLAKE2b-512 of a file as its bytes go by: a download feeds it as it writes the file,
// so a prehashed signature is checked without reading the file again.
class CBlake2bDigest : public CBodyDigest {
public:
    CBlake2bDigest();
    ~CBlake2bDigest() override;
    CBlake2bDigest(const CBlake2bDigest&) = delete;
    CBlake2bDigest& operator=(const CBlake2bDigest&) = delete;
    void Reset() override;
    void Update(const void* data, size_t size) override;
    // The digest of everything fed since the last Reset; starts over afterwards.
    CFileHash Final();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Checks the file at `path` against the .minisig text `signatureText`: a valid signature by
// one of `keys` whose trusted comment names `expectedName`. False with the reason otherwise
// (malformed, unknown key, wrong name, bad signature, unreadable file). `fileHash`, when
// given, is the BLAKE2b-512 of that file taken as it was written: a prehashed signature is
// checked against it instead of a reading of the file (the legacy form reads it still).
bool VerifyPublisherSignature(const std::wstring& path, std::string_view signatureText,
                              const std::vector<CPublisherKey>& keys,
                              const std::string& expectedName, std::string* reason,
                              const CFileHash* fileHash = nullptr);

// The keys this build checks downloads against; empty in a build without keys. A build
// whose compiled-in keys do not parse (the configure step checks them) yields `broken`.
struct CPublisherKeySet {
    std::vector<CPublisherKey> keys;
    bool broken = false;
    bool Enabled() const { return broken || !keys.empty(); }
};
const CPublisherKeySet& PublisherKeys();
// Tests put a key set of their own in place of the compiled-in one; null restores it.
// Returns the set in place before.
const CPublisherKeySet* SetPublisherKeysForTesting(const CPublisherKeySet* keys);

// The key id as minisign prints it (16 upper-case hex digits, its bytes in reverse).
std::string KeyIdText(const std::array<uint8_t, 8>& keyId);

// The name a file is published under: the last path segment of `url` (no query or
// fragment), percent escapes decoded. Empty when the URL ends with '/'.
std::string PublishedName(const std::string& url);
