#include "storage/cvbuffer.h"

#include <array>
#include <cstring>
#include <utility>

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t RecordCrc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

cvBuffer::cvBuffer(size_t length) {
    SetLength(length);
}

cvBuffer::cvBuffer(const uint8_t* data, size_t length) {
    Assign(data, length);
}

cvBuffer::cvBuffer(const cvBuffer& other) {
    Assign(other.Data(), other.Length());
}

cvBuffer& cvBuffer::operator=(const cvBuffer& other) {
    if (this != &other) {
        Assign(other.Data(), other.Length());
    }
    return *this;
}

cvBuffer::cvBuffer(cvBuffer&& other) noexcept
    : length_(std::exchange(other.length_, 0)), data_(std::move(other.data_)) {}

cvBuffer& cvBuffer::operator=(cvBuffer&& other) noexcept {
    length_ = std::exchange(other.length_, 0);
    data_ = std::move(other.data_);
    return *this;
}

void cvBuffer::SetLength(size_t length) {
    data_.reset();
    length_ = length;
    if (length > 0) {
        data_ = std::make_unique<uint8_t[]>(length);  // value-initialised: all zero
    }
}

void cvBuffer::Assign(const uint8_t* data, size_t length) {
    if (length != length_) {
        SetLength(length);
    }
    if (length > 0 && data) {
        std::memmove(data_.get(), data, length);
    }
}

void cvBuffer::Fill(uint8_t value) {
    if (length_ > 0) {
        std::memset(data_.get(), value, length_);
    }
}
