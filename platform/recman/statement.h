#pragma once
// Owning wrappers for SQLite statements, and the guard that resets one after use so
// that no statement keeps a read transaction (and its shared lock) open.

#include <sqlite3.h>

#include <string>

namespace recman {

class Statement {
  public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares `sql` on `db` to be kept and reused. Returns the SQLite result code.
    [[nodiscard]] int Prepare(sqlite3* db, const std::string& sql);
    void Finalize();

    bool prepared() const { return statement_ != nullptr; }
    sqlite3_stmt* get() const { return statement_; }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

// Resets the statement when it goes out of scope.
class StatementReset {
  public:
    explicit StatementReset(sqlite3_stmt* statement) : statement_(statement) {}
    ~StatementReset() { sqlite3_reset(statement_); }
    StatementReset(const StatementReset&) = delete;
    StatementReset& operator=(const StatementReset&) = delete;

  private:
    sqlite3_stmt* statement_;
};

// Runs SQL without results on `db`. Returns the SQLite result code.
[[nodiscard]] int Execute(sqlite3* db, const char* sql);

// The status for the last failure on `db` with result code `result_code`.
[[nodiscard]] int StatusOf(sqlite3* db, int result_code);

// Quotes a name for use as a schema or table name in SQL.
std::string QuoteName(const std::string& name);

}  // namespace recman
