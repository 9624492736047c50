#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "uilib/testing/SXvfb.h"  // the Xvfb of this test program, and RunCmd

namespace fs = std::filesystem;

namespace e2e {

namespace {

constexpr uint32_t kPageDark = 0x004445;  // the progress page and the upper bands
constexpr uint32_t kWhite = 0xffffff;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

int ReapWithin(pid_t pid, int ms) {
    for (int waited = 0;; waited += 10) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0)
            return 255 << 8;
        if (waited >= ms)
            return -1;
        ::usleep(10000);
    }
}

namespace {

// Ends and reaps the orphans this process adopted (everything but the X server), until
// none is left or a few seconds have passed.
void EndAdoptedOrphans() {
    for (int round = 0; round < 50; ++round) {
        const std::vector<pid_t> left = LeftBehind();
        for (pid_t pid : left)
            ::kill(pid, SIGKILL);
        // Reap whatever ended, zombies of adopted orphans included.
        while (true) {
            pid_t r = ::waitpid(-1, nullptr, WNOHANG);
            if (r <= 0 || r == uitest::g_xvfb)
                break;
        }
        if (left.empty())
            return;
        ::usleep(20000);
    }
}

bool IsGreenish(uint32_t rgb) {
    const int r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff;
    return g > r + 50;
}

}  // namespace

// ------------------------------------------------------------------ shots

uint32_t CShot::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0xff000000;  // no colour: outside
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return (rgb[at] << 16) | (rgb[at + 1] << 8) | rgb[at + 2];
}

CShot CShot::Crop(const CRect& rc) const {
    CShot out;
    if (rc.left < 0 || rc.top < 0 || rc.right > width || rc.bottom > height || rc.IsRectEmpty())
        return out;
    out.width = rc.Width();
    out.height = rc.Height();
    for (int y = rc.top; y < rc.bottom; ++y) {
        const auto row = rgb.begin() + (static_cast<size_t>(y) * width + rc.left) * 3;
        out.rgb.insert(out.rgb.end(), row, row + out.width * 3);
    }
    return out;
}

int CShot::CountDifferent(const CShot& other) const {
    if (width != other.width || height != other.height)
        return std::max(width * height, other.width * other.height);
    int n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
        n += (rgb[i] != other.rgb[i] || rgb[i + 1] != other.rgb[i + 1] ||
              rgb[i + 2] != other.rgb[i + 2])
                 ? 1
                 : 0;
    return n;
}

void CShot::Save(const std::string& name) const {
    if (Empty())
        return;
    fs::create_directories(QI_SCREENSHOT_DIR);
    const std::string raw = std::string(QI_SCREENSHOT_DIR) + "/" + name + ".rgb";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    uitest::RunCmd("convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                   " -depth 8 rgb:" + Quote(raw) + " " +
                   Quote(std::string(QI_SCREENSHOT_DIR) + "/" + name + ".png"));
    fs::remove(raw);
}

EPage PageOf(const CShot& window) {
    // Below the install button: white on the welcome and finished pages, dark on the
    // progress page. Only the welcome page has the red licence link; the finished page has
    // the green button.
    const uint32_t band = window.Pixel(400, 373);
    if (band == kPageDark)
        return EPage::Progress;
    if (band != kWhite)
        return EPage::Unknown;
    const CRect& link = ctl::kLinkLicense;
    for (int y = link.top; y < link.bottom; ++y)
        for (int x = link.left; x < link.right; ++x) {
            const uint32_t p = window.Pixel(x, y);
            if (((p >> 16) & 0xff) > 200 && ((p >> 8) & 0xff) < 80)
                return EPage::Welcome;
        }
    return IsGreenish(window.Pixel(320, 300)) ? EPage::Finished : EPage::Unknown;
}

const char* PageName(EPage page) {
    switch (page) {
        case EPage::Welcome:
            return "welcome";
        case EPage::Progress:
            return "progress";
        case EPage::Finished:
            return "finished";
        default:
            return "unknown";
    }
}

// ------------------------------------------------------------------ staging

