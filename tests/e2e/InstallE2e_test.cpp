// Installations through the installer's window, driven as a user would, against a local
// HTTP server: a whole installation up to the product's start, the agreement box, a package
// that cannot be downloaded, closing the window in the middle, and a start from another
// working directory.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <set>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/Processes.h"
#include "tests/support/TestHttpServer.h"
#include "tools/demo/DemoLayout.h"
#include "ui/testing/ProgramUi.h"
#include "uilib/SHostWnd.h"
#include "uilib/STabCtrl.h"

using namespace e2e;
using qitest::CCannedResponse;
using qitest::CTestHttpServer;
using qitest::TempDir;

namespace fs = std::filesystem;

namespace {

// A file of the demo deployment: the runtime installer, or the setup package that installs
// the demo product (which appends its path to the file $QI_DEMO_PRODUCT_MARKER names and
// shows a window titled "Quillora").
std::string DemoFile(qidemo::EDemoFileKind kind) {
    for (const qidemo::CDemoFile& file : qidemo::DemoFiles())
        if (file.kind == kind)
            return TempDir::Read(std::string(QI_E2E_DEMO_ROOT) + file.urlPath);
    return {};
}

CCannedResponse File(const std::string& bytes) {
    CCannedResponse r;
    r.body = bytes;
    return r;
}

// The progress page's label as the program's own renderer draws each text, rendered here on
// the headless host.
std::vector<CShot> RenderedLabels(const std::vector<std::wstring>& texts) {
    std::vector<CShot> labels;
    uitest::ProgramUi ui;
    if (!ui.Ok())
        return labels;
    SOUI::SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    if (wnd.Create() == nullptr)
        return labels;
    auto* tab = wnd.FindChildByName2<SOUI::STabCtrl>(L"tab_main");
    SOUI::SWindow* label = wnd.FindChildByName(L"txt_percent");
    if (tab == nullptr || label == nullptr || !tab->SetCurSel(2))
        return labels;
    for (const std::wstring& text : texts) {
        label->SetWindowTextW(text);
        SOUI::IRenderTarget* rt = wnd.RenderAll();
        const SOUI::BYTE* bits = nullptr;
        int stride = 0;
        if (rt == nullptr || !rt->GetPixels(&bits, &stride))
            return {};
        CShot window;
        window.width = rt->GetSize().cx;
        window.height = rt->GetSize().cy;
        for (int y = 0; y < window.height; ++y)
            for (int x = 0; x < window.width; ++x) {
                const SOUI::BYTE* p = bits + y * stride + x * 4;  // BGRA, opaque here
                window.rgb.insert(window.rgb.end(), {p[2], p[1], p[0]});
            }
        labels.push_back(window.Crop(ctl::kTxtPercent));
    }
    wnd.DestroyWindow();
    return labels;
}

// How far the progress bar's fill reaches, in percent of the bar: the fill ends where the
// colour of the bar's empty end begins.
double FillPercent(const CShot& window, const CRect& bar) {
    const int y = bar.CenterPoint().y;
    const uint32_t empty = window.Pixel(bar.right - 10, y);
    int x = bar.left + 2;
    while (x < bar.right && window.Pixel(x, y) != empty)
        ++x;
    return 100.0 * (x - bar.left) / bar.Width();
}

bool HasRequest(const CTestHttpServer& server, const std::string& method, const std::string& path) {
    for (const auto& r : server.Requests())
        if (r.method == method && r.path == path)
            return true;
    return false;
}

class Install : public CInstallerTest {
protected:
    void SetUp() override {
        CInstallerTest::SetUp();
        if (IsSkipped())
            return;
        if (RefusesUnsignedDeployments())
            GTEST_SKIP() << kKeyedBuildSkip;
        ASSERT_TRUE(m_server.IsRunning());
    }
    std::string Ini() const { return InstallIni(m_server.Url("")); }
    // The installer's working folder under the run's own HOME (no XDG_CACHE_HOME is set).
    std::string WorkFolder() const { return m_staged->Temp() / "home/.cache/quillora-installer"; }

