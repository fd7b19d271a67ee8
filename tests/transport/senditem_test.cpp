#include "transport/senditem.h"

#include <gtest/gtest.h>

namespace {

TEST(CountFailedAttemptTest, FollowsTheRuleForEveryModeStatusAndAttemptCount) {
    struct Case {
        int mode;
        int status;
        int attempts;
        bool final;
        int want_status;
        int want_attempts;
    };
    const Case cases[] = {
        // Not final, attempts left, send mode: the whole message goes again later.
        {kModeSend, kStatusQueued, 0, false, kStatusQueued, 1},
        {kModeSend, kStatusSent, 3, false, kStatusQueued, 4},
        {kModeSend, kStatusSentPending, 3, false, kStatusQueued, 4},
        {kModeSend, kStatusDelivered, 3, false, kStatusSentPending, 4},
        {kModeSend, kStatusError, 3, false, kStatusError, 4},
        {kModeSend, kStatusCancelling, 3, false, kStatusCancelling, 4},
        {kModeSend, kStatusReceived, 3, false, kStatusReceived, 4},
        // The 20th failure still leaves the message queued; the 21st is final.
        {kModeSend, kStatusQueued, 19, false, kStatusQueued, 20},
        {kModeSend, kStatusQueued, 20, false, kStatusError, 20},
        // Status and cancel modes count the attempt and keep the status.
        {kModeStatus, kStatusSentPending, 5, false, kStatusSentPending, 6},
        {kModeStatus, kStatusSent, 5, false, kStatusSent, 6},
        {kModeStatus, kStatusDelivered, 5, false, kStatusDelivered, 6},
        {kModeCancel, kStatusCancelling, 5, false, kStatusCancelling, 6},
        // Attempts used up in status and cancel modes.
        {kModeStatus, kStatusSentPending, 20, false, kStatusSent, 20},
        {kModeStatus, kStatusSentPending, 25, false, kStatusSent, 25},
        {kModeCancel, kStatusCancelling, 20, false, kStatusCancelled, 20},
        // Final: attempts unchanged, the status settles.
        {kModeSend, kStatusQueued, 3, true, kStatusError, 3},
        {kModeSend, kStatusSent, 3, true, kStatusError, 3},
        {kModeSend, kStatusSentPending, 3, true, kStatusSent, 3},
        {kModeSend, kStatusDelivered, 3, true, kStatusError, 3},
        {kModeCancel, kStatusCancelling, 0, true, kStatusCancelled, 0},
        {kModeCancel, kStatusCancelled, 0, true, kStatusCancelled, 0},
        {kModeStatus, kStatusReply, 0, true, kStatusError, 0},
    };
    for (const Case& c : cases) {
        SendItem item;
        item.mode = c.mode;
        item.status = c.status;
        item.attempts = c.attempts;
        CountFailedAttempt(item, c.final);
        EXPECT_EQ(item.status, c.want_status)
            << "mode " << c.mode << " status " << c.status << " attempts " << c.attempts
            << (c.final ? " final" : "");
        EXPECT_EQ(item.attempts, c.want_attempts)
            << "mode " << c.mode << " status " << c.status << " attempts " << c.attempts
            << (c.final ? " final" : "");
    }
}

}  // namespace
