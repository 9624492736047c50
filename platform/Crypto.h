#pragma once
// The system's cryptography, as far as the program needs it: SHA-256 fed piece by piece.
// BCrypt on Windows, OpenSSL's libcrypto (which libcurl brings anyway) on Linux.

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

class Sha256Context {
public:
    using Digest = std::array<uint8_t, 32>;

    Sha256Context();
    ~Sha256Context();
    Sha256Context(const Sha256Context&) = delete;
    Sha256Context& operator=(const Sha256Context&) = delete;

    // False when the system could not set up a context, or a step failed; every later
    // call then fails too, until Reset succeeds.
    bool IsValid() const { return m_bValid; }
    // Starts over, as if nothing had been fed.
    bool Reset();
    bool Update(const void* data, size_t size);
    // The digest of everything fed since the last Reset. Ends the digest: call Reset before
    // feeding again.
    bool Final(Digest& digest);

private:
    void Release();

    void* m_pState = nullptr;  // the system's context
    bool m_bValid = false;
};

}  // namespace platform
