// Saving a graph of business objects.
//
// A root's save runs in one record-manager transaction of its file's manager:
// BeginSave, Begin Transaction, then for every object of the graph reached through
// SaveChildren: PreSave, store (or delete, with 0x0020) the object's row, delete the
// object's pending rows, save its children. The root commits when everything
// succeeded and aborts otherwise.
//
// Who aborts. On the user-interface thread, when the root's manager is the
// application's, the event log's transaction-open flag is set while the transaction
// runs: the first message box shown meanwhile (a failing store reports itself in one)
// aborts the transaction and says so in its text, and the save leaves the transaction
// alone afterwards. Anywhere else message boxes become log lines and cannot abort, so
// the save keeps the state to itself (a process-wide flag set by the engine thread
// would let an unrelated box on the user-interface thread think it aborted the
// engine's transaction) and aborts at its end, showing "The transaction was aborted
// due to errors".
//
// After an abort. The rows the aborted save stored or deleted are back as they were,
// so every object it stored, and every pending delete it carried out, is put back as
// it was before the save (bytes, position, saved CRC, read status): the graph reads as
// changed again and a later save repeats the work, instead of taking the undone rows
// for stored ones. The save journal below keeps what is needed for that.
//
// Pass marks. 0x0080 marks an object saved in the current pass, so that an object
// reached twice is saved once. The save that started the pass (the root's, or a save
// of an object whose ancestors are not saving) clears the marks of everything it can
// reach when it ends, so the next save visits everything again.

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "log/cveventlog.h"
#include "objects/cvbob.h"
#include "objects/cvbobmonitor.h"
#include "objects/cvbobset.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"

// What a root's save changed, to put back when its transaction is aborted.
struct cvBob::SaveJournal {
    struct StoredObject {
        cvBobRef<> object;
        cvRec before;  // the record as it was before its store or delete
    };
    struct DeletedRow {
        cvBobRef<> owner;  // whose pending deletes it came from
        cvRec before;
    };

    // Deques: entries are never moved (a record copies where it cannot move).
    std::deque<StoredObject> stored;
    std::deque<DeletedRow> deleted;

    void Restore() {
        for (StoredObject& entry : stored) {
            cvBob& object = *entry.object;
            object.SetBytes(entry.before.Buffer().Data(), entry.before.Buffer().Length());
            object.SetPosition(entry.before.Position());
            object.SetSavedCrc(entry.before.SavedCrc());
            object.SetReadStatus(entry.before.ReadStatus());
            static_cast<void>(object.ObjectId(true));
        }
        // Back into the pending deletes, in their order, unless the row is there again.
        for (auto it = deleted.rbegin(); it != deleted.rend(); ++it) {
            cvRecSet& pending = it->owner->pending_deletes_;
            if (pending.FindByPosition(it->before.Table().TableName(), it->before.Position()) < 0) {
                static_cast<void>(pending.Add(it->before));
            }
        }
    }
};

cvBob::SaveJournal* cvBob::ActiveJournal() {
    return Root()->journal_;
}

bool cvBob::AncestorSaving() const {
    for (const cvBob* object = parent_.get(); object; object = object->parent_.get()) {
        if (object->flags_ & kSaving) {
            return true;
        }
    }
    return false;
}

void cvBob::MarkStoredUpward() {
    for (cvBob* object = this; object; object = object->parent_.get()) {
        object->flags_ |= kStoredBelow;
    }
}

int cvBob::StoreRecord() {
    SaveJournal* journal = ActiveJournal();
    if (flags_ & kDeleteOnSave) {
        cvRec before(*this);
        const int status = Delete();
        if (status == 0) {
            if (journal) {
                journal->stored.push_back({cvBobRef<>::Shared(this), before});
            }
            MarkStoredUpward();
        }
        return status;
    }
    if (!IsModified()) {
        return 0;
    }
    cvRec before(*this);
    const int status = cvRec::Save(true);
    if (journal) {
        // Also after a failure: Save may have stamped the audit fields before it failed.
        journal->stored.push_back({cvBobRef<>::Shared(this), before});
    }
    if (status == 0) {
        static_cast<void>(ObjectId(true));  // an inserted row may have got its number
        MarkStoredUpward();
    }
    return status;
}

