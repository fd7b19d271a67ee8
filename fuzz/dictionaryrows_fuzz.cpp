// Dictionary rows from outside: a table row, then field and key-segment rows, entered
// into a table definition; a record of that table is then read and written field by
// field. Nothing may read or write outside the record's bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "storage/cvdatadict.h"
#include "storage/cvrec.h"

namespace {

constexpr size_t kMaxRecord = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < cvDDTableRow::kRowSize) {
        return 0;
    }
    cvDataDict dict;
    cvDDFile table(dict, cvDDTableRow::FromRow(data, size), cvDDFile::kDictionaryPageSize, false);
    static_cast<void>(table.FileName());
    size_t at = cvDDTableRow::kRowSize;
    // Then alternating field and key rows while bytes remain.
    while (at + cvDDField::kRowSize <= size) {
        const cvDDField field = cvDDField::FromRow(data + at, size - at);
        at += cvDDField::kRowSize;
        if (!field.IsIndexRow()) {
            table.AddField(field);
        }
        if (at + cvDDKeySeg::kRowSize <= size) {
            table.AddKeySegment(cvDDKeySeg::FromRow(data + at, size - at));
            at += cvDDKeySeg::kRowSize;
        }
    }
    static_cast<void>(table.KeyCount());
    static_cast<void>(table.HasAutoIncKey());
    std::vector<std::string> names;
    static_cast<void>(table.KeyFieldNames(0, names));
    if (static_cast<size_t>(table.RecordLength()) > kMaxRecord) {
        return 0;
    }

    cvRec record(table);
    const cvRec other(table, cvRec::kScratch);
    for (const auto& [name, field] : table.Fields()) {
        for (const int format : {0, 1, 3, 5, 8, 9, 12}) {
            static_cast<void>(record.GetText(name, format));
        }
        static_cast<void>(record.GetDouble(name));
        static_cast<void>(record.GetObjectId(name));
        static_cast<void>(record.CompareField(other.Buffer(), field));
        static_cast<void>(record.PutString(name, "FUZZ"));
        static_cast<void>(record.PutDouble(name, -12.35));
        static_cast<void>(record.PutInt(name, -1));
        static_cast<void>(record.PutObjectId(name, {1, 2, 3, 4}));
    }
    record.CopyFieldsFrom(other);
    return 0;
}
