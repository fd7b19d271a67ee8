#pragma once
// Key encoding: turns a key's segments into bytes whose memcmp order is the key's
// order, so that one SQLite index over a BLOB column serves every positioning call.
//
// Each segment encodes to a fixed width by its extended type, whatever its other flags
// say: strings as bytes (ZString up to its NUL, LString by its length byte, both padded
// with zeros; upper-cased when case-insensitive), signed integers big-endian with the
// sign bit flipped, unsigned values big-endian, floats by the IEEE total-order
// transform, dates as year, month, day, times as hours, minutes, seconds, hundredths,
// packed decimals as a sign byte and digits inverted when negative. A descending
// segment has its bytes inverted; fixed widths keep that safe inside a concatenation.

#include <cstddef>
#include <cstdint>

#include "platform/recman/filespec.h"

namespace recman {

// True for the extended types keys may use.
bool IsKnownType(uint8_t type);

// The width a segment of this type and raw length encodes to, or 0 when the type does
// not allow that length (or is unknown).
size_t EncodedWidth(uint8_t type, size_t length);

// True when every raw byte of the segment equals its null value.
bool IsSegmentNull(const SegmentSpec& segment, const uint8_t* raw);

// Writes the segment's encoding (segment.encoded_width bytes) to `out`.
void EncodeSegment(const SegmentSpec& segment, const uint8_t* raw, uint8_t* out);

// The key's encoding taken from a record. Returns false, leaving `out` empty, when the
// key's null rule leaves the record out of the key.
bool EncodeRecordKey(const KeySpec& key, const uint8_t* record, Bytes* out);

// The encoding of a key value (segments back to back, as in a key buffer), used to
// search; null rules do not apply to a searched value.
void EncodeKeyValue(const KeySpec& key, const uint8_t* value, Bytes* out);

// Copies the key value (key.value_length bytes) out of a record.
void ExtractKeyValue(const KeySpec& key, const uint8_t* record, uint8_t* value);

// AutoInc support: the value of an integer segment from its raw bytes, from its
// encoding, and written back into raw bytes (little-endian, truncated to the length).
int64_t ReadIntegerSegment(const SegmentSpec& segment, const uint8_t* raw);
int64_t DecodeIntegerSegment(const SegmentSpec& segment, const uint8_t* encoded);
void WriteIntegerSegment(const SegmentSpec& segment, int64_t value, uint8_t* raw);

}  // namespace recman
