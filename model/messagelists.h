#pragma once
// The day's message lists of the Page Log: which PAGEMSG rows they hold and how a
// changed message moves between them.
//
// Queued: rows walked on key 1 (STATUS, SCHEDDATE, SCHEDTIME) from STATUS 0, while
// STATUS is 0 and SCHEDDATE is not after today (a zero date, "as soon as possible",
// included). Sent: rows walked on key 2 (SCHEDDATE) backwards from the end of today,
// while SCHEDDATE is today, keeping those whose STATUS is not 0; newest first.

#include <cstdint>

class cvBob;
class cvBobSet;
class cvRec;

// True when a message belongs in the queued list: STATUS 0 and due today or earlier.
bool BelongsInQueuedList(const cvRec& message, uint32_t today);
// True when it belongs in the sent list: STATUS not 0 and SCHEDDATE today.
bool BelongsInSentList(const cvRec& message, uint32_t today);

// Adds the list's messages to `list` as objects of `owner`'s graph, through the
// PAGEMSG table of the owner's file manager (the application's when it has no file).
void LoadQueuedMessages(cvBob& owner, cvBobSet& list, uint32_t today);
void LoadSentMessages(cvBob& owner, cvBobSet& list, uint32_t today);
