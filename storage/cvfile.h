#pragma once
// One open table file: the record manager's position block, the data buffer that
// holds the file's current record, the key buffer and the open mode, owned by the file
// manager that opened it.
//
// States: not open (mode 1000: a definition and a data buffer, no file; every
// operation that needs the file answers 3 "not open"), or open in mode 0 (normal), -2
// (read-only) or -4 (exclusive). Open and Reopen move between them, Close goes back to
// 1000. The position block stays at one address for the object's life, so a cvFile is
// neither copied nor moved.
//
// Reads put the found row into the data buffer; Insert and Update take the row from
// it. For every operation by key the key buffer is built from the key's segment fields
// in the data buffer, so callers put the wanted values into the data buffer (through
// the typed accessors, ClearKey or SetKeyHigh) and name the key.
//
// Every record-manager operation returns its status (0 = success) and reports a
// failure through ReportDbError, offering to exit; the one-shot suppress flag makes
// the next failure's report quiet (logged only). Status 4 (key not found) and 9 (end
// of file) on reads are returned without a report.
//
// A cvFile belongs to its manager's thread; all its calls act for the manager's
// record-manager client.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/recman/recman.h"
#include "storage/cvbuffer.h"
#include "storage/cvddfile.h"
#include "storage/cvobjectid.h"

class cvFileMgr;
class cvRec;

class cvFile {
  public:
    static constexpr int kNotOpen = 1000;
    static constexpr int kNoKey = -1;  // Get Direct on no particular key

    cvFile(const cvDDFile& table, cvFileMgr& manager);
    ~cvFile();  // closes the file when open
    cvFile(const cvFile&) = delete;
    cvFile& operator=(const cvFile&) = delete;

    // Record-manager operations.
    //
    // Opens `path` in `mode` (0, -2 or -4) and remembers the path; `quiet` (or the
    // suppress flag) makes a failure's report quiet.
    [[nodiscard]] int Open(const std::string& path, int mode, bool quiet = false);
    // 0 without a call when not open.
    [[nodiscard]] int Close();
    // Reads the file's statistics into Statistics().
    [[nodiscard]] int Stat();
    [[nodiscard]] int GetEqual(int key);
    [[nodiscard]] int GetGreaterOrEqual(int key);
    [[nodiscard]] int GetLessThan(int key);
    [[nodiscard]] int GetLessOrEqual(int key);
    [[nodiscard]] int GetFirst(int key);
    [[nodiscard]] int GetLast(int key);
    // Along the key of the last positioning read.
    [[nodiscard]] int GetNext();
    [[nodiscard]] int GetPrevious();
    // Reads the row at a physical position; `key` (or kNoKey) is the key to go on
    // along. When the row is not in that key (44), the first row of the key is read
    // instead; with kNoKey, Get Direct is tried again along key 0. On failure the data
    // buffer keeps what it held.
    [[nodiscard]] int GetDirect(int32_t position, int key = kNoKey);
    // The physical position of the current row; the data buffer is left alone.
    [[nodiscard]] int GetPosition(int32_t* position);
    // Reads the row at a relative place along `key`, 0 (first) to 10000 (last).
    [[nodiscard]] int GetPercentage(int percent, int key);
    // The relative place (0 to 10000) of the current row along `key`, or by its
    // physical position with kNoKey. The data buffer is left alone.
    [[nodiscard]] int FindPercentage(int key, int* percent);
    // Inserts the data buffer; the record manager fills AutoInc fields holding 0.
    [[nodiscard]] int Insert();
    // Replaces the current row with the data buffer.
    [[nodiscard]] int Update();
    [[nodiscard]] int Delete();
    // Transactions of the manager's client; the file only carries the call.
    [[nodiscard]] int BeginTransaction();
    [[nodiscard]] int EndTransaction();
    // After a successful abort, plays the dictionary directory's "bomb.wav".
    [[nodiscard]] int AbortTransaction();

