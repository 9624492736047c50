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

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--log"}, {"--log="}, {"--bogus"}, {"/S"}}) {
        error.clear();
        EXPECT_FALSE(ParseInstallerArgs(bad, error).has_value()) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
