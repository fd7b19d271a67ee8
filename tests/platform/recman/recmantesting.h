#pragma once
// Helpers for the record manager's tests: building Create layouts, and one position
// block with its buffers driven through the C entry points.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/recman/recman.h"

namespace recman_testing {

using Bytes = std::vector<uint8_t>;
using ClientId = std::array<uint8_t, RECMAN_CLIENT_ID_SIZE>;

// A client id distinct from every other this function gives.
ClientId NewClientId();

struct SegmentLayout {
    uint16_t position;  // from 1
    uint16_t length;
    uint16_t flags;
    uint8_t type;
    uint8_t null_value = 0;
};

// The Create layout of a file of `record_length` bytes and the given keys, each a list
// of segments (the segmented flag is added between them).
Bytes SpecLayout(uint16_t record_length, const std::vector<std::vector<SegmentLayout>>& keys,
                 uint16_t page_size = 4096, uint16_t file_flags = 0);

// Little-endian helpers for record images.
void Put16(Bytes& record, size_t offset, int64_t value);
void Put32(Bytes& record, size_t offset, int64_t value);
int64_t Get32(const Bytes& record, size_t offset);
void PutText(Bytes& record, size_t offset, size_t width, const std::string& text);
std::string GetText(const Bytes& record, size_t offset, size_t width);

// One open of a file through the entry points, for the default client or a named one.
class RecmanFile {
  public:
    explicit RecmanFile(const ClientId* client = nullptr);
    ~RecmanFile();  // closes when open
    RecmanFile(const RecmanFile&) = delete;
    RecmanFile& operator=(const RecmanFile&) = delete;

    int Call(uint16_t operation, void* data, uint32_t* length, void* key, int8_t key_number);

    int Open(const std::string& path, int8_t mode = RECMAN_MODE_NORMAL);
    int Close();
    int Insert(Bytes& record, int8_t key = 0);
    int Update(Bytes& record, int8_t key = 0);
    int Delete();
    // Get Equal/Greater/Less... with the key value in `key_value`; the found record goes
    // to `record` and its key value back into `key_value`.
    int Get(uint16_t operation, int8_t key, Bytes& key_value, Bytes& record);
    // Get First/Last/Next/Previous.
    int Step(uint16_t operation, int8_t key, Bytes& record);
    int GetPosition(uint32_t* position);
    int GetDirect(uint32_t position, int8_t key, Bytes& record);
    int Stat(Bytes& layout);
    int Begin();
    int End();
    int Abort();

    void* block() { return block_; }
    uint8_t* key_buffer() { return key_; }

  private:
    const ClientId* client_;
    bool open_ = false;
    alignas(8) uint8_t block_[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
};

// Create with a layout and a create mode.
int CreateFile(const std::string& path, const Bytes& layout, int8_t mode = RECMAN_CREATE_NEW);

}  // namespace recman_testing
