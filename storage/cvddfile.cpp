#include "storage/cvddfile.h"

#include <algorithm>

#include "log/cveventlog.h"
#include "storage/bytes.h"
#include "storage/cvdatadict.h"
#include "storage/datatype.h"

cvDDTableRow cvDDTableRow::FromRow(const uint8_t* row, size_t length) {
    uint8_t bytes[kRowSize] = {};
    std::copy_n(row, std::min(length, kRowSize), bytes);
    cvDDTableRow table;
    table.id = ReadLE16(bytes + 0);
    table.name = PaddedName(bytes + 2, kNameSize);
    table.location = PaddedName(bytes + 22, kLocationSize);
    table.file_flags = bytes[86];
    table.reserved = bytes[87];
    return table;
}

std::array<uint8_t, cvDDTableRow::kStoredRowSize> cvDDTableRow::ToRow() const {
    std::array<uint8_t, kStoredRowSize> row{};
    WriteLE16(row.data() + 0, id);
    WritePaddedName(row.data() + 2, kNameSize, name);
    WritePaddedName(row.data() + 22, kLocationSize, location);
    row[86] = file_flags;
    row[87] = reserved;
    return row;
}

cvDDFile::cvDDFile(cvDataDict& dictionary, cvDDTableRow row, int page_size, bool built_in)
    : dictionary_(&dictionary), row_(std::move(row)), page_size_(page_size), built_in_(built_in) {}

std::string cvDDFile::FileName() const {
    std::string name = row_.location;
    const size_t drive = name.rfind(':');
    if (drive != std::string::npos) {
        name.erase(0, drive + 1);
    }
    const size_t directory = name.find_last_of("\\/");
    if (directory != std::string::npos) {
        name.erase(0, directory + 1);
    }
    return name;
}

const cvDDField* cvDDFile::FindField(std::string_view name, bool report) const {
    const auto found = fields_.find(name);
    if (found != fields_.end()) {
        return &found->second;
    }
    if (report && name != "QINACTIVE") {
        const std::string field(name);
        EventLog().LogEvent(kLogDbStructure, "Table %s does not have an attribute named %s\n.",
                            row_.name.c_str(), field.c_str());
    }
    return nullptr;
}

void cvDDFile::AddField(cvDDField field) {
    if (field.DataType() == kTypeNote || field.DataType() == kTypeLVar) {
        variable_length_ = true;
    }
    record_length_ = std::max(record_length_, field.Offset() + field.Size());
    dictionary_->FieldDefHook(*this, field);
    const std::string name = field.Name();
    fields_.insert_or_assign(name, std::move(field));
}

size_t cvDDFile::AddKeySegment(const cvDDKeySeg& segment) {
    segments_.push_back(segment);
    return segments_.size() - 1;
}

int cvDDFile::KeyCount() const {
    int count = 0;
    for (size_t i = 0; i < segments_.size(); ++i) {
        if (i == 0 || segments_[i].KeyNumber() != segments_[i - 1].KeyNumber()) {
            ++count;
        }
    }
    return count;
}

int cvDDFile::SegmentCount(int key) const {
    return static_cast<int>(
        std::count_if(segments_.begin(), segments_.end(),
                      [key](const cvDDKeySeg& s) { return s.KeyNumber() == key; }));
}

const cvDDKeySeg* cvDDFile::Segment(int key, int segment_number) const {
    for (const cvDDKeySeg& segment : segments_) {
        if (segment.KeyNumber() == key && segment.SegmentNumber() == segment_number) {
            return &segment;
        }
    }
    return nullptr;
}

const cvDDField* cvDDFile::SegmentField(const cvDDKeySeg& segment) const {
    for (const auto& [name, field] : fields_) {
        if (field.Id() == segment.FieldId() && field.TableId() == segment.TableId()) {
            return &field;
        }
    }
    return nullptr;
}

int cvDDFile::KeyFieldNames(int key, std::vector<std::string>& names) const {
    int count = 0;
    for (const cvDDKeySeg& segment : segments_) {
        if (segment.KeyNumber() != key) {
            continue;
        }
        const cvDDField* field = SegmentField(segment);
        names.push_back(field ? field->Name() : std::string());
        ++count;
    }
    return count;
}

bool cvDDFile::HasAutoIncKey() const {
    return std::any_of(segments_.begin(), segments_.end(), [this](const cvDDKeySeg& segment) {
        const cvDDField* field = SegmentField(segment);
        return field && field->DataType() == kTypeAutoInc;
    });
}

bool cvDDFile::SetPageSize(int page_size) {
    if (page_size <= 0 || page_size % 512 != 0) {
        return false;
    }
    page_size_ = page_size;
    return true;
}

bool cvDDFile::IsSystemTable() const {
    return built_in_ || row_.name.rfind("X$", 0) == 0;
}
