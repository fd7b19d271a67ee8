// The two entry points: they check the operation, find the client and the open file
// behind the position block, and hand the call on.

#include "platform/recman/recman.h"

#include <cstring>
#include <mutex>
#include <string>

#include "platform/recman/call.h"
#include "platform/recman/client.h"
#include "platform/recman/createfile.h"
#include "platform/recman/registry.h"

namespace recman {
namespace {

constexpr uint8_t kVersion[5] = {1, 0, 0, 0, 'T'};  // version 1, revision 0, engine type

// The file name in a key buffer: up to its NUL, trailing blanks dropped.
std::string FileNameFrom(const Call& call) {
    const size_t capacity = call.KeyCapacity();
    if (capacity == 0) {
        return {};
    }
    const auto* end = static_cast<const uint8_t*>(std::memchr(call.key, 0, capacity));
    size_t length = end != nullptr ? static_cast<size_t>(end - call.key) : capacity;
    while (length > 0 && call.key[length - 1] == ' ') {
        --length;
    }
    return std::string(reinterpret_cast<const char*>(call.key), length);
}

int Version(Call& call) {
    if (call.DataCapacity() < sizeof kVersion) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    std::memcpy(call.data, kVersion, sizeof kVersion);
    *call.data_length = sizeof kVersion;
    return RECMAN_OK;
}

int Create(Call& call) {
    const std::string path = FileNameFrom(call);
    if (path.empty()) {
        return RECMAN_INVALID_FILE_NAME;
    }
    return CreateDataFile(path, call.data, call.DataCapacity(),
                          call.key_number != RECMAN_CREATE_NEW);
}

int Open(Registry& registry, Client& client, Call& call) {
    if (call.position_block == nullptr) {
        return RECMAN_INVALID_OPERATION;
    }
    if (registry.IsOpen(call.position_block)) {
        return RECMAN_NOT_ALLOWED;  // close it first
    }
    const std::string path = FileNameFrom(call);
    if (path.empty()) {
        return RECMAN_INVALID_FILE_NAME;
    }
    int mode = call.key_number;
    switch (mode) {
        case RECMAN_MODE_NORMAL:
        case -1:  // accelerated
        case -3:  // verify
            mode = RECMAN_MODE_NORMAL;
            break;
        case RECMAN_MODE_READ_ONLY:
        case RECMAN_MODE_EXCLUSIVE:
            break;
        default:
            return RECMAN_INVALID_OPERATION;
    }
    OpenFile* file = nullptr;
    const int status = client.Open(path, mode, &file);
    if (status == RECMAN_OK) {
        registry.Register(call.position_block, &client, file);
    }
    return status;
}

bool IsFileOperation(uint16_t operation) {
    switch (operation) {
        case RECMAN_CLOSE:
        case RECMAN_INSERT:
        case RECMAN_UPDATE:
        case RECMAN_DELETE:
        case RECMAN_GET_EQUAL:
        case RECMAN_GET_NEXT:
        case RECMAN_GET_PREVIOUS:
        case RECMAN_GET_GREATER:
        case RECMAN_GET_GREATER_OR_EQUAL:
        case RECMAN_GET_LESS:
        case RECMAN_GET_LESS_OR_EQUAL:
        case RECMAN_GET_FIRST:
        case RECMAN_GET_LAST:
        case RECMAN_STAT:
        case RECMAN_GET_POSITION:
        case RECMAN_GET_DIRECT:
        case RECMAN_GET_BY_PERCENTAGE:
        case RECMAN_FIND_PERCENTAGE:
            return true;
        default:
            return false;
    }
}

int Dispatch(Call& call, const uint8_t* client_id) {
    const uint16_t operation = call.operation;
    if (operation == RECMAN_VERSION) {
        return Version(call);
    }
    if (operation == RECMAN_CREATE) {
        return Create(call);
    }
    if (operation == RECMAN_RESET) {
        Registry::Current().Release(client_id);
        return RECMAN_OK;
    }
    const bool begin = operation == RECMAN_BEGIN_TRANSACTION ||
                       operation == RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS;
    const bool transaction =
        begin || operation == RECMAN_END_TRANSACTION || operation == RECMAN_ABORT_TRANSACTION;
    if (!transaction && operation != RECMAN_OPEN && !IsFileOperation(operation)) {
        return RECMAN_INVALID_OPERATION;
    }

    Registry& registry = Registry::Current();
    Client& client = registry.ClientFor(client_id);
    std::lock_guard lock(client.mutex());
    if (begin) {
        return client.Begin();
    }
    if (operation == RECMAN_END_TRANSACTION) {
        return client.End();
    }
    if (operation == RECMAN_ABORT_TRANSACTION) {
        return client.Abort();
    }
    if (operation == RECMAN_OPEN) {
        return Open(registry, client, call);
    }
    OpenFile* file = registry.Resolve(call.position_block, &client);
    if (file == nullptr) {
        return RECMAN_FILE_NOT_OPEN;
    }
    if (operation == RECMAN_CLOSE) {
        registry.Unregister(call.position_block);
        client.Close(file);
        return RECMAN_OK;
    }
    return file->Execute(call);
}

int Enter(uint16_t operation, void* position_block, void* data_buffer, uint32_t* data_length,
          void* key_buffer, uint8_t key_length, int8_t key_number, const void* client_id) {
    uint32_t no_length = 0;
    Call call;
    call.operation = operation;
    call.position_block = position_block;
    call.data = static_cast<uint8_t*>(data_buffer);
    call.data_length = data_length != nullptr ? data_length : &no_length;
    call.key = static_cast<uint8_t*>(key_buffer);
    call.key_length = key_length;
    call.key_number = key_number;
    return Dispatch(call, static_cast<const uint8_t*>(client_id));
}

}  // namespace
}  // namespace recman

extern "C" int recman_call(uint16_t operation, void* position_block, void* data_buffer,
                           uint32_t* data_length, void* key_buffer, uint8_t key_length,
                           int8_t key_number) {
    return recman::Enter(operation, position_block, data_buffer, data_length, key_buffer,
                         key_length, key_number, nullptr);
}

extern "C" int recman_call_id(uint16_t operation, void* position_block, void* data_buffer,
                              uint32_t* data_length, void* key_buffer, uint8_t key_length,
                              int8_t key_number, const void* client_id) {
    if (client_id == nullptr) {
        return RECMAN_INVALID_OPERATION;
    }
    return recman::Enter(operation, position_block, data_buffer, data_length, key_buffer,
                         key_length, key_number, client_id);
}
