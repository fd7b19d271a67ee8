#include "platform/recman/filecheck.h"

#include <sqlite3.h>

#include <memory>
#include <string>

#include "platform/recman/datafile.h"
#include "platform/recman/recman.h"
#include "platform/recman/statement.h"

namespace recman {
namespace {

// How many findings of SQLite's own check are listed at most.
constexpr int kMostFindings = 50;

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

int OpenConnection(const std::string& path, bool writable, Connection* out) {
    sqlite3* db = nullptr;
    const int flags =
        (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    const int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    out->reset(db);
    if (result != SQLITE_OK) {
        return StatusOf(db, result);
    }
    sqlite3_busy_timeout(db, 2000);
    // Opening reads nothing; this makes a file that is not a database show at once.
    std::unique_ptr<DataFile> file;
    return DataFile::Load(db, "main", &file);
}

// One integer from a query of one row; false when the query fails.
bool QueryInteger(sqlite3* db, const char* sql, int64_t* value, std::string* error) {
    Statement query;
    int result = query.Prepare(db, sql);
    if (result == SQLITE_OK) {
        result = sqlite3_step(query.get());
    }
    if (result != SQLITE_ROW) {
        *error = sqlite3_errmsg(db);
        return false;
    }
    *value = sqlite3_column_int64(query.get(), 0);
    return true;
}

void Examine(sqlite3* db, FileCheck* check) {
    Statement integrity;
    int result = integrity.Prepare(
        db, ("PRAGMA integrity_check(" + std::to_string(kMostFindings) + ")").c_str());
    while (result == SQLITE_OK && (result = sqlite3_step(integrity.get())) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(integrity.get(), 0));
        const std::string finding = text != nullptr ? text : "";
        if (finding != "ok") {
            check->problems.push_back(finding);
        }
        result = SQLITE_OK;
    }
    if (result != SQLITE_DONE) {
        check->problems.push_back(std::string("the check could not read the file: ") +
                                  sqlite3_errmsg(db));
    }

    std::string error;
    int64_t rows = 0;
    if (!QueryInteger(db, "SELECT count(*) FROM rec NOT INDEXED", &rows, &error)) {
        check->problems.push_back("the rows cannot all be read: " + error);
        return;
    }
    check->rows = rows;
    int64_t counted = 0;
    if (!QueryInteger(db, "SELECT record_count FROM meta WHERE id = 1", &counted, &error)) {
        check->problems.push_back("the row count cannot be read: " + error);
    } else if (counted != rows) {
        check->problems.push_back("the row count says " + std::to_string(counted) +
                                  " and the file holds " + std::to_string(rows) + " rows");
    }
}

}  // namespace

FileCheck CheckDataFile(const std::string& path) {
    FileCheck check;
    Connection db;
    check.status = OpenConnection(path, false, &db);
    if (check.status == RECMAN_OK) {
        Examine(db.get(), &check);
    }
    return check;
}

FileCheck RepairDataFile(const std::string& path) {
    FileCheck check;
    Connection db;
    check.status = OpenConnection(path, true, &db);
    if (check.status != RECMAN_OK) {
        return check;
    }
    // Nobody else may be half-way through a write while the indexes are rebuilt.
    int result = Execute(db.get(), "BEGIN EXCLUSIVE");
    if (result == SQLITE_OK) {
        result = Execute(db.get(), "REINDEX");
    }
    if (result == SQLITE_OK) {
        result = Execute(db.get(),
                         "UPDATE meta SET record_count = (SELECT count(*) FROM rec NOT INDEXED)"
                         " WHERE id = 1");
    }
    if (result == SQLITE_OK) {
        result = Execute(db.get(), "COMMIT");
    }
    if (result != SQLITE_OK) {
        check.problems.push_back(std::string("the indexes could not be rebuilt: ") +
                                 sqlite3_errmsg(db.get()));
        static_cast<void>(Execute(db.get(), "ROLLBACK"));
    }
    Examine(db.get(), &check);
    return check;
}

}  // namespace recman
