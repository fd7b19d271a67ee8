#pragma once
// The set interface shared by record sets and business-object sets: indexed access,
// neighbour swaps and search by object identifier, and the sorting built on them.
//
// Sorting keeps the order of records that compare equal (a stable sort), and does
// nothing for fewer than two records, for records of more than one table, or without
// a comparison. Descending order reverses the comparison, so equal records still keep
// their order.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class cvRec;

// -1, 0 or 1 (any negative, zero or positive value) ordering two records.
using cvRecCompare = std::function<int(const cvRec& a, const cvRec& b)>;

class cvVSet {
  public:
    cvVSet() = default;
    cvVSet(const cvVSet&) = delete;
    cvVSet& operator=(const cvVSet&) = delete;

    // Virtual operations, in their fixed order.
    //
    // The record at `index` (0-based), or null out of range.
    virtual cvRec* GetAt(int index) const = 0;
    // Replaces the entry at `index`; false out of range or without a record.
    [[nodiscard]] virtual bool SetAt(int index, cvRec* record) = 0;
    virtual int GetCount() const = 0;
    // Exchanges the entries at index and index+1; returns index+1.
    virtual int SwapWithNext(int index) = 0;
    // Index of the first entry with that object identifier, or -1 (always -1 for type
    // 0, which is no object).
    virtual int FindById(int32_t type, int32_t id1, int32_t id2, int32_t id3) const = 0;
    virtual ~cvVSet();

    // True when every entry is of the first entry's table (true for 0 or 1 entries).
    bool AllSameTable() const;

    void Sort(const cvRecCompare& compare, bool descending = false);
    // Compares name by name until one differs: a field of the table with the field
    // comparison of records, any other name by GetText(name, 1) as text (business
    // objects answer texts for names that are not stored fields).
    void SortByFields(const std::vector<std::string>& names, bool descending = false);
    // Sorts by one name; for plain records a name that is not a field of the table is
    // logged as a missing attribute and nothing is sorted.
    void SortByField(const std::string& name, bool descending = false);

  protected:
    // Puts the entries in `order` (the current indices, in their new order). This
    // version gets there by neighbour swaps; sets that hold their entries in an array
    // move them directly.
    virtual void Reorder(const std::vector<int>& order);
};
