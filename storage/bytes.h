#pragma once
// Byte-level helpers for record images and dictionary rows: little-endian integers
// and blank-padded names. Callers check that the bytes they name lie inside their
// buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

inline uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t ReadLE64(const uint8_t* p) {
    return static_cast<uint64_t>(ReadLE32(p)) | static_cast<uint64_t>(ReadLE32(p + 4)) << 32;
}

inline void WriteLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

inline void WriteLE64(uint8_t* p, uint64_t v) {
    WriteLE32(p, static_cast<uint32_t>(v));
    WriteLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Blanks trimmed from both ends of a text.
inline std::string TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// A name stored blank-padded in `size` bytes, with the padding removed. A NUL ends the
// name early (some writers pad with zeros).
inline std::string PaddedName(const uint8_t* p, size_t size) {
    const void* nul = std::memchr(p, 0, size);
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    return TrimBlanks(std::string_view(reinterpret_cast<const char*>(p), length));
}

// Writes `name` cut or blank-padded to exactly `size` bytes.
inline void WritePaddedName(uint8_t* p, size_t size, std::string_view name) {
    const size_t used = name.size() < size ? name.size() : size;
    std::memcpy(p, name.data(), used);
    std::memset(p + used, ' ', size - used);
}
