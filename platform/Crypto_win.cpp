// SHA-256 on Windows: BCrypt's hash provider.
#include "platform/Crypto.h"

#include <windows.h>

#include <bcrypt.h>

namespace platform {
namespace {

BCRYPT_ALG_HANDLE Provider() {
    // Opened once: a provider handle may be shared by any number of hash objects.
    static const BCRYPT_ALG_HANDLE s_provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(
                ::BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return static_cast<BCRYPT_ALG_HANDLE>(nullptr);
        return handle;
    }();
    return s_provider;
}

}  // namespace

Sha256Context::Sha256Context() {
    Reset();
}

Sha256Context::~Sha256Context() {
    Release();
}

void Sha256Context::Release() {
    if (m_pState != nullptr)
        ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_pState));
    m_pState = nullptr;
}

bool Sha256Context::Reset() {
    Release();
    BCRYPT_HASH_HANDLE hash = nullptr;
    // The system allocates the hash object itself (pbHashObject null, Windows 7 and later).
    m_bValid = Provider() != nullptr &&
               BCRYPT_SUCCESS(::BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0));
    m_pState = m_bValid ? hash : nullptr;
    return m_bValid;
}

bool Sha256Context::Update(const void* data, size_t size) {
    if (!m_bValid)
        return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0 && m_bValid) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        m_bValid = BCRYPT_SUCCESS(
            ::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_pState), bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
    return m_bValid;
}

bool Sha256Context::Final(Digest& digest) {
    if (!m_bValid)
        return false;
    m_bValid = false;  // a finished context takes no more data until Reset
    return BCRYPT_SUCCESS(::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_pState),
                                             digest.data(), static_cast<ULONG>(digest.size()), 0));
}

}  // namespace platform
