#include "platform/recman/keycodec.h"

#include <cstring>

#include "platform/recman/recman.h"

namespace recman {
namespace {

uint8_t FoldCase(uint8_t byte) {
    return (byte >= 'a' && byte <= 'z') ? static_cast<uint8_t>(byte - 'a' + 'A') : byte;
}

bool IsStringType(uint8_t type) {
    return type == RECMAN_TYPE_STRING || type == RECMAN_TYPE_ZSTRING || type == RECMAN_TYPE_LSTRING;
}

uint64_t ReadLittleEndian(const uint8_t* raw, size_t length) {
    uint64_t value = 0;
    for (size_t i = length; i-- > 0;) {
        value = (value << 8) | raw[i];
    }
    return value;
}

void WriteBigEndian(uint64_t value, size_t length, uint8_t* out) {
    for (size_t i = length; i-- > 0;) {
        out[i] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

uint64_t ReadBigEndian(const uint8_t* in, size_t length) {
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        value = (value << 8) | in[i];
    }
    return value;
}

uint64_t SignBit(size_t length) {
    return uint64_t{1} << (length * 8 - 1);
}

void EncodeString(const SegmentSpec& segment, const uint8_t* raw, uint8_t* out) {
    const size_t width = segment.encoded_width;
    std::memset(out, 0, width);
    size_t count = 0;
    switch (segment.type) {
        case RECMAN_TYPE_ZSTRING:
            while (count < segment.length && raw[count] != 0) {
                out[count] = raw[count];
                ++count;
            }
            break;
        case RECMAN_TYPE_LSTRING: {
            // Content first, then its length: a shorter string that is a prefix of a
            // longer one sorts first, and trailing zeros inside the content still count.
            count = raw[0];
            if (count > segment.length - 1u) {
                count = segment.length - 1u;
            }
            std::memcpy(out, raw + 1, count);
            out[width - 1] = static_cast<uint8_t>(count);
            break;
        }
        default:
            count = segment.length;
            std::memcpy(out, raw, count);
            break;
    }
    if (segment.CaseInsensitive()) {
        for (size_t i = 0; i < count; ++i) {
            out[i] = FoldCase(out[i]);
        }
    }
}

void EncodeFloat(const uint8_t* raw, size_t length, uint8_t* out) {
    uint64_t bits = ReadLittleEndian(raw, length);
    const uint64_t sign = SignBit(length);
    if ((bits & ~sign) == 0) {
        bits = 0;  // -0 equals +0
    }
    bits = (bits & sign) ? ~bits : (bits | sign);
    WriteBigEndian(bits, length, out);
}

// Packed decimal: two digits a byte, the last nibble the sign (0xD or 0xB negative).
// Encoded as a sign byte (0 negative, 1 otherwise) and the digit nibbles, inverted when
// negative so that a larger magnitude sorts lower.
void EncodeDecimal(const uint8_t* raw, size_t length, uint8_t* out) {
    const size_t digits = length * 2 - 1;
    const uint8_t sign_nibble = raw[length - 1] & 0x0F;
    bool zero = true;
    for (size_t i = 0; i < digits; ++i) {
        const uint8_t nibble = (i % 2 == 0) ? (raw[i / 2] >> 4) : (raw[i / 2] & 0x0F);
        if (nibble != 0) {
            zero = false;
        }
    }
    const bool negative = !zero && (sign_nibble == 0x0D || sign_nibble == 0x0B);
    out[0] = negative ? 0x00 : 0x01;
    std::memset(out + 1, 0, length);
    for (size_t i = 0; i < digits; ++i) {
        uint8_t nibble = (i % 2 == 0) ? (raw[i / 2] >> 4) : (raw[i / 2] & 0x0F);
        if (negative) {
            nibble = static_cast<uint8_t>(0x0F - nibble);
        }
        out[1 + i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(nibble << 4) : nibble;
    }
}

}  // namespace

bool SegmentSpec::Descending() const {
    return (flags & RECMAN_KEY_DESCENDING) != 0;
}

bool SegmentSpec::CaseInsensitive() const {
    return (flags & RECMAN_KEY_NO_CASE) != 0 && IsStringType(type);
}

bool IsKnownType(uint8_t type) {
    // Every known type allows a length of 1 or of 4.
    return EncodedWidth(type, 1) != 0 || EncodedWidth(type, 4) != 0;
}

size_t EncodedWidth(uint8_t type, size_t length) {
    if (length == 0) {
        return 0;
    }
    switch (type) {
        case RECMAN_TYPE_STRING:
        case RECMAN_TYPE_ZSTRING:
        case RECMAN_TYPE_LSTRING:
            return length;
        case RECMAN_TYPE_INTEGER:
        case RECMAN_TYPE_AUTOINC:
        case RECMAN_TYPE_UNSIGNED:
            return (length == 1 || length == 2 || length == 4 || length == 8) ? length : 0;
        case RECMAN_TYPE_LOGICAL:
            return (length == 1 || length == 2) ? length : 0;
        case RECMAN_TYPE_FLOAT:
            return (length == 4 || length == 8) ? length : 0;
        case RECMAN_TYPE_DATE:
        case RECMAN_TYPE_TIME:
            return length == 4 ? 4 : 0;
        case RECMAN_TYPE_DECIMAL:
        case RECMAN_TYPE_MONEY:
            return length + 1;
        default:
            return 0;
    }
}

bool IsSegmentNull(const SegmentSpec& segment, const uint8_t* raw) {
    for (size_t i = 0; i < segment.length; ++i) {
        if (raw[i] != segment.null_value) {
            return false;
        }
    }
    return true;
}

void EncodeSegment(const SegmentSpec& segment, const uint8_t* raw, uint8_t* out) {
    const size_t length = segment.length;
    switch (segment.type) {
        case RECMAN_TYPE_INTEGER:
        case RECMAN_TYPE_AUTOINC:
            WriteBigEndian(ReadLittleEndian(raw, length) ^ SignBit(length), length, out);
            break;
        case RECMAN_TYPE_UNSIGNED:
        case RECMAN_TYPE_LOGICAL:
            WriteBigEndian(ReadLittleEndian(raw, length), length, out);
            break;
        case RECMAN_TYPE_FLOAT:
            EncodeFloat(raw, length, out);
            break;
        case RECMAN_TYPE_DATE:  // day, month, 16-bit year
            out[0] = raw[3];
            out[1] = raw[2];
            out[2] = raw[1];
            out[3] = raw[0];
            break;
        case RECMAN_TYPE_TIME:  // hundredths, seconds, minutes, hours
            out[0] = raw[3];
            out[1] = raw[2];
            out[2] = raw[1];
            out[3] = raw[0];
            break;
        case RECMAN_TYPE_DECIMAL:
        case RECMAN_TYPE_MONEY:
            EncodeDecimal(raw, length, out);
            break;
        default:
            EncodeString(segment, raw, out);
            break;
    }
    if (segment.Descending()) {
        for (size_t i = 0; i < segment.encoded_width; ++i) {
            out[i] = static_cast<uint8_t>(~out[i]);
        }
    }
}

bool EncodeRecordKey(const KeySpec& key, const uint8_t* record, Bytes* out) {
    out->clear();
    if (key.null_when_all || key.null_when_any) {
        size_t nulls = 0;
        for (const SegmentSpec& segment : key.segments) {
            if (IsSegmentNull(segment, record + segment.RecordOffset())) {
                ++nulls;
            }
        }
        if ((key.null_when_any && nulls > 0) ||
            (key.null_when_all && nulls == key.segments.size())) {
            return false;
        }
    }
    out->resize(key.encoded_length);
    for (const SegmentSpec& segment : key.segments) {
        EncodeSegment(segment, record + segment.RecordOffset(),
                      out->data() + segment.encoded_offset);
    }
    return true;
}

void EncodeKeyValue(const KeySpec& key, const uint8_t* value, Bytes* out) {
    out->resize(key.encoded_length);
    for (const SegmentSpec& segment : key.segments) {
        EncodeSegment(segment, value + segment.value_offset, out->data() + segment.encoded_offset);
    }
}

void ExtractKeyValue(const KeySpec& key, const uint8_t* record, uint8_t* value) {
    for (const SegmentSpec& segment : key.segments) {
        std::memcpy(value + segment.value_offset, record + segment.RecordOffset(), segment.length);
    }
}

int64_t ReadIntegerSegment(const SegmentSpec& segment, const uint8_t* raw) {
    const size_t length = segment.length;
    uint64_t bits = ReadLittleEndian(raw, length);
    if (length < 8 && (bits & SignBit(length))) {
        bits |= ~uint64_t{0} << (length * 8);  // sign-extend
    }
    return static_cast<int64_t>(bits);
}

int64_t DecodeIntegerSegment(const SegmentSpec& segment, const uint8_t* encoded) {
    const size_t length = segment.length;
    uint64_t bits = ReadBigEndian(encoded, length);
    if (segment.Descending()) {
        bits = ~bits;
        if (length < 8) {
            bits &= (uint64_t{1} << (length * 8)) - 1;
        }
    }
    bits ^= SignBit(length);
    if (length < 8 && (bits & SignBit(length))) {
        bits |= ~uint64_t{0} << (length * 8);
    }
    return static_cast<int64_t>(bits);
}

void WriteIntegerSegment(const SegmentSpec& segment, int64_t value, uint8_t* raw) {
    uint64_t bits = static_cast<uint64_t>(value);
    for (size_t i = 0; i < segment.length; ++i) {
        raw[i] = static_cast<uint8_t>(bits);
        bits >>= 8;
    }
}

}  // namespace recman
