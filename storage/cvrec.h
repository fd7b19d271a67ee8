#pragma once
// A record: one row of a dictionary-described table held in memory as the exact bytes
// the record manager stores, read and written by field name.
//
// The buffer is always the table's record length. The position says where the row is
// stored: 0 for a row not stored yet, -1 for a scratch record (a key or filter buffer
// that is never stored), otherwise the row's physical position. The saved CRC is the
// CRC-32 of the bytes as last read from or written to the file; a record differs from
// its stored row when the CRC of its bytes no longer matches.
//
// Field access follows storage/cvfieldaccess.h: unknown names log under 0x0010 (QINACTIVE
// aside), refused types and sizes fail quietly, writes return nonzero on success and
// change only their field. Business objects derive from cvRec and override the virtual
// accessors; the virtual operations are declared in their fixed order.
//
// A record belongs to one thread at a time; its table definition outlives it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/cvbuffer.h"
#include "storage/cvddfile.h"
#include "storage/cvobjectid.h"

class cvFile;

class cvRec {
  public:
    // Construction modes. Copying the file's current row (kFromFile, with its position,
    // or kCopyOfFile, as a new row) needs an open file; from a table alone every mode but
    // kScratch makes a new record.
    static constexpr int kNewRecord = 0;
    static constexpr int kFromFile = 1;
    static constexpr int kCopyOfFile = 2;
    static constexpr int kScratch = 3;

    // A new record (position 0) with the defaults of the table's dictionary, or with
    // kScratch a scratch record (position -1). The saved CRC is that of the result.
    explicit cvRec(const cvDDFile& table, int mode = kNewRecord, cvFile* file = nullptr);
    // A record of the file's table belonging to the file. kFromFile copies the file's
    // current record and asks the file for its position (when that fails, the read
    // status is the failure and the record is made new); kCopyOfFile copies the current
    // record as a new row (position 0); other modes make a new record (kScratch a
    // scratch record). The saved CRC is that of the result.
    explicit cvRec(cvFile& file, int mode = kNewRecord);
    // A record holding a copy of a row image (cut or zero-padded to the record length),
    // position 0, read status 0, the saved CRC that of the copy. No defaults are applied.
    cvRec(const cvDDFile& table, const uint8_t* row, size_t length, cvFile* file = nullptr);
    // Copies table, file, read status, position, saved CRC and bytes; the object flag
    // is cleared.
    cvRec(const cvRec& other);
    // Assign() (below); the target is left unchanged when it refuses.
    cvRec& operator=(const cvRec& other);
    virtual ~cvRec();

    // Virtual accessors, in their fixed order.
    //
    // Text of a field. Codes 0 and 1 are ordinary (texts trimmed); 3 shows an Integer
    // as hundredths; 8 negates a number; 9 shows 0 (and a date of year 0) as empty; 12
    // appends " %"; other codes keep a String's blanks and pass it through the
    // application's text hook.
    virtual std::string GetText(std::string_view name, int format = 0) const;
    virtual int32_t GetInt(std::string_view name) const;
    virtual int64_t GetInt64(std::string_view name) const;
    virtual double GetDouble(std::string_view name) const;
    virtual uint32_t GetDate(std::string_view name) const;
    [[nodiscard]] virtual int PutObjectId(std::string_view name, const cvObjectId& id);
    [[nodiscard]] virtual int PutTime(std::string_view name, uint32_t time);
    [[nodiscard]] virtual int PutDate(std::string_view name, uint32_t date);
    [[nodiscard]] virtual int PutDouble(std::string_view name, double value);
    [[nodiscard]] virtual int PutInt64(std::string_view name, uint32_t low, uint32_t high);
    [[nodiscard]] virtual int PutUInt(std::string_view name, uint32_t value);
    [[nodiscard]] virtual int PutInt(std::string_view name, int32_t value);
    [[nodiscard]] virtual int PutString(std::string_view name, std::string_view text);
    // Hand the record to the application's report engine; -1 when none is attached.
    virtual int PrintReport(const std::string& report);
    virtual int PrintList(const std::string& report, const std::string& link_table,
                          const std::string& link_field);

    uint32_t GetUInt(std::string_view name) const;
    uint32_t GetTime(std::string_view name) const;
    cvObjectId GetObjectId(std::string_view name) const;
    [[nodiscard]] int PutBytes(std::string_view name, const void* data, size_t length);
    [[nodiscard]] int FillField(std::string_view name, uint8_t value);
    // The field's first byte inside the buffer (no copy), or null.
    uint8_t* FieldData(std::string_view name);
    const uint8_t* FieldData(std::string_view name) const;

