#include "engine/tvenginethread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/cvstatusstatic.h"
#include "engine/tvenginehost.h"
#include "engine/tvenginereporter.h"
#include "log/cveventlog.h"
#include "tests/engine/enginetestwork.h"
#include "tests/support/testenvironment.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kPatience{10000};

// Waits in real time until `done` holds, at most kPatience.
template <typename Condition>
bool Eventually(Condition done) {
    const auto give_up = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

class tvEngineThreadTest : public ::testing::Test {
  protected:
    tvEngineThreadTest() { reporter.Attach(&status_line, nullptr, nullptr); }

    // One firing of the engine thread: the clock moves a period and the loop is woken.
    void FireOnce(tvEngineThread& thread) {
        const uint64_t before = thread.Firings();
        time.clock.Advance(seconds(1));
        thread.Kick();
        ASSERT_TRUE(thread.WaitForFirings(before + 1, kPatience));
    }

    testing_support::TestEnvironment env_;
    ManualClockScope time{2024, 5, 1, 10, 0, 30};
    EngineTestWork work;
    cvStatusStatic status_line;
    tvEngineReporter reporter;
    tvEngineTimer timer{work, reporter};
};

TEST_F(tvEngineThreadTest, RunsTheTimerOnItsOwnThreadFiringOnlyWhenTheClockSaysSo) {
    std::atomic<std::thread::id> start_thread;
    tvEngineThreadOptions options;
    options.on_thread_start = [&] { start_thread = std::this_thread::get_id(); };
    tvEngineThread thread(timer, options);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Running());
    EXPECT_FALSE(thread.Start());  // one thread per engine
    EXPECT_NE(start_thread.load(), std::this_thread::get_id());

    timer.MarkInitialised();
    FireOnce(thread);
    EXPECT_EQ(work.SendTimes().size(), 1u);
    {
        std::lock_guard lock(work.mutex);
        EXPECT_EQ(work.send_thread, start_thread.load());
    }
    EXPECT_EQ(status_line.Text(), "Server Ready");

    // A kick with the clock standing still fires nothing.
    thread.Kick();
    EXPECT_FALSE(thread.WaitForFirings(2, milliseconds(50)));
    EXPECT_EQ(work.SendTimes().size(), 1u);
}

TEST_F(tvEngineThreadTest, AStopIsAcknowledgedAtTheNextFiringAndTheThreadEnds) {
    tvEngineThread thread(timer);
    ASSERT_TRUE(thread.Start());
    timer.MarkInitialised();
    FireOnce(thread);

    timer.RequestStop();
    timer.RequestStop();
    thread.Kick();
    EXPECT_FALSE(thread.WaitForFirings(2, milliseconds(50)));
    EXPECT_FALSE(timer.IsStopped());

    FireOnce(thread);
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_EQ(status_line.Text(), "Server Stopped");
    EXPECT_TRUE(Eventually([&] { return !thread.Running(); }));
    EXPECT_EQ(work.SendTimes().size(), 1u);
}

TEST_F(tvEngineThreadTest, ShutdownAcknowledgesTheStopWithoutWaitingForTheClock) {
    tvEngineThread thread(timer);
    ASSERT_TRUE(thread.Start());
    timer.MarkInitialised();
    thread.Shutdown();
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(status_line.Text(), "Server Stopped");
    thread.Shutdown();  // again, and once more by the destructor: harmless
}

TEST_F(tvEngineThreadTest, AThreadThatDoesNotComeUpInTimeFailsTheStart) {
    env_.Presenter().AnswerAllWith(kIdOk);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    tvEngineThreadOptions options;
    options.handshake_timeout = milliseconds(50);
    options.on_thread_start = [released] { released.wait(); };
    {
        tvEngineThread thread(timer, options);
        EXPECT_FALSE(thread.Start());
        EXPECT_EQ(env_.Presenter().Texts(), std::vector<std::string>{"Initialization Error"});
        release.set_value();
        // The thread comes up late; its timer does nothing and the engine still shuts
        // down.
        EXPECT_TRUE(Eventually([&] { return thread.Running(); }));
        FireOnce(thread);
    }
    EXPECT_TRUE(work.SendTimes().empty());
    EXPECT_EQ(status_line.Text(), "");
}

TEST_F(tvEngineThreadTest, ShutdownEndsACycleThatWaitsInATransport) {
    tvEngineHost host(reporter, timer);
    std::atomic<bool> waiting{false};
    work.during_send = [&] {
        waiting = true;
        while (!host.StopRequested()) {
            host.PumpWhileWaiting();
            std::this_thread::sleep_for(milliseconds(1));
        }
    };
    tvEngineThread thread(timer);
    ASSERT_TRUE(thread.Start());
    timer.MarkInitialised();
    time.clock.Advance(seconds(1));
    thread.Kick();
    ASSERT_TRUE(Eventually([&] { return waiting.load(); }));
    thread.Shutdown();
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_EQ(status_line.Text(), "Server Stopped");
}

TEST(tvEngineThreadRealClockTest, FiresByItselfEveryPeriod) {
    EngineTestWork work;
    work.send_interval = seconds(0);
    tvEngineReporter reporter;
    tvEngineTimer timer(work, reporter, milliseconds(5));
    tvEngineThread thread(timer);
    ASSERT_TRUE(thread.Start());
    timer.MarkInitialised();
    // With an interval of 0 every firing sends; nobody moves a clock or kicks.
    EXPECT_TRUE(Eventually([&] { return work.SendTimes().size() >= 3; }));
    thread.Shutdown();
    EXPECT_TRUE(timer.IsStopped());
}

}  // namespace
