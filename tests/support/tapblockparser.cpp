#include "tests/support/tapblockparser.h"

#include <limits>

namespace {

constexpr char kStartText = '\x02';
constexpr char kEndText = '\x03';
constexpr char kReturn = '\r';

constexpr std::string_view kConfirm = ")#*&(C";
constexpr std::string_view kQueryLead = ")#*&(Q";
constexpr std::string_view kCancelLead = ")#*&(D";

int64_t DecimalOrMinusOne(std::string_view digits) {
    if (digits.empty() || digits.size() > 10) {
        return -1;
    }
    int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value > std::numeric_limits<int32_t>::max() ? -1 : value;
}

}  // namespace

TapParsedBlock ParseTapBlock(std::string_view raw) {
    TapParsedBlock block;
    block.raw = std::string(raw);
    // STX + at least "CR CR ETX ccc CR".
    if (raw.size() < 8 || raw.front() != kStartText || raw.back() != kReturn) {
        return block;
    }
    const size_t etx = raw.size() - 5;
    if (raw[etx] != kEndText || raw[etx - 1] != kReturn) {
        return block;
    }
    unsigned sum = 0;
    for (size_t i = 0; i <= etx; ++i) {
        sum += static_cast<unsigned char>(raw[i]);
    }
    const char expected[3] = {static_cast<char>('0' + ((sum >> 8) & 0xF)),
                              static_cast<char>('0' + ((sum >> 4) & 0xF)),
                              static_cast<char>('0' + (sum & 0xF))};
    block.checksum_ok = raw.substr(etx + 1, 3) == std::string_view(expected, 3);

    const std::string_view body = raw.substr(1, etx - 2);  // ID CR field
    const size_t separator = body.find(kReturn);
    if (separator == std::string_view::npos) {
        return block;
    }
    block.framed = true;
    block.pin = std::string(body.substr(0, separator));
    block.field = std::string(body.substr(separator + 1));
    const std::string_view field = block.field;
    if (field.substr(0, kQueryLead.size()) == kQueryLead) {
        block.kind = TapParsedBlock::Kind::kQuery;
        block.number = DecimalOrMinusOne(field.substr(kQueryLead.size()));
    } else if (field.substr(0, kCancelLead.size()) == kCancelLead) {
        block.kind = TapParsedBlock::Kind::kCancel;
        block.number = DecimalOrMinusOne(field.substr(kCancelLead.size()));
    } else if (field.size() >= kConfirm.size() &&
               field.substr(field.size() - kConfirm.size()) == kConfirm) {
        block.kind = TapParsedBlock::Kind::kConfirmedPage;
        block.text = std::string(field.substr(0, field.size() - kConfirm.size()));
    } else {
        block.text = block.field;
    }
    return block;
}

void TapBlockCollector::Reset() {
    in_block_ = false;
    bytes_.clear();
    after_etx_ = -1;
}

std::optional<TapParsedBlock> TapBlockCollector::Feed(char byte) {
    if (byte == kStartText && after_etx_ < 0) {
        Reset();
        in_block_ = true;
        bytes_.push_back(byte);
        return std::nullopt;
    }
    if (!in_block_) {
        return std::nullopt;
    }
    bytes_.push_back(byte);
    if (after_etx_ >= 0) {
        ++after_etx_;
        if (after_etx_ == 4) {
            TapParsedBlock block = ParseTapBlock(bytes_);
            Reset();
            return block;
        }
        return std::nullopt;
    }
    if (byte == kEndText) {
        after_etx_ = 0;
    } else if (bytes_.size() > limit_) {
        Reset();
    }
    return std::nullopt;
}
