// qi-demo-server: the demo deployment on 127.0.0.1. Prints its base URL as the first line
// of standard output, then serves until SIGINT or SIGTERM.

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"
#include "tools/demo/DemoServer.h"

namespace {

constexpr char kUsage[] =
    "usage: qi-demo-server [options]\n"
    "Serves the Quillora demo deployment on 127.0.0.1 at a free port and prints its base URL\n"
    "as the first line of standard output; installation reports posted to it are decoded\n"
    "and printed. Ends on SIGINT or SIGTERM.\n"
    "\n"
    "  --root DIR          the served files (default: root/ beside this program)\n"
    "  --port-file FILE    write the port there once the server accepts (removed at the end)\n"
    "  --install-ini FILE  write an Install.ini there that points an installer at this server\n"
    "  --slow-ms N         send bodies in pieces of 16 KiB with N ms between two\n"
    "  --pack-status CODE  answer the setup package with this HTTP status (e.g. 404)\n"
    "  --log-requests      print one line per request\n"
    "  --help              this text\n";

struct CommandLine {
    qidemo::ServerOptions server;
    std::string portFile;
    std::string installIni;
};

bool ParseNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

// 0: go on; -1: --help asked; otherwise the exit code of a bad command line.
int Parse(int argc, char** argv, CommandLine& line) {
    std::error_code ec;
    line.server.root =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string() + "/root";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--help") {
            return -1;
        } else if (arg == "--log-requests") {
            line.server.logRequests = true;
            continue;
        } else if (value == nullptr) {
            ok = false;
        } else if (arg == "--root") {
            line.server.root = value;
        } else if (arg == "--port-file") {
            line.portFile = value;
        } else if (arg == "--install-ini") {
            line.installIni = value;
        } else if (arg == "--slow-ms") {
            ok = ParseNumber(value, 0, 60000, line.server.slowMs);
        } else if (arg == "--pack-status") {
            ok = ParseNumber(value, 100, 599, line.server.packStatus);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "qi-demo-server: bad argument %s%s%s\n%s", arg.c_str(),
                         value ? " " : "", value ? value : "", kUsage);
            return 2;
        }
        ++i;
    }
    return 0;
}

void WriteOut(const std::string& lines) {
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    int parsed = Parse(argc, argv, line);
    if (parsed == -1) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parsed != 0)
        return parsed;

    // The signals are taken with sigtimedwait below; blocked before any thread starts, so
    // every thread inherits the mask and none of them dies of one.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    qidemo::CDemoServer server(line.server, WriteOut);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "qi-demo-server: %s\n", error.c_str());
        return 1;
    }
    // The files before the URL line, and the Install.ini before the port file: whoever sees
    // one of them may use everything written before it.
    if ((!line.installIni.empty() &&
         !qidemo::ReplaceFile(line.installIni, qidemo::DemoInstallIni(server.BaseUrl()), 0644,
                              error)) ||
        (!line.portFile.empty() &&
         !qidemo::ReplaceFile(line.portFile, std::to_string(server.Port()) + "\n", 0644, error))) {
        std::fprintf(stderr, "qi-demo-server: %s\n", error.c_str());
        return 1;
    }
    WriteOut(server.BaseUrl() + "\n");
    for (const qidemo::CDemoFile& file : qidemo::DemoFiles()) {
        if (::access((line.server.root + file.urlPath).c_str(), R_OK) != 0)
            std::fprintf(stderr, "qi-demo-server: warning: %s%s is missing\n",
                         line.server.root.c_str(), file.urlPath);
    }

    int signalNumber = 0;
    const timespec pollEvery{0, 500 * 1000 * 1000};
    while (signalNumber <= 0 && server.IsRunning())
        signalNumber = sigtimedwait(&stopSignals, nullptr, &pollEvery);

    server.Stop();
    if (!line.portFile.empty())
        ::unlink(line.portFile.c_str());
    if (signalNumber <= 0) {
        std::fputs("qi-demo-server: the server stopped by itself\n", stderr);
        return 1;
    }
    return 0;
}
