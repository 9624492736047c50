// The statistics endpoint's decoding, and the demo server as a real process on 127.0.0.1.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoReport.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTestSupport.h"

using namespace demotest;

namespace {

// Its Base64 holds '+', '/' and "==", the characters a form decoder would mangle.
const std::string kReportJson = "{\"channel\" : \"demo\", \"mac_id\" : \"~>?ab>>?~x\"}\n";
const std::string kReportBase64 =
    "eyJjaGFubmVsIiA6ICJkZW1vIiwgIm1hY19pZCIgOiAifj4/YWI+Pj9+eCJ9Cg==";

std::string Decoded(const std::string& body) {
    std::string json, error;
    return qidemo::DecodeReportBody(body, json, error) ? json : "error: " + error;
}

TEST(DemoReport, DecodesTheInfoFieldRawOrPercentEncoded) {
    EXPECT_EQ(Decoded("info=" + kReportBase64), kReportJson);
    // A client that form-encodes its body sends %2B, %2F and %3D.
    EXPECT_EQ(
        Decoded("info=eyJjaGFubmVsIiA6ICJkZW1vIiwgIm1hY19pZCIgOiAifj4%2FYWI%2BPj9%2BeCJ9Cg%3D%3D"),
        kReportJson);
    EXPECT_EQ(Decoded("lang=1&info=" + kReportBase64 + "&x=y"), kReportJson);
    // Unpadded and wrapped Base64 decode the same.
    EXPECT_EQ(Decoded("info=" + kReportBase64.substr(0, 40) + "\r\n" +
                      kReportBase64.substr(40, kReportBase64.size() - 42)),
              kReportJson);
}

TEST(DemoReport, RefusesWhatIsNoReport) {
    EXPECT_EQ(Decoded(""), "error: the body has no info= field");
    EXPECT_EQ(Decoded("information=" + kReportBase64), "error: the body has no info= field");
    EXPECT_EQ(Decoded("info="), "error: the info field is not Base64");
    // A '+' turned into a blank by a form decoder on the way.
    std::string blanked = kReportBase64;
    blanked[blanked.find('+')] = ' ';
    EXPECT_EQ(Decoded("info=" + blanked), "error: the info field is not Base64");
    EXPECT_EQ(Decoded("info=" + kReportBase64 + "QQ"), "error: the info field is not Base64");
    EXPECT_EQ(Decoded("info=QUJDR"), "error: the info field is not Base64");  // 5 symbols
    EXPECT_EQ(Decoded("info=%2"), "error: the info field holds a broken %-escape");
    EXPECT_EQ(Decoded("info=%zz"), "error: the info field holds a broken %-escape");
    EXPECT_EQ(Decoded("info=bm90IGpzb24="), "error: the info field does not hold a JSON object");
    EXPECT_EQ(Decoded("info=WzEsMl0="),
              "error: the info field does not hold a JSON object");  // [1,2]
    EXPECT_EQ(Decoded("info=e30geA=="),
              "error: the info field does not hold a JSON object");  // {} x
}

// The server program with a root of the test's own, its files written from the layout.
class DemoServerProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        for (const qidemo::CDemoFile& file : qidemo::DemoFiles())
            WriteFile(Root() + file.urlPath, Content(file));
    }

    std::string Root() const { return m_dir / "root dir"; }

    static std::string Content(const qidemo::CDemoFile& file) {
        // The package is large enough for several pieces of a slow answer.
        if (file.kind == qidemo::EDemoFileKind::SetupPackage) {
            std::string bytes;
            for (int i = 0; bytes.size() < 3 * qidemo::kSlowPieceSize + 100; ++i)
                bytes += "package piece " + std::to_string(i) + "\n";
            return bytes;
        }
        return std::string("runtime for ") + file.iniKey;
    }

    // Starts the server; true once it printed its URL.
    bool StartServer(const std::string& extraOptions = "") {
        m_server = std::make_unique<CChild>(Quoted(BinDir() + "/" + qidemo::kServerProgram) +
                                            " --root " + Quoted(Root()) + " --port-file " +
                                            Quoted(m_dir / "port") + " --install-ini " +
                                            Quoted(m_dir / "Install.ini") + " " + extraOptions);
        if (!m_server->Started() || !m_server->WaitForOutput("\n"))
            return false;
        m_strBaseUrl = m_server->Output().substr(0, m_server->Output().find('\n'));
        const std::string prefix = "http://127.0.0.1:";
        if (m_strBaseUrl.compare(0, prefix.size(), prefix) != 0)
            return false;
        m_nPort = std::stoi(m_strBaseUrl.substr(prefix.size()));
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_nPort);
        m_client->set_read_timeout(20);
        return true;
    }

    bool StopServer() {
        ::kill(m_server->Pid(), SIGTERM);
        return m_server->WaitForExit(10000);
    }

    CTempFolder m_dir;
    std::unique_ptr<CChild> m_server;
    std::unique_ptr<httplib::Client> m_client;
    std::string m_strBaseUrl;
    int m_nPort = 0;
};

