#pragma once
// The real quillora-installer for end-to-end tests: staged into a temporary folder of its
// own, started as a child process on the test's Xvfb, driven with xdotool clicks and keys,
// and watched through screenshots of the root window. Every wait is bounded; whatever the
// installer leaves running is ended when its owner goes.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "install/PublisherSignature.h"
#include "tests/support/TempDir.h"
#include "uilib/SDefs.h"

namespace e2e {

using SOUI::CRect;

// The fixtures serve unsigned deployments: a build with publisher keys (whose secret halves
// the tests do not have) refuses them, as it must; install_trust_tests check that build.
inline bool RefusesUnsignedDeployments() {
    return PublisherKeys().Enabled();
}
inline constexpr char kKeyedBuildSkip[] =
    "this build checks publisher signatures: it runs no unsigned deployment";

// The main window's controls in client pixels (the window is 640 wide; 400 high with the
// custom panel folded, 445 unfolded).
namespace ctl {
inline const CRect kAgree(19, 361, 134, 385);
inline const CRect kLinkLicense(134, 361, 228, 385);
inline const CRect kBtnExtend(515, 360, 625, 380);
inline const CRect kBtnInstaller(200, 289, 440, 329);  // btn_start on the finished page
inline const CRect kEditPath(4, 402, 520, 440);
inline const CRect kBtnClose(597, 13, 627, 43);
inline const CRect kBtnBack(23, 33, 73, 63);
inline const CRect kTxtPercent(220, 360, 420, 380);
inline const CRect kProgressUnfolded(4, 432, 636, 438);
inline const CRect kLicenceText(23, 73, 617, 375);      // the rich edit on the licence page
inline const CRect kMsgBoxConfirm(279, 165, 375, 197);  // in the message box
}  // namespace ctl

inline constexpr char kMainTitle[] = "安装程序";
inline constexpr char kMainTitleEnglish[] = "Quillora Setup";  // language=2
inline constexpr char kMsgBoxTitle[] = "消息";

// 8-bit RGB pixels of a screen area.
struct CShot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool Empty() const { return width <= 0 || height <= 0; }
    uint32_t Pixel(int x, int y) const;  // 0xRRGGBB
    CShot Crop(const CRect& rc) const;
    // Pixels that differ from `other` (of the same size; otherwise every pixel).
    int CountDifferent(const CShot& other) const;
    bool operator==(const CShot& other) const = default;
    // Keeps the pixels as PNG in the build's screenshot folder for a person to look at.
    void Save(const std::string& name) const;
};

enum class EPage { Welcome, Progress, Finished, Unknown };
// Which page of the main window a shot of the window shows, told by its background colours.
EPage PageOf(const CShot& window);
const char* PageName(EPage page);

// The installer copied with its modules into <temp>/app, with its registry store, home and
// run-time folders in the same temporary folder.
class CStagedInstaller {
public:
    // `installIni`: the text of Install.ini beside the program. `withRenderer` false leaves
    // render-cairo.so out.
    explicit CStagedInstaller(const std::string& installIni, bool withRenderer = true);

    bool Ok() const { return m_bOk; }
    const qitest::TempDir& Temp() const { return m_temp; }
    std::string AppDir() const { return m_temp / "app"; }
    std::string RegistryDir() const { return m_temp / "registry"; }
    // Registers the runtime prerequisite in the staged registry store, so that the
    // installer skips its download.
    bool MarkRuntimeInstalled() const;

private:
    qitest::TempDir m_temp;
    bool m_bOk = false;
};

// The Install.ini of a deployment on `baseUrl` ("http://127.0.0.1:PORT"): the runtime at
// /net4.exe, the package at /pack.exe, the report to /stats.
std::string InstallIni(const std::string& baseUrl, const std::string& channel = "e2e",
                       int language = 1);

// One run of the staged installer. The owner ends it, its process group and whatever it
// left behind (the test process adopts orphans as a subreaper), and reaps them all.
class CInstallerRun {
public:
    CInstallerRun() = default;
    ~CInstallerRun();
    CInstallerRun(const CInstallerRun&) = delete;
    CInstallerRun& operator=(const CInstallerRun&) = delete;

