#pragma once
// An ordered set of business objects. Each entry holds one reference; the set gives
// them all back (last first) when it is destroyed. A set may belong to an object, its
// owner: the set's children are the entries whose parent is the owner, and an object
// added to the set of a registered owner joins the owner's graph map.
//
// Without duplicates, an object whose identifier is already in the set is not added
// again. Index errors return false or -1 and change nothing.
//
// The set interface (cvVSet) gives indexed access and the sorting shared with record
// sets; entries compare by their own GetText for names that are not stored fields.
//
// A set belongs to the thread of its objects.

#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "storage/cvobjectid.h"
#include "storage/cvvset.h"

class cvRec;

class cvBobSet : public cvVSet {
  public:
    // The owner is not counted: it holds the set, and must outlive it.
    explicit cvBobSet(cvBob* owner = nullptr, bool allow_duplicates = false);

    // Virtual operations, in their fixed order.
    cvBob* GetAt(int index) const override;
    // Puts a business object (object flag set) at `index`: the set takes a reference
    // to it and gives back the one it had to the entry replaced. False for a plain
    // record, no record or an index out of range.
    [[nodiscard]] bool SetAt(int index, cvRec* record) override;
    int GetCount() const override;
    int SwapWithNext(int index) override;
    // Index of the first object with that identifier, or -1 (always for type 0).
    int FindById(int32_t type, int32_t id1, int32_t id2, int32_t id3) const override;
    ~cvBobSet() override;
    // The object's own (change-detecting) put on every object in order, stopping at
    // the first failure and returning its result; nonzero (success) for an empty set.
    [[nodiscard]] virtual int PutTimeAll(std::string_view name, uint32_t time);
    [[nodiscard]] virtual int PutDateAll(std::string_view name, uint32_t date);
    [[nodiscard]] virtual int PutObjectIdAll(std::string_view name, const cvObjectId& id);
    [[nodiscard]] virtual int PutDoubleAll(std::string_view name, double value);
    [[nodiscard]] virtual int PutIntAll(std::string_view name, int32_t value);
    [[nodiscard]] virtual int PutStringAll(std::string_view name, std::string_view text);

    // Inserts the object at `index` (-1: at the end) with a reference of its own and
    // registers it when the owner is registered. Adds nothing (and answers true) for no
    // object, for an identifier already present without duplicates, and for an index
    // beyond the count.
    bool Add(cvBob* object, int index = -1);
    // Makes the object of a record with its type's factory, the owner as parent, and
    // adds it. False when the record's type has no factory or it made nothing.
    bool AddByRecord(const cvRec& record, int index = -1);
    // Removes the entry and gives its reference back; returns the object's remaining
    // count (0 when it was destroyed), -1 for an index out of range.
    int RemoveAt(int index);
    // RemoveAt from the last entry to the first.
    void RemoveAll();
    // From the last entry to the first: DropLinks on the owner's children, then
    // RemoveAt. Returns 0.
    [[nodiscard]] int DropAll();
    // Save on every child of the owner, in order; the first failure, else 0.
    [[nodiscard]] int SaveAll();
    // From the last entry to the first: the owner's children drop their links to the
    // target; the target itself leaves the set.
    void DropLinkToAll(cvBob* target);

    cvBob* Owner() const { return owner_; }
    bool AllowsDuplicates() const { return allow_duplicates_; }

  protected:
    void Reorder(const std::vector<int>& order) override;

  private:
    bool ValidIndex(int index) const { return index >= 0 && index < GetCount(); }
    bool IsOwnersChild(const cvBob* object) const;
    // The index of an entry holding `object`, `hint` first; -1 when none does.
    int IndexOf(const cvBob* object, int hint) const;
    template <typename Put>
    int PutAll(Put put);

    cvBob* owner_;
    std::vector<cvBobRef<>> objects_;
    bool allow_duplicates_;
};
