#include "engine/tvenginetimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/cvstatusstatic.h"
#include "engine/tvenginereporter.h"
#include "tests/engine/enginetestwork.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class tvEngineTimerTest : public ::testing::Test {
  protected:
    tvEngineTimerTest() {
        reporter.Attach(&status_line, nullptr, nullptr);
        status_line.SetListener([this](const std::string& text) { status_texts.push_back(text); });
    }

    // Moves the clock by `step` and lets the timer fire when due, `count` times.
    void Run(int count, milliseconds step = seconds(1)) {
        for (int i = 0; i < count; ++i) {
            time.clock.Advance(step);
            static_cast<void>(timer.FireIfDue());
        }
    }
    EngineTestWork::Time At(int hour, int minute, int second) const {
        return platform::MakeLocalTime(2024, 5, 1, hour, minute, second);
    }

    ManualClockScope time{2024, 5, 1, 10, 0, 30};
    EngineTestWork work;
    cvStatusStatic status_line;
    std::vector<std::string> status_texts;
    tvEngineReporter reporter;
    tvEngineTimer timer{work, reporter};
};

TEST_F(tvEngineTimerTest, FiringsDoNothingUntilInitialisedThenTheWorkIsDueAtOnce) {
    timer.Arm();
    Run(3);
    EXPECT_TRUE(work.SendTimes().empty());
    EXPECT_EQ(work.reloads, 0);
    EXPECT_TRUE(status_texts.empty());

    timer.MarkInitialised();
    Run(1);
    EXPECT_EQ(work.SendTimes(), std::vector{At(10, 0, 34)});
    EXPECT_EQ(work.ReceiveTimes(), std::vector{At(10, 0, 34)});
    EXPECT_EQ(work.reloads, 1);
    EXPECT_EQ(status_texts, std::vector<std::string>{"Server Ready"});
}

TEST_F(tvEngineTimerTest, FiringsComeOnePeriodApartByTheClock) {
    EXPECT_FALSE(timer.FireIfDue());  // not armed
    timer.Arm();
    EXPECT_EQ(timer.TimeUntilFiring(), milliseconds(1000));
    time.clock.Advance(milliseconds(999));
    EXPECT_FALSE(timer.FireIfDue());
    EXPECT_EQ(timer.TimeUntilFiring(), milliseconds(1));
    time.clock.Advance(milliseconds(1));
    EXPECT_TRUE(timer.FireIfDue());
    EXPECT_FALSE(timer.FireIfDue());
}

TEST_F(tvEngineTimerTest, TheFirstCallOfTheTimerProcedureStartsTheMinuteOfTheHostPoll) {
    // First call at 10:00:30, before the engine is initialised: the first firing of
    // the engine at 10:01:06 is in another minute and polls.
    timer.TimerProc();
    time.clock.Set(At(10, 1, 5));
    timer.MarkInitialised();
    timer.Arm();
    Run(1);
    EXPECT_EQ(work.PollTimes(), std::vector{At(10, 1, 6)});
}

TEST_F(tvEngineTimerTest, AFirstCallInsideTheMinuteWaitsForTheNextMinute) {
    time.clock.Set(At(10, 1, 5));
    timer.MarkInitialised();
    timer.TimerProc();  // the first call: the poll time is 10:01:05
    timer.Arm();
    Run(54);  // up to 10:01:59
    EXPECT_TRUE(work.PollTimes().empty());
    Run(1);
    EXPECT_EQ(work.PollTimes(), std::vector{At(10, 2, 0)});
}

TEST_F(tvEngineTimerTest, TheHostIsPolledOncePerClockMinuteAtTheFirstFiringOfTheMinute) {
    struct Case {
        milliseconds step;
        EngineTestWork::Time first_poll;
        size_t polls;  // by 10:05:30
    };
    const Case cases[] = {
        {seconds(1), At(10, 1, 0), 5},
        {seconds(7), At(10, 1, 5), 5},  // firings at :37, :44, :51, :58, 1:05
        // The first firing, at 10:01:15, is the first call: it starts the minute.
        {seconds(45), At(10, 2, 0), 4},
    };
    for (const Case& c : cases) {
        EngineTestWork local_work;
        tvEngineTimer local_timer(local_work, reporter, c.step);
        time.clock.Set(At(10, 0, 30));
        local_timer.MarkInitialised();
        local_timer.Arm();
        while (platform::CurrentClock().Now() < At(10, 5, 30)) {
            time.clock.Advance(c.step);
            static_cast<void>(local_timer.FireIfDue());
        }
        const std::vector<EngineTestWork::Time> polls = local_work.PollTimes();
        ASSERT_EQ(polls.size(), c.polls) << c.step.count();
        EXPECT_EQ(polls[0], c.first_poll);
        int minute = platform::LocalTime(polls[0]).tm_min;
        for (size_t i = 1; i < polls.size(); ++i) {
            EXPECT_EQ(platform::LocalTime(polls[i]).tm_min, ++minute);
            EXPECT_LT(platform::LocalTime(polls[i]).tm_sec, c.step.count() / 1000);
        }
    }
}