    // Number of rows, from Stat.
    [[nodiscard]] int RecordCount(uint32_t* count);

    int OpenMode() const { return open_mode_; }
    bool IsOpen() const { return open_mode_ != kNotOpen; }
    // Nothing when already open in `mode`; otherwise closes and opens the same path in
    // `mode`. Returns the status of the close or the open.
    [[nodiscard]] int Reopen(int mode);

    cvBuffer& DataBuffer() { return data_; }
    const cvBuffer& DataBuffer() const { return data_; }
    // Copies a record of this table into the data buffer. Returns 0, or -1 for a record
    // of another table.
    [[nodiscard]] int SetRecord(const cvRec& record);
    // Every byte of the key's segment fields set to 0 (the lowest key) or 0x7F (above
    // every ordinary value, to reach the end of a key range with GetLessOrEqual).
    void ClearKey(int key);
    void SetKeyHigh(int key);
    // The key number of the last operation by key.
    int KeyNumber() const { return key_number_; }

    // Typed access to the current record in the data buffer (the record rules).
    std::string GetText(std::string_view name, int format = 0) const;
    int32_t GetInt(std::string_view name) const;
    uint32_t GetUInt(std::string_view name) const;
    uint32_t GetDate(std::string_view name) const;
    uint32_t GetTime(std::string_view name) const;
    cvObjectId GetObjectId(std::string_view name) const;
    double GetDouble(std::string_view name) const;
    [[nodiscard]] int PutString(std::string_view name, std::string_view text);
    [[nodiscard]] int PutInt(std::string_view name, int32_t value);
    [[nodiscard]] int PutUInt(std::string_view name, uint32_t value);
    [[nodiscard]] int PutDate(std::string_view name, uint32_t date);
    [[nodiscard]] int PutTime(std::string_view name, uint32_t time);
    [[nodiscard]] int PutDouble(std::string_view name, double value);
    [[nodiscard]] int FillField(std::string_view name, uint8_t value);
    uint8_t* FieldData(std::string_view name);
    const uint8_t* FieldData(std::string_view name) const;
    bool IsActive() const;

    // The next failing operation is reported quietly; the report clears the flag.
    void SuppressNextReport(bool suppress) { suppress_next_report_ = suppress; }
    bool ReportSuppressed() const { return suppress_next_report_; }

    const cvDDFile& Table() const { return *table_; }
    cvFileMgr& Manager() const { return *manager_; }
    const std::string& TableName() const { return table_->TableName(); }
    // The bare data file name of the definition, used in reports.
    std::string FileName() const { return table_->FileName(); }
    // The path of the last successful open (the intended one before any).
    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

    // The statistics of the last successful Stat (a Stat layout).
    const std::vector<uint8_t>& Statistics() const { return statistics_; }

    // True when the physical file matches its definition; mismatches are logged under
    // 0x0010. Issues Stat.
    bool CheckConsistency();

  private:
    // Issues one call for the manager's client; counts it.
    int Call(uint16_t operation, void* data, uint32_t* length, int key_number);
    // Reports a failing status (taking the suppress flag) and returns it.
    int Report(int status, int operation, bool quiet = false);
    // The key's segment fields from the data buffer into the key buffer.
    void BuildKey(int key);
    void FillKey(int key, uint8_t value);
    int ReadByKey(uint16_t operation, int key, bool build_key);
    int ReadAlong(uint16_t operation);
    int GetDirectCall(int32_t position, int key);

    const cvDDFile* table_;
    cvFileMgr* manager_;
    alignas(8) uint8_t position_block_[RECMAN_POSITION_BLOCK_SIZE] = {};
    cvBuffer data_;
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
    int key_number_ = 0;
    int open_mode_ = kNotOpen;
    bool suppress_next_report_ = false;
    std::string path_;
    std::vector<uint8_t> statistics_;
};
