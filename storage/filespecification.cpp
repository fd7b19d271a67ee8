#include "storage/filespecification.h"

#include "storage/bytes.h"
#include "storage/cvdatadict.h"
#include "storage/cvddfile.h"

namespace {

constexpr uint16_t kSegmentedFlag = 0x0010;
constexpr uint16_t kDictionaryNoCase = 0x0020;
constexpr uint16_t kRecordManagerNoCase = 0x0400;
constexpr uint16_t kNullKeyFlags = 0x0008 | 0x0200;

}  // namespace

std::vector<uint8_t> FileSpecification::Layout() const {
    std::vector<uint8_t> layout(kPartSize * (1 + segments.size()), 0);
    uint8_t* file = layout.data();
    WriteLE16(file + 0, record_length);
    WriteLE16(file + 2, page_size);
    WriteLE16(file + 4, key_count);
    WriteLE32(file + 6, record_count);
    WriteLE16(file + 10, file_flags);
    for (size_t i = 0; i < segments.size(); ++i) {
        uint8_t* part = layout.data() + kPartSize * (i + 1);
        const SegmentSpecification& segment = segments[i];
        WriteLE16(part + 0, segment.position);
        WriteLE16(part + 2, segment.length);
        WriteLE16(part + 4, segment.flags);
        part[10] = segment.type;
        part[11] = segment.null_value;
    }
    return layout;
}

bool FileSpecification::Parse(const uint8_t* data, size_t length, FileSpecification* spec) {
    if (data == nullptr || length < kPartSize) {
        return false;
    }
    FileSpecification parsed;
    parsed.record_length = ReadLE16(data + 0);
    parsed.page_size = ReadLE16(data + 2);
    parsed.key_count = data[4];
    parsed.record_count = ReadLE32(data + 6);
    parsed.file_flags = ReadLE16(data + 10);
    size_t at = kPartSize;
    for (uint16_t key = 0; key < parsed.key_count; ++key) {
        bool more = true;
        while (more) {
            if (at + kPartSize > length) {
                return false;
            }
            const uint8_t* part = data + at;
            at += kPartSize;
            SegmentSpecification segment;
            segment.position = ReadLE16(part + 0);
            segment.length = ReadLE16(part + 2);
            segment.flags = ReadLE16(part + 4);
            segment.type = part[10];
            segment.null_value = part[11];
            more = (segment.flags & kSegmentedFlag) != 0;
            parsed.segments.push_back(segment);
        }
    }
    *spec = std::move(parsed);
    return true;
}

FileSpecification SpecificationOf(const cvDDFile& table) {
    FileSpecification spec;
    spec.record_length = static_cast<uint16_t>(table.RecordLength());
    spec.page_size = static_cast<uint16_t>(table.PageSize());
    spec.key_count = static_cast<uint16_t>(table.KeyCount());
    spec.file_flags = table.FileFlags();
    for (int key = 0; key < table.KeyCount(); ++key) {
        const int count = table.SegmentCount(key);
        for (int number = 0; number < count; ++number) {
            const cvDDKeySeg* segment = table.Segment(key, number);
            const cvDDField* field = segment ? table.SegmentField(*segment) : nullptr;
            SegmentSpecification part;
            if (segment) {
                part.flags = segment->Flags();
                if (part.flags & kDictionaryNoCase) {
                    part.flags = static_cast<uint16_t>((part.flags & ~kDictionaryNoCase) |
                                                       kRecordManagerNoCase);
                }
            }
            if (field) {
                part.position = static_cast<uint16_t>(field->Offset() + 1);
                part.length = field->Size();
                part.type = field->DataType();
                if (segment->Flags() & kNullKeyFlags) {
                    part.null_value = table.Dictionary().KeyFillChar(table, key, *field);
                }
            }
            spec.segments.push_back(part);
        }
    }
    return spec;
}
