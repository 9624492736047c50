#include "install/PublisherSignature.h"

#include <sodium.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/File.h"
#include "platform/Text.h"

// The keys of this build, generated at configure time from -DQI_PUBLISHER_KEYS (empty
// without): the text of the key file, checked there.
extern const char kCompiledPublisherKeys[];

namespace {

constexpr size_t kKeyBytes = 2 + 8 + 32;        // "Ed", key id, Ed25519 public key
constexpr size_t kSignatureBytes = 2 + 8 + 64;  // algorithm, key id, signature
constexpr size_t kGlobalBytes = 64;
// The legacy form signs the file itself, which must then be read whole.
constexpr size_t kMaxLegacyFileSize = size_t{512} << 20;
constexpr char kUntrusted[] = "untrusted comment:";
constexpr char kTrusted[] = "trusted comment: ";

bool Fail(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Splits at LF, dropping one CR before it; a final line end adds no empty line.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Strict base64 (padding required, nothing else in the line) of exactly `size` bytes.
bool DecodeExact(std::string_view line, uint8_t* out, size_t size) {
    if (line.size() != sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL) - 1)
        return false;
    size_t decoded = 0;
    return sodium_base642bin(out, size, line.data(), line.size(), nullptr, &decoded, nullptr,
                             sodium_base64_VARIANT_ORIGINAL) == 0 &&
           decoded == size;
}

bool ContainsControl(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return true;
    return false;
}

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The trusted comment's "file:" entries (separated by blanks or tabs) must be exactly one,
// naming `name`.
bool CommentNames(const std::string& comment, const std::string& name) {
    int matches = 0;
    size_t at = 0;
    while (at < comment.size()) {
        const size_t end = comment.find_first_of(" \t", at);
        const std::string token = comment.substr(at, end == std::string::npos ? end : end - at);
        if (StartsWith(token, "file:")) {
            if (token.substr(5) != name)
                return false;
            ++matches;
        }
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return matches == 1;
}

// What the file signature covers: the BLAKE2b-512 of the file, or the file itself.
bool SignedMessage(const std::wstring& path, bool prehashed, std::vector<uint8_t>& message,
                   std::string* reason) {
    int error = 0;
    platform::FileDescriptor fd =
        platform::OpenFile(platform::PathToNarrow(path), O_RDONLY, 0, error);
    if (!fd.IsOpen())
        return Fail(reason, std::string("file unreadable: ") + std::strerror(error));
    CBlake2bDigest digest;
    std::vector<uint8_t> buffer(size_t{1} << 20);
    message.clear();
    for (;;) {
        const ssize_t got = platform::ReadSome(fd.Get(), buffer.data(), buffer.size());
        if (got < 0)
            return Fail(reason, "file unreadable");
        if (got == 0)
            break;
        if (prehashed) {
            digest.Update(buffer.data(), static_cast<size_t>(got));
        } else {
            if (message.size() + static_cast<size_t>(got) > kMaxLegacyFileSize)
                return Fail(reason, "file too large for a legacy (non-prehashed) signature");
            message.insert(message.end(), buffer.begin(), buffer.begin() + got);
        }
    }
    if (prehashed) {
        const CFileHash hash = digest.Final();
        message.assign(hash.begin(), hash.end());
    }
    return true;
}

std::atomic<const CPublisherKeySet*> g_testKeys{nullptr};

}  // namespace

struct CBlake2bDigest::State {
    crypto_generichash_state state;
};

CBlake2bDigest::CBlake2bDigest() : m_state(std::make_unique<State>()) {
    SodiumReady();
    Reset();
}

CBlake2bDigest::~CBlake2bDigest() {
    sodium_memzero(&m_state->state, sizeof m_state->state);
}

void CBlake2bDigest::Reset() {
    crypto_generichash_init(&m_state->state, nullptr, 0, crypto_generichash_BYTES_MAX);
}

void CBlake2bDigest::Update(const void* data, size_t size) {
    crypto_generichash_update(&m_state->state, static_cast<const uint8_t*>(data), size);
}

CFileHash CBlake2bDigest::Final() {
    CFileHash hash{};
    crypto_generichash_final(&m_state->state, hash.data(), hash.size());
    Reset();
    return hash;
}

bool ParsePublisherKeys(std::string_view text, std::vector<CPublisherKey>& keys,
                        std::string* error) {
    keys.clear();
    const std::vector<std::string_view> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        if (!StartsWith(lines[i], kUntrusted))
            return Fail(error, "line " + std::to_string(i + 1) +
                                   ": expected \"untrusted comment:\" before a key");
        if (i + 1 >= lines.size())
            return Fail(error, "line " + std::to_string(i + 1) + ": comment without a key line");
        uint8_t raw[kKeyBytes];
        if (!DecodeExact(lines[i + 1], raw, sizeof raw) || raw[0] != 'E' || raw[1] != 'd')
            return Fail(error, "line " + std::to_string(i + 2) +
                                   ": not a minisign Ed25519 public key (base64 of 42 bytes "
                                   "starting with \"Ed\")");
        CPublisherKey key;
        std::memcpy(key.keyId.data(), raw + 2, 8);
        std::memcpy(key.publicKey.data(), raw + 10, 32);
        for (const CPublisherKey& other : keys)
            if (other.keyId == key.keyId)
                return Fail(error, "key id " + KeyIdText(key.keyId) + " appears twice");
        keys.push_back(key);
        ++i;
    }
    if (keys.empty())
        return Fail(error, "no public key");
    return true;
}

