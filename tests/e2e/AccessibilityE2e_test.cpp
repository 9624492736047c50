// The real installer as an assistive technology meets it: a private D-Bus session bus (on
// which the accessibility bus is started on demand), the installer with its AT-SPI bridge
// on, and a pyatspi client that reads the tree and runs actions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "tests/e2e/E2eSupport.h"
#include "uilib/testing/SXvfb.h"

namespace e2e {
namespace {

// A session bus of its own (dbus-daemon --session), ended with its process group when the
// owner goes. Ok() false when it could not start; Error() says why.
class CSessionBus {
public:
    CSessionBus() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            m_strError = "pipe failed";
            return;
        }
        const std::string printAddress = "--print-address=" + std::to_string(fds[1]);
        const char* argv[] = {"dbus-daemon", "--session", "--nofork", printAddress.c_str(),
                              nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setpgid(0, 0);
            ::fcntl(fds[1], F_SETFD, 0);  // the daemon writes its address here
            ::execvp(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (m_pid < 0) {
            ::close(fds[0]);
            m_strError = "fork failed";
            return;
        }
        ::setpgid(m_pid, m_pid);
        // The address is one line; the daemon writes it once it listens.
        std::string line;
        pollfd pfd{fds[0], POLLIN, 0};
        char buf[256];
        while (line.find('\n') == std::string::npos && ::poll(&pfd, 1, 10000) > 0) {
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0)
                break;
            line.append(buf, static_cast<size_t>(n));
        }
        ::close(fds[0]);
        if (line.find('\n') == std::string::npos) {
            m_strError = "dbus-daemon gave no address (is the dbus package installed?)";
            return;
        }
        m_strAddress = line.substr(0, line.find('\n'));
    }
    ~CSessionBus() {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGTERM);  // with what it activated (the accessibility bus launcher)
        if (ReapWithin(m_pid, 5000) < 0) {
            ::kill(-m_pid, SIGKILL);
            ReapWithin(m_pid, 5000);
        }
    }
    CSessionBus(const CSessionBus&) = delete;
    CSessionBus& operator=(const CSessionBus&) = delete;

    bool Ok() const { return !m_strAddress.empty(); }
    const std::string& Address() const { return m_strAddress; }
    const std::string& Error() const { return m_strError; }

private:
    pid_t m_pid = -1;
    std::string m_strAddress;
    std::string m_strError;
};

// One accessible of the probe's tree listing.
struct CAccLine {
    int depth = 0;
    std::string role, name;
    std::set<std::string> states;
    bool Has(const std::string& state) const { return states.count(state) != 0; }
};

std::vector<CAccLine> ParseTree(const std::string& text) {
    std::vector<CAccLine> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t indent = line.find_first_not_of(' ');
        const size_t bar1 = line.find('|');
        const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
        if (indent == std::string::npos || bar2 == std::string::npos)
            continue;  // a diagnostic line
        CAccLine acc;
        acc.depth = static_cast<int>(indent / 2);
        acc.role = line.substr(indent, bar1 - indent);
        acc.name = line.substr(bar1 + 1, bar2 - bar1 - 1);
        std::istringstream states(line.substr(bar2 + 1));
        for (std::string s; std::getline(states, s, ',');)
            acc.states.insert(s);
        out.push_back(acc);
    }
    return out;
}

const CAccLine* Find(const std::vector<CAccLine>& tree, const std::string& role,
                     const std::string& name) {
    for (const CAccLine& acc : tree)
        if (acc.role == role && acc.name == name)
            return &acc;
    return nullptr;
}

class Accessibility : public CInstallerTest {
protected:
    // The probe's output, diagnostics included, for the installer ("tree", or
    // "do \"<name>\"").
    std::string Probe(const std::string& args) const {
        return uitest::RunCmd("sh -c 'DBUS_SESSION_BUS_ADDRESS=" + m_bus.Address() +
                              " /usr/bin/python3 " QI_E2E_ATSPI_PROBE " " +
                              std::to_string(m_run.Pid()) + " " + args + " 2>&1'");
    }
    std::vector<CAccLine> Tree(std::string* raw = nullptr) const {
        std::string text = Probe("tree");
        if (raw)
            *raw = text;
        return ParseTree(text);
    }

