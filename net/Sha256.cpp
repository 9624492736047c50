#include "net/Sha256.h"

#include <cerrno>
#include <vector>

#include "platform/File.h"

CSha256::CSha256() = default;
CSha256::~CSha256() = default;

bool CSha256::Reset() {
    return m_context.Reset();
}

bool CSha256::Update(const void* data, size_t size) {
    return m_context.Update(data, size);
}

std::string CSha256::FinalHex() {
    platform::Sha256Context::Digest digest{};
    if (!m_context.Final(digest))
        return "";
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 0x0f]);
    }
    return hex;
}

std::string Sha256Hex(const std::string& bytes) {
    CSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return sha.FinalHex();
}

bool Sha256OfFile(const std::string& path, std::string& hexDigest) {
    int error = 0;
    platform::FileDescriptor fd = platform::OpenFile(path, O_RDONLY, 0, error);
    if (!fd.IsOpen())
        return false;
    CSha256 sha;
    std::vector<char> buffer(1 << 20);
    bool ok = sha.IsValid();
    while (ok) {
        const ssize_t got = platform::ReadSome(fd.Get(), buffer.data(), buffer.size());
        if (got < 0) {
            ok = false;  // EISDIR for a folder
            break;
        }
        if (got == 0)
            break;
        ok = sha.Update(buffer.data(), static_cast<size_t>(got));
    }
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