    CTestHttpServer m_server;
};

TEST_F(Install, WholeInstallationThenTheProductStartsFromAPathWithABlank) {
    TempDir work;
    const std::string productMarker = work / "product-ran";
    const std::string package = DemoFile(qidemo::EDemoFileKind::SetupPackage);
    ASSERT_FALSE(package.empty());
    m_server.Set("/net4.exe", File(DemoFile(qidemo::EDemoFileKind::Runtime)));
    m_server.Set("/pack.exe", File(package));
    m_server.Set("/stats", CCannedResponse::Status(200, "ok"));
    // The registry store is empty: the runtime is missing and gets installed first.
    ASSERT_TRUE(Launch(InstallIni(m_server.Url(""), "e2e-channel", 2), "",
                       {{"QI_DEMO_PRODUCT_MARKER", productMarker}}));

    const std::string parent = work / "Program Files 程序";
    fs::create_directories(parent);
    const std::string installDir = parent + "/Quillora";
    ASSERT_TRUE(BeginInstall(parent));
    ASSERT_TRUE(WaitForPage(EPage::Finished, 60000)) << m_run.Output();

    // The demo runtime registers itself in the installer's registry store.
    EXPECT_NE(TempDir::Read(m_staged->RegistryDir() + "/machine.reg").find("NDP\\v4"),
              std::string::npos)
        << "the runtime installer did not run";
    EXPECT_TRUE(TempDir::Read(WorkFolder() + "/QuilloraSetup.exe") == package)
        << "the package was not downloaded into the working folder";
    EXPECT_FALSE(fs::exists(m_staged->AppDir() + "/QuilloraSetup.exe"));
    EXPECT_TRUE(fs::exists(installDir + "/Quillora.exe"));
    const std::string userIni = TempDir::Read(installDir + "/user.ini");
    EXPECT_NE(userIni.find("[Config]"), std::string::npos) << userIni;
    EXPECT_NE(userIni.find("channel=e2e-channel"), std::string::npos) << userIni;
    EXPECT_NE(userIni.find("language=2"), std::string::npos) << userIni;

    ASSERT_TRUE(WaitUntil([&] { return HasRequest(m_server, "POST", "/stats"); }, 10000))
        << "no installation report";
    for (const auto& r : m_server.Requests()) {
        if (r.path != "/stats")
            continue;
        ASSERT_EQ(r.body.rfind("info=", 0), 0u) << r.body;
        const std::string report = Base64Decode(r.body.substr(5));
        EXPECT_NE(report.find("\"channel\" : \"e2e-channel\""), std::string::npos) << report;
        EXPECT_NE(report.find("\"version\" : \"1.2.3.4\""), std::string::npos) << report;
        EXPECT_NE(report.find("\"lang\" : \"en_us\""), std::string::npos) << report;
    }

    // "立即体验" starts the product and ends the installer.
    m_window.Click(ctl::kBtnInstaller);
    ASSERT_TRUE(m_run.WaitExit(10000)) << "the installer stayed";
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(productMarker); }, 10000))
        << "the product did not start; output:\n"
        << m_run.Output();
    EXPECT_EQ(TempDir::Read(productMarker), installDir + "/Quillora.exe\n");
    EXPECT_TRUE(CXWindow::WaitFor("Quillora", 20000).Ok()) << "no window of the product";
}

