#pragma once
// Files for tests: small executable shell scripts that stand in for programs, and plain
// file helpers (temporary folders: TempDir.h).

#include <string>
#include <vector>

namespace qitest {

// Writes an executable shell script at `path` that writes its arguments, one a line, to
// `recordPath`, prints `output` and exits with `exitCode`. `sleepSeconds` > 0 makes it
// wait that long first.
bool WriteRecordingScript(const std::string& path, const std::string& recordPath, int exitCode,
                          const std::string& output = "", int sleepSeconds = 0);
// On Windows the "script" is a copy of the recorder program (TestRecorder.cpp) with its plan
// appended after this marker.
inline constexpr char kRecorderPlanMarker[] = "\n#qi-recorder-plan#\n";

bool WriteFile(const std::string& path, const std::string& content);
bool ReadFile(const std::string& path, std::string& content);
std::vector<std::string> ReadLines(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace qitest