CStagedInstaller::CStagedInstaller(const std::string& installIni, bool withRenderer) {
    if (m_temp.Path().empty())
        return;
    std::error_code ec;
    fs::create_directories(AppDir(), ec);
    fs::create_directories(RegistryDir(), ec);
    std::vector<std::string> files = {QI_E2E_INSTALLER, QI_E2E_IMGDECODER, QI_E2E_TRANSLATOR};
    if (withRenderer)
        files.push_back(QI_E2E_RENDERER);
    for (const std::string& file : files) {
        fs::copy_file(file, fs::path(AppDir()) / fs::path(file).filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec)
            return;
    }
    m_temp.Write("app/Install.ini", installIni);
    m_bOk = true;
}

bool CStagedInstaller::MarkRuntimeInstalled() const {
    const std::string cmd = "env QI_REGISTRY_DIR=" + Quote(RegistryDir()) + " " +
                            Quote(QI_E2E_REG_TOOL) +
                            " add 'HKLM\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4' /f"
                            " >/dev/null 2>&1 && echo ok";
    return uitest::RunCmd(cmd).find("ok") != std::string::npos;
}

std::string InstallIni(const std::string& baseUrl, const std::string& channel, int language) {
    return "[Config]\n"
           "net40_url=" +
           baseUrl + "/net4.exe\nnet45_url=" + baseUrl + "/net4.exe\ninstall_pack_url=" + baseUrl +
           "/pack.exe\ninstall_statistics_url=" + baseUrl + "/stats\nchannel=" + channel +
           "\nversion=1.2.3.4\nlanguage=" + std::to_string(language) + "\n";
}

// ------------------------------------------------------------------ the process

CInstallerRun::~CInstallerRun() {
    if (m_pid > 0) {
        if (m_nExitCode < 0) {
            ::kill(-m_pid, SIGKILL);  // it leads its own process group
            ::kill(m_pid, SIGKILL);
            ReapWithin(m_pid, 5000);
        }
        EndAdoptedOrphans();
    }
}

