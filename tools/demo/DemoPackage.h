#pragma once
// The self-contained setup package: the setup program with the product appended and a
// trailer behind it, so that the one downloaded file carries everything it installs.
//
//   [setup executable][product bytes][trailer: "QIDEMOPK", size u64 LE, FNV-1a 64 u64 LE]
//
// The setup finds its product by reading its own executable from the end. Failures come back
// as false with a sentence in `error`.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qidemo {

inline constexpr char kPackageMagic[8] = {'Q', 'I', 'D', 'E', 'M', 'O', 'P', 'K'};
inline constexpr size_t kPackageTrailerSize = 24;

uint64_t PayloadChecksum(std::string_view bytes);

// Reads a whole file (platform/File.h), with the reason of a failure in `error`.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Writes `bytes` to `path` with `mode` through platform::ReplaceFileAtomically, so a reader
// (or a running program of that name) never sees half a file.
bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode, std::string& error);

// `stub` (an executable without payload) + `payload` + trailer.
bool BuildPackage(std::string_view stub, std::string_view payload, std::string& package,
                  std::string& error);

// The payload of a package; fails on a file without trailer, a size that does not fit or a
// checksum that does not match.
bool ExtractPayload(std::string_view package, std::string& payload, std::string& error);

}  // namespace qidemo