TEST_F(Install, UntickedAgreementDisablesTheInstallButton) {
    ASSERT_TRUE(Launch(Ini(), "", {}, true));
    const std::string parent = m_staged->Temp() / "target";
    fs::create_directories(parent);
    TypeInstallDir(parent);

    // The box's tick goes in the same handling that disables the button.
    const CShot ticked = m_window.Shot().Crop(ctl::kAgree);
    m_window.Click(ctl::kAgree.left + 8, ctl::kAgree.CenterPoint().y);
    CShot unticked;
    ASSERT_TRUE(WaitUntil(
        [&] { return (unticked = m_window.Shot().Crop(ctl::kAgree)).CountDifferent(ticked) > 20; },
        5000))
        << "the agreement box did not change";
    m_window.Click(ctl::kBtnInstaller);
    // Nothing to wait for: give a wrongly enabled button time to act.
    usleep(1500 * 1000);
    EXPECT_EQ(m_run.Output().find("创建安装线程"), std::string::npos) << m_run.Output();
    EXPECT_TRUE(WaitForPage(EPage::Welcome, 1000));
    EXPECT_FALSE(fs::exists(parent + "/Quillora"));

    m_window.Click(ctl::kAgree.left + 8, ctl::kAgree.CenterPoint().y);
    ASSERT_TRUE(WaitUntil(
        [&] { return m_window.Shot().Crop(ctl::kAgree).CountDifferent(unticked) > 20; }, 5000))
        << "the agreement box did not take its tick again";
    m_window.Click(ctl::kBtnInstaller);
    EXPECT_TRUE(m_run.WaitForOutput("创建安装线程", 10000)) << m_run.Output();
    EXPECT_TRUE(WaitForPage(EPage::Progress, 5000));

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

TEST_F(Install, PackageNotFoundStopsAtEightyWithTheReason) {
    // The runtime is missing and cannot be had either: that failure does not stop the run,
    // and its text gives way to the package's.
    m_server.Set("/net4.exe", CCannedResponse::Status(404, "not found"));
    m_server.Set("/pack.exe", CCannedResponse::Status(404, "not found"));
    const std::vector<CShot> labels = RenderedLabels({L"下载安装包失败", L"80%"});
    ASSERT_EQ(labels.size(), 2u);
    const CShot& failed = labels[0];
    const CShot& eighty = labels[1];
    ASSERT_GT(failed.CountDifferent(eighty), 100) << "the two labels must be told apart";

    ASSERT_TRUE(Launch(Ini()));
    const std::string parent = m_staged->Temp() / "target";
    fs::create_directories(parent);
    ASSERT_TRUE(BeginInstall(parent));
    EXPECT_TRUE(m_run.WaitForOutput("下载安装包失败", 10000)) << m_run.Output();
    EXPECT_NE(m_run.Output().find("下载net包失败"), std::string::npos) << m_run.Output();

    CShot window, label;
    const bool shown = WaitUntil(
        [&] {
            window = m_window.Shot();
            label = window.Crop(ctl::kTxtPercent);
            return label == failed;
        },
        10000, 100);
    window.Save("package-not-found");
    EXPECT_TRUE(shown) << "the label differs from the failure text in "
                       << label.CountDifferent(failed) << " pixels, from \"80%\" in "
                       << label.CountDifferent(eighty);

    // It stays there: no finished page follows.
    usleep(1000 * 1000);
    window = m_window.Shot();
    EXPECT_EQ(PageOf(window), EPage::Progress);
    EXPECT_EQ(window.Crop(ctl::kTxtPercent), failed);
    EXPECT_NEAR(FillPercent(window, ctl::kProgressUnfolded), 80.0, 1.0);
    EXPECT_FALSE(fs::exists(parent + "/Quillora/user.ini"));
    // No error page is kept as a program: the next run would take it for the package.
    EXPECT_FALSE(fs::exists(m_staged->AppDir() + "/QuilloraSetup.exe"));
    EXPECT_FALSE(fs::exists(m_staged->AppDir() + "/net4.exe"));

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
}

// Pids of the running descendants of `root`, in no order.
std::set<pid_t> DescendantsOf(pid_t root) {
    std::set<pid_t> all;
    std::vector<pid_t> todo = {root};
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        for (pid_t child : ChildrenOf(p))
            if (all.insert(child).second)
                todo.push_back(child);
    }
    return all;
}

// After the installer is gone: none of `pids` runs, and it left nothing for this process
// (the subreaper of its orphans) but the X server.
void ExpectNothingLeft(const std::set<pid_t>& pids) {
    for (pid_t pid : pids)
        EXPECT_TRUE(qitest::WaitUntilGone(pid, 1000)) << "process " << pid << " still runs";
    EXPECT_EQ(LeftBehind().size(), 0u) << "processes left behind";
}

