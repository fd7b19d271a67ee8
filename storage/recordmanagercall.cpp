#include "storage/recordmanagercall.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "log/cveventlog.h"
#include "platform/recman/recman.h"

namespace {

std::mutex g_ui_client_mutex;
RecordManagerClientId g_ui_client{};  // guarded by g_ui_client_mutex
bool g_ui_client_set = false;         // guarded by g_ui_client_mutex

}  // namespace

int RecordManagerCall(uint16_t operation, void* position_block, void* data_buffer,
                      uint32_t* data_length, void* key_buffer, int8_t key_number,
                      const RecordManagerClientId* client) {
    constexpr uint8_t kKeyLength = 255;
    int status = 0;
    if (client) {
        status = recman_call_id(operation, position_block, data_buffer, data_length, key_buffer,
                                kKeyLength, key_number, client->data());
    } else {
        status = recman_call(operation, position_block, data_buffer, data_length, key_buffer,
                             kKeyLength, key_number);
    }
    return static_cast<int16_t>(status);  // a 16-bit status, sign-extended
}

std::string RecordManagerVersion() {
    uint8_t position[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t data[5] = {};
    uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
    uint32_t length = sizeof data;
    if (RecordManagerCall(RECMAN_VERSION, position, data, &length, key, 0) != 0) {
        return {};
    }
    const int version = data[0] | (data[1] << 8);
    const int revision = data[2] | (data[3] << 8);
    char text[64];
    std::snprintf(text, sizeof text, "Btrieve version %d.%d%c", version, revision,
                  static_cast<char>(data[4]));
    return text;
}

RecordManagerClientId NewRecordManagerClientId() {
    static std::atomic<uint32_t> counter{0};
    RecordManagerClientId id{};
    const uint32_t number = ++counter;
    const uint32_t pid = static_cast<uint32_t>(getpid());
    std::memcpy(id.data(), "TVCL", 4);
    std::memcpy(id.data() + 4, &pid, sizeof pid);
    std::memcpy(id.data() + 8, &number, sizeof number);
    return id;
}

void SetUserInterfaceClient(const RecordManagerClientId& client) {
    {
        std::lock_guard lock(g_ui_client_mutex);
        g_ui_client = client;
        if (g_ui_client_set) {
            return;
        }
        g_ui_client_set = true;
    }
    EventLog().SetAbortHook([] {
        RecordManagerClientId id;
        {
            std::lock_guard lock(g_ui_client_mutex);
            id = g_ui_client;
        }
        uint8_t position[RECMAN_POSITION_BLOCK_SIZE] = {};
        uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
        uint32_t length = 0;
        // The save that held the transaction sees the flag cleared and leaves it alone.
        static_cast<void>(
            RecordManagerCall(RECMAN_ABORT_TRANSACTION, position, nullptr, &length, key, 0, &id));
    });
}
