#include "tests/support/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace qitest {

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
    return ::chmod(path.c_str(), 0755) == 0;
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << content;
    return static_cast<bool>(out);
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace qitest
