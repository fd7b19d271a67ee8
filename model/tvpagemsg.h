#pragma once
// A page message: the business object over one PAGEMSG row (object type 1001).
//
// Links, loaded on first use: the device (type 1000 by PAGEDEVNBR) and, through it, the
// network (type 1002 by the device's PAGENETNBR). Setting PAGEDEVNBR to another value
// gives up both; setting PAGENETNBR gives up the network.
//
// Confidential messages (QCONFIDENTIAL "Y") store TEXT through the confidential
// transform: GetText("TEXT") reads "Confidential", PlainText() gives the text back,
// PutString("TEXT") hides what it stores, and switching QCONFIDENTIAL between yes and no
// rewrites the stored text the other way. GetText and GetInt of "PAGENETNBR" read the
// device's network number (the table has no such field).
//
// Before saving a message that is not stored yet: a provisional PAGEMSGNBR becomes 0,
// and a message to a group with members goes to its first member while a copy of the
// record is inserted for every further member (key order); a failing insert stops the
// save. A group without members keeps the group as recipient.
//
// A message belongs to the thread of its graph.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "objects/cvbobroot.h"

class cvFileMgr;
class tvPageDev;
class tvPageNet;

class tvPageMsg : public cvBob {
  public:
    tvPageMsg(cvBob* parent, const cvRec& record);

    // A new message over a new PAGEMSG record of the manager (status 0, no schedule), or
    // the stored message with that number, as a root; empty when the table cannot be
    // opened or holds no such row.
    static cvBobRoot<tvPageMsg> Create(cvFileMgr& manager);
    static cvBobRoot<tvPageMsg> Load(cvFileMgr& manager, int32_t number);

    std::string GetText(std::string_view name, int format = 0) const override;
    int32_t GetInt(std::string_view name) const override;
    [[nodiscard]] int PutInt(std::string_view name, int32_t value) override;
    [[nodiscard]] int PutString(std::string_view name, std::string_view text) override;
    bool IsKindOf(std::string_view class_name) const override;
    void GetReferenceSlots(std::vector<cvBobSlot*>& slots) override;
    [[nodiscard]] int PreSave() override;

    int32_t Number() const { return GetInt("PAGEMSGNBR"); }
    bool IsConfidential() const;
    // TEXT as typed: the transform undone for a confidential message.
    std::string PlainText() const;

    // The cached links, or null.
    tvPageDev* Device();
    tvPageNet* Network();
    // The longest text the recipient takes: 0 without both a device and a network;
    // else the smaller of the device's and the network's MAXMSGLEN where both set one,
    // the one that does, or the width of TEXT when neither does.
    int MaxTextLength();

  protected:
    ~tvPageMsg() override;

  private:
    // PreSave of a new message to a group.
    [[nodiscard]] int ExpandGroup();

    cvBobRef<tvPageDev> device_;
    cvBobRef<tvPageNet> network_;
};

// The confidential transform; applied twice it gives the text back.
std::string ConfidentialTransform(std::string_view text);
// TEXT of a PAGEMSG record as typed, for code that reads the rows without the object
// (the engine): the transform undone when QCONFIDENTIAL is yes.
std::string PlainTextOf(const cvRec& message);

// Pages a text of `characters` characters fills at maximum length `max_length`: none
// (a blank count) when the maximum is 6 or less, 1 up to the maximum, else the
// characters divided by (maximum - 6), rounded up.
std::optional<int> PageCount(size_t characters, int max_length);
