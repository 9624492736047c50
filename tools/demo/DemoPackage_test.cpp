// The self-contained setup package: its format, the setup's command line, and the real
// package run the way the installer runs it, down to the product it installs.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"
#include "tools/demo/DemoSetup.h"
#include "tools/demo/DemoTestSupport.h"

using namespace demotest;

namespace {

std::string Extracted(const std::string& package) {
    std::string payload, error;
    return qidemo::ExtractPayload(package, payload, error) ? payload : "error: " + error;
}

TEST(DemoPackage, CarriesItsPayloadAndRefusesDamage) {
    const std::string stub = "#!stub\n" + std::string(1000, 's');
    const std::string product =
        "\x7f"
        "ELF product bytes\0with a zero" +
        std::string(5000, 'p');
    std::string package, error;
    ASSERT_TRUE(qidemo::BuildPackage(stub, product, package, error)) << error;
    EXPECT_EQ(package.size(), stub.size() + product.size() + qidemo::kPackageTrailerSize);
    EXPECT_EQ(package.compare(0, stub.size(), stub), 0);  // the stub still runs as it was
    EXPECT_EQ(Extracted(package), product);

    std::string flipped = package;
    flipped[stub.size() + 100] ^= 0x01;
    EXPECT_EQ(Extracted(flipped),
              "error: the package is corrupt: the product's checksum does not match");
    EXPECT_EQ(Extracted(stub), "error: the package carries no product (no trailer at its end)");
    EXPECT_EQ(Extracted(package.substr(0, package.size() - 1)),
              "error: the package carries no product (no trailer at its end)");
    // A trailer whose size reaches before the start of the file.
    std::string shortened = package.substr(stub.size() + product.size() - 10);
    EXPECT_EQ(Extracted(shortened).rfind("error: the package is corrupt: its trailer names", 0),
              0u);

    std::string twice;
    EXPECT_FALSE(qidemo::BuildPackage(package, product, twice, error));
    EXPECT_FALSE(qidemo::BuildPackage(stub, "", twice, error));
}

// The arguments a Windows command line gives, split the way the installer's process layer
// splits them.
bool Parse(const std::string& commandLine, qidemo::SetupOptions& options, std::string& error) {
    std::vector<std::string> args;
    for (const std::wstring& arg : platform::SplitCommandLine(platform::Utf8ToWide(commandLine)))
        args.push_back(platform::WideToUtf8(arg));
    args.erase(args.begin());
    return qidemo::ParseSetupArguments(args, options, error);
}

TEST(DemoSetupArguments, TakesTheSilentCommandLine) {
    qidemo::SetupOptions options;
    std::string error;
    ASSERT_TRUE(Parse(
        R"("/tmp/stage dir/QuilloraSetup.exe" /VERYSILENT /SUPPRESSMSGBOXES /DIR="/opt/My Apps/Quillora")",
        options, error))
        << error;
    EXPECT_EQ(options.installDir, "/opt/My Apps/Quillora");
    EXPECT_FALSE(options.help);

    ASSERT_TRUE(Parse("setup -verysilent /dir=/opt/q /norestart /Silent", options, error));
    EXPECT_EQ(options.installDir, "/opt/q");
    // From a shell, the quotes arrive inside the argument.
    ASSERT_TRUE(qidemo::ParseSetupArguments({"/DIR=\"/opt/a b\""}, options, error));
    EXPECT_EQ(options.installDir, "/opt/a b");
    ASSERT_TRUE(Parse("setup /?", options, error));
    EXPECT_TRUE(options.help);

    EXPECT_FALSE(Parse("setup /VERYSILENT", options, error));
    EXPECT_EQ(error, "no install directory given (/DIR=<dir>)");
    EXPECT_FALSE(Parse("setup /DIR=", options, error));
    EXPECT_EQ(error, "no install directory given (/DIR=<dir>)");
    EXPECT_FALSE(Parse("setup /DIR=relative/dir", options, error));
    EXPECT_EQ(error, "the install directory must be an absolute path: relative/dir");
    EXPECT_FALSE(Parse("setup /DIR=/opt/q /LOG=x.txt", options, error));
    EXPECT_EQ(error, "unknown argument: /LOG=x.txt");
}

// The package the build laid out, run as the installer runs it.
class DemoSetupRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        const std::string built = BinDir() + "/root" + PackageFile().urlPath;
        ASSERT_TRUE(std::filesystem::exists(built)) << built;
        std::filesystem::create_directories(m_dir / "stage dir");
        std::filesystem::copy_file(built, Package());
    }

    static const qidemo::CDemoFile& PackageFile() {
        for (const qidemo::CDemoFile& file : qidemo::DemoFiles())
            if (file.kind == qidemo::EDemoFileKind::SetupPackage)
                return file;
        return qidemo::DemoFiles().front();
    }
    std::string Package() const { return m_dir / "stage dir/QuilloraSetup.exe"; }
    int64_t RunSetup(const std::string& installDir, std::string& output) const {
        return RunToEnd(
            Quoted(Package()) + " /VERYSILENT /SUPPRESSMSGBOXES /DIR=" + Quoted(installDir),
            &output);
    }

    CTempFolder m_dir;
};

