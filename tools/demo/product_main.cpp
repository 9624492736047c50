// qi-demo-product: the demo product, installed as Quillora.exe. Shows a window that says it
// was installed and where (ProductWindow.h). Without a display it says so on standard output
// and ends.
//
// QI_DEMO_PRODUCT_MARKER: when it names a file, the program appends its own path to it at
// start, so that a script or test can tell which copy ran.

#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/File.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoProcess.h"
#include "tools/demo/ProductWindow.h"

namespace {

void LeaveMarker(const std::string& ownPath) {
    const std::string marker = qidemo::EnvironmentValue("QI_DEMO_PRODUCT_MARKER");
    if (marker.empty())
        return;
    int openError = 0;
    const platform::FileDescriptor fd =
        platform::OpenFile(marker, O_WRONLY | O_CREAT | O_APPEND, 0644, openError);
    // One write: copies started together never interleave their lines.
    if (fd.Get() < 0 || platform::WriteAll(fd.Get(), ownPath + "\n") != 0)
        std::fprintf(stderr, "Quillora: cannot write the marker %s\n", marker.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = qidemo::OwnExecutablePath();
    const std::string dir = qidemo::FsString(qidemo::FsPath(self).parent_path());
    const std::string name = std::string(qidemo::kProductTitle) + " " + qidemo::kProductVersion;

    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s (demo product)\n", name.c_str());
        return 0;
    }
    LeaveMarker(self);
    const bool shown = qidemo::RunProductWindow(argc, argv, dir, [&] {
        std::printf("%s is running from %s\n", name.c_str(), dir.c_str());
        std::fflush(stdout);
    });
    if (!shown)
        std::printf("%s is installed in %s (no display to show its window on)\n", name.c_str(),
                    dir.c_str());
    return 0;
}
