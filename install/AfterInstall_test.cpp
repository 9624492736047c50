// The after-install step: the product's user.ini and the installation report as the
// statistics server receives it.

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

#include "install/InstallMgr.h"
#include "net/HttpMgr.h"
#include "platform/DebugOutput.h"
#include "platform/Module.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "sys/OsInfo.h"
#include "tests/support/InstallEvents.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

namespace {

std::string DecodeBase64(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=')
            break;
        size_t value = kAlphabet.find(c);
        if (value == std::string::npos)
            return "<not base64>";
        bits = bits << 6 | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>(bits >> count & 0xff);
        }
    }
    return bytes;
}

std::wstring ReadUserIni(const std::string& path, const wchar_t* key) {
    wchar_t buffer[256] = {0};
    platform::GetPrivateProfileStringW(L"Config", key, L"<missing>", buffer, 256,
                                       platform::Utf8ToWide(path).c_str());
    return buffer;
}

class AfterInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.IsRunning());
        mgr.SetInstallDir(platform::Utf8ToWide(installDir.Path()));
    }
    void TearDown() override { CHttpMgr::GetInstance()->TerminateAll(); }

    // Runs the step and returns the report the server received.
    qitest::CRecordedRequest RunAndReceiveReport() {
        EXPECT_TRUE(mgr.AfterInstall());
        events.Pump(std::chrono::milliseconds(20));
        EXPECT_EQ(events.Progresses(), (std::vector<int>{90, 100}));
        for (const auto& e : events.Seen()) {
            EXPECT_EQ(e.status, 0);
            EXPECT_EQ(e.text, L"安装完成");
        }
        if (!server.WaitForRequests(1, 30000))
            return {};
        return server.Requests()[0];
    }

    qitest::CTestHttpServer server;
    qitest::TempDir exeDir;
    const qitest::ScopedOverride m_module =
        qitest::OverrideModuleFileName(platform::Utf8ToWide(exeDir / "quillora-installer"));
    qitest::TempDir installDir;
    qitest::InstallEvents events;
    CInstallMgr mgr;
};

TEST_F(AfterInstallTest, WithoutInstallIniTheDefaultsAreWrittenAndReported) {
    // The default report address is not on this machine: a proxy setting routes the
    // request to the local server instead, which then sees the full address.
    qitest::CRecordedRequest report;
    platform::ScopedDebugCapture capture;
    {
        qitest::ScopedEnv proxy("http_proxy", server.Url("").c_str());
        qitest::ScopedEnv noProxy("no_proxy", nullptr);
        report = RunAndReceiveReport();
    }

    EXPECT_EQ(ReadUserIni(installDir / "user.ini", L"channel"), L"mokra");
    EXPECT_EQ(ReadUserIni(installDir / "user.ini", L"language"), L"1");

    EXPECT_EQ(report.method, "POST");
    EXPECT_NE(report.path.find("/Soft/Sys/InstallationPackage"), std::string::npos);
    EXPECT_EQ(report.Header("Content-Type"), "application/x-www-form-urlencoded");
    ASSERT_EQ(report.body.compare(0, 5, "info="), 0) << report.body;
    const std::string mac = platform::WideToUtf8(GetMacAddressText());
    // Exactly the styled writer's text: sorted keys, three blanks, " : ", final newline.
    EXPECT_EQ(DecodeBase64(report.body.substr(5)),
              "{\n"
              "   \"channel\" : \"mokra\",\n"
              "   \"lang\" : \"zh_cn\",\n"
              "   \"mac_id\" : \"" +
                  mac +
                  "\",\n"
                  "   \"version\" : \"0.0.0.0\"\n"
                  "}\n");
    EXPECT_NE(capture.Text().find("CInstallMgr::AfterInstall Statistics url=http://"),
              std::string::npos);
    EXPECT_NE(capture.Text().find(" ret=" + report.body + "\n"), std::string::npos);
}

TEST_F(AfterInstallTest, InstallIniSettingsReachUserIniAndTheReport) {
    // UTF-16 with its mark: the one form of a text beyond ASCII that both systems read.
    exeDir.Write(
        "Install.ini",
        "\xFF\xFE" + platform::WideToUtf16Le(L"[Config]\r\nlanguage=2\r\nchannel=~~~~~~~~\r\n"
                                             L"version=版本1.0\r\ninstall_statistics_url=" +
                                             platform::Utf8ToWide(server.Url("/stats")) + L"\r\n"));
    // A user.ini the product already has keeps its other keys.
    installDir.Write("user.ini", "[Config]\r\nlanguage=1\r\ntheme=dark\r\n");
    qitest::CRecordedRequest report = RunAndReceiveReport();

    EXPECT_EQ(ReadUserIni(installDir / "user.ini", L"channel"), L"~~~~~~~~");
    EXPECT_EQ(ReadUserIni(installDir / "user.ini", L"language"), L"2");
    EXPECT_EQ(ReadUserIni(installDir / "user.ini", L"theme"), L"dark");

    EXPECT_EQ(report.path, "/stats");
    // Base64 goes out as it is: '+', '/' and '=' are not percent-encoded.
    ASSERT_EQ(report.body.compare(0, 5, "info="), 0);
    EXPECT_EQ(report.body.find('%'), std::string::npos);
    EXPECT_NE(report.body.find_first_of("+/", 5), std::string::npos);
    const std::string json = DecodeBase64(report.body.substr(5));
    ASSERT_FALSE(json.empty());
    EXPECT_EQ(json.back(), '\n');
    Json::Value record;
    ASSERT_TRUE(Json::Reader().parse(json, record)) << json;
    EXPECT_EQ(record["lang"].asString(), "en_us");
    EXPECT_EQ(record["channel"].asString(), "~~~~~~~~");
    // The value as the ANSI code page holds it, in UTF-8.
    const bool ansiHoldsIt =
        platform::MultiByteToWide(platform::WideToMultiByte(L"版本")) == L"版本";
    EXPECT_EQ(record["version"].asString(), ansiHoldsIt ? "版本1.0" : "??1.0");
    EXPECT_EQ(record.size(), 4u);
}

TEST_F(AfterInstallTest, UnwritableInstallDirectoryDoesNotStopTheStep) {
    exeDir.Write("Install.ini",
                 "[Config]\r\ninstall_statistics_url=" + server.Url("/stats") + "\r\n");
    mgr.SetInstallDir(platform::Utf8ToWide(installDir / "missing/deeper"));
    qitest::CRecordedRequest report = RunAndReceiveReport();
    EXPECT_EQ(report.path, "/stats");
    EXPECT_FALSE(qitest::TempDir::Read(installDir / "missing/deeper/user.ini").size() > 0);
}

}  // namespace
