#include "platform/recman/statement.h"

#include <utility>

#include "platform/recman/sqlitestatus.h"

namespace recman {

Statement::~Statement() {
    Finalize();
}

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Finalize();
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

int Statement::Prepare(sqlite3* db, const std::string& sql) {
    Finalize();
    return sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
}

void Statement::Finalize() {
    if (statement_ != nullptr) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

int Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int StatusOf(sqlite3* db, int result_code) {
    return StatusFromSqlite(result_code, db != nullptr ? sqlite3_system_errno(db) : 0);
}

std::string QuoteName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace recman
