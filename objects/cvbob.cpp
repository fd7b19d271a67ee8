// Business objects: construction, identity, counting, change-detecting puts, finding
// and making objects of a graph, registration and notifications. Saving lives in
// cvbobsave.cpp, removing and dropping links in cvboblinks.cpp.

#include "objects/cvbob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "log/cveventlog.h"
#include "objects/cvbobfieldmonitor.h"
#include "objects/cvbobmap.h"
#include "objects/cvbobset.h"
#include "objects/cvobjecttype.h"
#include "storage/cvddfile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"

namespace {

constexpr double kDoubleTolerance = 0.00001;

bool IsTypeReferenceField(std::string_view name) {
    return name == "TYPE" || name == "TRANSNBR" || name == "TRANSNBR2" || name == "TRANSNBR3";
}

bool Tracing(uint32_t category) {
    return EventLog().IsLogging(category);
}

// The signed value of a field's bytes by size (1, 2, 4 or 8), little-endian.
int64_t SignedBytes(const uint8_t* bytes, uint16_t size) {
    uint64_t value = 0;
    for (uint16_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    if (size < 8 && (value >> (8 * size - 1)) != 0) {
        value |= ~uint64_t{0} << (8 * size);  // sign-extend
    }
    return static_cast<int64_t>(value);
}

}  // namespace

cvBob::cvBob(cvBob* parent, const cvRec& record) : cvRec(record) {
    Init(parent);
}

cvBob::cvBob(cvBob* parent, cvFile& file, int mode) : cvRec(file, mode) {
    Init(parent);
}

void cvBob::Init(cvBob* parent) {
    SetObjectFlag(1);
    if (parent) {
        parent_.Set(parent);
        const int32_t position = Position();
        if (position != 0 && position != -1) {
            // A stored row that comes back into the graph must not be deleted.
            cvRecSet& pending = parent->Root()->pending_deletes_;
            const int index = pending.FindByPosition(Table().TableName(), position);
            if (index >= 0) {
                pending.RemoveAt(index);
            }
        }
        return;
    }
    owned_map_ = std::make_unique<cvBobMap>();
    map_ = owned_map_.get();
    flags_ |= kRegistered | kOwnsMap;
}

cvBob::~cvBob() {
    // Monitors hold a reference, so none should be left; any that is forgets us.
    for (cvBobFieldMonitor* monitor : field_monitors_) {
        static_cast<void>(monitor->watched_.Surrender());
    }
    field_monitors_.clear();
    if (owned_map_) {
        owned_map_.reset();  // objects still in it forget it
    } else if (map_) {
        static_cast<void>(map_->Remove(this));
    }
    map_ = nullptr;
}

// --- Counting -------------------------------------------------------------------

int cvBob::AddRef() {
    const int before = ref_count_++;
    if (Tracing(kLogBobRefCount)) {
        EventLog().LogEvent(kLogBobRefCount, "NewRef[%d->%d] on %s\n", before, ref_count_,
                            ObjectText().c_str());
    }
    return ref_count_;
}

int cvBob::Release(cvBobSlot& holder) {
    cvBob* object = holder.Surrender();  // the holder is empty from here on
    if (!object) {
        return 0;
    }
    if (Tracing(kLogBobRefCount)) {
        EventLog().LogEvent(kLogBobRefCount, "DeleteRef[%d->%d] on %s\n", object->ref_count_,
                            object->ref_count_ - 1, object->ObjectText().c_str());
    }
    if (object->ref_count_ > 0) {
        --object->ref_count_;
    }
    if (object->ref_count_ > 0) {
        return object->ref_count_;
    }
    if (object->destroying_) {
        return 0;  // a reference taken and given back while it is being destroyed
    }
    object->destroying_ = true;
    static_cast<void>(object->DropLinks(true));
    delete object;
    return 0;
}

void cvBob::LogNew() const {
    if (!Tracing(kLogBobRefCount)) {
        return;
    }
    if (parent_) {
        EventLog().LogEvent(kLogBobRefCount, "New object %s, referenced by %s\n",
                            ObjectText().c_str(), parent_->ObjectText().c_str());
    } else {
        EventLog().LogEvent(kLogBobRefCount,
                            "New object %s, unknown initial reference (no parent)\n",
                            ObjectText().c_str());
    }
}

// --- Identity -------------------------------------------------------------------

cvObjectId cvBob::ObjectId(bool refresh) const {
    if (refresh || !id_known_) {
        id_ = ObjectIdOf(*this);
        id_known_ = true;
    }
    return id_;
}

std::string cvBob::ObjectText() const {
    return FormatObjectId(ObjectId());
}

bool cvBob::IsKindOf(std::string_view class_name) const {
    return class_name == "cvBob";
}

bool cvBob::AssignRecord(const cvRec& record) {
    const bool assigned = Assign(record);
    if (assigned) {
        static_cast<void>(ObjectId(true));
    }
    return assigned;
}

cvBob* cvBob::Root() {
    cvBob* object = this;
    while (object->parent_) {
        object = object->parent_.get();
    }
    return object;
}

// --- Change-detecting puts ------------------------------------------------------

bool cvBob::IsStoredField(std::string_view name) const {
    return Table().FindField(name, false) != nullptr;
}

template <typename Put>
int cvBob::AcceptsPut(Put put) const {
    cvRec trial(*this);
    return put(trial);
}

void cvBob::TellFieldMonitors(std::string_view name, const void* old_value, const void* new_value) {
    if (field_monitors_.empty()) {
        return;
    }
    // A monitor may stop watching (or others start) while being told.
    const std::vector<cvBobFieldMonitor*> snapshot = field_monitors_;
    for (cvBobFieldMonitor* monitor : snapshot) {
        if (std::find(field_monitors_.begin(), field_monitors_.end(), monitor) !=
            field_monitors_.end()) {
            monitor->FieldChanged(name, old_value, new_value);
        }
    }
}

int cvBob::PutObjectId(std::string_view name, const cvObjectId& id) {
    if (!IsStoredField(name)) {
        return cvRec::PutObjectId(name, id);
    }
    const cvObjectId old = GetObjectId(name);
    if (old == id) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutObjectId(name, id); });
    }
    if (name == "TYPE") {
        ReleaseReference(type_ref_);
    }
    const int result = cvRec::PutObjectId(name, id);
    if (result) {
        TellFieldMonitors(name, &old, &id);
    }
    return result;
}

