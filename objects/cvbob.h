#pragma once
// A business object: a record that knows its identity, its place in a graph of
// related objects and how many holders refer to it.
//
// Identity. The identifier is the object type and up to three ids read from the
// record through the type registry (objects/cvobjecttype.h). It is cached and computed
// again on request, after a Save, and after a change through PutInt, PutUInt,
// PutInt64 or PutDate.
//
// Graph. An object may have a parent (the object it belongs to; the child holds one
// reference to it). An object without a parent is a root: it owns the graph's object
// map, which indexes every registered object of the graph by identifier so that each
// stored row is represented by at most one object per graph. Objects refer to other
// objects through reference slots (cvBobSlot members) and hold child objects in child
// sets (cvBobSet, owned through cvBobSetSlot members). Every algorithm walks the graph
// only through GetReferenceSlots and GetChildSets, which derived classes extend with
// their own links. The base has one reference slot, the type reference (the object
// whose identifier this record stores in TYPE, TRANSNBR, TRANSNBR2, TRANSNBR3), and one
// child set, the default child set, created on first use.
//
// Counting. An object is born with one reference, its creator's. Every holder takes
// one (a filled slot) and gives it back; the object drops its links and destroys
// itself when the count reaches 0, never earlier. Parent and child hold each other, so
// the owner of a graph holds its root through a cvBobRoot (objects/cvbobroot.h), which
// drops the root's links before letting it go. Objects are made only on the heap,
// through NewBob (objects/cvbobref.h), NewBobRoot or a type's factory; the destructor
// is not public.
//
// Saving. Save of a root opens one record-manager transaction on the root's file,
// stores every changed object of the graph (audit stamps included), deletes the rows
// removed from the graph (the root's pending deletes) and commits, or aborts the whole
// at the first failure. When the transaction is aborted, every object and pending
// delete of the graph is put back as it was before the save (bytes, position, saved
// CRC), so that the same graph can be saved again once the cause is fixed.
//
// Flags 0x0001, 0x0002, 0x0004, 0x0008 and 0x0010 are set only for the duration of one
// call; 0x0080 lasts for one save of the graph.
//
// Traces go to the event log: references and links under 0x4000, saves under 0x0800,
// refused saves under 0x0400.
//
// Threads: an object and its graph are used by one thread at a time; counts are plain
// integers. Object monitors told of saves may run on that thread (objects/cvbobmonitor.h).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "objects/cvbobref.h"
#include "storage/cvobjectid.h"
#include "storage/cvrec.h"
#include "storage/cvrecset.h"

class cvBobFieldMonitor;
class cvBobMap;
class cvBobSet;
class cvFile;
struct cvObjectType;

// The owning slot of one child set; empty until the set is made.
using cvBobSetSlot = std::unique_ptr<cvBobSet>;

class cvBob : public cvRec {
  public:
    // Flags.
    static constexpr uint32_t kSaving = 0x0001;
    static constexpr uint32_t kSearching = 0x0002;       // graph search (cycle guard)
    static constexpr uint32_t kDroppingLinkTo = 0x0004;  // DropLinkTo in progress
    static constexpr uint32_t kDroppingLinks = 0x0008;   // DropLinks in progress
    static constexpr uint32_t kRegistering = 0x0010;
    static constexpr uint32_t kDeleteOnSave = 0x0020;  // set by PreSave of derived classes
    static constexpr uint32_t kStoredBelow = 0x0040;   // this save stored or deleted here or below
    static constexpr uint32_t kSavedThisPass = 0x0080;
    static constexpr uint32_t kRegistered = 0x0100;
    static constexpr uint32_t kOwnsMap = 0x0200;

    // Notify codes.
    static constexpr int kNotifyRefresh = 1;
    static constexpr int kNotifyRollCall = 2;

    // A copy of `record` with one reference (the creator's). With a parent, the child
    // holds one reference to the parent, and a stored row that comes back into the
    // graph leaves the root's pending deletes. Without one, the object is a root that
    // owns a new object map and is registered in it.
    cvBob(cvBob* parent, const cvRec& record);
    // The same with the record cvRec(file, mode) (cvRec::kFromFile reads the row's
    // position).
    cvBob(cvBob* parent, cvFile& file, int mode);

    cvBob(const cvBob&) = delete;
    cvBob& operator=(const cvBob&) = delete;

