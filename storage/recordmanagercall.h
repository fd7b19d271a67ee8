#pragma once
// The program's one way into the record manager. Only the file objects call it.

#include <array>
#include <cstdint>
#include <string>

// The 16-byte identity of a record-manager client: each file manager carries its own,
// so the engine's transactions and the user interface's never mix.
using RecordManagerClientId = std::array<uint8_t, 16>;

// Issues one call with key length 255; with `client` the call acts for that client,
// otherwise for the process's default client. Returns the status (0 = success).
[[nodiscard]] int RecordManagerCall(uint16_t operation, void* position_block, void* data_buffer,
                                    uint32_t* data_length, void* key_buffer, int8_t key_number,
                                    const RecordManagerClientId* client = nullptr);

// "Btrieve version %d.%d%c" from the Version operation, or an empty text on failure.
std::string RecordManagerVersion();

// A client id not used by anybody else in this process (a counter and the process id).
RecordManagerClientId NewRecordManagerClientId();

// The client whose transaction a message box on the user-interface thread aborts
// (the user interface's file manager registers its own). Installs the event log's
// abort hook on first use.
void SetUserInterfaceClient(const RecordManagerClientId& client);
