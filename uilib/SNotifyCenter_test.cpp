#include "uilib/SNotifyCenter.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <thread>
#include <vector>

#include "platform/DebugOutput.h"

namespace {

class NumberEvent : public SOUI::TplEventArgs<NumberEvent> {
    using __baseCls = SOUI::TplEventArgs<NumberEvent>;
    SOUI_CLASS_NAME(NumberEvent, L"on_number")

public:
    enum { EventID = 20000001 };
    NumberEvent(SOUI::IObject* pSender, int thread, int seq, std::atomic<int>* alive)
        : __baseCls(pSender), m_thread(thread), m_seq(seq), m_alive(alive) {
        ++*m_alive;
    }
    ~NumberEvent() override { --*m_alive; }
    int m_thread, m_seq;
    std::atomic<int>* m_alive;
};

class Recorder : public SOUI::IEventHandler {
public:
    bool _HandleEvent(SOUI::EventArgs* evt) override {
        auto* n = static_cast<NumberEvent*>(evt);
        EXPECT_TRUE(evt->IsClass(L"on_number"));
        EXPECT_GE(n->RefCount(), 1);  // the center holds its reference while delivering
        seen.push_back({n->m_thread, n->m_seq});
        uiThread = uiThread && std::this_thread::get_id() == owner;
        return handles;
    }
    std::vector<std::pair<int, int>> seen;
    std::thread::id owner = std::this_thread::get_id();
    bool uiThread = true;
    bool handles = false;
};

TEST(SNotifyCenter, EventsFromManyThreadsArriveInPostingOrderOnTheUiThread) {
    std::atomic<int> alive{0};
    SOUI::SNotifyCenter center;
    ASSERT_EQ(SOUI::SNotifyCenter::getSingletonPtr(), &center);
    EXPECT_TRUE(center.addEvent(NumberEvent::EventID, L"on_number"));
    EXPECT_FALSE(center.addEvent(NumberEvent::EventID, L"on_number"));
    Recorder recorder;
    center.RegisterEventMap(&recorder);

    constexpr int kThreads = 4, kPerThread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                center.FireEventAsync(new NumberEvent(nullptr, t, i, &alive));
        });
    size_t delivered = 0;
    while (delivered < kThreads * kPerThread) {
        ASSERT_TRUE(center.WaitForEvents(10000)) << "events stopped arriving";
        delivered += center.DispatchPending();
    }
    for (auto& th : threads)
        th.join();

    ASSERT_EQ(recorder.seen.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_TRUE(recorder.uiThread);
    std::vector<int> next(kThreads, 0);
    for (auto [t, seq] : recorder.seen)
        EXPECT_EQ(seq, next[t]++) << "thread " << t;  // per-poster order
    EXPECT_EQ(alive, 0) << "every event is released exactly once";
    center.UnregisterEventMap(&recorder);
}

TEST(SNotifyCenter, UndeclaredEventsAndLeftoversAreReleased) {
    std::atomic<int> alive{0};
    Recorder recorder;
    {
        SOUI::SNotifyCenter center;
        center.RegisterEventMap(&recorder);
        center.FireEventAsync(new NumberEvent(nullptr, 0, 0, &alive));  // not declared
        EXPECT_EQ(center.DispatchPending(), 1u);
        EXPECT_TRUE(recorder.seen.empty());
        center.addEvent(NumberEvent::EventID, L"on_number");
        center.FireEventAsync(new NumberEvent(nullptr, 0, 1, &alive));
        center.FireEventAsync(nullptr);
        EXPECT_EQ(alive, 1);
    }  // destroyed with one event queued
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(SOUI::SNotifyCenter::getSingletonPtr(), nullptr);
}

