#pragma once
// SHA-256 in hex: a digest fed piece by piece (a download hashes its body as it arrives)
// and the digest of a file read in pieces, never whole.

#include <cstddef>
#include <string>

#include "platform/Crypto.h"

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // False when the system could not set up a context; every later call then fails too.
    bool IsValid() const { return m_context.IsValid(); }
    // Starts over, as if nothing had been fed.
    bool Reset();
    bool Update(const void* data, size_t size);
    // The digest of everything fed since the last Reset as 64 lower-case hex digits, or ""
    // when hashing failed. Ends the digest: call Reset before feeding again.
    std::string FinalHex();

private:
    platform::Sha256Context m_context;
};

// The SHA-256 of `bytes` (64 lower-case hex digits).
std::string Sha256Hex(const std::string& bytes);

// The SHA-256 of the file at `path` (64 lower-case hex digits), read in 1 MiB pieces.
// False when it cannot be opened or read (a folder cannot be read either).
bool Sha256OfFile(const std::string& path, std::string& hexDigest);

// A digest as Install.ini gives it: exactly 64 hex digits of either case, blanks around it
// already trimmed. True with the lower-case form in `normalized`.
bool ParseSha256Hex(const std::string& text, std::string& normalized);
