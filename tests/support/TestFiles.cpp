#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/TempDir.h"

namespace qitest {

#ifdef _WIN32
// Windows runs no scripts as programs: a copy of the recorder program with what it is to do
// appended to its bytes (TestRecorder.cpp), so two recording programs differ as two scripts
// do, wherever they are copied.
bool WriteRecordingScript(const std::string& path, const std::string& recordPath, int exitCode,
                          const std::string& output, int sleepSeconds) {
    std::string bytes;
    if (!ReadFile(QI_TEST_RECORDER, bytes))
        return false;
    bytes += kRecorderPlanMarker;
    bytes += recordPath + "\n" + std::to_string(exitCode) + "\n" + std::to_string(sleepSeconds) +
             "\n" + output;
    return WriteFile(path, bytes);
}
#else
namespace {
// Single quotes for the shell: ' becomes '\''.
std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}
}  // namespace

bool WriteRecordingScript(const std::string& path, const std::string& recordPath, int exitCode,
                          const std::string& output, int sleepSeconds) {
    std::string script = "#!/bin/sh\n";
    if (sleepSeconds > 0)
        script += "sleep " + std::to_string(sleepSeconds) + "\n";
    script += ": > " + ShellQuote(recordPath) + "\n";
    script += "for a in \"$@\"; do printf '%s\\n' \"$a\" >> " + ShellQuote(recordPath) + "; done\n";
    if (!output.empty())
        script += "printf '%s' " + ShellQuote(output) + "\n";
    script += "exit " + std::to_string(exitCode) + "\n";
    if (!WriteFile(path, script))
        return false;
    std::error_code ec;
    std::filesystem::permissions(FsPath(path), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    return !ec;
}
#endif

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << content;
    return static_cast<bool>(out);
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(FsPath(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

}  // namespace qitest