bool CInstallerRun::Start(const CStagedInstaller& staged, const std::string& cwd,
                          const std::map<std::string, std::string>& extraEnv,
                          const std::vector<std::string>& args) {
    // What the installer leaves behind (a package's children, the product it starts
    // detached) comes to this process instead of init, so the test can see and end it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    // A fresh environment: the XDG folders follow HOME.
    const qitest::TempDir& temp = staged.Temp();
    fs::create_directories(temp / "home");
    fs::create_directories(temp / "run");
    ::chmod((temp / "run").c_str(), 0700);

    std::map<std::string, std::string> env = {
        {"HOME", temp / "home"},
        {"XDG_RUNTIME_DIR", temp / "run"},
        {"QI_REGISTRY_DIR", staged.RegistryDir()},
        {"GDK_GL", "disable"},
        {"GSETTINGS_BACKEND", "memory"},
        {"NO_AT_BRIDGE", "1"},
        // A URL that did not come from the staged Install.ini goes to a dead local proxy
        // instead of the network.
        {"http_proxy", "http://127.0.0.1:9"},
        {"https_proxy", "http://127.0.0.1:9"},
        {"no_proxy", "127.0.0.1"},
    };
    // The sanitizers' settings pass on, so that a fault in the program ends it non-zero.
    for (const char* name :
         {"PATH", "DISPLAY", "LANG", "LC_ALL", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            env[name] = value;
    for (const auto& [name, value] : extraEnv) {
        if (value.empty())
            env.erase(name);
        else
            env[name] = value;
    }

    // Everything the child needs is built before fork.
    std::vector<std::string> envText;
    for (const auto& [name, value] : env)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = staged.AppDir() + "/quillora-installer";
    std::vector<std::string> argText = args;
    std::vector<char*> argv = {exe.data()};
    for (std::string& a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string dir = cwd.empty() ? staged.AppDir() : cwd;
    m_strOutputPath = temp / "installer-output.txt";
    const int out = ::open(m_strOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        return false;

    m_pid = ::fork();
    if (m_pid == 0) {
        ::setpgid(0, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (::chdir(dir.c_str()) == 0)
            ::execve(exe.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    if (m_pid > 0)
        ::setpgid(m_pid, m_pid);  // also here: no race with a kill of the group
    return m_pid > 0;
}

bool CInstallerRun::WaitExit(int ms) {
    if (m_nExitCode >= 0)
        return true;
    if (m_pid <= 0)
        return false;
    const int status = ReapWithin(m_pid, ms);
    if (status < 0)
        return false;
    m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

std::string CInstallerRun::Output() const {
    return qitest::TempDir::Read(m_strOutputPath);
}

bool CInstallerRun::WaitForOutput(const std::string& text, int ms) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, ms);
}

// ------------------------------------------------------------------ X

CXWindow CXWindow::WaitFor(const std::string& title, int ms) {
    CXWindow w;
    WaitUntil(
        [&] {
            std::string ids =
                uitest::RunCmd("xdotool search --onlyvisible --name " + Quote("^" + title + "$"));
            w.m_strId = ids.substr(0, ids.find('\n'));
            return !w.m_strId.empty();
        },
        ms, 100);
    return w;
}

bool CXWindow::IsShown(const std::string& title) {
    return WaitFor(title, 0).Ok();
}

CRect CXWindow::Geometry() const {
    const std::string info = uitest::RunCmd("xwininfo -id " + m_strId);
    const int x = uitest::XwinValue(info, "Absolute upper-left X: ");
    const int y = uitest::XwinValue(info, "Absolute upper-left Y: ");
    return CRect(x, y, x + uitest::XwinValue(info, "Width: "),
                 y + uitest::XwinValue(info, "Height: "));
}

void CXWindow::Click(int x, int y, int count) const {
    uitest::RunCmd("xdotool mousemove --window " + m_strId + " " + std::to_string(x) + " " +
                   std::to_string(y) + " click --repeat " + std::to_string(count) +
                   " --delay 80 1");
}

void CXWindow::Click(const CRect& control) const {
    Click(control.CenterPoint().x, control.CenterPoint().y);
}

void CXWindow::Hover(int x, int y) const {
    uitest::RunCmd("xdotool mousemove --window " + m_strId + " " + std::to_string(x) + " " +
                   std::to_string(y));
}

void CXWindow::Drag(int x, int y, int dx, int dy) const {
    // Screen positions: the window moves under the pointer while it is dragged.
    const CRect rc = Geometry();
    const int x0 = rc.left + x, y0 = rc.top + y;
    std::string cmd =
        "xdotool mousemove " + std::to_string(x0) + " " + std::to_string(y0) + " mousedown 1";
    constexpr int kSteps = 5;
    for (int i = 1; i <= kSteps; ++i)
        cmd += " sleep 0.05 mousemove " + std::to_string(x0 + dx * i / kSteps) + " " +
               std::to_string(y0 + dy * i / kSteps);
    uitest::RunCmd(cmd + " sleep 0.05 mouseup 1");
}

CShot CXWindow::Shot() const {
    CShot shot;
    const CRect rc = Geometry();
    if (rc.IsRectEmpty() || rc.left < 0)
        return shot;
    const std::string raw =
        (fs::temp_directory_path() / ("qi-e2e-shot-" + std::to_string(::getpid()) + ".rgb"))
            .string();
    uitest::RunCmd("import -window root -crop " + std::to_string(rc.Width()) + "x" +
                   std::to_string(rc.Height()) + "+" + std::to_string(rc.left) + "+" +
                   std::to_string(rc.top) + " -depth 8 rgb:" + raw);
    const std::string bytes = qitest::TempDir::Read(raw);
    fs::remove(raw);
    if (bytes.size() != static_cast<size_t>(rc.Width()) * rc.Height() * 3)
        return shot;
    shot.width = rc.Width();
    shot.height = rc.Height();
    shot.rgb.assign(bytes.begin(), bytes.end());
    return shot;
}

void PressKeys(const std::string& keys) {
    uitest::RunCmd("xdotool key " + keys);
}

void TypeText(const std::string& text) {
    // xdotool reads its argument in the locale's encoding; ours is UTF-8.
    uitest::RunCmd("env LC_ALL=C.UTF-8 xdotool type --delay 20 -- " + Quote(text));
}

void KeyDown(const std::string& key) {
    uitest::RunCmd("xdotool keydown " + key);
}

void KeyUp(const std::string& key) {
    uitest::RunCmd("xdotool keyup " + key);
}

std::string ClipboardText() {
    return uitest::RunCmd("xclip -o -selection clipboard -target UTF8_STRING");
}

// ------------------------------------------------------------------ the fixture

void CInstallerTest::SetUp() {
    if (!uitest::g_xvfbUp)
        GTEST_SKIP() << "Xvfb could not start";
}

::testing::AssertionResult CInstallerTest::Launch(
    const std::string& installIni, const std::string& cwd,
    const std::map<std::string, std::string>& extraEnv, bool runtimeInstalled) {
    m_staged = std::make_unique<CStagedInstaller>(installIni);
    if (!m_staged->Ok())
        return ::testing::AssertionFailure() << "the installer could not be staged";
    if (runtimeInstalled && !m_staged->MarkRuntimeInstalled())
        return ::testing::AssertionFailure() << "reg add failed";
    if (!m_run.Start(*m_staged, cwd, extraEnv))
        return ::testing::AssertionFailure() << "the installer did not start";
    // The title follows the language of the Install.ini.
    const char* title =
        installIni.find("language=2\n") != std::string::npos ? kMainTitleEnglish : kMainTitle;
    m_window = CXWindow::WaitFor(title);
    if (!m_window.Ok())
        return ::testing::AssertionFailure() << "no window titled " << title << "; output:\n"
                                             << m_run.Output();
    return ::testing::AssertionSuccess();
}

void CInstallerTest::TypeInstallDir(const std::string& dir) {
    if (WindowHeight() != 445) {
        m_window.Click(ctl::kBtnExtend);
        WaitUntil([&] { return WindowHeight() == 445; }, 5000);
    }
    m_window.Click(ctl::kEditPath);
    PressKeys("ctrl+a");
    TypeText(dir);
}

::testing::AssertionResult CInstallerTest::BeginInstall(const std::string& dir) {
    TypeInstallDir(dir);
    m_window.Click(ctl::kBtnInstaller);
    if (m_run.WaitForOutput("创建安装线程", 10000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the install thread did not start; output:\n"
                                         << m_run.Output();
}

::testing::AssertionResult CInstallerTest::WaitForPage(EPage page, int ms) {
    CShot shot;
    if (WaitUntil([&] { return PageOf(shot = m_window.Shot()) == page; }, ms, 100))
        return ::testing::AssertionSuccess();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    shot.Save(name + "-not-" + PageName(page));
    return ::testing::AssertionFailure() << "the window shows the " << PageName(PageOf(shot))
                                         << " page, not the " << PageName(page) << " page";
}

bool CInstallerTest::CloseWithin(int ms) {
    m_window.Click(ctl::kBtnClose);
    return m_run.WaitExit(ms);
}

// ------------------------------------------------------------------ misc

bool WaitUntil(const std::function<bool()>& pred, int ms, int stepMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return pred();
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
        const std::string stat = qitest::TempDir::Read("/proc/" + name + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z" && state != "X")
            children.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return children;
}

std::vector<pid_t> LeftBehind() {
    std::vector<pid_t> pids = ChildrenOf(::getpid());
    std::erase(pids, uitest::g_xvfb);
    return pids;
}

int OpenConnectionsOnPort(int port) {
    int n = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(qitest::TempDir::Read(table));
        std::string line;
        std::getline(lines, line);  // header
        while (std::getline(lines, line)) {
            // "sl local_address rem_address st ...", addresses as HEXIP:HEXPORT
            std::istringstream fields(line);
            std::string sl, local, remote, state;
            fields >> sl >> local >> remote >> state;
            const size_t colon = local.rfind(':');
            if (colon == std::string::npos ||
                std::stoi(local.substr(colon + 1), nullptr, 16) != port)
                continue;
            if (state == "01" || state == "08")  // ESTABLISHED, CLOSE_WAIT
                ++n;
        }
    }
    return n;
}

std::string Base64Decode(const std::string& text) {
    return uitest::RunCmd("printf %s " + Quote(text) + " | base64 -d");
}

}  // namespace e2e
