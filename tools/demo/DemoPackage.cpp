#include "tools/demo/DemoPackage.h"

#include <cstring>

#include "platform/File.h"

namespace qidemo {

namespace {

void PutU64(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint64_t GetU64(std::string_view in) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[static_cast<size_t>(i)]);
    return value;
}

bool HasTrailer(std::string_view bytes) {
    return bytes.size() >= kPackageTrailerSize &&
           std::memcmp(bytes.data() + bytes.size() - kPackageTrailerSize, kPackageMagic,
                       sizeof(kPackageMagic)) == 0;
}

}  // namespace

uint64_t PayloadChecksum(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    if (const int failed = platform::ReadWholeFile(path, bytes)) {
        error = "cannot read " + path + ": " + std::strerror(failed);
        return false;
    }
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, std::string& error) {
    platform::ReplaceOptions options;
    options.mode = mode;
    options.keepExistingMode = false;
    if (const int failed = platform::ReplaceFileAtomically(path, bytes, options)) {
        error = "cannot write " + path + ": " + std::strerror(failed);
        return false;
    }
    return true;
}

bool BuildPackage(std::string_view stub, std::string_view payload, std::string& package,
                  std::string& error) {
    if (HasTrailer(stub)) {
        error = "the setup program already carries a payload";
        return false;
    }
    if (payload.empty()) {
        error = "the product is empty";
        return false;
    }
    package.reserve(stub.size() + payload.size() + kPackageTrailerSize);
    package.assign(stub);
    package.append(payload);
    package.append(kPackageMagic, sizeof(kPackageMagic));
    PutU64(package, payload.size());
    PutU64(package, PayloadChecksum(payload));
    return true;
}

bool ExtractPayload(std::string_view package, std::string& payload, std::string& error) {
    if (!HasTrailer(package)) {
        error = "the package carries no product (no trailer at its end)";
        return false;
    }
    std::string_view trailer = package.substr(package.size() - kPackageTrailerSize);
    uint64_t size = GetU64(trailer.substr(8, 8));
    uint64_t checksum = GetU64(trailer.substr(16, 8));
    if (size == 0 || size > package.size() - kPackageTrailerSize) {
        error = "the package is corrupt: its trailer names " + std::to_string(size) +
                " bytes of product, the file holds " +
                std::to_string(package.size() - kPackageTrailerSize);
        return false;
    }
    std::string_view bytes =
        package.substr(package.size() - kPackageTrailerSize - size, static_cast<size_t>(size));
    if (PayloadChecksum(bytes) != checksum) {
        error = "the package is corrupt: the product's checksum does not match";
        return false;
    }
    payload.assign(bytes);
    return true;
}

}  // namespace qidemo
