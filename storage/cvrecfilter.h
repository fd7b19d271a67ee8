#pragma once
// A record filter: a subset of one table described by field values (text, integer,
// date and object-identifier conditions) and by test functions. It tests records and
// a file's current row, stamps its values into records, and seeds a file's key so that
// a scan along a key starts at the first candidate row.
//
// Scanning through a filter: ClearKey(key), SeedKey(file), GetGreaterOrEqual(key),
// then take rows while StopsAt(file) is 0, with GetNext. The scan ends at the first
// row that does not match, so the filter's fields must be the leading segments of the
// key; Scan() does exactly this.
//
// The filter owns its conditions; test and setter functions and their arguments are
// the caller's and must outlive the filter.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/cvobjectid.h"

class cvFile;
class cvFileMgr;
class cvRec;
class cvRecSet;
class cvVSet;

class cvRecFilter {
  public:
    // 0 when the record passes.
    using Test = std::function<int(const cvRec& record, const void* argument)>;
    using Setter = std::function<void(cvRec& record, const void* argument)>;

    explicit cvRecFilter(std::string table);

    const std::string& TableName() const { return table_; }

    // Add or replace the condition on one field: GetText(field, 1), GetInt, GetDate or
    // GetObjectId must equal the value.
    void AddText(std::string_view field, std::string_view text);
    void AddInt(std::string_view field, int32_t value);
    void AddDate(std::string_view field, uint32_t date);
    void AddObjectId(std::string_view field, const cvObjectId& id);
    void AddTest(Test test, const void* argument = nullptr);
    void AddSetter(Setter setter, const void* argument = nullptr);

    // 0 when the record is of the filter's table and meets every condition; -1 for
    // another table or a missed condition; else the nonzero result of the first
    // failing test.
    [[nodiscard]] int MatchesRecord(const cvRec& record) const;
    // 0 when the file's current row meets every condition, 1 when it misses one, -1
    // when the file is of another table. Tests see a record built from the row.
    [[nodiscard]] int StopsAt(cvFile& file) const;
    // Writes the filter's values into the record, then runs every setter. False for a
    // record of another table (nothing is written) or when a value did not go in.
    [[nodiscard]] bool Apply(cvRec& record) const;
    // Apply on every record of the set; true when all succeeded.
    [[nodiscard]] bool ApplyToSet(cvVSet& set) const;
    // Applies the filter to the file's data buffer, so that the key fields it
    // constrains hold its values. Returns 0, or -1 for a file of another table.
    [[nodiscard]] int SeedKey(cvFile& file) const;

    // The filtered scan along `key` of an open file of the filter's table, handing
    // each matching row to `take` while the file is on it; `take` returning false ends
    // the scan. Returns 0 at the end of the range (end of file included), or the
    // status of a failed read.
    [[nodiscard]] int Scan(cvFile& file, int key, const std::function<bool(cvFile&)>& take) const;
    // The same through a manager's table in `mode`, adding each row to `set`. Returns
    // -1 when the table cannot be opened.
    [[nodiscard]] int Scan(cvFileMgr& manager, int key, cvRecSet& set, int mode = 0) const;

  private:
    // True when every field condition holds for `row` (a record, or a file's current
    // row through its accessors).
    template <typename Row>
    bool MeetsConditions(const Row& row) const;

    std::string table_;
    std::map<std::string, std::string, std::less<>> texts_;
    std::map<std::string, int32_t, std::less<>> ints_;
    std::map<std::string, uint32_t, std::less<>> dates_;
    std::map<std::string, cvObjectId, std::less<>> ids_;
    std::vector<std::pair<Test, const void*>> tests_;
    std::vector<std::pair<Setter, const void*>> setters_;
};