TEST_F(tvEngineTimerTest, TheNextCycleIsDueOneIntervalAfterTheWorkEnded) {
    work.send_interval = seconds(60);
    work.receive_interval = seconds(30);
    bool first = true;
    work.during_send = [&] {
        if (first) {
            first = false;
            time.clock.Advance(seconds(90));  // a cycle that itself takes 90 seconds
        }
    };
    timer.MarkInitialised();
    timer.Arm();
    Run(1);  // 10:00:31: the send work runs until 10:02:01
    Run(150);
    const std::vector<EngineTestWork::Time> sends = work.SendTimes();
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_EQ(sends[0], At(10, 0, 31));
    EXPECT_EQ(sends[1], At(10, 3, 1));  // 60 seconds after 10:02:01, not 30
    EXPECT_EQ(sends[2], At(10, 4, 1));
    const std::vector<EngineTestWork::Time> receives = work.ReceiveTimes();
    ASSERT_GE(receives.size(), 2u);
    EXPECT_EQ(receives[0], At(10, 2, 1));  // after the long send work, same cycle
    EXPECT_EQ(receives[1], At(10, 2, 31));
}

TEST_F(tvEngineTimerTest, AnIntervalOfZeroMakesTheWorkDueAtEveryFiring) {
    work.send_interval = seconds(0);
    work.receive_interval = seconds(0);
    timer.MarkInitialised();
    timer.Arm();
    Run(5);
    EXPECT_EQ(work.SendTimes().size(), 5u);
    EXPECT_EQ(work.ReceiveTimes().size(), 5u);
}

TEST_F(tvEngineTimerTest, ReceiveWorkThatIsNotAllowedKeepsItsDueTime) {
    work.receive_allowed = false;
    timer.MarkInitialised();
    timer.Arm();
    Run(3);
    EXPECT_TRUE(work.ReceiveTimes().empty());
    EXPECT_EQ(timer.NextReceiveTime(), std::chrono::floor<seconds>(At(10, 0, 30)));
    work.receive_allowed = true;
    Run(1);
    EXPECT_EQ(work.ReceiveTimes(), std::vector{At(10, 0, 34)});
}

TEST_F(tvEngineTimerTest, AFiringDuringATransportWaitPollsButStartsNoSecondCycle) {
    EngineTestWork other_work;
    tvEngineTimer other_timer(other_work, reporter);
    other_timer.MarkInitialised();
    bool running_inside = false;
    work.during_send = [&] {
        running_inside = tvEngineTimer::CycleRunning();
        // A transport waiting 150 seconds, calling the hook every 100 ms.
        for (int i = 0; i < 1500; ++i) {
            time.clock.Advance(milliseconds(100));
            timer.PumpWhileWaiting();
        }
        // The busy flag is the process's: no engine starts a cycle meanwhile.
        other_timer.Tick();
    };
    timer.MarkInitialised();
    timer.Arm();
    Run(1);  // 10:00:31; the wait lasts until 10:03:01

    EXPECT_TRUE(running_inside);
    EXPECT_FALSE(tvEngineTimer::CycleRunning());
    EXPECT_EQ(work.SendTimes().size(), 1u);
    EXPECT_EQ(work.reloads, 1);
    EXPECT_TRUE(other_work.SendTimes().empty());
    EXPECT_EQ(work.PollTimes(), (std::vector{At(10, 1, 0), At(10, 2, 0), At(10, 3, 0)}));
    // The nested firings wrote nothing; the outer cycle ended with its status.
    EXPECT_EQ(status_texts, std::vector<std::string>{"Server Ready"});
}

TEST_F(tvEngineTimerTest, AStopIsAcknowledgedAtTheNextFiringAndEndsTheTimer) {
    timer.MarkInitialised();
    timer.Arm();
    Run(1);
    timer.RequestStop();
    timer.RequestStop();
    EXPECT_FALSE(timer.IsStopped());
    timer.Tick();  // a cycle does not start while stopping
    EXPECT_EQ(work.SendTimes().size(), 1u);
    EXPECT_FALSE(timer.IsStopped());

    Run(1);
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_FALSE(timer.Armed());
    EXPECT_EQ(status_line.Text(), "Server Stopped");
    Run(120);  // the timer is gone: no more firings, polls or cycles
    timer.RequestStop();
    EXPECT_EQ(work.SendTimes().size(), 1u);
    EXPECT_TRUE(work.PollTimes().empty());
    EXPECT_EQ(status_texts, (std::vector<std::string>{"Server Ready", "Server Stopped"}));
}

TEST_F(tvEngineTimerTest, AStopDuringATransportWaitIsAcknowledgedOnlyOnceTheCycleIsOver) {
    // A transport that waits sees the request at once and gives up; the stop is not
    // acknowledged ("Server Stopped") while the cycle is still running, so an operator
    // is never told the server stopped while it still talks to a carrier.
    bool seen_inside = false;
    bool stopped_inside = true;
    work.during_send = [&] {
        timer.RequestStop();
        for (int i = 0; i < 30; ++i) {
            time.clock.Advance(milliseconds(100));
            timer.PumpWhileWaiting();
        }
        seen_inside = timer.StopRequested();
        stopped_inside = timer.IsStopped();
    };
    timer.MarkInitialised();
    timer.Arm();
    Run(1);
    EXPECT_TRUE(seen_inside);
    EXPECT_FALSE(stopped_inside);
    EXPECT_FALSE(tvEngineTimer::CycleRunning());
    // The cycle that was stopping does not say "Server Ready" either.
    EXPECT_TRUE(status_texts.empty());
    Run(1);
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_EQ(status_texts, std::vector<std::string>{"Server Stopped"});
}

TEST_F(tvEngineTimerTest, SettingsChangesAreReadOnceEach) {
    EXPECT_TRUE(timer.ConsumeSettingsChanged());  // initially the settings are to be read
    EXPECT_FALSE(timer.ConsumeSettingsChanged());
    timer.MarkSettingsChanged();
    timer.MarkSettingsChanged();
    EXPECT_TRUE(timer.ConsumeSettingsChanged());
    EXPECT_FALSE(timer.ConsumeSettingsChanged());
}

}  // namespace
