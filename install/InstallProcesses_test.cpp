#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "install/InstallMgr.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

// Copies of `sleep` running under a product's name; whatever is left is reaped at the end.
class Running {
public:
    Running(const qitest::TempDir& dir, const std::string& name, int count) {
        std::string path = dir / name;
        std::filesystem::copy_file("/bin/sleep", path);
        for (int i = 0; i < count; ++i) {
            pid_t pid = 0;
            char* argv[] = {path.data(), const_cast<char*>("120"), nullptr};
            if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) == 0) m_pids.push_back(pid);
        }
    }
    ~Running() {
        for (pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    size_t Started() const { return m_pids.size(); }
    int Alive() const {
        int n = 0;
        for (pid_t pid : m_pids) {
            std::string stat = qitest::TempDir::Read("/proc/" + std::to_string(pid) + "/stat");
            if (!stat.empty() && stat.find(") Z") == std::string::npos) ++n;
        }
        return n;
    }

private:
    std::vector<pid_t> m_pids;
};

TEST(InstallProcesses, EndsOneOfEachProductAndFiftyCompanions) {
    qitest::TempDir dir;
    platform::SetModuleFileNameForTest(platform::Utf8ToWide(dir / "installer"));
    dir.Write("Install.ini", qitest::OfflineInstallIni());
    dir.WriteScript("QuilloraSetup.exe", "exit 1\n");
    qitest::InstallEvents events;
    Running product(dir, "Quillora.exe", 2);
    Running helper(dir, "Renovar.exe", 1);
    Running companions(dir, "PapyrixTools.exe", 60);
    ASSERT_EQ(companions.Started(), 60u);
    {
        CInstallMgr mgr;
        mgr.BeginInstallThread();
        ASSERT_TRUE(events.PumpUntil([&] { return mgr.IsInstallThreadFinished(); }));
    }
    EXPECT_EQ(product.Alive(), 1);  // one copy of each is ended, not all
    EXPECT_EQ(helper.Alive(), 0);
    EXPECT_EQ(companions.Alive(), 10);
    platform::SetModuleFileNameForTest(L"");
}

}  // namespace
