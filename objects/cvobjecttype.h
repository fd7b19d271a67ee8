#pragma once
// The object types of the application: which table's rows are business objects of
// which type, which fields identify them, and the factory that makes the object of a
// row. The product registers its types at start-up; every identifier computation,
// identifier text and object lookup goes through this registry.
//
// An object identifier is the type number and the values of up to three identifying
// fields of the row (0 where the type names fewer). The entry of a record is the first
// entry whose table is the record's table and whose discriminator, when it names one,
// matches: GetText(field, 1) of the row equals the discriminator value.
//
// Registering also installs the storage layer's record-identifier hook, so record sets
// find records by identifier through these entries.
//
// Threads: the registry is filled on the user-interface thread at start-up and read
// from any thread; `mutex` in cvobjecttype.cpp guards the list. Entries are never
// changed once registered and stay at one address until ClearObjectTypes, so the
// pointers handed out stay valid for the run.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "objects/cvbobref.h"
#include "storage/cvobjectid.h"

class cvBob;
class cvBuffer;
class cvDDFile;
class cvFile;
class cvRec;

struct cvObjectType {
    // Makes the object of a row: `parent` (null for a root) becomes its parent; the
    // new object's count is 1 and the returned reference is the caller's. An empty
    // reference when it cannot make one.
    using Factory = std::function<cvBobRef<cvBob>(cvBob* parent, const cvRec& record)>;

    int32_t type = 0;    // nonzero, unique
    std::string name{};  // display name, used in identifier texts
    std::string table{};
    std::array<std::string, 3> id_fields{};  // empty names: fewer identifying fields
    int key = 0;                             // loads a row by identifier
    Factory factory{};
    std::string discriminator_field{};  // empty: every row of the table is of this type
    std::string discriminator_value{};
};

// Appends a copy of the entry; false (nothing added) for type 0 or a number already
// registered.
bool RegisterObjectType(const cvObjectType& entry);
// Forgets every entry (tests and shutdown only: no other thread may be using them)
// and the record-identifier hook.
void ClearObjectTypes();

// The entry of a type number, or null.
const cvObjectType* FindObjectType(int32_t type);
// The entry of a record, or of a file's current row; null when none matches.
const cvObjectType* ObjectTypeOf(const cvRec& record);
const cvObjectType* ObjectTypeOfFile(const cvFile& file);

// The identifier of a record or of a file's current row: the type number of its entry
// and the signed values of the identifying fields (Integer, Unsigned Int, AutoInc,
// Date and Time fields alike). All zero when no entry matches.
cvObjectId ObjectIdOf(const cvRec& record);
cvObjectId ObjectIdOfFile(const cvFile& file);

// The text of an identifier: empty for type 0; otherwise the type's name (its number
// when unregistered), a blank and id 1, then ".id2" unless id 2 and id 3 are both 0,
// then ".id3" when id 3 is not 0. "Paging Group Member 3.12", "Message 57".
std::string FormatObjectId(int32_t type, int32_t id1, int32_t id2, int32_t id3);
std::string FormatObjectId(const cvObjectId& id);

// The application's cached record with that identifier, or null. When the type's
// table is cached but holds no such record, logs "Lookup on %s failed.\n" under
// 0x0080; an uncached table answers null silently. The record belongs to the cache.
const cvRec* LookupCached(int32_t type, int32_t id1, int32_t id2, int32_t id3);

// Writes an identifying value into a field of a row of `table` the way ObjectIdOf
// reads it back (little-endian, sign-extended over 8 bytes). False, writing nothing,
// for an unknown field or one of another type or size.
bool PutIdentifyingValue(const cvDDFile& table, std::string_view field, int32_t value,
                         cvBuffer& row);
