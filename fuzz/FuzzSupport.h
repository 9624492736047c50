#pragma once
// Helpers shared by the harnesses: a private temporary folder for harnesses that must go
// through files, and a check that ends the run like a crash when an invariant breaks.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

// A folder of its own under the system's temporary folder, made once per process and
// removed at exit.
inline const std::string& ScratchDir() {
    // Never destroyed: the exit handler below still needs it.
    static const std::string* s_dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qi-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return new std::string(pattern);
    }();
    static const bool s_cleanup = [] {
        return std::atexit([] {
                   std::error_code ec;
                   std::filesystem::remove_all(*s_dir, ec);
               }) == 0;
    }();
    (void)s_cleanup;
    return *s_dir;
}

// Writes `size` bytes to `path`, replacing it.
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size != 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

// A broken invariant is a finding: report it and stop as a crash would.
#define QI_FUZZ_CHECK(cond)                                                                   \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

}  // namespace fuzz