TEST(SNotifyCenter, HandlerLeavingDuringDeliveryIsNotCalledAgain) {
    std::atomic<int> alive{0};
    SOUI::SNotifyCenter center;
    center.addEvent(NumberEvent::EventID, L"on_number");
    Recorder second;
    struct Leaver : SOUI::IEventHandler {
        SOUI::SNotifyCenter* center;
        SOUI::IEventHandler* other;
        int calls = 0;
        bool _HandleEvent(SOUI::EventArgs*) override {
            ++calls;
            center->UnregisterEventMap(this);
            center->UnregisterEventMap(other);
            return false;
        }
    } leaver;
    leaver.center = &center;
    leaver.other = &second;
    center.RegisterEventMap(&leaver);
    center.RegisterEventMap(&second);
    center.FireEventAsync(new NumberEvent(nullptr, 0, 0, &alive));
    center.FireEventAsync(new NumberEvent(nullptr, 0, 1, &alive));
    center.DispatchPending();
    EXPECT_EQ(leaver.calls, 1);
    EXPECT_TRUE(second.seen.empty());
    EXPECT_EQ(alive, 0);
}

TEST(SNotifyCenter, FirstHandlerThatHandlesStopsDelivery) {
    std::atomic<int> alive{0};
    SOUI::SNotifyCenter center;
    center.addEvent(NumberEvent::EventID, L"on_number");
    Recorder first, second;
    first.handles = true;
    center.RegisterEventMap(&first);
    center.RegisterEventMap(&second);
    center.RegisterEventMap(&first);  // registering twice changes nothing
    auto* evt = new NumberEvent(nullptr, 0, 0, &alive);
    center.FireEventSync(evt);
    evt->Release();
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_TRUE(second.seen.empty());
    EXPECT_EQ(alive, 0);
}

}  // namespace

namespace {

TEST(SNotifyCenter, NestedLoopInAHandlerKeepsPostingOrder) {
    // A handler that runs a modal loop delivers the rest of the queue itself; the outer
    // round must not deliver anything again or out of order.
    std::atomic<int> alive{0};
    SOUI::SNotifyCenter center;
    center.addEvent(NumberEvent::EventID, L"on_number");
    struct Modal : SOUI::IEventHandler {
        SOUI::SNotifyCenter* center;
        std::atomic<int>* alive;
        std::vector<int> order;
        bool _HandleEvent(SOUI::EventArgs* evt) override {
            int seq = static_cast<NumberEvent*>(evt)->m_seq;
            order.push_back(seq);
            if (seq == 0) {
                center->FireEventAsync(new NumberEvent(nullptr, 0, 3, alive));
                center->DispatchPending();  // the nested loop
            }
            return true;
        }
    } modal;
    modal.center = &center;
    modal.alive = &alive;
    center.RegisterEventMap(&modal);
    for (int i = 0; i < 3; ++i)
        center.FireEventAsync(new NumberEvent(nullptr, 0, i, &alive));
    center.DispatchPending();
    while (center.WaitForEvents(0))
        center.DispatchPending();
    EXPECT_EQ(modal.order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(alive, 0);
}

}  // namespace

namespace {

// A sender that counts itself, so a test can see when the last reference goes.
class CountedSender : public SOUI::SObjectImpl<SOUI::IObject> {
public:
    explicit CountedSender(std::atomic<int>* alive) : m_alive(alive) { ++*m_alive; }
    ~CountedSender() override { --*m_alive; }
    std::atomic<int>* m_alive;
};

TEST(SNotifyCenter, PostersRacingTheCentersTeardownNeverReachAFreedCenter) {
    std::atomic<int> alive{0};
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0}, refused{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; !stop.load(); ++i) {
                if (SOUI::SNotifyCenter::PostEvent(new NumberEvent(nullptr, t, i, &alive)))
                    ++posted;
                else
                    ++refused;
            }
        });
    Recorder recorder;
    for (int round = 0; round < 200; ++round) {
        SOUI::SNotifyCenter center;
        center.addEvent(NumberEvent::EventID, L"on_number");
        center.RegisterEventMap(&recorder);
        center.WaitForEvents(5);
        center.DispatchPending();
        center.UnregisterEventMap(&recorder);
    }  // destroyed while the posters keep going
    stop = true;
    for (auto& th : posters)
        th.join();
    EXPECT_GT(posted.load(), 0);
    EXPECT_GT(refused.load(), 0);
    EXPECT_EQ(alive, 0) << "every event is released exactly once, posted or refused";
    EXPECT_EQ(SOUI::SNotifyCenter::PostEvent(nullptr), false);
}

