#include "transport/dnsmessage.h"

#include <algorithm>
#include <optional>

namespace {

// The smallest mail-exchanger record: a one-byte owner name, type, class, time to live
// and data length (10 bytes), then a preference and a one-byte exchange name.
constexpr size_t kMinMxRecordBytes = 14;

void PutU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

// Reads inside the received bytes only; every accessor says whether it could.
class AnswerReader {
  public:
    AnswerReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    std::optional<uint16_t> U16(size_t position) const {
        if (position > size_ || size_ - position < 2) {
            return std::nullopt;
        }
        return static_cast<uint16_t>((data_[position] << 8) | data_[position + 1]);
    }

    // Decodes the name at `position` into *name (labels joined by "."), following
    // compression pointers. *after is where the name ends in place (after its zero
    // byte or its first pointer). False when the name cannot be read.
    bool Name(size_t position, std::string* name, size_t* after) const {
        name->clear();
        bool jumped = false;
        int pointers = 0;
        for (;;) {
            if (position >= size_) {
                return false;
            }
            const uint8_t length = data_[position];
            if (length == 0) {
                if (!jumped) {
                    *after = position + 1;
                }
                return true;
            }
            if (length >= 64) {
                if (position + 1 >= size_ || ++pointers > kMaxNamePointers) {
                    return false;
                }
                if (!jumped) {
                    *after = position + 2;
                }
                position = (static_cast<size_t>(length & 0x3F) << 8) | data_[position + 1];
                jumped = true;
                continue;
            }
            if (size_ - position - 1 < length) {
                return false;
            }
            if (!name->empty()) {
                name->push_back('.');
            }
            name->append(reinterpret_cast<const char*>(data_ + position + 1), length);
            if (name->size() > kMaxNameLength) {
                return false;
            }
            position += 1 + static_cast<size_t>(length);
        }
    }

    // Where the name at `position` ends in place; false when it cannot be read.
    bool SkipName(size_t position, size_t* after) const {
        std::string ignored;
        return Name(position, &ignored, after);
    }

    const uint8_t* data() const { return data_; }

  private:
    const uint8_t* data_;
    size_t size_;
};

std::string DottedAddress(const uint8_t* bytes) {
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

}  // namespace

std::string BuildDnsQuery(std::string_view domain, uint16_t type) {
    if (!domain.empty() && domain.back() == '.') {
        domain.remove_suffix(1);
    }
    if (domain.empty()) {
        return {};
    }
    std::string query;
    PutU16(query, kDnsQueryId);
    query.push_back(static_cast<char>(0x01));  // recursion desired
    query.push_back(static_cast<char>(0x00));
    PutU16(query, 1);  // one question
    PutU16(query, 0);
    PutU16(query, 0);
    PutU16(query, 0);
    size_t name_bytes = 1;  // the closing zero byte
    size_t start = 0;
    for (;;) {
        const size_t dot = domain.find('.', start);
        const std::string_view label = domain.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (label.empty() || label.size() > 63) {
            return {};
        }
        name_bytes += 1 + label.size();
        if (name_bytes > kMaxNameLength) {
            return {};
        }
        query.push_back(static_cast<char>(label.size()));
        query.append(label);
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    query.push_back('\0');
    PutU16(query, type);
    PutU16(query, 1);  // class IN
    return query;
}

std::vector<tvMailExchanger> ParseMxAnswer(const uint8_t* data, size_t size) {
    const AnswerReader reader(data, size);
    const std::optional<uint16_t> answers = reader.U16(6);
    const std::optional<uint16_t> authorities = reader.U16(8);
    const std::optional<uint16_t> additionals = reader.U16(10);
    if (!answers || !authorities || !additionals || *answers == 0) {
        return {};
    }
    const int records = *answers + *authorities + *additionals;

    // The question: its name, type and class.
    size_t position = 0;
    if (!reader.SkipName(12, &position)) {
        return {};
    }
    position += 4;

    // An answer that starts with an alias has one mail exchanger fewer than answers.
    size_t type_at = 0;
    if (!reader.SkipName(position, &type_at)) {
        return {};
    }
    const std::optional<uint16_t> first_type = reader.U16(type_at);
    if (!first_type) {
        return {};
    }
    size_t expected = *answers;
    size_t answer_count = *answers;
    if (*first_type == kDnsTypeCname) {
        expected = *answers - 1u;
        if (expected != 0) {
            answer_count = expected;
        }
    }
    if (expected == 0) {
        return {};
    }

    // No datagram holds more mail exchangers than fit in it (a record takes at least
    // 14 bytes), whatever its counts claim: the list is never made larger than that.
    expected = std::min(expected, size / kMinMxRecordBytes + 1);
    std::vector<tvMailExchanger> list(expected);
    size_t remaining = expected;
    size_t fill = 0;
    for (int record = 0; record < records; ++record) {
        if (!reader.SkipName(position, &type_at)) {
            return {};
        }
        const std::optional<uint16_t> type = reader.U16(type_at);
        const std::optional<uint16_t> length = reader.U16(type_at + 8);
        const size_t data_at = type_at + 10;
        if (!type || !length || data_at > size || size - data_at < *length) {
            return {};
        }
        bool last = false;
        std::string name;
        size_t ignored = 0;
        switch (*type) {
            case kDnsTypeMx: {
                const std::optional<uint16_t> preference = reader.U16(data_at);
                if (*length < 3 || !preference || !reader.Name(data_at + 2, &name, &ignored)) {
                    return {};
                }
                // An address record among the mail exchangers moves the fill index
                // too, so it may have passed the last entry.
                if (remaining > 0 && fill < list.size()) {
                    list[fill].host = name;
                    list[fill].preference = *preference;
                    ++fill;
                    --remaining;
                    if (remaining == 0) {
                        fill = 0;  // the address records fill the entries from the first
                    }
                }
                break;
            }
            case kDnsTypeA:
                if (*length < 4) {
                    return {};
                }
                if (fill < answer_count && fill < list.size()) {
                    list[fill].address = DottedAddress(reader.data() + data_at);
                    ++fill;
                }
                break;
            case kDnsTypeCname:
                if (!reader.Name(data_at, &name, &ignored)) {
                    return {};
                }
                break;
            case kDnsTypeNs:
                break;
            default:
                last = true;
                break;
        }
        if (last) {
            break;
        }
        position = data_at + *length;
    }

    std::erase_if(list, [](const tvMailExchanger& entry) { return entry.host.empty(); });
    std::stable_sort(list.begin(), list.end(),
                     [](const tvMailExchanger& left, const tvMailExchanger& right) {
                         return left.preference < right.preference;
                     });
    return list;
}
