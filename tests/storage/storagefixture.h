#pragma once
// A small database for the file-layer tests: a dictionary of four tables built in
// code and an empty data directory in the shared test environment
// (tests/support/testenvironment.h: record-manager state, lock wait, profiles), the
// event log open on every category, and the environment's presenter, which records
// every message box shown on this (the user-interface) thread and answers No to the
// offer to exit.
//
// Tables:
//   DEVICE  DEVICE.DAT  64 bytes, page 1024, file flags 4: DEVNBR AutoInc; NAME String 20; GROUPNBR
//           Integer; QINACTIVE; the seven audit fields; SPARE. Key 0 DEVNBR; key 1
//           GROUPNBR + NAME (duplicates, modifiable, NAME without case); key 2
//           QINACTIVE (null key, duplicates, modifiable: rows holding "Y" are left out).
//   NOTE    NOTE.DAT    NOTENBR AutoInc, TEXT String 30. Key 0 NOTENBR.
//   CODES   CODES.DAT   CODE String 8, VALUE Integer. Key 0 CODE (no AutoInc key).
//   SCRATCH SCRATCH.TMP a temporary table: ID Integer, key 0 ID.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "log/cveventlog.h"
#include "storage/cvdatadict.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"
#include "storage/dberror.h"
#include "tests/support/eventlogcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace storage_testing {

inline constexpr cvFieldDef kDeviceFields[] = {
    {"DEVNBR", kTypeAutoInc, 0, 4, 0},    {"NAME", kTypeString, 4, 20, 0},
    {"GROUPNBR", kTypeInteger, 24, 4, 0}, {"QINACTIVE", kTypeString, 28, 1, 0},
    {"DATEENTER", kTypeDate, 29, 4, 0},   {"TIMEENTER", kTypeTime, 33, 4, 0},
    {"ENTERBY", kTypeInteger, 37, 4, 0},  {"DATEMOD", kTypeDate, 41, 4, 0},
    {"TIMEMOD", kTypeTime, 45, 4, 0},     {"MODBY", kTypeInteger, 49, 4, 0},
    {"CTFLAG", kTypeInteger, 53, 4, 0},   {"SPARE", kTypeString, 57, 7, 0},
};
inline constexpr cvKeyDef kDeviceKeys[] = {
    {"DEVNBR", 0x0000},
    {"GROUPNBR", 0x0013},
    {"NAME", 0x0023},
    {"QINACTIVE", 0x000B},
};
inline constexpr int kDeviceLength = 64;
inline constexpr uint8_t kDeviceFileFlags = 0x04;

inline constexpr cvFieldDef kNoteFields[] = {
    {"NOTENBR", kTypeAutoInc, 0, 4, 0},
    {"TEXT", kTypeString, 4, 30, 0},
};
inline constexpr cvKeyDef kNoteKeys[] = {{"NOTENBR", 0x0000}};

inline constexpr cvFieldDef kCodeFields[] = {
    {"CODE", kTypeString, 0, 8, 0},
    {"VALUE", kTypeInteger, 8, 4, 0},
};
inline constexpr cvKeyDef kCodeKeys[] = {{"CODE", 0x0000}};

inline constexpr cvFieldDef kScratchFields[] = {{"ID", kTypeInteger, 0, 4, 0}};
inline constexpr cvKeyDef kScratchKeys[] = {{"ID", 0x0000}};

using testing_support::ShownBox;

class StorageFixture : public ::testing::Test {
  protected:
    StorageFixture() {
        EXPECT_EQ(dict_.AddDefinition({"DEVICE", "DEVICE.DAT", 1024, 0, kDeviceFields, kDeviceKeys,
                                       kDeviceFileFlags}),
                  0);
        EXPECT_EQ(dict_.AddDefinition({"NOTE", "NOTE.DAT", 512, 0, kNoteFields, kNoteKeys, 0}), 0);
        EXPECT_EQ(dict_.AddDefinition({"CODES", "CODES.DAT", 512, 0, kCodeFields, kCodeKeys, 0}),
                  0);
        EXPECT_EQ(dict_.AddDefinition(
                      {"SCRATCH", "SCRATCH.TMP", 512, 0, kScratchFields, kScratchKeys, 0}),
                  0);
        log_.Clear();
    }
    ~StorageFixture() override {
        StorageApp().Reset();
        ResetDbExitRequested();
    }

    std::unique_ptr<cvFileMgr> NewManager() {
        return std::make_unique<cvFileMgr>(data_.dir(), &dict_);
    }

    // Opens a table through the fixture's manager, failing the test when it cannot.
    cvFile& Open(const char* table, int mode = 0) {
        cvFile* file = manager().OpenTable(table, mode);
        EXPECT_NE(file, nullptr) << table;
        return *file;
    }

    cvFileMgr& manager() {
        if (!manager_) {
            manager_ = NewManager();
        }
        return *manager_;
    }

    // Stores a new DEVICE row and returns its DEVNBR.
    int AddDevice(const std::string& name, int group, const char* inactive = "N") {
        cvRec record(Open("DEVICE"));
        EXPECT_NE(record.PutString("NAME", name), 0);
        EXPECT_NE(record.PutInt("GROUPNBR", group), 0);
        EXPECT_NE(record.PutString("QINACTIVE", inactive), 0);
        EXPECT_EQ(record.Save(), 0);
        return record.GetInt("DEVNBR");
    }

    // Log texts containing `part`.
    std::vector<std::string> LogLinesWith(const std::string& part) const {
        std::vector<std::string> found;
        for (const std::string& text : log_.Texts()) {
            if (text.find(part) != std::string::npos) {
                found.push_back(text);
            }
        }
        return found;
    }

    testing_support::TestEnvironment env_;
    TempDir& data_ = env_.Directory("data");
    cvDataDict dict_;
    EventLogCapture& log_ = env_.CaptureEventLog();
    std::vector<ShownBox>& boxes_ = env_.Presenter().Boxes();
    std::unique_ptr<cvFileMgr> manager_;  // destroyed first: closes its files
};

}  // namespace storage_testing
