#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/DebugOutput.h"

namespace {

TEST(GatedThread, RunsOnlyAfterResume) {
    std::atomic<bool> ran{false};
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        ran = true;
        return 7u;
    }));
    EXPECT_FALSE(thread.Start([] { return 0u; }));  // one thread per owner
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(ran.load());
    thread.Resume();
    thread.Join();
    EXPECT_TRUE(ran.load());
    EXPECT_TRUE(thread.HasFinished());
    EXPECT_EQ(thread.ExitCode(), 7u);
}

TEST(GatedThread, CancelledBeforeResumeNeverRuns) {
    std::atomic<bool> ran{false};
    {
        platform::GatedThread thread;
        ASSERT_TRUE(thread.Start([&] {
            ran = true;
            return 0u;
        }));
    }  // destroyed behind its gate
    EXPECT_FALSE(ran.load());
}

TEST(GatedThread, StopRequestWakesABlockedSleep) {
    std::atomic<bool> sawCancel{false};
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        EXPECT_FALSE(platform::IsCurrentThreadCancelled());
        sawCancel = platform::SleepUnlessCancelled(60000);
        EXPECT_TRUE(platform::IsCurrentThreadCancelled());
        return 0u;
    }));
    thread.Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = std::chrono::steady_clock::now();
    thread.RequestCancel();
    thread.Join();
    EXPECT_TRUE(sawCancel.load());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(platform::IsCurrentThreadCancelled());  // the test thread has no owner
}

TEST(GatedThread, JoinOnItsOwnThreadIsRefusedAndTheOwnerStillJoins) {
    platform::ScopedDebugCapture capture;
    std::atomic<bool> selfJoined{true}, finished{false};
    platform::GatedThread thread;
    ASSERT_TRUE(thread.Start([&] {
        selfJoined = thread.Join();
        // Still running after the refused join: the owner's join must wait for this.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished = true;
        return 0u;
    }));
    thread.Resume();
    EXPECT_TRUE(thread.Join());
    EXPECT_TRUE(finished.load()) << "the owner's join returned while the thread ran";
    EXPECT_FALSE(selfJoined.load());
    EXPECT_NE(capture.Text().find("on the thread itself"), std::string::npos);
}

// Linux only: the death's message goes to standard error there; Windows' debugger stream
// is not the child's output.
#ifndef _WIN32
TEST(GatedThreadDeathTest, DestroyedByItsOwnThreadAbortsRatherThanRunOnInFreedMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* thread = new platform::GatedThread;
            std::atomic<bool> done{false};
            thread->Start([&] {
                delete thread;
                done = true;
                return 0u;
            });
            thread->Resume();
            while (!done.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        "destroyed by its own thread");
}
#endif

}  // namespace