int cvBob::PutTime(std::string_view name, uint32_t time) {
    if (!IsStoredField(name)) {
        return cvRec::PutTime(name, time);
    }
    const uint32_t old = GetTime(name);
    if (old == time) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutTime(name, time); });
    }
    const int result = cvRec::PutTime(name, time);
    if (result) {
        TellFieldMonitors(name, &old, &time);
    }
    return result;
}

int cvBob::PutDate(std::string_view name, uint32_t date) {
    if (!IsStoredField(name)) {
        return cvRec::PutDate(name, date);
    }
    const uint32_t old = GetDate(name);
    if (old == date) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutDate(name, date); });
    }
    id_known_ = false;
    const int result = cvRec::PutDate(name, date);
    if (result) {
        TellFieldMonitors(name, &old, &date);
    }
    return result;
}

int cvBob::PutDouble(std::string_view name, double value) {
    if (!IsStoredField(name)) {
        return cvRec::PutDouble(name, value);
    }
    const double old = GetDouble(name);
    if (std::fabs(old - value) < kDoubleTolerance) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutDouble(name, value); });
    }
    const int result = cvRec::PutDouble(name, value);
    if (result) {
        TellFieldMonitors(name, &old, &value);
    }
    return result;
}

int cvBob::PutInt64(std::string_view name, uint32_t low, uint32_t high) {
    const cvDDField* field = Table().FindField(name, false);
    if (!field) {
        return cvRec::PutInt64(name, low, high);
    }
    // Compared as the field stores it: a narrower field keeps the low bytes.
    const int64_t value =
        static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | static_cast<uint64_t>(low));
    int64_t old = 0;
    int64_t stored_new = value;
    const uint16_t size = field->Size();
    const bool integer_size = size == 1 || size == 2 || size == 4 || size == 8;
    if (integer_size && static_cast<size_t>(field->Offset()) + size <= Buffer().Length()) {
        old = SignedBytes(Buffer().Data() + field->Offset(), size);
        uint8_t bytes[8];
        for (size_t i = 0; i < sizeof bytes; ++i) {
            bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
        }
        stored_new = SignedBytes(bytes, size);
    }
    if (integer_size && old == stored_new) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutInt64(name, low, high); });
    }
    id_known_ = false;
    const int result = cvRec::PutInt64(name, low, high);
    if (result) {
        TellFieldMonitors(name, &old, &value);
    }
    return result;
}

