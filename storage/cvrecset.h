#pragma once
// An ordered set of records that owns them: each entry is a separate copy with its own
// buffer. Index errors return false or -1 and change nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/cvobjectid.h"
#include "storage/cvvset.h"

class cvFile;

class cvRecSet : public cvVSet {
  public:
    cvRecSet();

    cvRec* GetAt(int index) const override;
    // Puts `record` at `index`; the set takes ownership of it. The record it replaces
    // is not destroyed: ownership passes to the caller, who had it from GetAt.
    [[nodiscard]] bool SetAt(int index, cvRec* record) override;
    int GetCount() const override;
    int SwapWithNext(int index) override;
    // Compares the identifier the business-object layer computes for each record
    // (StorageApp().RecordId); -1 for type 0.
    int FindById(int32_t type, int32_t id1, int32_t id2, int32_t id3) const override;
    ~cvRecSet() override;
    // The put on every record, in order, stopping at the first failure; the last
    // result (nonzero for success, also for an empty set).
    [[nodiscard]] virtual int PutObjectIdAll(std::string_view name, const cvObjectId& id);
    [[nodiscard]] virtual int PutIntAll(std::string_view name, int32_t value);
    [[nodiscard]] virtual int PutStringAll(std::string_view name, std::string_view text);

    // Inserts a copy of `record` at `index` (-1: at the end); false beyond the count.
    [[nodiscard]] bool Add(const cvRec& record, int index = -1);
    // Inserts a record built from the file's current row, with its position.
    [[nodiscard]] bool AddFromFile(cvFile& file, int index = -1);
    // Destroys `count` records from `index` (-1: to the end); nothing when the range
    // does not fit.
    void RemoveAt(int index, int count = 1);
    void RemoveAll();
    // For a stored record, the index of the record of the same table at the same
    // position; for a new or scratch record, FindById of its identifier; else -1.
    int Find(const cvRec& record) const;
    // The first record of that table at that position, or -1.
    int FindByPosition(std::string_view table, int32_t position) const;

  protected:
    void Reorder(const std::vector<int>& order) override;

  private:
    bool ValidIndex(int index) const;
    bool Insert(std::unique_ptr<cvRec> record, int index);

    std::vector<std::unique_ptr<cvRec>> records_;
};
