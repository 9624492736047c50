#include <gtest/gtest.h>

#include "install/InstallMgr.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/Processes.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/ScopedWorkFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestFiles.h"

namespace {

TEST(InstallProcesses, EndsOneOfEachProductAndFiftyCompanions) {
    qitest::CScopedWorkFolder workFolder;
    qitest::TempRegistry registry;
    ASSERT_TRUE(registry.Ok());
    qitest::TempDir dir;
    const auto module = qitest::OverrideModuleFileName(platform::Utf8ToWide(dir / "installer"));
    dir.Write("Install.ini", qitest::OfflineInstallIni());
    ASSERT_TRUE(workFolder.PlaceRecordingProgram(dir / "QuilloraSetup.exe", dir / "args", 1));
    qitest::InstallEvents events;
    qitest::NamedProcesses product(dir, "Quillora.exe", 2);
    qitest::NamedProcesses helper(dir, "Renovar.exe", 1);
    qitest::NamedProcesses companions(dir, "PapyrixTools.exe", 60);
    ASSERT_EQ(companions.Pids().size(), 60u);
    {
        CInstallMgr mgr;
        mgr.BeginInstallThread();
        ASSERT_TRUE(events.PumpUntil([&] { return mgr.IsInstallThreadFinished(); }));
    }
    EXPECT_EQ(product.Alive(), 1);  // one copy of each is ended, not all
    EXPECT_EQ(helper.Alive(), 0);
    EXPECT_EQ(companions.Alive(), 10);
}

}  // namespace