int cvBob::PutUInt(std::string_view name, uint32_t value) {
    if (!IsStoredField(name)) {
        return cvRec::PutUInt(name, value);
    }
    const uint32_t old = GetUInt(name);
    if (old == value) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutUInt(name, value); });
    }
    id_known_ = false;
    const int result = cvRec::PutUInt(name, value);
    if (result) {
        TellFieldMonitors(name, &old, &value);
    }
    return result;
}

int cvBob::PutInt(std::string_view name, int32_t value) {
    if (!IsStoredField(name)) {
        return cvRec::PutInt(name, value);
    }
    const int32_t old = GetInt(name);
    if (old == value) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutInt(name, value); });
    }
    if (IsTypeReferenceField(name)) {
        ReleaseReference(type_ref_);
    }
    id_known_ = false;
    const int result = cvRec::PutInt(name, value);
    if (result) {
        TellFieldMonitors(name, &old, &value);
    }
    return result;
}

int cvBob::PutString(std::string_view name, std::string_view text) {
    if (!IsStoredField(name)) {
        return cvRec::PutString(name, text);
    }
    const std::string old = GetText(name, 1);
    if (old == text) {
        return AcceptsPut([&](cvRec& r) { return r.cvRec::PutString(name, text); });
    }
    const int result = cvRec::PutString(name, text);
    if (result) {
        const std::string now(text);
        TellFieldMonitors(name, &old, &now);
    }
    return result;
}

// --- Finding and making objects -------------------------------------------------

cvBob* cvBob::FindObject(const cvObjectId& id) {
    cvBob* root = Root();
    if (root->ObjectId() == id) {
        return root;
    }
    return root->map_ ? root->map_->Find(id) : nullptr;
}

cvBob* cvBob::SearchUnregistered(const cvObjectId& id) {
    if (flags_ & kSearching) {
        return nullptr;
    }
    if (ObjectId() == id) {
        return this;
    }
    flags_ |= kSearching;
    cvBob* found = nullptr;
    std::vector<cvBobSlot*> slots;
    GetReferenceSlots(slots);
    for (cvBobSlot* slot : slots) {
        if (slot->Get()) {
            found = slot->Get()->SearchUnregistered(id);
            if (found) {
                break;
            }
        }
    }
    if (!found) {
        std::vector<cvBobSetSlot*> sets;
        GetChildSets(sets);
        for (cvBobSetSlot* set : sets) {
            for (int i = 0; !found && *set && i < (*set)->GetCount(); ++i) {
                found = (*set)->GetAt(i)->SearchUnregistered(id);
            }
            if (found) {
                break;
            }
        }
    }
    flags_ &= ~kSearching;
    return found;
}

template <typename Make>
cvBobRef<> cvBob::FindOrMake(const cvObjectId& id, Make make) {
    if (id.type == 0) {
        return {};
    }
    if (cvBob* found = FindObject(id)) {
        return cvBobRef<>::Shared(found);
    }
    if (!IsRegistered()) {
        // The part of the graph not yet in a map: from the highest unregistered
        // ancestor down.
        cvBob* start = this;
        while (start->parent_ && !start->parent_->IsRegistered()) {
            start = start->parent_.get();
        }
        if (cvBob* found = start->SearchUnregistered(id)) {
            return cvBobRef<>::Shared(found);
        }
    }
    const cvObjectType* entry = FindObjectType(id.type);
    if (!entry || !entry->factory) {
        return {};
    }
    cvBobRef<> made = make(*entry);
    if (made && IsRegistered()) {
        made->Register();
    }
    return made;
}

