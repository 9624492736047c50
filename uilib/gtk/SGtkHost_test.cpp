// The GTK host on a real X server (Xvfb, started here with -displayfd). Skips only when
// Xvfb cannot start.
#include "uilib/gtk/SGtkHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "uilib/SCheckBox.h"
#include "uilib/SHostWnd.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/testing/SUiTestEnv.h"
#include "uilib/testing/SXvfb.h"

using namespace SOUI;
using namespace uitest;

namespace {

const char* kLayout =
    R"XML(<SOUI name="probe" title="QiGtkProbe" width="400" height="300" translucent="1">
  <root colorBkgnd="#ffffffff">
    <text pos="20,20,@300,@30" colorText="#383838ff" font="face:微软雅黑,size:20">安装程序的中文文本</text>
    <check name="agree" pos="16,104,@115,@24" skin="skin.check" font="face:微软雅黑,size:14">已阅读和同意</check>
  </root></SOUI>)XML";

struct EvtPing : public TplEventArgs<EvtPing> {
    enum { EventID = EVT_EXTERNAL_BEGIN + 91 };
    explicit EvtPing(int n) : TplEventArgs<EvtPing>(nullptr), seq(n) {}
    int seq;
};

class CProbe : public SHostWnd {
public:
    CProbe() : SHostWnd(L"LAYOUT:probe") {}
    bool _HandleEvent(EventArgs* evt) override {
        if (evt->GetID() != EvtPing::EventID)
            return false;
        onUi = onUi && std::this_thread::get_id() == ui;
        seqs.push_back(static_cast<EvtPing*>(evt)->seq);
        if (seqs.size() == expected)
            SApplication::getSingleton().GetBackend()->QuitLoop(1);
        return true;
    }
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM id, LPARAM, LRESULT&) override {
        if (msg != WM_TIMER)
            return FALSE;
        timerIds.push_back(static_cast<UINT>(id));
        if (timerIds.size() == 3)
            SApplication::getSingleton().GetBackend()->QuitLoop(2);
        return TRUE;
    }
    std::thread::id ui = std::this_thread::get_id();
    bool onUi = true;
    size_t expected = 0;
    std::vector<int> seqs;
    std::vector<UINT> timerIds;
};

class SGtkHostTest : public SGtkProbeTest {
protected:
    const char* ProbeLayout() const override { return kLayout; }
};

}  // namespace

// A probe window on the notify center's map of ping events.
class SGtkHostNotifyTest : public SGtkHostTest {
protected:
    void TearDown() override {
        if (m_probe != nullptr)
            center.UnregisterEventMap(m_probe.get());
    }
    CProbe& PingProbe() {
        center.addEvent(EvtPing::EventID, L"on_ping");
        m_probe = std::make_unique<CProbe>();
        EXPECT_NE(m_probe->Create(), nullptr);
        center.RegisterEventMap(m_probe.get());
        return *m_probe;
    }

    SNotifyCenter center;
    std::unique_ptr<CProbe> m_probe;
};

TEST_F(SGtkHostTest, RealWindowHasItsSizeAndTakesClicks) {
    CProbe wnd;
    const uint64_t framesBefore = SGtkHost::FramesDrawn();
    ASSERT_NE(wnd.Create(), nullptr);
    wnd.SetWindowPos(nullptr, 50, 60, 0, 0, SWP_NOSIZE);
    wnd.ShowWindow(SW_SHOWNORMAL);
    std::string id;
    ASSERT_TRUE(PumpUntil([&] {
        id = RunCmd("xdotool search --onlyvisible --name QiGtkProbe");
        return !id.empty();
    }));
    id = id.substr(0, id.find('\n'));
    std::string info = RunCmd("xwininfo -id " + id);
    EXPECT_EQ(XwinValue(info, "Width: "), 400) << info;
    EXPECT_EQ(XwinValue(info, "Height: "), 300) << info;
    EXPECT_EQ(XwinValue(info, "Absolute upper-left X: "), 50) << info;

    auto* agree = wnd.FindChildByName2<SCheckBox>(L"agree");
    ASSERT_NE(agree, nullptr);
    EXPECT_FALSE(agree->IsChecked());
    ASSERT_TRUE(WaitForFrame(framesBefore)) << "the window never drew";
    const uint64_t beforeClick = SGtkHost::FramesDrawn();
    RunCmd("xdotool mousemove --window " + id + " 40 116 click 1");
    EXPECT_TRUE(PumpUntil([&] { return agree->IsChecked(); }));
    EXPECT_TRUE(WaitForFrame(beforeClick)) << "the checked box was never drawn";
    std::string shot = ::testing::TempDir() + "gtk_probe.png";
    RunCmd("import -window root " + shot);

    wnd.SetWindowPos(nullptr, 0, 0, 400, 200, SWP_NOMOVE);
    EXPECT_TRUE(
        PumpUntil([&] { return XwinValue(RunCmd("xwininfo -id " + id), "Height: ") == 200; }));
    wnd.DestroyWindow();
    EXPECT_TRUE(PumpUntil(
        [&] { return RunCmd("xdotool search --onlyvisible --name QiGtkProbe").empty(); }));
}

// Events already queued when the loop starts are delivered first; one that ends the loop
// ends it then, not at the next wake-up (the worker above can win that race under load).
TEST_F(SGtkHostNotifyTest, AnEventQueuedBeforeTheLoopCanEndIt) {
    CProbe& wnd = PingProbe();
    wnd.expected = 2;
    center.FireEventAsync(new EvtPing(0));
    center.FireEventAsync(new EvtPing(1));
    uint64_t guard = host.AddTimer(5000, [&] { host.QuitLoop(-1); });
    EXPECT_EQ(host.RunLoop(), 1);
    EXPECT_EQ(host.LoopDepth(), 0);
    host.RemoveTimer(guard);
}

TEST_F(SGtkHostNotifyTest, LoopDeliversNotifyEventsInOrderAndFiresTimers) {
    CProbe& wnd = PingProbe();
    constexpr int kCount = 300;
    wnd.expected = kCount;
    uint64_t guard = host.AddTimer(10000, [&] { host.QuitLoop(-1); });
    std::thread worker([&] {
        for (int i = 0; i < kCount; ++i)
            center.FireEventAsync(new EvtPing(i));
    });
    EXPECT_EQ(host.RunLoop(), 1);
    worker.join();
    EXPECT_TRUE(wnd.onUi);
    ASSERT_EQ(wnd.seqs.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(wnd.seqs[i], i);

    wnd.SetTimer(101, 10);
    EXPECT_EQ(host.RunLoop(), 2);
    EXPECT_EQ(wnd.timerIds, (std::vector<UINT>{101, 101, 101}));
    host.RemoveTimer(guard);
}
