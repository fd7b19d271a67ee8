#include "transport/senditem.h"

void CountFailedAttempt(SendItem& item, bool final) {
    if (!final && item.attempts < kMaxAttempts) {
        ++item.attempts;
        if (item.mode == kModeSend) {
            if (item.status == kStatusSent || item.status == kStatusSentPending) {
                item.status = kStatusQueued;
            } else if (item.status == kStatusDelivered) {
                item.status = kStatusSentPending;
            }
        }
        return;
    }
    switch (item.status) {
        case kStatusSentPending:
            item.status = kStatusSent;
            break;
        case kStatusCancelling:
            item.status = kStatusCancelled;
            break;
        case kStatusCancelled:
            break;
        default:
            item.status = kStatusError;
            break;
    }
}
