#pragma once
// A temporary folder for one test, removed with everything in it at the end.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace qitest {

// A path given as UTF-8, for std::filesystem (which would read a narrow string in the ANSI
// code page on Windows), and back.
inline std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

class TempDir {
public:
    TempDir() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::mt19937_64 random(
            std::random_device{}() ^
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100 && m_path.empty() && !ec; ++attempt) {
            const std::filesystem::path candidate =
                base / ("qi-test-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(candidate, ec))
                m_path = Utf8Of(candidate);
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(FsPath(m_path), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Writes `bytes` to `name` (folders created as needed) and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string full = *this / name;
        std::error_code ec;
        std::filesystem::create_directories(FsPath(full).parent_path(), ec);
        std::ofstream(FsPath(full), std::ios::binary) << bytes;
        return full;
    }
    // Writes an executable shell script (Linux only: Windows runs no scripts as programs).
    std::string WriteScript(const std::string& name, const std::string& body) const {
        std::string full = Write(name, "#!/bin/sh\n" + body);
        std::error_code ec;
        std::filesystem::permissions(FsPath(full), std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add, ec);
        return full;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(FsPath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
};

}  // namespace qitest