TEST_F(Install, ClosingDuringASlowDownloadEndsAtOnce) {
    CCannedResponse slow;
    slow.generatedSize = 8 << 20;
    slow.pieceSize = 4096;
    slow.pieceDelayMs = 50;  // 80 KiB/s: far from done within the test
    m_server.Set("/pack.exe", slow);
    ASSERT_TRUE(Launch(Ini(), "", {}, true));
    const std::string parent = m_staged->Temp() / "target";
    fs::create_directories(parent);
    ASSERT_TRUE(BeginInstall(parent));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(m_server, "GET", "/pack.exe"); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return OpenConnectionsOnPort(m_server.Port()) > 0; }, 5000));
    usleep(500 * 1000);  // well into the transfer
    const std::set<pid_t> before = DescendantsOf(m_run.Pid());

    ASSERT_TRUE(CloseWithin(2000)) << "the installer did not end within 2 s of the click";
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
    ExpectNothingLeft(before);
    EXPECT_TRUE(WaitUntil([&] { return OpenConnectionsOnPort(m_server.Port()) == 0; }, 5000))
        << "the download's connection stayed open";
    // A part of the package under its name would be run by the next start as it is.
    EXPECT_FALSE(fs::exists(m_staged->AppDir() + "/QuilloraSetup.exe"));
}

TEST_F(Install, ClosingWhileThePackageRunsEndsItsProcessGroup) {
    TempDir work;
    const std::string pids = work / "pids";
    // A package that hangs with a child of its own.
    m_server.Set("/pack.exe", File("#!/bin/sh\nsleep 60 &\necho $$ $! > '" + pids + ".tmp'\nmv '" +
                                   pids + ".tmp' '" + pids + "'\nwait\n"));
    ASSERT_TRUE(Launch(Ini(), "", {}, true));
    const std::string parent = work / "target";
    fs::create_directories(parent);
    ASSERT_TRUE(BeginInstall(parent));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(pids); }, 20000)) << m_run.Output();
    const std::set<pid_t> before = DescendantsOf(m_run.Pid());
    ASSERT_GE(before.size(), 2u) << "the package and its child run under the installer";

    ASSERT_TRUE(CloseWithin(2000)) << "the installer did not end within 2 s of the click";
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
    ExpectNothingLeft(before);
}

TEST_F(Install, StartedFromAnotherFolderUsesItsOwnFolder) {
    // The working directory holds decoys of what the installer looks for beside itself.
    TempDir cwd;
    const std::string decoyRan = cwd / "decoy-ran";
    const std::string decoyIni = InstallIni(m_server.Url("/decoy"));
    cwd.Write("Install.ini", decoyIni);
    cwd.WriteScript("QuilloraSetup.exe", "touch '" + decoyRan + "'\n");
    const std::string package = DemoFile(qidemo::EDemoFileKind::SetupPackage);
    m_server.Set("/pack.exe", File(package));
    m_server.Set("/stats", CCannedResponse::Status(200, "ok"));

    ASSERT_TRUE(Launch(Ini(), cwd.Path(), {}, true));
    // A directory that ends in the product's name takes no second one.
    TempDir work;
    ASSERT_TRUE(BeginInstall(work / "Quillora"));
    ASSERT_TRUE(WaitForPage(EPage::Finished, 60000)) << m_run.Output();

    EXPECT_TRUE(HasRequest(m_server, "GET", "/pack.exe"));
    for (const auto& r : m_server.Requests())
        EXPECT_EQ(r.path.find("/decoy"), std::string::npos) << r.path;
    EXPECT_TRUE(TempDir::Read(WorkFolder() + "/QuilloraSetup.exe") == package);
    EXPECT_TRUE(fs::exists(work / "Quillora/Quillora.exe"));
    EXPECT_TRUE(fs::exists(work / "Quillora/user.ini"));
    EXPECT_FALSE(fs::exists(work / "Quillora/Quillora/Quillora.exe"));
    EXPECT_FALSE(fs::exists(decoyRan)) << "the package in the working directory ran";

    ASSERT_TRUE(CloseWithin(10000));
    EXPECT_EQ(m_run.ExitCode(), 0) << m_run.Output();
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(cwd.Path()))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"Install.ini", "QuilloraSetup.exe"}));
    EXPECT_EQ(TempDir::Read(cwd / "Install.ini"), decoyIni);
}

}  // namespace
