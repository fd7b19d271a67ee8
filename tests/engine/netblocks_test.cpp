#include "engine/netblocks.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/enginetestwork.h"

namespace {

using std::chrono::seconds;

class tvNetBlocksTest : public ::testing::Test {
  protected:
    // Seconds from now until the network may be visited again.
    long Wait(int32_t network) const {
        const NETBLOCK* block = blocks.Find(network);
        const auto now = std::chrono::floor<seconds>(platform::CurrentClock().Now());
        return block == nullptr ? 0 : static_cast<long>((block->retry_time - now).count());
    }

    ManualClockScope time{2024, 5, 1, 10, 0, 0};
    tvNetBlocks blocks;
};

TEST_F(tvNetBlocksTest, EachFailureWaitsTenSecondsLongerUpTo310) {
    std::vector<long> waits;
    for (int i = 0; i < 33; ++i) {
        blocks.MarkNetworkFailed(7);
        waits.push_back(Wait(7));
    }
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(waits[static_cast<size_t>(i)], 10L * (i + 1));
    }
    EXPECT_EQ(waits[30], 310);
    EXPECT_EQ(waits[31], 310);
    EXPECT_EQ(waits[32], 310);
    EXPECT_EQ(blocks.Find(7)->failure_count, tvNetBlocks::kMaxFailureCount);
}

TEST_F(tvNetBlocksTest, ABackedOffNetworkWaitsUntilItsRetryTimeAndAConnectionResetsTheWait) {
    EXPECT_FALSE(blocks.IsBackedOff(7));
    blocks.MarkNetworkFailed(7);
    blocks.MarkNetworkFailed(7);  // 20 seconds
    EXPECT_TRUE(blocks.IsBackedOff(7));
    EXPECT_FALSE(blocks.IsBackedOff(8));  // other networks go on being served
    time.clock.Advance(seconds(19));
    EXPECT_TRUE(blocks.IsBackedOff(7));
    time.clock.Advance(seconds(1));
    EXPECT_FALSE(blocks.IsBackedOff(7));

    blocks.MarkNetworkFailed(7);
    EXPECT_EQ(Wait(7), 30);
    blocks.MarkNetworkConnected(7);
    EXPECT_FALSE(blocks.IsBackedOff(7));
    EXPECT_EQ(blocks.Find(7)->failure_count, 0);
    blocks.MarkNetworkFailed(7);
    EXPECT_EQ(Wait(7), 10);
}

TEST_F(tvNetBlocksTest, AConnectionToANetworkWithoutABlockMakesNoBlock) {
    blocks.MarkNetworkConnected(3);
    EXPECT_EQ(blocks.Find(3), nullptr);
}

TEST_F(tvNetBlocksTest, AVisitDefersStatusQueriesByTheStatusInterval) {
    blocks.MarkNetworkDone(4, seconds(300));
    ASSERT_NE(blocks.Find(4), nullptr);
    EXPECT_EQ(blocks.Find(4)->failure_count, 0);
    EXPECT_TRUE(blocks.IsStatusDeferred(4));
    EXPECT_FALSE(blocks.IsBackedOff(4));
    time.clock.Advance(seconds(299));
    EXPECT_TRUE(blocks.IsStatusDeferred(4));
    // Without an options record the time stays as it was.
    blocks.MarkNetworkDone(4, std::nullopt);
    time.clock.Advance(seconds(1));
    EXPECT_FALSE(blocks.IsStatusDeferred(4));

    // A first visit without an options record makes a block that defers nothing.
    blocks.MarkNetworkDone(5, std::nullopt);
    ASSERT_NE(blocks.Find(5), nullptr);
    EXPECT_FALSE(blocks.IsStatusDeferred(5));

    // A connection clears the deferral.
    blocks.MarkNetworkDone(4, seconds(60));
    blocks.MarkNetworkConnected(4);
    EXPECT_FALSE(blocks.IsStatusDeferred(4));
}

}  // namespace
