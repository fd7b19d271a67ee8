#pragma once
// Owned bytes of a fixed length: the image of one record.
//
// A buffer of length 0 holds no block. Setting a new length replaces the block with a
// zeroed one of that length; setting content of the current length copies in place.

#include <cstddef>
#include <cstdint>
#include <memory>

// CRC-32 with the reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF and no
// final exclusive-or. Records keep it to notice changes to their bytes; the same value
// lets the file layer notice that somebody else changed a stored row.
uint32_t RecordCrc32(const uint8_t* data, size_t length);

class cvBuffer {
  public:
    cvBuffer() = default;
    explicit cvBuffer(size_t length);
    cvBuffer(const uint8_t* data, size_t length);
    cvBuffer(const cvBuffer& other);
    cvBuffer& operator=(const cvBuffer& other);
    cvBuffer(cvBuffer&& other) noexcept;
    cvBuffer& operator=(cvBuffer&& other) noexcept;
    ~cvBuffer() = default;

    size_t Length() const { return length_; }
    uint8_t* Data() { return data_.get(); }
    const uint8_t* Data() const { return data_.get(); }

    // A zeroed block of `length` bytes (none for 0); the old block is freed.
    void SetLength(size_t length);
    // Copies `length` bytes in; in place when the length is unchanged.
    void Assign(const uint8_t* data, size_t length);
    // Sets every byte to `value`.
    void Fill(uint8_t value);

    uint32_t Crc32() const { return RecordCrc32(data_.get(), length_); }

  private:
    size_t length_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};
