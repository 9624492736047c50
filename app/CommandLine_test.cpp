#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallerArgs, NoneAreTheInteractiveProgramAndBadOnesAreRefused) {
    std::string error;
    auto none = ParseInstallerArgs({}, error);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->logPath.empty());
    EXPECT_FALSE(none->help);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--log", "/tmp/日志.log"}, {"--log=/tmp/日志.log"}}) {
        auto parsed = ParseInstallerArgs(args, error);
        ASSERT_TRUE(parsed.has_value()) << error;
        EXPECT_EQ(parsed->logPath, L"/tmp/日志.log");
    }
    EXPECT_TRUE(ParseInstallerArgs({"--help"}, error)->help);
    EXPECT_FALSE(none->Unattended());

    auto silent = ParseInstallerArgs(
        {"--silent", "--dir", "/opt/目录", "--package=/tmp/p.exe", "--log", "/tmp/l"}, error);
    ASSERT_TRUE(silent.has_value()) << error;
    EXPECT_TRUE(silent->Unattended());
    EXPECT_EQ(silent->installDir, L"/opt/目录");
    EXPECT_EQ(silent->packageFile, L"/tmp/p.exe");
    auto layout = ParseInstallerArgs({"--layout", "/srv/offline"}, error);
    ASSERT_TRUE(layout.has_value()) << error;
    EXPECT_TRUE(layout->Unattended());  // a layout never shows the window
    EXPECT_EQ(layout->layoutDir, L"/srv/offline");

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--log"},
                                                {"--log="},
                                                {"--bogus"},
                                                {"/S"},
                                                {"--dir"},
                                                {"--package="},
                                                {"--layout", "/x", "--package", "/p"},
                                                {"--layout=/x", "--dir=/d"},
                                                {"--silentx"}}) {
        error.clear();
        EXPECT_FALSE(ParseInstallerArgs(bad, error).has_value()) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
