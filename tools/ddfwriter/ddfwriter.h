#pragma once
// Writes a dictionary's three files as record-manager files: prefix + "FILE.DDF" keyed
// by table id (key 0), prefix + "FIELD.DDF" keyed by field id (key 0) and by table id
// (key 1, duplicates), prefix + "INDEX.DDF" keyed by table id (key 0, duplicates).
// Rows are inserted in the order given, so duplicates keep it, in one transaction.

#include <string>

#include "tools/ddfwriter/dictionaryrows.h"

// Creates the three files in `directory` (made when missing; existing files are
// replaced) and inserts the rows. Returns 0, or the record-manager status of the first
// failing call with `failure` naming the call and the file.
[[nodiscard]] int WriteDictionaryFiles(const std::string& directory, const std::string& prefix,
                                       const DictionaryRows& rows, std::string* failure = nullptr);
