#include "sys/SupportLog.h"

#include <fcntl.h>

#include <mutex>

#include "platform/DebugOutput.h"
#include "platform/File.h"
#include "platform/ShellFolders.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"
#include "sys/FileUtil.h"

namespace sys {
namespace {

std::mutex s_mutex;
platform::FileDescriptor s_file;  // guarded by s_mutex
std::wstring s_path;              // guarded by s_mutex

}  // namespace

std::wstring DefaultSupportLogPath() {
    return platform::GetDiagnosticLogPath(L"quillora-installer");
}

bool OpenSupportLog(const std::wstring& path) {
    const std::wstring wanted = path.empty() ? DefaultSupportLogPath() : path;
    const std::string narrow = platform::PathToNarrow(wanted);
    CreateDirectories(platform::PathFromNarrow(platform::DirectoryOf(narrow)));
    std::lock_guard<std::mutex> lock(s_mutex);
    s_file.Close();
    s_path.clear();
    // The run before stays readable beside the new one; a failed rename only loses it.
    platform::RenameFile(narrow, narrow + ".1");
    int error = 0;
    s_file = platform::OpenFile(narrow, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600, error);
    if (!s_file.IsOpen()) {
        platform::OutputDebugStringW(
            platform::FormatW(L"support log: cannot write %s (error %d)\n", wanted.c_str(), error)
                .c_str());
        return false;
    }
    s_path = wanted;
    return true;
}

void CloseSupportLog() {
    std::lock_guard<std::mutex> lock(s_mutex);
    s_file.Close();
    s_path.clear();
}

std::wstring SupportLogPath() {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_path;
}

void AppendSupportLog(std::wstring_view line) {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (!s_file.IsOpen())
        return;  // no conversion for a line that goes nowhere
    std::string text = platform::WideToUtf8(line);
    text.push_back('\n');
    platform::WriteAll(s_file.Get(), text);  // a full disk loses lines, not the run
}

}  // namespace sys
