#include "tools/ddfwriter/dictionaryrows.h"

#include <map>
#include <string>

DictionaryRows BuildDictionaryRows(std::span<const cvTableDef> tables) {
    DictionaryRows rows;
    uint16_t table_id = 0;
    uint16_t field_id = 0;
    for (const cvTableDef& table : tables) {
        cvDDTableRow row;
        row.id = ++table_id;
        row.name = std::string(table.table);
        row.location = std::string(table.file);
        row.file_flags = table.file_flags;
        rows.tables.push_back(row);

        std::map<std::string, uint16_t, std::less<>> ids;
        for (const cvFieldDef& field : table.fields) {
            rows.fields.emplace_back(++field_id, table_id, field.name, field.data_type,
                                     field.offset, field.size, field.decimals, 0);
            ids[std::string(field.name)] = field_id;
        }
        uint16_t key = 0;
        uint16_t segment = 0;
        for (const cvKeyDef& entry : table.keys) {
            const auto found = ids.find(entry.field);
            rows.segments.emplace_back(table_id, found == ids.end() ? 0 : found->second, key,
                                       segment, entry.flags);
            if (entry.flags & cvDDKeySeg::kSegmentedFlag) {
                ++segment;
            } else {
                ++key;
                segment = 0;
            }
        }
    }
    return rows;
}