    // Virtual operations, in their fixed order (those of cvRec first).
    //
    // Change-detecting puts: when the field already holds the value (read the same way:
    // GetInt for PutInt, GetText(name, 1) for PutString ...), return success and touch
    // nothing. Otherwise apply the field's rule, put, and on success tell every field
    // monitor (old and new value by address, see cvBobFieldMonitor). Nonzero is
    // success, as with cvRec.
    //
    // A change of TYPE gives up the type reference first.
    [[nodiscard]] int PutObjectId(std::string_view name, const cvObjectId& id) override;
    [[nodiscard]] int PutTime(std::string_view name, uint32_t time) override;
    // Clears the cached identifier.
    [[nodiscard]] int PutDate(std::string_view name, uint32_t date) override;
    // A difference below 0.00001 is no change.
    [[nodiscard]] int PutDouble(std::string_view name, double value) override;
    // Clears the cached identifier.
    [[nodiscard]] int PutInt64(std::string_view name, uint32_t low, uint32_t high) override;
    // Clears the cached identifier.
    [[nodiscard]] int PutUInt(std::string_view name, uint32_t value) override;
    // A change of TYPE, TRANSNBR, TRANSNBR2 or TRANSNBR3 gives up the type reference
    // first; clears the cached identifier.
    [[nodiscard]] int PutInt(std::string_view name, int32_t value) override;
    [[nodiscard]] int PutString(std::string_view name, std::string_view text) override;

    // True for "cvBob"; derived classes add their own names.
    virtual bool IsKindOf(std::string_view class_name) const;
    // Takes the object out of its graph: a stored row is queued in the root's pending
    // deletes (deleted at the root's next save), the object leaves the map, nothing in
    // the graph refers to it any more, and it drops its own links. The caller's own
    // references stay valid.
    virtual void Remove();
    // cvRec::Assign (same table, source read status 0); the cached identifier is
    // computed again. Returns whether it assigned.
    virtual bool AssignRecord(const cvRec& record);
    // The identifier's text (FormatObjectId).
    virtual std::string ObjectText() const;
    // Called at the start of DropLinks; does nothing here.
    virtual void OnDropLinks();
    // Appends every reference slot this object holds; the base appends the type
    // reference.
    virtual void GetReferenceSlots(std::vector<cvBobSlot*>& slots);
    // Appends every child-set slot; the base appends the default child set's.
    virtual void GetChildSets(std::vector<cvBobSetSlot*>& sets);
    // Validation before the object is stored; nonzero ends the save with that result.
    [[nodiscard]] virtual int PreSave();
    // Called on a root before its transaction begins; nonzero refuses the save.
    [[nodiscard]] virtual int BeginSave();
    // Saves the children: objects of reference slots whose parent is this object;
    // then drops the never-stored objects of the default child set (last first); then
    // every child-set object whose parent is this object, in order. Returns the first
    // failure, else 0.
    [[nodiscard]] virtual int SaveChildren();
    // Enters this object, then its children (through reference slots and child sets),
    // into the root's map. Nothing for an object already registered.
    virtual void Register();
    // kNotifyRefresh: RefreshIfUnchanged (reported, not quiet), returning its status.
    // kNotifyRollCall: the event "Roll Call: %s (refcnt=%d), child of %s\n" on every
    // category. Other codes do nothing. Returns 0 unless the refresh fails.
    [[nodiscard]] virtual int Notify(int code);

    // One more reference; returns the new count ("NewRef[%d->%d] on %s\n").
    int AddRef();
    // Gives back the reference `holder` has and empties the holder; nothing for an
    // empty holder ("DeleteRef[%d->%d] on %s\n"). When the count reaches 0 the object
    // drops its links and is destroyed. Returns the remaining count (0 when destroyed
    // or empty).
    static int Release(cvBobSlot& holder);
    // Logs "New object %s, referenced by %s\n" (or "..., unknown initial reference (no
    // parent)\n"); derived constructors call it once the object is complete.
    void LogNew() const;

    // The identifier, cached unless `refresh` (or not yet computed).
    cvObjectId ObjectId(bool refresh = false) const;
    // In a root: the root itself when it has the identifier, else the registered
    // object of its map with it, else null. Other objects ask their root.
    cvBob* FindObject(const cvObjectId& id);
    // A counted reference to the object with that identifier: found in the graph (the
    // root's map, or for an unregistered object the unregistered part of its graph),
    // else made by the type's factory with this object as parent, from the cached
    // record, the stored row (read by the type's key) or, with `create`, a new record
    // holding the identifying values. A made object joins the map when this object is
    // registered. Empty for type 0 or when nothing is found or made.
    cvBobRef<> GetObject(const cvObjectId& id, bool create = false);
    cvBobRef<> GetObject(int32_t type, int32_t id1, int32_t id2 = 0, int32_t id3 = 0,
                         bool create = false);
    // Finds or makes the object as GetObject does, by identifier, from a file's current
    // row or from a record, and adds it to the set (which takes its own reference).
    // False when there is no object to add.
    bool AddToSet(cvBobSet& set, const cvObjectId& id, bool create = false);
    bool AddToSet(cvBobSet& set, cvFile& file);
    bool AddToSet(cvBobSet& set, const cvRec& record);

