#include "uilib/SHeadlessHost.h"

#include <gtest/gtest.h>

#include <thread>

#include "uilib/SHostWnd.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;
using namespace uitest;

namespace {

struct EvtSeq : public TplEventArgs<EvtSeq> {
    enum { EventID = EVT_EXTERNAL_BEGIN + 77 };
    EvtSeq(int t, int n) : TplEventArgs<EvtSeq>(nullptr), thread(t), seq(n) {}
    const wchar_t* GetObjectClass() const override { return L"on_seq"; }
    bool IsClass(const wchar_t* c) const override { return c && std::wcscmp(c, L"on_seq") == 0; }
    int thread;
    int seq;
};

class CCollector : public SHostWnd {
public:
    CCollector() : SHostWnd(L"LAYOUT:tiny") {}
    bool _HandleEvent(EventArgs* evt) override {
        if (evt->GetID() != EvtSeq::EventID)
            return false;
        auto* e = static_cast<EvtSeq*>(evt);
        onUiThread = onUiThread && std::this_thread::get_id() == uiThread;
        got.emplace_back(e->thread, e->seq);
        if (static_cast<int>(got.size()) == expected)
            SApplication::getSingleton().GetBackend()->QuitLoop(7);
        return true;
    }
    std::thread::id uiThread = std::this_thread::get_id();
    bool onUiThread = true;
    int expected = 0;
    std::vector<std::pair<int, int>> got;
};

// A collecting window on the notify center's event map.
class NotifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.Add("LAYOUT", "tiny", R"(<SOUI width="50" height="50"><root/></SOUI>)");
        ASSERT_TRUE(env.Commit());
        center.addEvent(EvtSeq::EventID, L"on_seq");
        ASSERT_NE(wnd.Create(), nullptr);
        center.RegisterEventMap(&wnd);
    }
    void TearDown() override { center.UnregisterEventMap(&wnd); }

    SUiTestEnv env;
    SNotifyCenter center;
    CCollector wnd;
};

}  // namespace

// Events posted from several threads arrive on the UI thread, each thread's events in the
// order it posted them, and all in the order they entered the queue.
TEST_F(NotifyTest, DeliversInPostingOrderOnTheUiThread) {
    constexpr int kThreads = 4, kEach = 200;
    wnd.expected = kThreads * kEach;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([t, this] {
            for (int n = 0; n < kEach; ++n)
                center.FireEventAsync(new EvtSeq(t, n));
        });
    env.host.SetIdleLimitMs(10000);
    int code = env.host.RunLoop();
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(code, 7);
    EXPECT_TRUE(wnd.onUiThread);
    ASSERT_EQ(wnd.got.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (auto [t, n] : wnd.got)
        EXPECT_EQ(n, next[t]++);
}

TEST_F(NotifyTest, AdvanceDeliversEventsBetweenTimerSteps) {
    std::thread([&] { center.FireEventAsync(new EvtSeq(0, 0)); }).join();
    env.host.Advance(0);
    EXPECT_EQ(wnd.got.size(), 1u);
    std::vector<uint64_t> fired;
    uint64_t token = env.host.AddTimer(30, [&] { fired.push_back(env.host.NowMs()); });
    env.host.Advance(100);
    EXPECT_EQ(fired, (std::vector<uint64_t>{30, 60, 90}));
    env.host.RemoveTimer(token);
    env.host.Advance(100);
    EXPECT_EQ(fired.size(), 3u);
}

TEST(SHeadlessHostTest, FolderAnswersComeFromTheQueue) {
    SHeadlessHost host;
    host.QueueFolderAnswer(SStringW(L"/tmp/picked"));
    host.QueueFolderAnswer(std::nullopt);
    EXPECT_EQ(host.BrowseForFolder(L"从下面选文件夹目录:"), SStringW(L"/tmp/picked"));
    EXPECT_EQ(host.LastFolderTitle(), L"从下面选文件夹目录:");
    EXPECT_FALSE(host.BrowseForFolder(L"t").has_value());
    EXPECT_FALSE(host.BrowseForFolder(L"t").has_value());  // empty queue: cancelled
}

TEST(SHeadlessHostTest, IdleLoopGivesUp) {
    SHeadlessHost host;
    host.SetIdleLimitMs(50);
    EXPECT_EQ(host.RunLoop(), -1);
    host.PostTask([&] { host.QuitLoop(3); });
    EXPECT_EQ(host.RunLoop(), 3);
}
