#include "tests/platform/recman/recmantesting.h"

#include <unistd.h>

#include <atomic>
#include <cstring>

namespace recman_testing {

ClientId NewClientId() {
    static std::atomic<uint32_t> counter{0};
    ClientId id{};
    const uint32_t number = ++counter;
    const uint32_t pid = static_cast<uint32_t>(getpid());
    std::memcpy(id.data(), "TEST", 4);
    std::memcpy(id.data() + 4, &pid, 4);
    std::memcpy(id.data() + 8, &number, 4);
    return id;
}

Bytes SpecLayout(uint16_t record_length, const std::vector<std::vector<SegmentLayout>>& keys,
                 uint16_t page_size, uint16_t file_flags) {
    Bytes layout(16, 0);
    Put16(layout, 0, record_length);
    Put16(layout, 2, page_size);
    layout[4] = static_cast<uint8_t>(keys.size());
    Put16(layout, 10, file_flags);
    for (const auto& key : keys) {
        for (size_t s = 0; s < key.size(); ++s) {
            const SegmentLayout& segment = key[s];
            Bytes part(16, 0);
            Put16(part, 0, segment.position);
            Put16(part, 2, segment.length);
            uint16_t flags = segment.flags | RECMAN_KEY_EXTENDED_TYPE;
            if (s + 1 < key.size()) {
                flags |= RECMAN_KEY_SEGMENTED;
            }
            Put16(part, 4, flags);
            part[10] = segment.type;
            part[11] = segment.null_value;
            layout.insert(layout.end(), part.begin(), part.end());
        }
    }
    return layout;
}

void Put16(Bytes& record, size_t offset, int64_t value) {
    record[offset] = static_cast<uint8_t>(value);
    record[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Bytes& record, size_t offset, int64_t value) {
    for (size_t i = 0; i < 4; ++i) {
        record[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

int64_t Get32(const Bytes& record, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(record[offset + i]) << (8 * i);
    }
    return static_cast<int32_t>(value);
}

void PutText(Bytes& record, size_t offset, size_t width, const std::string& text) {
    std::memset(record.data() + offset, ' ', width);
    std::memcpy(record.data() + offset, text.data(), std::min(width, text.size()));
}

std::string GetText(const Bytes& record, size_t offset, size_t width) {
    std::string text(reinterpret_cast<const char*>(record.data() + offset), width);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

RecmanFile::RecmanFile(const ClientId* client) : client_(client) {}

RecmanFile::~RecmanFile() {
    if (open_) {
        static_cast<void>(Close());
    }
}

int RecmanFile::Call(uint16_t operation, void* data, uint32_t* length, void* key,
                     int8_t key_number) {
    if (client_ != nullptr) {
        return recman_call_id(operation, block_, data, length, key, RECMAN_KEY_BUFFER_SIZE,
                              key_number, client_->data());
    }
    return recman_call(operation, block_, data, length, key, RECMAN_KEY_BUFFER_SIZE, key_number);
}

int RecmanFile::Open(const std::string& path, int8_t mode) {
    std::memset(key_, 0, sizeof key_);
    std::memcpy(key_, path.c_str(), std::min(path.size(), sizeof key_ - 1));
    uint32_t length = 0;
    const int status = Call(RECMAN_OPEN, nullptr, &length, key_, mode);
    open_ = open_ || status == 0;
    return status;
}

int RecmanFile::Close() {
    uint32_t length = 0;
    const int status = Call(RECMAN_CLOSE, nullptr, &length, key_, 0);
    if (status == 0) {
        open_ = false;
    }
    return status;
}

int RecmanFile::Insert(Bytes& record, int8_t key) {
    auto length = static_cast<uint32_t>(record.size());
    return Call(RECMAN_INSERT, record.data(), &length, key_, key);
}

int RecmanFile::Update(Bytes& record, int8_t key) {
    auto length = static_cast<uint32_t>(record.size());
    return Call(RECMAN_UPDATE, record.data(), &length, key_, key);
}

int RecmanFile::Delete() {
    uint32_t length = 0;
    return Call(RECMAN_DELETE, nullptr, &length, key_, 0);
}

int RecmanFile::Get(uint16_t operation, int8_t key, Bytes& key_value, Bytes& record) {
    std::memset(key_, 0, sizeof key_);
    std::memcpy(key_, key_value.data(), key_value.size());
    auto length = static_cast<uint32_t>(record.size());
    const int status = Call(operation, record.data(), &length, key_, key);
    if (status == 0) {
        std::memcpy(key_value.data(), key_, key_value.size());
    }
    return status;
}

int RecmanFile::Step(uint16_t operation, int8_t key, Bytes& record) {
    auto length = static_cast<uint32_t>(record.size());
    return Call(operation, record.data(), &length, key_, key);
}

int RecmanFile::GetPosition(uint32_t* position) {
    uint8_t data[4] = {};
    uint32_t length = sizeof data;
    const int status = Call(RECMAN_GET_POSITION, data, &length, key_, 0);
    std::memcpy(position, data, 4);
    return status;
}

int RecmanFile::GetDirect(uint32_t position, int8_t key, Bytes& record) {
    std::memcpy(record.data(), &position, 4);
    auto length = static_cast<uint32_t>(record.size());
    return Call(RECMAN_GET_DIRECT, record.data(), &length, key_, key);
}

int RecmanFile::Stat(Bytes& layout) {
    layout.assign(16 + 16 * 32, 0);
    auto length = static_cast<uint32_t>(layout.size());
    const int status = Call(RECMAN_STAT, layout.data(), &length, key_, 0);
    layout.resize(status == 0 ? length : 0);
    return status;
}

int RecmanFile::Begin() {
    uint32_t length = 0;
    return Call(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS, nullptr, &length, key_, 0);
}

int RecmanFile::End() {
    uint32_t length = 0;
    return Call(RECMAN_END_TRANSACTION, nullptr, &length, key_, 0);
}

int RecmanFile::Abort() {
    uint32_t length = 0;
    return Call(RECMAN_ABORT_TRANSACTION, nullptr, &length, key_, 0);
}

int CreateFile(const std::string& path, const Bytes& layout, int8_t mode) {
    uint8_t block[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
    std::memcpy(key, path.c_str(), std::min(path.size(), sizeof key - 1));
    Bytes data = layout;
    auto length = static_cast<uint32_t>(data.size());
    return recman_call(RECMAN_CREATE, block, data.data(), &length, key, RECMAN_KEY_BUFFER_SIZE,
                       mode);
}

}  // namespace recman_testing
