// The consistency check: the physical file's statistics against the table definition.
// Differences that leave records readable the way the definition says (page size,
// extra keys) are warnings; the others fail the check. The file is used either way.

#include "log/cveventlog.h"
#include "storage/cvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvstorageapp.h"
#include "storage/filespecification.h"

namespace {

// File flags that say nothing about the layout of the records (ignored both sides).
constexpr uint16_t kIgnoredFileFlags = 0x12C0;
// Key flags that may differ between the dictionary and the file: case handling in
// either convention, the dictionary's named-index bit and two bits the record manager
// keeps for itself.
constexpr uint16_t kIgnoredKeyFlags = 0x64A0;
constexpr uint16_t kSegmentedFlag = 0x0010;

bool SegmentMatches(const SegmentSpecification& physical, const cvDDKeySeg& defined,
                    const cvDDField& field) {
    const bool flags_match =
        physical.flags == defined.Flags() ||
        (physical.flags & ~kIgnoredKeyFlags) == (defined.Flags() & ~kIgnoredKeyFlags);
    return flags_match && physical.position == field.Offset() + 1 &&
           physical.length == field.Size() && physical.type == field.DataType();
}

}  // namespace

bool cvFile::CheckConsistency() {
    if (Stat() != 0) {
        return false;  // already reported
    }
    if (StorageApp().SkipConsistencyCheck(*this)) {
        return true;
    }
    FileSpecification physical;
    if (!FileSpecification::Parse(statistics_.data(), statistics_.size(), &physical)) {
        return false;
    }
    cvEventLog& log = EventLog();
    const char* name = TableName().c_str();

    if (physical.record_length != table_->RecordLength()) {
        log.LogEvent(kLogDbStructure,
                     "Consistency check failed: Record length is %d, should be %d on %s\n",
                     physical.record_length, table_->RecordLength(), name);
        return false;
    }
    if (physical.page_size != table_->PageSize()) {
        log.LogEvent(kLogDbStructure,
                     "Consistency check warning: Page size is %d, should be %d on %s\n",
                     physical.page_size, table_->PageSize(), name);
    }
    const int defined_flags = table_->FileFlags();
    if ((physical.file_flags & ~kIgnoredFileFlags) != (defined_flags & ~kIgnoredFileFlags)) {
        log.LogEvent(kLogDbStructure, "Consistency check failed: %s has flags=%d, should be %d.\n",
                     name, physical.file_flags, defined_flags);
        return false;
    }
    const int defined_keys = table_->KeyCount();
    if (physical.key_count < defined_keys) {
        log.LogEvent(kLogDbStructure,
                     "Consistency check failed: %s has %d indexes, should have %d.\n", name,
                     physical.key_count, defined_keys);
        return false;
    }
    if (physical.key_count > defined_keys) {
        log.LogEvent(kLogDbStructure,
                     "Warning: %s has more actual indexes (%d) than are defined in ddf (%d).\n",
                     name, physical.key_count, defined_keys);
    }

    size_t at = 0;  // the first physical segment of the key being examined
    for (int key = 0; key < defined_keys; ++key) {
        // The physical segments of this key: up to the first without the segmented flag.
        size_t end = at;
        while (end < physical.segments.size() &&
               (physical.segments[end++].flags & kSegmentedFlag) != 0) {
        }
        const bool excluded = table_->Dictionary().ExcludeKeyFromCheck(TableName(), key);
        for (size_t i = at; !excluded && i < end; ++i) {
            const int number = static_cast<int>(i - at);
            const SegmentSpecification& spec = physical.segments[i];
            const cvDDKeySeg* defined = table_->Segment(key, number);
            const cvDDField* field = defined ? table_->SegmentField(*defined) : nullptr;
            if (defined && field && SegmentMatches(spec, *defined, *field)) {
                continue;
            }
            if (defined && field) {
                log.LogEvent(kLogDbStructure,
                             "Flags %d, Position %d, Length %d and Type %d does not match "
                             "definition.\n",
                             spec.flags, spec.position, spec.length, spec.type);
            }
            log.LogEvent(kLogDbStructure,
                         "Consistency check failed: Index %d, segment %d does not match "
                         "definition on %s.\n",
                         key, number, name);
            return false;
        }
        at = end;
    }
    return true;
}
