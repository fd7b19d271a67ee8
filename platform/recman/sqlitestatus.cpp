#include "platform/recman/sqlitestatus.h"

#include <sqlite3.h>

#include <cerrno>

#include "platform/recman/recman.h"

namespace recman {

int StatusFromErrno(int error_number) {
    switch (error_number) {
        case 0:
            return RECMAN_OK;
        case ENOENT:
        case ENOTDIR:
            return RECMAN_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return RECMAN_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return RECMAN_DISK_FULL;
        case ENAMETOOLONG:
            return RECMAN_INVALID_FILE_NAME;
        case EAGAIN:
            return RECMAN_FILE_LOCKED;
        default:
            return RECMAN_IO_ERROR;
    }
}

int StatusFromSqlite(int result_code, int system_errno) {
    switch (result_code & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return RECMAN_OK;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return RECMAN_RECORD_LOCKED;
        case SQLITE_FULL:
            return RECMAN_DISK_FULL;
        case SQLITE_NOTADB:
            return RECMAN_NOT_A_RECORD_FILE;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return RECMAN_ACCESS_DENIED;
        case SQLITE_CONSTRAINT:
            return (result_code == SQLITE_CONSTRAINT_UNIQUE ||
                    result_code == SQLITE_CONSTRAINT_PRIMARYKEY)
                       ? RECMAN_DUPLICATE_KEY
                       : RECMAN_IO_ERROR;
        case SQLITE_CANTOPEN:
            return system_errno != 0 ? StatusFromErrno(system_errno) : RECMAN_FILE_NOT_FOUND;
        case SQLITE_IOERR:
            return StatusFromErrno(system_errno) == RECMAN_DISK_FULL ? RECMAN_DISK_FULL
                                                                     : RECMAN_IO_ERROR;
        default:
            return RECMAN_IO_ERROR;
    }
}

}  // namespace recman