    // Starts the installer with `installIni` and its AT-SPI bridge on this test's bus
    // (GTK loads the bridge when NO_AT_BRIDGE is unset) and waits until a push button named
    // `button` is told; m_tree and m_raw then hold the tree.
    ::testing::AssertionResult LaunchAndRead(const std::string& installIni,
                                             const std::string& button) {
        ::testing::AssertionResult launched = Launch(
            installIni, "", {{"DBUS_SESSION_BUS_ADDRESS", m_bus.Address()}, {"NO_AT_BRIDGE", ""}});
        if (!launched)
            return launched;
        if (WaitUntil(
                [&] {
                    m_tree = Tree(&m_raw);
                    return Find(m_tree, "push button", button) != nullptr;
                },
                30000, 500))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the installer's controls never reached the accessibility bus:\n"
               << m_raw << "\ninstaller output:\n"
               << m_run.Output();
    }

    CSessionBus m_bus;
    std::vector<CAccLine> m_tree;
    std::string m_raw;
};

}  // namespace

TEST_F(Accessibility, WelcomePageIsToldAndItsCheckBoxActs) {
    if (!m_bus.Ok())
        GTEST_SKIP() << "no D-Bus session bus here: " << m_bus.Error();
    ASSERT_TRUE(LaunchAndRead(InstallIni("http://127.0.0.1:9"), "立即安装"));
    std::string& raw = m_raw;
    std::vector<CAccLine>& tree = m_tree;

    const CAccLine* frame = Find(tree, "frame", kMainTitle);
    ASSERT_NE(frame, nullptr) << raw;
    EXPECT_EQ(frame->depth, 0);
    const CAccLine* install = Find(tree, "push button", "立即安装");
    EXPECT_TRUE(install->Has("enabled") && install->Has("sensitive") && install->Has("showing"))
        << raw;
    const CAccLine* agree = Find(tree, "check box", "已阅读和同意");
    ASSERT_NE(agree, nullptr) << raw;
    EXPECT_TRUE(agree->Has("checked")) << raw;
    EXPECT_NE(Find(tree, "link", "《用户协议》"), nullptr) << raw;
    const CAccLine* close = Find(tree, "push button", "关闭");
    ASSERT_NE(close, nullptr) << raw;
    EXPECT_TRUE(close->Has("focusable")) << raw;
    EXPECT_NE(Find(tree, "push button", "最小化"), nullptr) << raw;
    EXPECT_NE(Find(tree, "page tab list", ""), nullptr) << raw;
    // The directory row lies below the folded window's edge: told, but not as showing.
    const CAccLine* browse = Find(tree, "push button", "选择安装目录");
    ASSERT_NE(browse, nullptr) << raw;
    EXPECT_TRUE(browse->Has("visible") && !browse->Has("showing")) << raw;
    // The directory field is named by the layout, not by the path it holds.
    EXPECT_NE(Find(tree, "entry", "安装目录"), nullptr) << raw;
    // Only the current page: the finished page's button is not told.
    EXPECT_EQ(Find(tree, "push button", "立即体验"), nullptr) << raw;

    // Un-ticking through the accessible action: the program disables its install button,
    // and the client sees both changes.
    const std::string done = Probe("do \"已阅读和同意\"");
    EXPECT_NE(done.find("click: True"), std::string::npos) << done;
    EXPECT_TRUE(WaitUntil(
        [&] {
            tree = Tree(&raw);
            const CAccLine* a = Find(tree, "check box", "已阅读和同意");
            const CAccLine* b = Find(tree, "push button", "立即安装");
            return a && b && !a->Has("checked") && !b->Has("enabled") && !b->Has("sensitive");
        },
        15000, 300))
        << raw;
    // Ticking it again brings the button back.
    Probe("do \"已阅读和同意\"");
    EXPECT_TRUE(WaitUntil(
        [&] {
            tree = Tree(&raw);
            const CAccLine* b = Find(tree, "push button", "立即安装");
            return b && b->Has("enabled");
        },
        15000, 300))
        << raw;
}

// Names follow the interface language, the layout's accessible names included.
TEST_F(Accessibility, NamesFollowTheLanguage) {
    if (!m_bus.Ok())
        GTEST_SKIP() << "no D-Bus session bus here: " << m_bus.Error();
    ASSERT_TRUE(LaunchAndRead(InstallIni("http://127.0.0.1:9", "e2e", 2), "Install now"));
    const std::vector<CAccLine>& tree = m_tree;
    const std::string& raw = m_raw;
    EXPECT_NE(Find(tree, "frame", kMainTitleEnglish), nullptr) << raw;
    EXPECT_NE(Find(tree, "push button", "Close"), nullptr) << raw;
    EXPECT_NE(Find(tree, "entry", "Install folder"), nullptr) << raw;
    EXPECT_NE(Find(tree, "push button", "Minimize"), nullptr) << raw;
    EXPECT_NE(Find(tree, "check box", "I accept the"), nullptr) << raw;
    EXPECT_NE(Find(tree, "page tab", "Page 1"), nullptr) << raw;
}

}  // namespace e2e
