#pragma once
// The installer's working folder in a temporary folder of the test, for as long as this lives.

#include <string>

#include "platform/Text.h"
#include "platform/WorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace qitest {

class CScopedWorkFolder {
public:
    // Its root holds a blank and characters outside every ANSI code page ("ÿ" is in 1252
    // but not in 936, U+20000 in neither): file names never pass through one.
    CScopedWorkFolder() {
        platform::SetWorkFolderRootForTesting(
            platform::Utf8ToWide(m_root.Path() + "/cache \xC3\xBF \xF0\xA0\x80\x80"));
    }
    ~CScopedWorkFolder() { platform::SetWorkFolderRootForTesting(L""); }
    CScopedWorkFolder(const CScopedWorkFolder&) = delete;
    CScopedWorkFolder& operator=(const CScopedWorkFolder&) = delete;

    // The working folder itself (made on first use).
    std::string Path() const {
        std::wstring path;
        platform::PrepareWorkFolder(path, nullptr);
        return platform::WideToUtf8(path);
    }
    std::string operator/(const std::string& name) const { return Path() + "/" + name; }

    // A recording program (TestFiles.h) at `besidePath`, to run once the installer has copied
    // it into this folder (the program carries its plan in its bytes, wherever it is copied).
    bool PlaceRecordingProgram(const std::string& besidePath, const std::string& recordPath,
                               int exitCode, const std::string& output = "",
                               int sleepSeconds = 0) const {
        return WriteRecordingScript(besidePath, recordPath, exitCode, output, sleepSeconds);
    }

private:
    TempDir m_root;
};

}  // namespace qitest