TEST_F(DemoSetupRun, InstallsTheProductItCarriesIntoADirectoryWithBlanks) {
    const std::string installDir = m_dir / "Program Files/Quillora Demo";
    std::string output;
    ASSERT_EQ(RunSetup(installDir, output), 0) << output;
    const std::string product = installDir + "/" + qidemo::kProductFileName;
    EXPECT_NE(output.find("installed " + product), std::string::npos) << output;

    EXPECT_EQ(ReadFile(product), ReadFile(BinDir() + "/" + qidemo::kProductProgram));
    struct stat st {};
    ASSERT_EQ(::stat(product.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_NE(ReadFile(installDir + "/README.txt").find(installDir), std::string::npos);

    // The installed product runs; with its marker set and no display it says where it is.
    const std::string marker = m_dir / "marker";
    ::setenv("QI_DEMO_PRODUCT_MARKER", marker.c_str(), 1);
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    ::unsetenv("DISPLAY");
    EXPECT_EQ(RunToEnd(Quoted(product), &output), 0) << output;
    EXPECT_EQ(RunToEnd(Quoted(product) + " --version", nullptr), 0);
    ::unsetenv("QI_DEMO_PRODUCT_MARKER");
    if (!savedDisplay.empty())
        ::setenv("DISPLAY", savedDisplay.c_str(), 1);
    EXPECT_NE(output.find("installed in " + installDir), std::string::npos) << output;
    EXPECT_EQ(ReadFile(marker), product + "\n");  // --version leaves no mark

    // Installing again replaces the product in place.
    ASSERT_EQ(RunSetup(installDir, output), 0) << output;
    EXPECT_EQ(ReadFile(product), ReadFile(BinDir() + "/" + qidemo::kProductProgram));
}

TEST_F(DemoSetupRun, RefusesACorruptPackageAndABadCommandLine) {
    std::string bytes = ReadFile(Package());
    bytes[bytes.size() - qidemo::kPackageTrailerSize - 1000] ^= 0x20;
    WriteFile(Package(), bytes);
    ::chmod(Package().c_str(), 0755);
    const std::string installDir = m_dir / "never";
    std::string output;
    EXPECT_EQ(RunSetup(installDir, output), 1);
    EXPECT_NE(output.find("the package is corrupt"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(installDir));

    // The setup program alone carries nothing.
    const std::string bare = Quoted(BinDir() + "/" + qidemo::kSetupProgram);
    EXPECT_EQ(RunToEnd(bare + " /VERYSILENT /DIR=" + Quoted(installDir), &output), 1);
    EXPECT_NE(output.find("carries no product"), std::string::npos) << output;

    EXPECT_EQ(RunToEnd(bare + " /VERYSILENT", &output), 2);
    EXPECT_NE(output.find("no install directory given"), std::string::npos) << output;
    EXPECT_EQ(RunToEnd(bare + " /DIR=/tmp/x /bogus", &output), 2);
    EXPECT_FALSE(std::filesystem::exists(installDir));
}

TEST_F(DemoSetupRun, ReportsAnInstallDirectoryItCannotCreate) {
    WriteFile(m_dir / "a file", "x");
    std::string output;
    EXPECT_EQ(RunSetup(m_dir / "a file/sub", output), 1);
    EXPECT_NE(output.find("cannot create the install directory"), std::string::npos) << output;
}

}  // namespace