    // Starts the program in `cwd` (empty: its own folder) with the test environment plus
    // `extraEnv` (where an empty value removes the variable); standard output and error go
    // to a file in the staged folder. `args` follow the program's name.
    bool Start(const CStagedInstaller& staged, const std::string& cwd = "",
               const std::map<std::string, std::string>& extraEnv = {},
               const std::vector<std::string>& args = {});
    pid_t Pid() const { return m_pid; }
    // True when the program ended within `ms`; ExitCode() then tells how.
    bool WaitExit(int ms);
    // The exit status, or 128 + signal when a signal ended it; -1 while running.
    int ExitCode() const { return m_nExitCode; }
    std::string Output() const;
    bool WaitForOutput(const std::string& text, int ms) const;

private:
    pid_t m_pid = -1;
    int m_nExitCode = -1;
    std::string m_strOutputPath;
};

// A top-level window on the test's display, found by its exact title.
class CXWindow {
public:
    // Waits up to `ms` for a visible window with that title; Ok() false when none came.
    static CXWindow WaitFor(const std::string& title, int ms = 20000);
    // True when a visible window with that title exists now.
    static bool IsShown(const std::string& title);

    bool Ok() const { return !m_strId.empty(); }
    // Screen position and size (xwininfo).
    CRect Geometry() const;
    // A left click (`count` 2: a double click) at client pixel (x, y), with the pointer
    // moved there first.
    void Click(int x, int y, int count = 1) const;
    void Click(const CRect& control) const;
    // Moves the pointer to client pixel (x, y), pressing nothing.
    void Hover(int x, int y) const;
    // Presses the left button at client pixel (x, y), moves the pointer by (dx, dy) in a
    // few steps, as a hand would, and releases it there.
    void Drag(int x, int y, int dx, int dy) const;
    // Grabs the window's pixels off the root window.
    CShot Shot() const;

private:
    std::string m_strId;
};

// Keys and text through the XTEST extension, to the window under the pointer.
void PressKeys(const std::string& keys);  // xdotool key syntax: "ctrl+a"
void TypeText(const std::string& text);
// One key held down, and released (xdotool key names: "space").
void KeyDown(const std::string& key);
void KeyUp(const std::string& key);
// The CLIPBOARD selection's text as its owner hands it over in UTF-8 (xclip).
std::string ClipboardText();

// Polls `pred` until it holds, at most `ms`.
bool WaitUntil(const std::function<bool()>& pred, int ms, int stepMs = 50);

// Waits up to `ms` for the child `pid` to end and reaps it; its wait status, or -1 when it
// still runs. A child that cannot be waited for counts as ended with exit code 255.
int ReapWithin(pid_t pid, int ms);

// Pids of the running children of `parent` (zombies left out).
std::vector<pid_t> ChildrenOf(pid_t parent);

// The running processes this test process adopted as the subreaper of the installer's
// orphans (its own X server aside).
std::vector<pid_t> LeftBehind();

// Sockets of this machine with local port `port` that are still connected (established, or
// closed by the peer and not yet by this side).
int OpenConnectionsOnPort(int port);

std::string Base64Decode(const std::string& text);

// A test that stages the installer, starts it and finds its main window; the run ends with
// the test.
class CInstallerTest : public ::testing::Test {
protected:
    void SetUp() override;  // skips without an X server

    // Stages the installer with `installIni` and starts it in `cwd` (empty: its own
    // folder); true once its main window shows.
    ::testing::AssertionResult Launch(const std::string& installIni, const std::string& cwd = "",
                                      const std::map<std::string, std::string>& extraEnv = {},
                                      bool runtimeInstalled = false);
    int WindowHeight() const { return m_window.Geometry().Height(); }
    // Unfolds the custom panel (when folded) and types `dir` over edit_path's text.
    void TypeInstallDir(const std::string& dir);
    // Types `dir`, clicks "立即安装" and waits until the install thread has started.
    ::testing::AssertionResult BeginInstall(const std::string& dir);
    ::testing::AssertionResult WaitForPage(EPage page, int ms);
    // Clicks the close glyph; true when the program ended within `ms`.
    bool CloseWithin(int ms);

    std::unique_ptr<CStagedInstaller> m_staged;
    CInstallerRun m_run;  // after m_staged: ends before its folder goes
    CXWindow m_window;
};

}  // namespace e2e
