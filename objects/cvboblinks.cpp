// Business objects leaving a graph: Remove, dropping an object's own links, dropping
// every link to an object, and giving up a reference whose linking field changed.
//
// Each walk goes through GetReferenceSlots and GetChildSets only, and is guarded by
// its flag (0x0004, 0x0008) against links that lead back to an object already being
// handled. Sets are walked by index from the last entry to the first, looking again
// at the count after every call, since a call may change the set it came from.

#include "log/cveventlog.h"
#include "objects/cvbob.h"
#include "objects/cvbobmap.h"
#include "objects/cvbobset.h"

namespace {

bool Tracing() {
    return EventLog().IsLogging(kLogBobRefCount);
}

}  // namespace

void cvBob::Remove() {
    cvBob* root = Root();
    const int32_t position = Position();
    if (position != 0 && position != -1) {
        // The row goes at the root's next save; a copy stays with the root.
        static_cast<void>(root->pending_deletes_.Add(*this));
    }
    if (IsRegistered() && !(flags_ & kOwnsMap)) {
        if (map_) {
            static_cast<void>(map_->Remove(this));
        }
        map_ = nullptr;
        flags_ &= ~kRegistered;
    }
    cvBobRef<> self = cvBobRef<>::Shared(this);  // alive until the links are gone
    root->DropLinkTo(this);
    static_cast<void>(DropLinks(true));
}

int cvBob::DropLinks(bool release_parent) {
    if (flags_ & kDroppingLinks) {
        return 0;
    }
    flags_ |= kDroppingLinks;
    OnDropLinks();
    if (Tracing()) {
        EventLog().LogEvent(kLogBobRefCount, "Dropping links: %s\n", ObjectText().c_str());
    }
    int result = 0;
    std::vector<cvBobSlot*> slots;
    GetReferenceSlots(slots);
    for (cvBobSlot* slot : slots) {
        cvBob* object = slot->Get();
        if (!object) {
            continue;
        }
        if (object->Parent() == this) {
            result = object->DropLinks(release_parent);
            if (result != 0) {
                break;
            }
        }
        static_cast<void>(Release(*slot));
    }
    if (result == 0) {
        std::vector<cvBobSetSlot*> sets;
        GetChildSets(sets);
        for (cvBobSetSlot* set : sets) {
            if (!*set) {
                continue;
            }
            result = (*set)->DropAll();
            if (result != 0) {
                break;
            }
            set->reset();
        }
    }
    if (result == 0 && release_parent) {
        static_cast<void>(Release(parent_));
    }
    if (Tracing()) {
        EventLog().LogEvent(kLogBobRefCount, "End of Dropping links: %s\n", ObjectText().c_str());
    }
    flags_ &= ~kDroppingLinks;
    return result;
}

void cvBob::DropLinkTo(cvBob* target) {
    if (!target || (flags_ & kDroppingLinkTo)) {
        return;
    }
    flags_ |= kDroppingLinkTo;
    cvBobRef<> hold = cvBobRef<>::Shared(target);  // alive for the duration

    const char* prefix = "";
    if (parent_.get() == target) {
        // This object's parent leaves the graph: its own parent takes its place.
        static_cast<void>(Release(parent_));
        cvBob* new_parent = target->Parent();
        if (new_parent) {
            parent_.Set(new_parent);
            static_cast<void>(new_parent->ChildSet().Add(this));
            if (Tracing()) {
                EventLog().LogEvent(kLogBobRefCount, "%s replacing parent link to %s with %s\n",
                                    ObjectText().c_str(), target->ObjectText().c_str(),
                                    new_parent->ObjectText().c_str());
            }
        }
        prefix = "former parent ";
    }
    if (Tracing()) {
        EventLog().LogEvent(kLogBobRefCount, "%s dropping link to %s%s\n", ObjectText().c_str(),
                            prefix, target->ObjectText().c_str());
    }

    std::vector<cvBobSlot*> slots;
    GetReferenceSlots(slots);
    for (cvBobSlot* slot : slots) {
        cvBob* object = slot->Get();
        if (object && object->Parent() == this) {
            object->DropLinkTo(target);
        }
        if (slot->Get() == target) {
            static_cast<void>(Release(*slot));
        }
    }
    std::vector<cvBobSetSlot*> sets;
    GetChildSets(sets);
    for (cvBobSetSlot* set : sets) {
        if (*set) {
            (*set)->DropLinkToAll(target);
        }
    }

    const std::string target_text = Tracing() ? target->ObjectText() : std::string();
    const int remaining = Release(hold);
    if (Tracing()) {
        EventLog().LogEvent(kLogBobRefCount, "%s End of dropping link to %s [%d]\n",
                            ObjectText().c_str(), target_text.c_str(), remaining);
    }
    flags_ &= ~kDroppingLinkTo;
}

void cvBob::ReleaseReference(cvBobSlot& slot) {
    cvBob* object = slot.Get();
    if (!object) {
        return;
    }
    // Still part of the graph, and still saved with it.
    static_cast<void>(ChildSet().Add(object));
    static_cast<void>(Release(slot));
}
