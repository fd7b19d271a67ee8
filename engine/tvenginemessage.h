#pragma once
// A page message as the send cycle handles it: a copy of its PAGEMSG row (which knows
// where it is stored, so it is saved back in place), the device it goes to and that
// device's network, read through the engine's own tables.
//
// A message whose device is missing has no network either; a device whose network is
// missing leaves the message without a network. Such a message cannot be sent: the
// send cycle sets it to Error.
//
// Engine thread only, like the tables it is read from.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/tvenginereporter.h"
#include "storage/cvrec.h"

class cvFile;

// The engine's open paging tables.
struct tvEngineTables {
    cvFile* messages = nullptr;  // PAGEMSG
    cvFile* devices = nullptr;   // PAGEDEV
    cvFile* networks = nullptr;  // PAGENET
};

class tvEngineMessage {
  public:
    // The current row of the messages table, its device and network looked up by number.
    static tvEngineMessage FromCurrentRow(const tvEngineTables& tables);

    cvRec& Record() { return message_; }
    const cvRec& Record() const { return message_; }
    const cvRec* Device() const { return device_ ? &*device_ : nullptr; }
    const cvRec* Network() const { return network_ ? &*network_ : nullptr; }

    int32_t Number() const { return message_.GetInt("PAGEMSGNBR"); }
    int Status() const { return message_.GetInt("STATUS"); }
    uint32_t ScheduleDate() const { return message_.GetDate("SCHEDDATE"); }
    uint32_t ScheduleTime() const { return message_.GetTime("SCHEDTIME"); }
    // PAGENETNBR of the network; 0 when the message has none.
    int32_t NetworkNumber() const;
    bool Confidential() const;

    // The text as it is to be sent.
    std::string PlainText() const;
    // The smaller non-zero MAXMSGLEN of device and network, else the width of TEXT.
    int MaxTextLength() const;
    // What the message log shows of the message as it now stands.
    MessageRowFacts RowFacts() const;

  private:
    explicit tvEngineMessage(cvRec message) : message_(std::move(message)) {}

    cvRec message_;
    std::optional<cvRec> device_;
    std::optional<cvRec> network_;
};

// The current row of an open file as a record of its table (no position).
cvRec CopyOfCurrentRow(const cvFile& file);
// Looks a row up by its number on key 0 (`field` is that key's field); none when it is
// not there.
std::optional<cvRec> FindByNumber(cvFile& file, const char* field, int32_t number);
