#pragma once
// A real X server for tests of the GTK host: Xvfb on a free display (-displayfd), started
// once per test program by a gtest environment, with the commands tests drive it with.
// Include from exactly one source file of a test program.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "uilib/gtk/SGtkHost.h"
#include "uilib/testing/SUiTestEnv.h"

namespace uitest {

inline pid_t g_xvfb = -1;
inline bool g_xvfbUp = false;
inline bool g_gtkUp = false;

// Starts Xvfb on a free display; true when it reported its display number in time.
inline bool StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    g_xvfb = pid;
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty())
        return false;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

inline void StopXvfb() {
    if (g_xvfb <= 0)
        return;
    kill(g_xvfb, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(g_xvfb, nullptr, WNOHANG) == g_xvfb) {
            g_xvfb = -1;
            return;
        }
        usleep(100 * 1000);
    }
    kill(g_xvfb, SIGKILL);
    waitpid(g_xvfb, nullptr, 0);
    g_xvfb = -1;
}

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("GDK_GL", "disable", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        g_xvfbUp = StartXvfb();
        g_gtkUp = g_xvfbUp && SOUI::SGtkHost::Init();
    }
    void TearDown() override { StopXvfb(); }
};

inline const auto* g_env = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// Tests of probe windows on the GTK host: the application over the probe resources (see
// CommitProbeResources) with the layout the test gives. Skips when Xvfb cannot start.
class SGtkProbeTest : public ::testing::Test {
protected:
    virtual const char* ProbeLayout() const = 0;
    void SetUp() override {
        if (!g_xvfbUp)
            GTEST_SKIP() << "Xvfb could not start";
        ASSERT_TRUE(g_gtkUp) << "GTK did not open the Xvfb display";
        env = std::make_unique<SUiTestEnv>(&host);
        ASSERT_TRUE(CommitProbeResources(env.get(), ProbeLayout()));
    }
    SOUI::SGtkHost host;
    std::unique_ptr<SUiTestEnv> env;
};

// Runs a shell command with a time limit; its standard output.
inline std::string RunCmd(const std::string& cmd) {
    std::string out;
    FILE* p = popen(("timeout 10 " + cmd + " 2>/dev/null").c_str(), "r");
    if (!p)
        return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

template <class Pred>
bool PumpUntil(Pred pred, int ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

// Pumps until a native window has drawn a frame after `before` (SGtkHost::FramesDrawn), then
// waits for the X server to have what GDK sent; false when none came within `ms`.
inline bool WaitForFrame(uint64_t before, int ms = 5000) {
    const bool drawn = PumpUntil([&] { return SOUI::SGtkHost::FramesDrawn() > before; }, ms);
    gdk_display_sync(gdk_display_get_default());
    return drawn;
}

inline int XwinValue(const std::string& info, const char* key) {
    size_t at = info.find(key);
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(key));
}

}  // namespace uitest
