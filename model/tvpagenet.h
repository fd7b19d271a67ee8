#pragma once
// A paging network: the business object over one PAGENET row (object type 1002).
//
// It is never refused before saving; a provisional PAGENETNBR becomes 0 so that the
// insert numbers the row. It caches the day's queued and sent message lists (see
// model/messagelists.h), loaded on first use; their messages are its children.
//
// A network belongs to the thread of its graph.

#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "objects/cvbobroot.h"
#include "objects/cvbobset.h"

class cvFileMgr;

class tvPageNet : public cvBob {
  public:
    tvPageNet(cvBob* parent, const cvRec& record);

    // A new network over a new PAGENET record of the manager (defaults applied), as the
    // root of its own graph; empty when the table cannot be opened.
    static cvBobRoot<tvPageNet> Create(cvFileMgr& manager);
    // The stored network with that number, as a root; empty when there is none.
    static cvBobRoot<tvPageNet> Load(cvFileMgr& manager, int32_t number);
    // The stored network with that DESCRIPTION, as a root; empty when there is none.
    static cvBobRoot<tvPageNet> FindByDescription(cvFileMgr& manager, std::string_view text);

    bool IsKindOf(std::string_view class_name) const override;
    void GetChildSets(std::vector<cvBobSetSlot*>& sets) override;
    [[nodiscard]] int PreSave() override;

    int32_t Number() const { return GetInt("PAGENETNBR"); }
    int32_t Protocol() const { return GetInt("PROTOCOL"); }

    // The day's lists, read on first use (today from the clock seam): queued messages
    // due today or earlier, in due order; today's messages that are not queued, newest
    // first.
    cvBobSet& QueuedMessages();
    cvBobSet& SentMessages();
    // Forgets both lists; the next use reads them again.
    void DropMessageLists();
    // Keeps the loaded lists current after `message` (a PAGEMSG record, from this graph
    // or any other) was saved: it leaves a list it no longer belongs in and joins one it
    // now belongs in (queued in due order, sent at the top). This graph's own object of
    // the message takes the saved contents unless it has changes of its own.
    void MessageChanged(const cvRec& message);
    // Cancels every queued message, from the last row to the first, keeping the lists
    // current. Stops at the first failing save and returns its status; 0 on success.
    [[nodiscard]] int CancelAll();

  protected:
    ~tvPageNet() override;

  private:
    cvBobSetSlot queued_;
    cvBobSetSlot sent_;
};
