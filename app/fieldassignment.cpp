#include "app/fieldassignment.h"

#include <cctype>
#include <charconv>
#include <cstdint>

#include "app/formattext.h"
#include "model/tolvanetable.h"
#include "storage/cvddfile.h"
#include "storage/cvrec.h"
#include "storage/datatype.h"

namespace {

bool IsText(uint8_t type) {
    return type == kTypeString || type == kTypeZString || type == kTypeLString;
}

}  // namespace

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

std::optional<int32_t> ParseListValue(std::string_view text, cvValueTable values) {
    if (std::optional<int32_t> number = ParseWholeNumber(text)) {
        return number;
    }
    const std::string upper = UpperCase(text);
    for (const cvValueEntry& entry : values) {
        if (entry.text && UpperCase(entry.text) == upper) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::optional<tvFieldAssignment> ParseAssignment(std::string_view argument) {
    const size_t equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return std::nullopt;
    }
    return tvFieldAssignment{std::string(argument.substr(0, equals)),
                             std::string(argument.substr(equals + 1))};
}

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') {
            return std::nullopt;
        }
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> ParseFlag(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (upper != 'Y' && upper != 'N') {
        return std::nullopt;
    }
    return std::string(1, upper);
}

std::optional<uint32_t> ParseIpv4Address(std::string_view text) {
    if (text == "0") {
        return 0u;
    }
    uint32_t address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const size_t dot = text.find('.');
        const std::string_view part = octet < 3 ? text.substr(0, dot) : text;
        if (part.empty() || part.size() > 3 || (octet < 3 && dot == std::string_view::npos)) {
            return std::nullopt;
        }
        unsigned value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc() || end != part.data() + part.size() || value > 255) {
            return std::nullopt;
        }
        address = (address << 8) | value;
        if (octet < 3) {
            text.remove_prefix(dot + 1);
        }
    }
    return address;
}

std::string Ipv4AddressText(uint32_t address) {
    return FormatText("%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                      (address >> 8) & 0xFF, address & 0xFF);
}

int TextCapacity(const cvRec& record, std::string_view name) {
    const cvDDField* field = record.Table().FindField(name, false);
    if (!field || !IsText(field->DataType())) {
        return 0;
    }
    const int size = static_cast<int>(field->Size());
    return field->DataType() == kTypeString ? size : size - 1;
}

std::string PutFieldValue(cvRec& record, const tvFieldAssignment& assignment,
                          tvTextPadding padding) {
    const std::string& name = assignment.name;
    const cvDDField* field = record.Table().FindField(name, false);
    if (!field) {
        return "Unknown field " + name;
    }
    const uint8_t type = field->DataType();
    if (type == kTypeInteger || type == kTypeAutoInc || type == kTypeUnsigned) {
        const std::optional<int32_t> number = ParseWholeNumber(assignment.value);
        if (!number || (type == kTypeUnsigned && *number < 0)) {
            return name + " takes a whole number";
        }
        if (record.PutInt(name, *number) == 0) {
            return name + " cannot be set here";
        }
        return {};
    }
    if (type != kTypeString && type != kTypeZString) {
        return name + " cannot be set here";
    }
    std::string text = assignment.value;
    if (type == kTypeString && field->Size() == 1) {
        const std::optional<std::string> flag = ParseFlag(text);
        if (!flag) {
            return name + " takes Y or N";
        }
        text = *flag;
    }
    const int capacity = TextCapacity(record, name);
    if (static_cast<int>(text.size()) > capacity) {
        return FormatText("%s holds at most %d characters", name.c_str(), capacity);
    }
    const int stored = padding == tvTextPadding::kZeros ? PutConfigText(record, name, text)
                                                        : record.PutString(name, text);
    return stored != 0 ? std::string() : name + " cannot be set here";
}
