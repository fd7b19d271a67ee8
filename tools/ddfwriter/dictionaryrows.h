#pragma once
// The rows of a set of dictionary files: one per table, one per field, one per key
// segment, with their ids and numbers assigned.

#include <span>
#include <vector>

#include "storage/cvdatadict.h"

struct DictionaryRows {
    std::vector<cvDDTableRow> tables;
    std::vector<cvDDField> fields;
    std::vector<cvDDKeySeg> segments;  // per table in key and segment order
};

// Rows for `tables` in order: table ids from 1, field ids from 1 across all tables,
// the location the table's file name. Key numbers and segment numbers follow the
// segmented flag (0x0010: another segment of the same key follows). A key entry naming
// no field of its table gets field id 0.
DictionaryRows BuildDictionaryRows(std::span<const cvTableDef> tables);
