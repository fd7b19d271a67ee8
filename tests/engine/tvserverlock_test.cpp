// The daily purge of finished messages and the server lock between computers sharing
// one database.

#include <gtest/gtest.h>

#include <string>

#include "model/pagingcodes.h"
#include "tests/engine/serverfixture.h"
#include "tests/support/snpptestserver.h"

namespace {

using engine_testing::Computer;
using engine_testing::ServerFixture;
using std::chrono::hours;
using std::chrono::seconds;

constexpr const char* kLockRefused =
    "Server unable to start.  Already running on different computer!";

class tvServerPurgeTest : public ServerFixture {
  protected:
    void SetUp() override {
        ServerFixture::SetUp();
        // Unfinished pages go to a modem network, which cannot connect here: they stay
        // as they are, dated as seeded, apart from their counted attempt.
        device_ = AddDevice("Pager", AddNetwork("Modem", kProtocolTap), "1234");
    }
    int32_t Seed(int status, uint32_t date) {
        return AddMessage(device_, "text",
                          {.status = status, .date = date, .time = PackTime(9, 0, 0)});
    }
    bool Exists(int32_t number) { return ReadMessage(number).has_value(); }

    int32_t device_ = 0;
};

TEST_F(tvServerPurgeTest, AgeZeroDeletesEveryFinishedMessageDatedTodayOrEarlier) {
    SetOptions({{"PURGEAGE", 0}});
    const uint32_t today = PackDate(2024, 5, 1);
    const int32_t undated = Seed(kStatusSent, 0);
    const int32_t sent_today = Seed(kStatusSent, today);
    const int32_t error_before = Seed(kStatusError, PackDate(2024, 4, 30));
    const int32_t cancelled = Seed(kStatusCancelled, today);
    const int32_t delivered_tomorrow = Seed(kStatusDelivered, PackDate(2024, 5, 2));
    const int32_t queued = Seed(kStatusQueued, today);
    const int32_t cancelling = Seed(kStatusCancelling, today);
    StartEngine();
    Fire();

    EXPECT_EQ(CountStatus("Purging Old Messages"), 1u);
    EXPECT_FALSE(Exists(undated));
    EXPECT_FALSE(Exists(sent_today));
    EXPECT_FALSE(Exists(error_before));
    EXPECT_FALSE(Exists(cancelled));
    EXPECT_TRUE(Exists(delivered_tomorrow));
    EXPECT_TRUE(Exists(queued));
    EXPECT_TRUE(Exists(cancelling));
}

TEST_F(tvServerPurgeTest, AgeSevenKeepsUnfinishedMessagesAndPurgesOncePerDay) {
    SetOptions({{"PURGEAGE", 7}});
    const int32_t delivered_old = Seed(kStatusDelivered, PackDate(2024, 4, 23));
    const int32_t pending_old = Seed(kStatusSentPending, PackDate(2024, 4, 23));
    const int32_t sent_recent = Seed(kStatusSent, PackDate(2024, 4, 25));
    StartEngine();
    Fire();
    EXPECT_FALSE(Exists(delivered_old)) << "8 days old";
    EXPECT_TRUE(Exists(pending_old)) << "still followed";
    EXPECT_TRUE(Exists(sent_recent)) << "6 days old";

    // Later the same day nothing is purged, although the row is old enough.
    const int32_t error_old = Seed(kStatusError, PackDate(2024, 4, 1));
    Fire(seconds(60));
    EXPECT_EQ(CountStatus("Purging Old Messages"), 2u) << "said at every send cycle";
    EXPECT_TRUE(Exists(error_old));

    // The next day it is, and the cut-off has moved on by a day.
    FireAt(platform::MakeLocalTime(2024, 5, 2, 0, 0, 1));
    EXPECT_FALSE(Exists(error_old));
    EXPECT_FALSE(Exists(sent_recent)) << "7 days old";
    EXPECT_TRUE(Exists(pending_old));
}

class tvServerLockTest : public ServerFixture {
  protected:
    int32_t LockHolder() {
        cvRec* server = main_->settings.ServerRecord();
        EXPECT_NE(server, nullptr);
        EXPECT_EQ(server->Reread(), 0);
        return server->GetInt("MACHINENBR");
    }
};

TEST_F(tvServerLockTest, ARefusedLockShowsItsTextThenStopsWithoutSending) {
    SnppTestServer carrier;
    const int32_t device =
        AddDevice("Pager", AddNetwork("Carrier", kProtocolSnpp, carrier.port()), "1");
    const int32_t message = AddMessage(device, "hello");
    Computer* other = AddComputer("beta");
    const int32_t other_number = other->settings.MachineNumber();
    ASSERT_NE(other_number, main_->settings.MachineNumber());
    // The other computer's engine holds the lock.
    StartEngine(other);
    ASSERT_EQ(LockHolder(), other_number);
    const size_t before = StatusTexts().size();

    tvServer& engine = StartEngine();
    const std::vector<std::string> texts = StatusTexts();
    ASSERT_GT(texts.size(), before);
    EXPECT_EQ(texts.back(), kLockRefused);
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_EQ(infos.back(), kLockRefused);
    Fire(seconds(1), &engine);
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(status_line_.Text(), "Server Stopped");
    EXPECT_EQ(carrier.Connections(), 0);
    EXPECT_EQ(StatusOf(message), kStatusQueued);
    // Its stop leaves the other computer's lock alone.
    main_->engine.reset();
    EXPECT_EQ(LockHolder(), other_number);

    // Once the holder stops, the lock is free and this computer's engine starts.
    other->engine.reset();
    EXPECT_EQ(LockHolder(), 0);
    tvServer& again = StartEngine();
    EXPECT_EQ(status_line_.Text(), "Server Ready");
    EXPECT_EQ(LockHolder(), main_->settings.MachineNumber());
    Fire(seconds(1), &again);
    EXPECT_EQ(StatusOf(message), kStatusSent);
    main_->engine.reset();
    EXPECT_EQ(LockHolder(), 0);
}

TEST_F(tvServerLockTest, AComputerWhoseEngineDiedHoldingTheLockStartsAgainAtOnce) {
    // What a crash leaves: the lock written, never given back.
    cvRec* server = main_->settings.ServerRecord();
    ASSERT_NE(server, nullptr);
    ASSERT_NE(server->PutInt("MACHINENBR", main_->settings.MachineNumber()), 0);
    ASSERT_NE(server->PutDate("LOGINDATE", PackDate(2024, 4, 30)), 0);
    ASSERT_EQ(server->Save(), 0);

    tvServer& engine = StartEngine();
    EXPECT_EQ(status_line_.Text(), "Server Ready");
    ASSERT_EQ(server->Reread(), 0);
    EXPECT_EQ(server->GetDate("LOGINDATE"), PackDate(2024, 5, 1));
    EXPECT_EQ(server->GetTime("LOGINTIME"), PackTime(10, 0, 0));
    Fire(seconds(1), &engine);
    EXPECT_FALSE(engine.IsStopped());

    // Another computer is refused meanwhile.
    Computer* other = AddComputer("beta");
    tvServer& refused = StartEngine(other);
    Fire(seconds(1), &refused);
    EXPECT_TRUE(refused.IsStopped());
    EXPECT_FALSE(engine.IsStopped());
    EXPECT_EQ(LockHolder(), main_->settings.MachineNumber());

    engine.RequestStop();
    EXPECT_EQ(LockHolder(), 0) << "given back by the request itself";
    ASSERT_EQ(server->Reread(), 0);
    EXPECT_EQ(server->GetDate("LOGINDATE"), 0u);
    EXPECT_EQ(server->GetTime("LOGINTIME"), 0u);
}

}  // namespace

namespace {

TEST_F(tvServerLockTest, ASecondServerOfThisComputerIsRefusedAndLeavesTheFirstOneItsLock) {
    // Another program of the same computer on the same data: the record would let it
    // through, the running server's lock on its file does not.
    Computer* twin = AddComputer("alpha");
    ASSERT_EQ(twin->settings.MachineNumber(), main_->settings.MachineNumber());
    tvServer& engine = StartEngine();
    ASSERT_EQ(LockHolder(), main_->settings.MachineNumber());

    tvServer& refused = StartEngine(twin);
    EXPECT_EQ(InfoTexts().back(), kLockRefused);
    Fire(seconds(1), &refused);
    EXPECT_TRUE(refused.IsStopped());
    twin->engine.reset();
    EXPECT_EQ(LockHolder(), main_->settings.MachineNumber())
        << "the refused one gives back nothing";
    Fire(seconds(1), &engine);
    EXPECT_FALSE(engine.IsStopped());

    // Once the first has gone the second starts at once.
    main_->engine.reset();
    tvServer& second = StartEngine(twin);
    Fire(seconds(1), &second);
    EXPECT_FALSE(second.IsStopped());
    EXPECT_EQ(LockHolder(), main_->settings.MachineNumber());
}

}  // namespace
