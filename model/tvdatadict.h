#pragma once
// The product's data dictionary: the framework dictionary plus the creation options of
// the product's data files and the defaults of its new records.
//
// Creation options (applied by AddTable, that is to tables read from the dictionary
// files; built-in definitions carry their own): PAGEMSG page size 2048 with the data
// compression flag 0x08 added to its file flags; PAGEDEV, PAGENET and the four tables
// of the older files page size 512; TOLVANE 1024. Other tables keep what they have.
//
// New-record defaults (InitNewRecord, after the framework's): PAGEMSG a provisional
// PAGEMSGNBR, QCONFIDENTIAL "N", STATUS 0; PAGEDEV a provisional PAGEDEVNBR, QGROUP
// "N"; PAGENET a provisional PAGENETNBR, PROTOCOL 1, RATE 2400, DATABITS 7, PARITY 69
// ("E"), STOPBITS 1.
//
// Threads: as the framework dictionary. The provisional counter may be drawn from any
// thread.

#include <cstdint>
#include <memory>

#include "storage/cvdatadict.h"

class tvDataDict : public cvDataDict {
  public:
    tvDataDict() = default;
    ~tvDataDict() override = default;

    // Sets the table's page size and file flags by its name, then enters it.
    void AddTable(std::unique_ptr<cvDDFile> table) override;
    // The framework's defaults, then the table's own. False for TOLVANE, whose records
    // stay zero-filled (their texts are zero-padded); true for every other table.
    bool InitNewRecord(const cvDDFile& table, cvBuffer& buffer) override;
};

// The next provisional record number of a new object: -101, then -102, ... for the
// whole process. Every call takes a number of its own, whatever the thread.
int32_t NextProvisionalNumber();