    // Saves the object and what it holds. A root does it in one transaction of its
    // file's manager. Returns 0 on success, -1 for an unregistered object ("Illegal
    // attempt to save unlinked object %d-%d-%d-%d\n" under 0x0400), else the first
    // failing status. A failure inside a root's save aborts the transaction: on the
    // user-interface thread (with the application's file manager) the first message box
    // does it and carries "<Transaction Aborted>"; otherwise the save aborts at its end
    // and shows "The transaction was aborted due to errors".
    [[nodiscard]] int Save();

    // Releases everything this object holds: children drop their own links first,
    // reference slots are emptied, child sets emptied and destroyed, and with
    // `release_parent` the parent link is given back. Returns 0, or the first failure
    // of a child.
    [[nodiscard]] int DropLinks(bool release_parent);
    // Makes the graph below this object let go of `target`: slots holding it are
    // emptied, sets drop it, and children whose parent it was take the target's parent
    // as their parent (joining its default child set).
    void DropLinkTo(cvBob* target);
    // Gives up the reference of a slot whose linking field changed: the object moves to
    // the default child set (so it is still saved with the graph), then the slot is
    // emptied.
    void ReleaseReference(cvBobSlot& slot);

    int RefCount() const { return ref_count_; }
    uint32_t Flags() const { return flags_; }
    bool HasFlags(uint32_t bits) const { return (flags_ & bits) == bits; }
    bool IsRegistered() const { return (flags_ & kRegistered) != 0; }
    cvBob* Parent() const { return parent_.get(); }
    bool IsRoot() const { return parent_.IsEmpty(); }
    // The top of the parent chain (this object for a root).
    cvBob* Root();
    // The slot of the object whose identifier TYPE..TRANSNBR3 hold; filled by derived
    // classes when they resolve it.
    cvBobRef<>& TypeReference() { return type_ref_; }
    // Rows removed from the graph, deleted at the next save of this object (the root).
    const cvRecSet& PendingDeletes() const { return pending_deletes_; }
    // The default child set, created on first use. It keeps objects for the graph's
    // sake (those a changed link no longer refers to, children whose parent left the
    // graph); they are saved with the graph, except that those never stored are let go
    // at the next save.
    cvBobSet& ChildSet();
    cvBobSet* ChildSetIfAny() const { return child_set_.get(); }
    // The map this object is registered in (its own for a root), or null.
    cvBobMap* Map() const { return map_; }
    // The field monitors, in the order they started watching.
    const std::vector<cvBobFieldMonitor*>& FieldMonitors() const { return field_monitors_; }

  protected:
    // Only Release destroys an object.
    ~cvBob() override;

    void SetFlags(uint32_t bits) { flags_ |= bits; }
    void ClearFlags(uint32_t bits) { flags_ &= ~bits; }

  private:
    friend class cvBobFieldMonitor;
    friend class cvBobMap;
    struct SaveJournal;

    void Init(cvBob* parent);
    // Tells every field monitor of a change (old and new value by address).
    void TellFieldMonitors(std::string_view name, const void* old_value, const void* new_value);
    // True when the put is one the record accepts, tried on a copy (for values that
    // are already stored, which are not written).
    template <typename Put>
    int AcceptsPut(Put put) const;
    bool IsStoredField(std::string_view name) const;

    // Steps of GetObject: find in the graph, else make with `make`.
    template <typename Make>
    cvBobRef<> FindOrMake(const cvObjectId& id, Make make);
    cvBob* SearchUnregistered(const cvObjectId& id);
    // Makes the object from the cached record or the row read by the type's key (or,
    // with `create`, a new record holding the identifying values).
    cvBobRef<> LoadByIdentifier(const cvObjectType& type, const cvObjectId& id, bool create);

    // Steps of Save.
    int StoreRecord();
    int DeletePendingRows();
    void MarkStoredUpward();
    bool AncestorSaving() const;
    void ClearPassMarks();
    SaveJournal* ActiveJournal();

    int ref_count_ = 1;
    uint32_t flags_ = 0;
    cvBobRef<> parent_;
    cvBobRef<> type_ref_;
    cvRecSet pending_deletes_;
    std::vector<cvBobFieldMonitor*> field_monitors_;  // not counted: monitors hold us
    cvBobSetSlot child_set_;
    mutable cvObjectId id_;
    mutable bool id_known_ = false;
    cvBobMap* map_ = nullptr;  // a root's own (owned_map_), or its root's
    std::unique_ptr<cvBobMap> owned_map_;
    bool destroying_ = false;         // the count reached 0: being destroyed
    SaveJournal* journal_ = nullptr;  // on a root while its save runs
};
