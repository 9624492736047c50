#include "install/InstallPackDown.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/InstallEvents.h"

namespace {

TEST(InstallPackDownTest, ProgressMapsOntoItsRangeTruncated) {
    CInstallPackDown down(50, 80, L"正在下载安装包...", nullptr);
    EXPECT_EQ(down.PercentFor(1000, 0), 50);
    EXPECT_EQ(down.PercentFor(1000, 500), 65);
    EXPECT_EQ(down.PercentFor(1000, 999), 79);  // 80 comes with the next step
    EXPECT_EQ(down.PercentFor(1000, 1000), 80);
    EXPECT_EQ(down.PercentFor(0, 12345), 50);     // size not announced
    EXPECT_EQ(down.PercentFor(1e-9, 12345), 50);  // below the threshold counts as none
    EXPECT_EQ(down.PercentFor(1000, 5000), 80);   // more than announced stays in range

    CInstallPackDown net(20, 40, L"正在下载net包...", nullptr);
    EXPECT_EQ(net.PercentFor(3, 1), 26);
}

TEST(InstallPackDownTest, ReportsBecomeInstallEventsOfTheOwner) {
    qitest::InstallEvents events;
    SOUI::SObject owner;
    CInstallPackDown down(50, 80, L"正在下载安装包...", &owner);
    down.OnDownloadProgress(1, 0, 200, 100);
    down.OnDownloadProgress(2, 0, 200, 200);  // not a download report: nothing
    down.OnUploadProgress(0, 200, 100);       // uploads are not reported
    down.OnDownloadProgress(1, 0, 0, 100);
    events.Pump(std::chrono::milliseconds(20));

    ASSERT_EQ(events.Seen().size(), 2u);
    EXPECT_EQ(events.Seen()[0].sender, &owner);
    EXPECT_EQ(events.Seen()[0].progress, 65);
    EXPECT_EQ(events.Seen()[0].status, 0);
    EXPECT_EQ(events.Seen()[0].text, L"正在下载安装包...");
    EXPECT_EQ(events.Seen()[1].progress, 50);
}

}  // namespace
