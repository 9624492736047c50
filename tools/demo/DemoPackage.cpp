#include "tools/demo/DemoPackage.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

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

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool CFileDescriptor::Close() {
    if (m_nFd < 0)
        return true;
    int fd = m_nFd;
    m_nFd = -1;
    return ::close(fd) == 0;
}

uint64_t PayloadChecksum(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, std::string& error) {
    std::string temp = path + ".XXXXXX";
    CFileDescriptor fd(::mkstemp(temp.data()));
    if (fd.Get() < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd.Get(), bytes) && ::fchmod(fd.Get(), mode) == 0;
    int savedErrno = errno;
    ok = fd.Close() && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    if (ok)
        savedErrno = errno;
    ::unlink(temp.c_str());
    error = "cannot write " + path + ": " + std::strerror(savedErrno);
    return false;
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
