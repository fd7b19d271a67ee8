#include "storage/cvdatadict.h"

#include <algorithm>

#include "log/cveventlog.h"
#include "storage/apphooks.h"
#include "storage/bytes.h"
#include "storage/cvbuffer.h"
#include "storage/cvfieldaccess.h"
#include "storage/datatype.h"
#include "storage/packeddatetime.h"

cvDataDict::cvDataDict() = default;

cvDataDict::~cvDataDict() = default;

void cvDataDict::AddTable(std::unique_ptr<cvDDFile> table) {
    const std::string name = table->TableName();
    tables_.insert_or_assign(name, std::move(table));
}

void cvDataDict::FieldDefHook(cvDDFile& /*table*/, cvDDField& field) {
    if (field.DataType() == kTypeFloat || field.DataType() == kTypeMoney) {
        field.SetDecimals(2);
    }
}

uint8_t cvDataDict::KeyFillChar(const cvDDFile& /*table*/, int /*key*/,
                                const cvDDField& field) const {
    if (field.Name() == "QINACTIVE") {
        return 'Y';
    }
    return field.DataType() == kTypeString ? ' ' : 0;
}

bool cvDataDict::InitNewRecord(const cvDDFile& table, cvBuffer& buffer) {
    cvFieldWriter record(table, buffer.Data(), buffer.Length());
    if (table.FindField("QINACTIVE", false)) {
        static_cast<void>(record.PutString("QINACTIVE", "N"));
    }
    if (table.FindField("DATEENTER", false)) {
        static_cast<void>(record.PutDate("DATEENTER", TodayDate()));
    }
    if (table.FindField("TIMEENTER", false)) {
        static_cast<void>(record.PutTime("TIMEENTER", NowTime()));
    }
    if (table.FindField("ENTERBY", false)) {
        static_cast<void>(record.PutInt("ENTERBY", CurrentUserNumber()));
    }
    return true;
}

bool cvDataDict::ExcludeKeyFromCheck(const std::string& /*table_name*/, int /*key*/) const {
    return false;
}

int cvDataDict::AddDefinition(const cvTableDef& definition) {
    if (definition.table.empty() || definition.file.empty()) {
        return -1;
    }
    cvDDTableRow row;
    row.id = ++highest_table_id_;
    row.name = TrimBlanks(definition.table.substr(0, cvDDTableRow::kNameSize));
    row.location = TrimBlanks(definition.file.substr(0, cvDDTableRow::kLocationSize));
    row.file_flags = definition.file_flags;
    auto table =
        std::make_unique<cvDDFile>(*this, row, definition.page_size, definition.built_in != 0);

    const auto existing = tables_.find(row.name);
    if (existing != tables_.end()) {
        EventLog().LogEvent(kLogDbErrors, "Overriding table definition for %s", row.name.c_str());
        tables_.erase(existing);
    }
    cvDDFile& entered = *table;
    tables_.emplace(row.name, std::move(table));

    for (const cvFieldDef& field : definition.fields) {
        if (field.name.empty()) {
            break;
        }
        entered.AddField(cvDDField(++highest_field_id_, row.id, field.name, field.data_type,
                                   field.offset, field.size, field.decimals, 0));
    }

    uint16_t key_number = 0;
    uint16_t segment_number = 0;
    for (const cvKeyDef& key : definition.keys) {
        if (key.field.empty()) {
            break;
        }
        const cvDDField* field = entered.FindField(key.field, true);
        if (!field) {
            entered.AddKeySegment(cvDDKeySeg(row.id, 0, 0, 0, 0));
            continue;
        }
        entered.AddKeySegment(
            cvDDKeySeg(row.id, field->Id(), key_number, segment_number, key.flags));
        if (key.flags & cvDDKeySeg::kSegmentedFlag) {
            ++segment_number;
        } else {
            ++key_number;
            segment_number = 0;
        }
    }
    return 0;
}

cvDDFile* cvDataDict::FindTable(std::string_view name) const {
    const auto found = tables_.find(name);
    return found == tables_.end() ? nullptr : found->second.get();
}