    // -1, 0 or 1 comparing the field here with the same field of `other`, a buffer of a
    // record of the same table. Integers, dates and times compare as numbers, floating
    // and packed fields by value, texts byte by byte ignoring letter case.
    int CompareField(const cvBuffer& other, const cvDDField& field) const;
    int CompareField(const cvBuffer& other, std::string_view name) const;
    // True for a new or scratch record, and when the bytes differ from the saved CRC.
    bool IsModified() const;
    // False only when the table has QINACTIVE and GetText(QINACTIVE, 1) is "Y".
    bool IsActive() const;
    // Copies the fields this table shares by name with the source (min of the two
    // sizes from each field's start; SPARE... fields zeroed instead).
    void CopyFieldsFrom(const cvRec& source);
    void CopyFieldsFrom(const cvDDFile& source_table, const uint8_t* row, size_t length);
    // "%s %s %s" of ENTERBY (code 9), DATEENTER and TIMEENTER.
    std::string EnteredText() const;

    // Persistence through the record's file (storage/cvrecfile.cpp).
    //
    // Stores the record when it has changed: inserts a new row (filling in the numbers
    // the record manager assigns) or updates the stored one, after checking that
    // nobody changed the stored row since this record read it (80 when somebody did:
    // reported, nothing written). With `stamp`, DATEMOD, TIMEMOD, MODBY and CTFLAG are
    // set first. Returns 0 when stored or when there was nothing to store, -1 when the
    // file is not open for update (logged), else the status of the failing step.
    [[nodiscard]] int Save(bool stamp = false);
    // Deletes the stored row; the record becomes a new, unstored one with the same
    // contents. Returns 0 when deleted or never stored, -1 when the file is not open
    // for update, else the status of the failing step.
    [[nodiscard]] int Delete();
    // Reads the stored row again by position. 0 without a read for a new or scratch
    // record.
    [[nodiscard]] int Reread();
    // Rereads the row unless the record has local changes. With `quiet` a failure is
    // only logged, and a row that is gone makes the record new (position 0) and gives 0.
    [[nodiscard]] int RefreshIfUnchanged(bool quiet);
    // Copies the file's current record into this one and reads the file's position
    // into it (when the file is of this table); a failed position makes the record new.
    // The saved CRC becomes that of the bytes. Returns the Get Position status.
    [[nodiscard]] int FillFromFile(cvFile& file);
    // CopyFieldsFrom of the file's current record.
    void CopyFieldsFrom(const cvFile& file);

    // Clears the bytes and fills them as a new record: the dictionary's InitNewRecord,
    // then blanks in the text fields it left empty. Position 0 (a scratch record stays
    // at -1); the saved CRC is left to the caller.
    void InitAsNew();
    // Replaces the bytes with a row image, cut or zero-padded to the record length.
    void SetBytes(const uint8_t* row, size_t length);

    // Assigns only when `other` has the same table definition and read status 0:
    // bytes, saved CRC, position and read status. Returns whether it assigned.
    bool Assign(const cvRec& other);

    const cvDDFile& Table() const { return *table_; }
    cvFile* File() const { return file_; }
    void SetFile(cvFile* file) { file_ = file; }
    int ReadStatus() const { return read_status_; }
    void SetReadStatus(int status) { read_status_ = status; }
    int32_t Position() const { return position_; }
    void SetPosition(int32_t position) { position_ = position; }
    uint32_t SavedCrc() const { return saved_crc_; }
    void SetSavedCrc(uint32_t crc) { saved_crc_ = crc; }
    // The saved CRC becomes that of the current bytes.
    void MarkSaved() { saved_crc_ = buffer_.Crc32(); }
    const cvBuffer& Buffer() const { return buffer_; }
    cvBuffer& Buffer() { return buffer_; }
    int ObjectFlag() const { return object_flag_; }
    void SetObjectFlag(int flag) { object_flag_ = flag; }

  private:
    const cvDDFile* table_;
    cvFile* file_;
    int32_t read_status_ = 0;
    int32_t position_ = 0;
    uint32_t saved_crc_ = 0;
    cvBuffer buffer_;
    int32_t object_flag_ = 0;
};
