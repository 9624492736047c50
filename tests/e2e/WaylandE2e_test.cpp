// The installer on a Wayland compositor, where most Linux desktops now run it: weston's
// headless backend, GTK's Wayland backend. The program connects, commits its first frame
// and ends when the session's SIGTERM reaches it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

using namespace e2e;

TEST(WaylandE2e, FirstFrameOnWestonAndSigtermClosesIt) {
    if (::access("/usr/bin/weston", X_OK) != 0)
        GTEST_SKIP() << "weston is not installed (scripts/setup installs it)";
    qitest::TempDir runtime;
    ::chmod(runtime.Path().c_str(), 0700);
    platform::ChildProcess weston;
    {
        qitest::ScopedEnv dir("XDG_RUNTIME_DIR", runtime.Path().c_str());
        int error = 0;
        platform::SpawnOptions options;
        options.commandLine =
            L"weston --backend=headless-backend.so --socket=qi-wayland --idle-time=0 "
            L"--log=" +
            platform::QuoteCommandArgument(platform::PathFromNarrow(runtime / "weston.log"));
        ASSERT_TRUE(platform::SpawnProcess(options, weston, error)) << "error " << error;
    }
    const std::string socket = runtime / "qi-wayland";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(socket); }, 10000))
        << "weston did not open its socket";

    CStagedInstaller staged(InstallIni("http://127.0.0.1:9"));
    ASSERT_TRUE(staged.Ok());
    CInstallerRun run;
    ASSERT_TRUE(run.Start(staged, "",
                          {{"GDK_BACKEND", "wayland"},
                           {"WAYLAND_DISPLAY", socket},
                           {"WAYLAND_DEBUG", "client"},
                           {"DISPLAY", ""}}));
    // A buffer attached to a surface and committed: the first frame reached the compositor.
    EXPECT_TRUE(run.WaitForOutput(".attach(wl_buffer@", 30000)) << run.Output();
    ::kill(run.Pid(), SIGTERM);
    ASSERT_TRUE(run.WaitExit(15000)) << "still running 15 s after SIGTERM";
    EXPECT_EQ(run.ExitCode(), 0) << run.Output();
}

}  // namespace