int cvBob::DeletePendingRows() {
    SaveJournal* journal = ActiveJournal();
    for (int i = pending_deletes_.GetCount() - 1; i >= 0; --i) {
        cvRec* record = pending_deletes_.GetAt(i);
        if (journal) {
            journal->deleted.push_back({cvBobRef<>::Shared(this), *record});
        }
        const int status = record->Delete();
        if (status == 0) {
            MarkStoredUpward();
            AnnounceObjectDeleted(*record);
        }
        pending_deletes_.RemoveAt(i);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

void cvBob::ClearPassMarks() {
    // Every object reachable from here, each once.
    std::unordered_set<cvBob*> seen;
    std::vector<cvBob*> todo{this};
    while (!todo.empty()) {
        cvBob* object = todo.back();
        todo.pop_back();
        if (!seen.insert(object).second) {
            continue;
        }
        object->flags_ &= ~kSavedThisPass;
        std::vector<cvBobSlot*> slots;
        object->GetReferenceSlots(slots);
        for (cvBobSlot* slot : slots) {
            if (slot->Get()) {
                todo.push_back(slot->Get());
            }
        }
        std::vector<cvBobSetSlot*> sets;
        object->GetChildSets(sets);
        for (cvBobSetSlot* set : sets) {
            for (int i = 0; *set && i < (*set)->GetCount(); ++i) {
                todo.push_back((*set)->GetAt(i));
            }
        }
    }
}

int cvBob::Save() {
    if (flags_ & (kSaving | kSavedThisPass)) {
        return 0;
    }
    if (!IsRegistered()) {
        const cvObjectId id = ObjectId();
        EventLog().LogEvent(kLogBobErrors, "Illegal attempt to save unlinked object %d-%d-%d-%d\n",
                            id.type, id.id1, id.id2, id.id3);
        return -1;
    }
    flags_ |= kSaving;
    flags_ &= ~(kDeleteOnSave | kStoredBelow);
    const bool root = IsRoot();
    const bool starts_pass = root || !AncestorSaving();
    if (EventLog().IsLogging(kLogBobUpdates)) {
        EventLog().LogEvent(kLogBobUpdates, "Saving: %s\n", ObjectText().c_str());
    }

    int result = 0;
    SaveJournal journal;
    cvFile* file = File();
    bool box_can_abort = false;  // the event log's transaction-open flag is ours
    if (root) {
        result = BeginSave();
        if (result != 0) {
            static_cast<void>(EventLog().MessageBox("Unable to begin transaction", kMbOk));
            flags_ &= ~kSaving;
            return result;
        }
        if (!file) {
            EventLog().LogEvent(kLogDbErrors, "File %s is not opened for update.\n",
                                Table().TableName().c_str());
            flags_ &= ~kSaving;
            return -1;
        }
        result = file->BeginTransaction();
        if (result != 0) {
            flags_ &= ~kSaving;
            return result;  // reported by the file
        }
        box_can_abort =
            EventLog().OnUserInterfaceThread() && StorageApp().FileManager() == &file->Manager();
        if (box_can_abort) {
            EventLog().SetTransactionOpen(true);
        }
        journal_ = &journal;
    }

    result = PreSave();
    if (result == 0) {
        result = StoreRecord();
    }
    flags_ |= kSavedThisPass;
    if (result == 0) {
        result = DeletePendingRows();
    }
    if (result == 0) {
        result = SaveChildren();
    }
    if (EventLog().IsLogging(kLogBobUpdates)) {
        EventLog().LogEvent(kLogBobUpdates, "End of Saving: %s\n", ObjectText().c_str());
    }
    if (result == 0 && (flags_ & kStoredBelow)) {
        AnnounceObjectSaved(*this);
    }
    flags_ &= ~(kDeleteOnSave | kStoredBelow);

    if (root) {
        journal_ = nullptr;
        const bool still_open = !box_can_abort || EventLog().TransactionOpen();
        if (still_open) {
            // The flag goes first: the box below must not take itself for the abort.
            if (box_can_abort) {
                EventLog().SetTransactionOpen(false);
            }
            if (result != 0) {
                static_cast<void>(file->AbortTransaction());  // reports its own failure
                static_cast<void>(
                    EventLog().MessageBox("The transaction was aborted due to errors", kMbOk));
            } else {
                result = file->EndTransaction();
            }
        }
        if (result != 0) {
            journal.Restore();
        }
        for (SaveJournal::StoredObject& entry : journal.stored) {
            entry.object->flags_ &= ~kSavedThisPass;  // also those no longer reachable
        }
    }
    if (starts_pass) {
        ClearPassMarks();
    }
    flags_ &= ~kSaving;
    return result;
}

int cvBob::SaveChildren() {
    std::vector<cvBobSlot*> slots;
    GetReferenceSlots(slots);
    for (cvBobSlot* slot : slots) {
        cvBob* object = slot->Get();
        if (object && object->Parent() == this) {
            const int result = object->Save();
            if (result != 0) {
                return result;
            }
        }
    }
    if (child_set_) {
        // Objects kept only for the graph's sake that were never stored are let go.
        for (int i = child_set_->GetCount() - 1; i >= 0;
             i = std::min(i, child_set_->GetCount()) - 1) {
            if (child_set_->GetAt(i)->Position() == 0) {
                static_cast<void>(child_set_->RemoveAt(i));
            }
        }
    }
    std::vector<cvBobSetSlot*> sets;
    GetChildSets(sets);
    for (cvBobSetSlot* set : sets) {
        if (*set) {
            const int result = (*set)->SaveAll();
            if (result != 0) {
                return result;
            }
        }
    }
    return 0;
}
