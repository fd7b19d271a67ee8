#pragma once
// The one place where SQLite result codes and system error numbers become the record
// manager's statuses.

namespace recman {

// The status for a SQLite result code (primary or extended) and the system error
// number SQLite saw with it (0 when none). SQLITE_OK gives 0.
[[nodiscard]] int StatusFromSqlite(int result_code, int system_errno);

// The status for a failed system call on a file the record manager handles itself.
[[nodiscard]] int StatusFromErrno(int error_number);

}  // namespace recman
