#pragma once
// Files for tests: a temporary folder that cleans up after itself, small executable
// shell scripts that stand in for programs, and plain file helpers.

#include <string>
#include <vector>

namespace qitest {

class CTempDir {
public:
    CTempDir();   // a fresh folder under $TMPDIR (or /tmp)
    ~CTempDir();  // removes it with everything inside
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

// Writes an executable shell script at `path` that writes its arguments, one a line, to
// `recordPath`, prints `output` and exits with `exitCode`. `sleepSeconds` > 0 makes it
// wait that long first.
bool WriteRecordingScript(const std::string& path, const std::string& recordPath, int exitCode,
                          const std::string& output = "", int sleepSeconds = 0);

bool WriteFile(const std::string& path, const std::string& content);
bool ReadFile(const std::string& path, std::string& content);
std::vector<std::string> ReadLines(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace qitest