TEST(SNotifyCenter, AQueuedEventNamesItsSenderOnlyWhileTheSenderLives) {
    std::atomic<int> events{0}, senders{0};
    SOUI::SNotifyCenter center;
    center.addEvent(NumberEvent::EventID, L"on_number");
    struct SenderCheck : SOUI::IEventHandler {
        std::vector<SOUI::IObject*> seen;
        bool _HandleEvent(SOUI::EventArgs* evt) override {
            seen.push_back(evt->sender);
            if (evt->sender != nullptr)
                evt->sender->GetObjectClass();  // a freed sender shows here
            return true;
        }
    } check;
    center.RegisterEventMap(&check);

    auto* kept = new CountedSender(&senders);
    auto* gone = new CountedSender(&senders);
    std::thread([&] {
        SOUI::SNotifyCenter::PostEvent(new NumberEvent(kept, 0, 0, &events));
        SOUI::SNotifyCenter::PostEvent(new NumberEvent(gone, 0, 1, &events));
    }).join();
    gone->Release();  // destroyed while its event waits
    EXPECT_EQ(senders, 1);
    center.DispatchPending();
    EXPECT_EQ(check.seen, (std::vector<SOUI::IObject*>{kept, nullptr}));
    EXPECT_EQ(events, 0);
    kept->Release();
    EXPECT_EQ(senders, 0);
    center.UnregisterEventMap(&check);
}

TEST(SNotifyCenter, ASenderAlreadyBeingDestroyedIsDroppedFromItsEvent) {
    // The install manager's thread can post while the manager's last owner is destroying
    // it (and joining that thread): the event must not bring the manager back to life.
    std::atomic<int> events{0};
    SOUI::SNotifyCenter center;
    center.addEvent(NumberEvent::EventID, L"on_number");
    struct Dying : SOUI::SObjectImpl<SOUI::IObject> {
        std::atomic<int>* events;
        ~Dying() override { SOUI::SNotifyCenter::PostEvent(new NumberEvent(this, 0, 0, events)); }
    };
    auto* dying = new Dying;
    dying->events = &events;
    dying->Release();
    struct NullSender : SOUI::IEventHandler {
        bool senderDropped = false;
        bool _HandleEvent(SOUI::EventArgs* evt) override {
            senderDropped = evt->sender == nullptr;
            return true;
        }
    } handler;
    center.RegisterEventMap(&handler);
    EXPECT_EQ(center.DispatchPending(), 1u);
    EXPECT_TRUE(handler.senderDropped);
    EXPECT_EQ(events, 0);
    center.UnregisterEventMap(&handler);
}

// Linux only: a test can make the wake signal fail for real there, by exhausting the
// descriptor table; Windows has no such limit on event objects.
#ifndef _WIN32
TEST(SNotifyCenter, ACenterWithoutAWakeDescriptorSaysSoAndAcceptsNothing) {
    // Exhaust the descriptor table so that eventfd fails for real.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    platform::ScopedDebugCapture capture;
    std::atomic<int> alive{0};
    {
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
        SOUI::SNotifyCenter center;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
        EXPECT_FALSE(center.IsValid());
        EXPECT_EQ(SOUI::SNotifyCenter::getSingletonPtr(), nullptr);
        EXPECT_FALSE(SOUI::SNotifyCenter::PostEvent(new NumberEvent(nullptr, 0, 0, &alive)));
        center.FireEventAsync(new NumberEvent(nullptr, 0, 1, &alive));
        EXPECT_EQ(alive, 0);
    }
    EXPECT_NE(capture.Text().find("eventfd"), std::string::npos);
}
#endif

}  // namespace