TEST_F(DemoServerProcess, ServesTheDeploymentAndEndsOnSigterm) {
    ASSERT_TRUE(StartServer()) << m_server->Output();
    // Written before the URL line went out.
    EXPECT_EQ(ReadFile(m_dir / "port"), std::to_string(m_nPort) + "\n");
    EXPECT_EQ(ReadFile(m_dir / "Install.ini"), qidemo::DemoInstallIni(m_strBaseUrl));
    EXPECT_NE(
        ReadFile(m_dir / "Install.ini")
            .find("install_pack_url=" + m_strBaseUrl + "/software/install_pack/quillora1.0.exe\n"),
        std::string::npos);

    for (const qidemo::CDemoFile& file : qidemo::DemoFiles()) {
        auto res = m_client->Get(file.urlPath);
        ASSERT_TRUE(res) << file.urlPath;
        EXPECT_EQ(res->status, 200) << file.urlPath;
        EXPECT_EQ(res->body, Content(file)) << file.urlPath;
    }
    auto index = m_client->Get("/");
    ASSERT_TRUE(index);
    EXPECT_NE(index->body.find("/software/install_pack/quillora1.0.exe  ("), std::string::npos);
    // The routes are exact paths, not patterns: the dot of ".exe" matches only a dot.
    auto unknown = m_client->Get("/software/install_pack/quillora1x0.exe");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);

    ::unlink((Root() + qidemo::DemoFiles()[0].urlPath).c_str());
    auto missing = m_client->Get(qidemo::DemoFiles()[0].urlPath);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_NE(missing->body.find("is missing"), std::string::npos);

    ASSERT_TRUE(StopServer()) << m_server->Output();
    EXPECT_EQ(m_server->ExitCode(), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "port"));
}

TEST_F(DemoServerProcess, PrintsEachReportAndAnswersGarbageWith400) {
    ASSERT_TRUE(StartServer());
    // Sent as the installer sends it: a form content type over a body that is not encoded.
    auto res = m_client->Post(qidemo::kReportPath, "info=" + kReportBase64,
                              "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("\"ok\""), std::string::npos);
    EXPECT_TRUE(m_server->WaitForOutput("== end of report ==\n")) << m_server->Output();
    EXPECT_NE(m_server->Output().find("== installation report from 127.0.0.1 ==\n" + kReportJson +
                                      "== end of report ==\n"),
              std::string::npos)
        << m_server->Output();

    for (const std::string& body :
         {std::string("info=%%%"), std::string("nothing"), std::string("info=bm90IGpzb24=")}) {
        auto bad = m_client->Post(qidemo::kReportPath, body, "application/x-www-form-urlencoded");
        ASSERT_TRUE(bad) << body;
        EXPECT_EQ(bad->status, 400) << body;
    }
    EXPECT_TRUE(
        m_server->WaitForOutput("rejected report from 127.0.0.1: the info field does "
                                "not hold a JSON object"))
        << m_server->Output();

    // Still serving after the bad input.
    auto again = m_client->Post(qidemo::kReportPath, "info=" + kReportBase64,
                                "application/x-www-form-urlencoded");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
    ASSERT_TRUE(StopServer());
    EXPECT_EQ(m_server->ExitCode(), 0u);
}

TEST_F(DemoServerProcess, PackStatusAndSlowBodies) {
    ASSERT_TRUE(StartServer("--pack-status 404 --slow-ms 5 --log-requests"));
    for (const qidemo::CDemoFile& file : qidemo::DemoFiles()) {
        auto res = m_client->Get(file.urlPath);
        ASSERT_TRUE(res);
        bool package = file.kind == qidemo::EDemoFileKind::SetupPackage;
        EXPECT_EQ(res->status, package ? 404 : 200) << file.urlPath;
        if (!package) {
            EXPECT_EQ(res->body, Content(file));  // whole, though it came in pieces
        }
    }
    EXPECT_TRUE(m_server->WaitForOutput("GET /software/install_pack/quillora1.0.exe -> 404\n"))
        << m_server->Output();
    ASSERT_TRUE(StopServer());
}

TEST_F(DemoServerProcess, StopsPromptlyDuringASlowDownload) {
    // Half a minute before each piece after the first: the package would take over a minute.
    ASSERT_TRUE(StartServer("--slow-ms 30000"));
    const qidemo::CDemoFile& package = qidemo::DemoFiles().back();
    ASSERT_EQ(package.kind, qidemo::EDemoFileKind::SetupPackage);
    const std::string target = m_dir / "download";
    CChild download("curl -s -o " + Quoted(target) + " " + m_strBaseUrl + package.urlPath);
    ASSERT_TRUE(download.Started());
    ASSERT_TRUE(WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(target, ec) == qidemo::kSlowPieceSize;
    })) << "the first piece did not arrive";

    ASSERT_TRUE(StopServer()) << "the server waited for the slow body";
    EXPECT_EQ(m_server->ExitCode(), 0u);
    EXPECT_TRUE(download.WaitForExit());
    EXPECT_NE(download.ExitCode(), 0u);  // the body was cut short
}

}  // namespace