bool ParseMinisignSignature(std::string_view text, CMinisignSignature& signature,
                            std::string* error) {
    if (text.size() > kMaxSignatureFileSize)
        return Fail(error, "signature file larger than " + std::to_string(kMaxSignatureFileSize) +
                               " bytes");
    const std::vector<std::string_view> lines = Lines(text);
    if (lines.size() != 4)
        return Fail(error, "signature file has " + std::to_string(lines.size()) + " lines, not 4");
    if (!StartsWith(lines[0], kUntrusted))
        return Fail(error, "line 1 is not an untrusted comment");
    uint8_t raw[kSignatureBytes];
    if (!DecodeExact(lines[1], raw, sizeof raw))
        return Fail(error, "line 2 is not a signature (base64 of 74 bytes)");
    if (raw[0] != 'E' || (raw[1] != 'd' && raw[1] != 'D'))
        return Fail(error, "unknown signature algorithm");
    if (!StartsWith(lines[2], kTrusted))
        return Fail(error, "line 3 is not a trusted comment");
    const std::string_view comment = lines[2].substr(sizeof kTrusted - 1);
    if (ContainsControl(comment))
        return Fail(error, "trusted comment holds control characters");
    if (!DecodeExact(lines[3], signature.globalSignature.data(), kGlobalBytes))
        return Fail(error, "line 4 is not a global signature (base64 of 64 bytes)");
    signature.prehashed = raw[1] == 'D';
    std::memcpy(signature.keyId.data(), raw + 2, 8);
    std::memcpy(signature.signature.data(), raw + 10, 64);
    signature.trustedComment.assign(comment);
    return true;
}

bool VerifyPublisherSignature(const std::wstring& path, std::string_view signatureText,
                              const std::vector<CPublisherKey>& keys,
                              const std::string& expectedName, std::string* reason,
                              const CFileHash* fileHash) {
    if (!SodiumReady())
        return Fail(reason, "libsodium could not be initialised");
    CMinisignSignature sig;
    std::string why;
    if (!ParseMinisignSignature(signatureText, sig, &why))
        return Fail(reason, "malformed signature: " + why);
    const CPublisherKey* key = nullptr;
    for (const CPublisherKey& candidate : keys)
        if (candidate.keyId == sig.keyId)
            key = &candidate;
    if (key == nullptr)
        return Fail(reason, "signed by unknown key " + KeyIdText(sig.keyId));

    // The comment first: it is small, and a forged one must not pass as a naming error.
    std::vector<uint8_t> global(sig.signature.begin(), sig.signature.end());
    global.insert(global.end(), sig.trustedComment.begin(), sig.trustedComment.end());
    if (crypto_sign_verify_detached(sig.globalSignature.data(), global.data(), global.size(),
                                    key->publicKey.data()) != 0)
        return Fail(reason, "trusted comment signature does not verify");
    if (expectedName.empty() || !CommentNames(sig.trustedComment, expectedName))
        return Fail(reason, "signed for another file: trusted comment [" + sig.trustedComment +
                                "] does not name file:" + expectedName);

    std::vector<uint8_t> message;
    if (sig.prehashed && fileHash != nullptr)
        message.assign(fileHash->begin(), fileHash->end());
    else if (!SignedMessage(path, sig.prehashed, message, reason))
        return false;
    if (crypto_sign_verify_detached(sig.signature.data(), message.data(), message.size(),
                                    key->publicKey.data()) != 0)
        return Fail(reason, "file signature does not verify (altered file or wrong signature)");
    return true;
}

const CPublisherKeySet& PublisherKeys() {
    if (const CPublisherKeySet* test = g_testKeys.load())
        return *test;
    static const CPublisherKeySet compiled = [] {
        CPublisherKeySet set;
        if (kCompiledPublisherKeys[0] != '\0' &&
            !ParsePublisherKeys(kCompiledPublisherKeys, set.keys, nullptr))
            set.broken = true;  // fail closed: every check refuses
        return set;
    }();
    return compiled;
}

const CPublisherKeySet* SetPublisherKeysForTesting(const CPublisherKeySet* keys) {
    return g_testKeys.exchange(keys);
}

std::string KeyIdText(const std::array<uint8_t, 8>& keyId) {
    char text[17];
    for (size_t i = 0; i < 8; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", keyId[7 - i]);
    return std::string(text, 16);
}

std::string PublishedName(const std::string& url) {
    const std::string path = url.substr(0, url.find_first_of("?#"));
    const size_t slash = path.find_last_of('/');
    const std::string segment = slash == std::string::npos ? path : path.substr(slash + 1);
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string name;
    for (size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%' && i + 2 < segment.size() && hex(segment[i + 1]) >= 0 &&
            hex(segment[i + 2]) >= 0) {
            name.push_back(static_cast<char>(hex(segment[i + 1]) * 16 + hex(segment[i + 2])));
            i += 2;
        } else {
            name.push_back(segment[i]);
        }
    }
    return name;
}
