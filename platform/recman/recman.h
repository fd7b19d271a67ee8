#ifndef TOLVANE_PLATFORM_RECMAN_RECMAN_H
#define TOLVANE_PLATFORM_RECMAN_RECMAN_H
/*
 * The record manager's call interface: indexed files of fixed-length records, reached
 * through one call with an operation code, a caller-owned 128-byte position block, a
 * data buffer, a key buffer and a key number, answering a status (0 = success).
 *
 * recman_call acts for the process's default client; recman_call_id for the client
 * named by 16 bytes. Each client has its own transaction and its own locks, so the
 * engine thread and the user-interface thread can each work through their own client.
 * One client must be used by one thread at a time; different clients may be used
 * from different threads at once.
 *
 * The position block must stay at one address while its file is open.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int recman_call(uint16_t operation, void* position_block, void* data_buffer, uint32_t* data_length,
                void* key_buffer, uint8_t key_length, int8_t key_number);

int recman_call_id(uint16_t operation, void* position_block, void* data_buffer,
                   uint32_t* data_length, void* key_buffer, uint8_t key_length, int8_t key_number,
                   const void* client_id /* 16 bytes */);

/* Sizes. */
enum {
    RECMAN_POSITION_BLOCK_SIZE = 128,
    RECMAN_KEY_BUFFER_SIZE = 255,
    RECMAN_CLIENT_ID_SIZE = 16,
    RECMAN_SPEC_FILE_PART = 16,   /* file part of the Create/Stat layout */
    RECMAN_SPEC_SEGMENT_PART = 16 /* one per key segment */
};

/* Operation codes. */
enum {
    RECMAN_OPEN = 0,
    RECMAN_CLOSE = 1,
    RECMAN_INSERT = 2,
    RECMAN_UPDATE = 3,
    RECMAN_DELETE = 4,
    RECMAN_GET_EQUAL = 5,
    RECMAN_GET_NEXT = 6,
    RECMAN_GET_PREVIOUS = 7,
    RECMAN_GET_GREATER = 8,
    RECMAN_GET_GREATER_OR_EQUAL = 9,
    RECMAN_GET_LESS = 10,
    RECMAN_GET_LESS_OR_EQUAL = 11,
    RECMAN_GET_FIRST = 12,
    RECMAN_GET_LAST = 13,
    RECMAN_CREATE = 14,
    RECMAN_STAT = 15,
    RECMAN_BEGIN_TRANSACTION = 19,
    RECMAN_END_TRANSACTION = 20,
    RECMAN_ABORT_TRANSACTION = 21,
    RECMAN_GET_POSITION = 22,
    RECMAN_GET_DIRECT = 23,
    RECMAN_VERSION = 26,
    RECMAN_RESET = 28, /* ends the client: its transaction rolled back, its files closed */
    RECMAN_GET_BY_PERCENTAGE = 44,
    RECMAN_FIND_PERCENTAGE = 45,
    RECMAN_CONCURRENT_BIAS = 1000 /* added to Begin Transaction */
};

/* Open modes (key number of Open) and create modes (key number of Create). */
enum {
    RECMAN_MODE_NORMAL = 0,
    RECMAN_MODE_READ_ONLY = -2,
    RECMAN_MODE_EXCLUSIVE = -4,
    RECMAN_CREATE_REPLACE = 0,
    RECMAN_CREATE_NEW = -1
};

/* Key flags of a key segment. */
enum {
    RECMAN_KEY_DUPLICATES = 0x0001,
    RECMAN_KEY_MODIFIABLE = 0x0002,
    RECMAN_KEY_BINARY = 0x0004,
    RECMAN_KEY_NULL = 0x0008,      /* left out when every segment holds the null value */
    RECMAN_KEY_SEGMENTED = 0x0010, /* another segment of the same key follows */
    RECMAN_KEY_ALT_COLLATION = 0x0020,
    RECMAN_KEY_DESCENDING = 0x0040,
    RECMAN_KEY_SUPPLEMENTAL = 0x0080,
    RECMAN_KEY_EXTENDED_TYPE = 0x0100,
    RECMAN_KEY_MANUAL = 0x0200, /* left out when any segment holds the null value */
    RECMAN_KEY_NO_CASE = 0x0400
};

/* Extended data types of a key segment (the same codes as field types). */
enum {
    RECMAN_TYPE_STRING = 0,
    RECMAN_TYPE_INTEGER = 1,
    RECMAN_TYPE_FLOAT = 2,
    RECMAN_TYPE_DATE = 3,
    RECMAN_TYPE_TIME = 4,
    RECMAN_TYPE_DECIMAL = 5,
    RECMAN_TYPE_MONEY = 6,
    RECMAN_TYPE_LOGICAL = 7,
    RECMAN_TYPE_LSTRING = 10,
    RECMAN_TYPE_ZSTRING = 11,
    RECMAN_TYPE_UNSIGNED = 14,
    RECMAN_TYPE_AUTOINC = 15
};

/* Statuses the record manager answers (texts live with the program's callers). */
enum {
    RECMAN_OK = 0,
    RECMAN_INVALID_OPERATION = 1,
    RECMAN_IO_ERROR = 2,
    RECMAN_FILE_NOT_OPEN = 3,
    RECMAN_KEY_NOT_FOUND = 4,
    RECMAN_DUPLICATE_KEY = 5,
    RECMAN_INVALID_KEY_NUMBER = 6,
    RECMAN_DIFFERENT_KEY_NUMBER = 7,
    RECMAN_INVALID_POSITIONING = 8,
    RECMAN_END_OF_FILE = 9,
    RECMAN_KEY_NOT_MODIFIABLE = 10,
    RECMAN_INVALID_FILE_NAME = 11,
    RECMAN_FILE_NOT_FOUND = 12,
    RECMAN_DISK_FULL = 18,
    RECMAN_KEY_BUFFER_TOO_SHORT = 21,
    RECMAN_DATA_BUFFER_TOO_SHORT = 22,
    RECMAN_INVALID_PAGE_SIZE = 24,
    RECMAN_CANNOT_CREATE = 25,
    RECMAN_INVALID_KEY_COUNT = 26,
    RECMAN_INVALID_KEY_POSITION = 27,
    RECMAN_INVALID_RECORD_LENGTH = 28,
    RECMAN_INVALID_KEY_LENGTH = 29,
    RECMAN_NOT_A_RECORD_FILE = 30,
    RECMAN_TRANSACTION_ERROR = 36,
    RECMAN_TRANSACTION_ACTIVE = 37,
    RECMAN_NO_TRANSACTION = 39,
    RECMAN_NOT_ALLOWED = 41,
    RECMAN_INVALID_RECORD_ADDRESS = 43,
    RECMAN_INVALID_KEY_PATH = 44,
    RECMAN_INVALID_KEY_FLAGS = 45,
    RECMAN_ACCESS_DENIED = 46,
    RECMAN_INVALID_EXTENDED_TYPE = 49,
    RECMAN_INVALID_AUTOINC = 55,
    RECMAN_FILE_EXISTS = 59,
    RECMAN_RECORD_CONFLICT = 80,
    RECMAN_RECORD_LOCKED = 84,
    RECMAN_FILE_LOCKED = 85,
    RECMAN_FILE_TABLE_FULL = 86,
    RECMAN_INCOMPATIBLE_MODE = 88
};

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_PLATFORM_RECMAN_RECMAN_H */
