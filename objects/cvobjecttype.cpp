#include "objects/cvobjecttype.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "log/cveventlog.h"
#include "storage/cvbuffer.h"
#include "storage/cvddfile.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/cvrecset.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"

namespace {

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Guarded by RegistryMutex(). A deque keeps every entry at its address as it grows.
std::deque<cvObjectType>& Entries() {
    static std::deque<cvObjectType> entries;
    return entries;
}

bool IsIdentifyingType(uint8_t type) {
    return type == kTypeInteger || type == kTypeUnsigned || type == kTypeAutoInc ||
           type == kTypeDate || type == kTypeTime;
}

bool IsIdentifyingSize(uint16_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// The signed value of an identifying field of a row: the low bytes up to four, read
// as a signed number of that width.
int32_t IdValue(const cvDDFile& table, const std::string& name, const uint8_t* row, size_t length) {
    if (name.empty()) {
        return 0;
    }
    const cvDDField* field = table.FindField(name, true);
    if (!field || !IsIdentifyingType(field->DataType()) || !IsIdentifyingSize(field->Size()) ||
        static_cast<size_t>(field->Offset()) + field->Size() > length) {
        return 0;
    }
    const uint8_t* bytes = row + field->Offset();
    switch (field->Size()) {
        case 1:
            return static_cast<int8_t>(bytes[0]);
        case 2:
            return static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
        default: {
            // The low four bytes, little-endian as stored.
            const uint32_t value =
                static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
            return static_cast<int32_t>(value);
        }
    }
}

// The entry for a row of `table` whose text fields read through `text_of`. The
// discriminator texts are read without the lock: a record's GetText may be an
// object's own, which may ask the registry again.
template <typename TextOf>
const cvObjectType* EntryFor(const std::string& table, TextOf text_of) {
    std::vector<const cvObjectType*> candidates;
    {
        std::lock_guard lock(RegistryMutex());
        for (const cvObjectType& entry : Entries()) {
            if (entry.table == table) {
                if (entry.discriminator_field.empty() && candidates.empty()) {
                    return &entry;
                }
                candidates.push_back(&entry);
            }
        }
    }
    for (const cvObjectType* entry : candidates) {
        if (entry->discriminator_field.empty() ||
            text_of(entry->discriminator_field) == entry->discriminator_value) {
            return entry;
        }
    }
    return nullptr;
}

cvObjectId IdOfRow(const cvObjectType* entry, const cvDDFile& table, const uint8_t* row,
                   size_t length) {
    if (!entry) {
        return {};
    }
    return {entry->type, IdValue(table, entry->id_fields[0], row, length),
            IdValue(table, entry->id_fields[1], row, length),
            IdValue(table, entry->id_fields[2], row, length)};
}

}  // namespace

bool RegisterObjectType(const cvObjectType& entry) {
    if (entry.type == 0) {
        return false;
    }
    {
        std::lock_guard lock(RegistryMutex());
        for (const cvObjectType& known : Entries()) {
            if (known.type == entry.type) {
                return false;
            }
        }
        Entries().push_back(entry);
    }
    // Installed at every registration: the storage settings may have been reset since.
    StorageApp().SetRecordIdHook([](const cvRec& record) { return ObjectIdOf(record); });
    return true;
}

void ClearObjectTypes() {
    StorageApp().SetRecordIdHook({});
    std::lock_guard lock(RegistryMutex());
    Entries().clear();
}

const cvObjectType* FindObjectType(int32_t type) {
    std::lock_guard lock(RegistryMutex());
    for (const cvObjectType& entry : Entries()) {
        if (entry.type == type) {
            return &entry;
        }
    }
    return nullptr;
}

const cvObjectType* ObjectTypeOf(const cvRec& record) {
    return EntryFor(record.Table().TableName(),
                    [&record](const std::string& field) { return record.GetText(field, 1); });
}

const cvObjectType* ObjectTypeOfFile(const cvFile& file) {
    return EntryFor(file.TableName(),
                    [&file](const std::string& field) { return file.GetText(field, 1); });
}

cvObjectId ObjectIdOf(const cvRec& record) {
    return IdOfRow(ObjectTypeOf(record), record.Table(), record.Buffer().Data(),
                   record.Buffer().Length());
}

cvObjectId ObjectIdOfFile(const cvFile& file) {
    return IdOfRow(ObjectTypeOfFile(file), file.Table(), file.DataBuffer().Data(),
                   file.DataBuffer().Length());
}

std::string FormatObjectId(int32_t type, int32_t id1, int32_t id2, int32_t id3) {
    if (type == 0) {
        return {};
    }
    const cvObjectType* entry = FindObjectType(type);
    std::string text = entry ? entry->name : std::to_string(type);
    text += " " + std::to_string(id1);
    if (id2 != 0 || id3 != 0) {
        text += "." + std::to_string(id2);
    }
    if (id3 != 0) {
        text += "." + std::to_string(id3);
    }
    return text;
}

std::string FormatObjectId(const cvObjectId& id) {
    return FormatObjectId(id.type, id.id1, id.id2, id.id3);
}

const cvRec* LookupCached(int32_t type, int32_t id1, int32_t id2, int32_t id3) {
    const cvObjectType* entry = FindObjectType(type);
    if (!entry) {
        return nullptr;
    }
    cvRecSet* cached = StorageApp().GetCachedSet(entry->table);
    if (!cached) {
        return nullptr;
    }
    const int index = cached->FindById(type, id1, id2, id3);
    if (index < 0) {
        EventLog().LogEvent(kLogDbErrors, "Lookup on %s failed.\n",
                            FormatObjectId(type, id1, id2, id3).c_str());
        return nullptr;
    }
    return cached->GetAt(index);
}

bool PutIdentifyingValue(const cvDDFile& table, std::string_view name, int32_t value,
                         cvBuffer& row) {
    const cvDDField* field = table.FindField(name, true);
    if (!field || !IsIdentifyingType(field->DataType()) || !IsIdentifyingSize(field->Size()) ||
        static_cast<size_t>(field->Offset()) + field->Size() > row.Length()) {
        return false;
    }
    const int64_t wide = value;  // sign-extended for an 8-byte field
    uint8_t bytes[8];
    for (size_t i = 0; i < sizeof bytes; ++i) {
        bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(wide) >> (8 * i));
    }
    std::memcpy(row.Data() + field->Offset(), bytes, field->Size());
    return true;
}