cvBobRef<> cvBob::LoadByIdentifier(const cvObjectType& type, const cvObjectId& id, bool create) {
    const cvObjectType* entry = &type;
    if (const cvRec* cached = LookupCached(id.type, id.id1, id.id2, id.id3)) {
        cvBobRef<> made = entry->factory(this, *cached);
        if (made) {
            return made;
        }
    }
    cvFileMgr* manager = File() ? &File()->Manager() : StorageApp().FileManager();
    cvFile* file = manager ? manager->OpenTable(entry->table) : nullptr;
    if (!file) {
        return {};
    }
    const int32_t ids[3] = {id.id1, id.id2, id.id3};
    file->ClearKey(entry->key);
    for (size_t i = 0; i < entry->id_fields.size(); ++i) {
        if (!entry->id_fields[i].empty()) {
            static_cast<void>(PutIdentifyingValue(file->Table(), entry->id_fields[i], ids[i],
                                                  file->DataBuffer()));
        }
    }
    const int status = file->GetEqual(entry->key);
    if (status == 0) {
        const cvRec row(*file, cvRec::kFromFile);
        return entry->factory(this, row);
    }
    if (status != RECMAN_KEY_NOT_FOUND || !create) {
        return {};
    }
    cvRec row(*file, cvRec::kNewRecord);
    for (size_t i = 0; i < entry->id_fields.size(); ++i) {
        if (!entry->id_fields[i].empty()) {
            static_cast<void>(
                PutIdentifyingValue(row.Table(), entry->id_fields[i], ids[i], row.Buffer()));
        }
    }
    return entry->factory(this, row);
}

cvBobRef<> cvBob::GetObject(const cvObjectId& id, bool create) {
    return FindOrMake(
        id, [&](const cvObjectType& entry) { return LoadByIdentifier(entry, id, create); });
}

cvBobRef<> cvBob::GetObject(int32_t type, int32_t id1, int32_t id2, int32_t id3, bool create) {
    return GetObject(cvObjectId{type, id1, id2, id3}, create);
}

bool cvBob::AddToSet(cvBobSet& set, const cvObjectId& id, bool create) {
    const cvBobRef<> object = GetObject(id, create);
    return object && set.Add(object.get());
}

bool cvBob::AddToSet(cvBobSet& set, cvFile& file) {
    const cvBobRef<> object = FindOrMake(ObjectIdOfFile(file), [&](const cvObjectType& entry) {
        const cvRec row(file, cvRec::kFromFile);
        return entry.factory(this, row);
    });
    return object && set.Add(object.get());
}

bool cvBob::AddToSet(cvBobSet& set, const cvRec& record) {
    const cvBobRef<> object = FindOrMake(
        ObjectIdOf(record), [&](const cvObjectType& entry) { return entry.factory(this, record); });
    return object && set.Add(object.get());
}

// --- Registration and notifications ---------------------------------------------

void cvBob::Register() {
    if (flags_ & (kRegistered | kRegistering)) {
        return;
    }
    flags_ |= kRegistered | kRegistering;
    map_ = Root()->map_;
    if (map_) {
        static_cast<void>(map_->Add(this));
    }
    std::vector<cvBobSlot*> slots;
    GetReferenceSlots(slots);
    for (cvBobSlot* slot : slots) {
        cvBob* object = slot->Get();
        if (object && object->Parent() == this) {
            object->Register();
        }
    }
    std::vector<cvBobSetSlot*> sets;
    GetChildSets(sets);
    for (cvBobSetSlot* set : sets) {
        for (int i = 0; *set && i < (*set)->GetCount(); ++i) {
            cvBob* object = (*set)->GetAt(i);
            if (object->Parent() == this) {
                object->Register();
            }
        }
    }
    flags_ &= ~kRegistering;
}

int cvBob::Notify(int code) {
    if (code == kNotifyRefresh) {
        return RefreshIfUnchanged(false);
    }
    if (code == kNotifyRollCall) {
        const std::string parent = parent_ ? parent_->ObjectText() : "None";
        char head[64];
        std::snprintf(head, sizeof head, " (refcnt=%d), child of ", ref_count_);
        EventLog().AddEvent(kLogAllCategories, "Roll Call: " + ObjectText() + head + parent + "\n");
    }
    return 0;
}

// --- Hooks and slots --------------------------------------------------------------

void cvBob::OnDropLinks() {}

void cvBob::GetReferenceSlots(std::vector<cvBobSlot*>& slots) {
    slots.push_back(&type_ref_);
}

void cvBob::GetChildSets(std::vector<cvBobSetSlot*>& sets) {
    sets.push_back(&child_set_);
}

int cvBob::PreSave() {
    return 0;
}

int cvBob::BeginSave() {
    return 0;
}

cvBobSet& cvBob::ChildSet() {
    if (!child_set_) {
        child_set_ = std::make_unique<cvBobSet>(this);
    }
    return *child_set_;
}
