#include "platform/recman/filespec.h"

#include <algorithm>
#include <cstring>

#include "platform/recman/keycodec.h"
#include "platform/recman/recman.h"

namespace recman {
namespace {

constexpr size_t kPartSize = 16;
constexpr size_t kMaxKeys = 119;
constexpr uint16_t kPageUnit = 512;
constexpr uint16_t kMaxPageSize = 16384;

uint16_t Read16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

void Write32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

size_t FileSpec::SegmentCount() const {
    size_t count = 0;
    for (const KeySpec& key : keys) {
        count += key.segments.size();
    }
    return count;
}

int ParseFileSpec(const uint8_t* data, size_t length, FileSpec* spec) {
    if (data == nullptr || length < kPartSize) {
        return RECMAN_INVALID_PAGE_SIZE;
    }
    FileSpec parsed;
    parsed.record_length = Read16(data);
    parsed.page_size = Read16(data + 2);
    const size_t key_count = data[4];
    parsed.file_flags = Read16(data + 10);
    if (parsed.record_length == 0) {
        return RECMAN_INVALID_RECORD_LENGTH;
    }
    if (parsed.page_size < kPageUnit || parsed.page_size > kMaxPageSize ||
        parsed.page_size % kPageUnit != 0) {
        return RECMAN_INVALID_PAGE_SIZE;
    }
    if (key_count > kMaxKeys) {
        return RECMAN_INVALID_KEY_COUNT;
    }

    size_t at = kPartSize;
    for (size_t k = 0; k < key_count; ++k) {
        KeySpec key;
        bool more = true;
        while (more) {
            if (at + kPartSize > length) {
                return RECMAN_INVALID_PAGE_SIZE;
            }
            const uint8_t* part = data + at;
            at += kPartSize;
            SegmentSpec segment;
            segment.position = Read16(part);
            segment.length = Read16(part + 2);
            segment.flags = Read16(part + 4);
            segment.type = part[10];
            segment.null_value = part[11];
            more = (segment.flags & RECMAN_KEY_SEGMENTED) != 0;

            if (segment.length == 0) {
                return RECMAN_INVALID_KEY_LENGTH;
            }
            if (segment.position == 0 ||
                segment.position + segment.length - 1u > parsed.record_length) {
                return RECMAN_INVALID_KEY_POSITION;
            }
            if (!IsKnownType(segment.type)) {
                return RECMAN_INVALID_EXTENDED_TYPE;
            }
            segment.encoded_width = EncodedWidth(segment.type, segment.length);
            if (segment.encoded_width == 0) {
                return RECMAN_INVALID_KEY_LENGTH;
            }
            if (segment.type == RECMAN_TYPE_AUTOINC && !key.segments.empty()) {
                return RECMAN_INVALID_AUTOINC;
            }
            segment.value_offset = key.value_length;
            segment.encoded_offset = key.encoded_length;
            key.value_length += segment.length;
            key.encoded_length += segment.encoded_width;
            key.duplicates = key.duplicates || (segment.flags & RECMAN_KEY_DUPLICATES);
            key.modifiable = key.modifiable || (segment.flags & RECMAN_KEY_MODIFIABLE);
            key.null_when_any = key.null_when_any || (segment.flags & RECMAN_KEY_MANUAL);
            key.null_when_all = key.null_when_all || (segment.flags & RECMAN_KEY_NULL);
            key.autoinc = key.autoinc || segment.type == RECMAN_TYPE_AUTOINC;
            key.segments.push_back(segment);
        }
        if (key.null_when_any) {
            key.null_when_all = false;  // the stricter rule of a manual key wins
        }
        if (key.value_length > RECMAN_KEY_BUFFER_SIZE) {
            return RECMAN_INVALID_KEY_LENGTH;
        }
        parsed.keys.push_back(std::move(key));
    }

    parsed.layout.assign(data, data + at);
    Write32(parsed.layout.data() + 6, 0);
    for (size_t part = kPartSize; part < at; part += kPartSize) {
        Write32(parsed.layout.data() + part + 6, 0);
    }
    *spec = std::move(parsed);
    return RECMAN_OK;
}

Bytes StatLayout(const FileSpec& spec, uint32_t record_count) {
    Bytes layout = spec.layout;
    Write32(layout.data() + 6, record_count);
    return layout;
}

}  // namespace recman
