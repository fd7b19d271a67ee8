#include "platform/profile/profiledocument.h"

#include <charconv>
#include <set>

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A written line as it reads: without a final carriage return and surrounding blanks.
std::string_view Meaning(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
    }
    return Trim(raw);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerKey(std::string_view section, std::string_view name) {
    std::string key;
    key.reserve(section.size() + name.size() + 1);
    for (char c : section) {
        key += LowerAscii(c);
    }
    key += '\0';
    for (char c : name) {
        key += LowerAscii(c);
    }
    return key;
}

bool HasControlCharacter(std::string_view text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

bool IsValidName(std::string_view name) {
    return !name.empty() && !HasControlCharacter(name) && !IsBlank(name.front()) &&
           !IsBlank(name.back());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// A bare value of sign and digits. Returns false when it is not one; sets `in_range`
// to whether it fits in 32 bits.
bool ParseNumber(std::string_view text, int32_t* number, bool* in_range) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    static_cast<void>(end);
    *in_range = error == std::errc() &&
                (negative ? magnitude <= uint64_t{1} << 31 : magnitude <= UINT32_MAX);
    if (*in_range) {
        const uint32_t bits = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
        *number = static_cast<int32_t>(bits);
    }
    return true;
}

// Decodes a quoted text; `text` starts at the opening quote. Returns false with a
// reason when it is malformed.
bool DecodeQuoted(std::string_view text, std::string* decoded, std::string* reason) {
    decoded->clear();
    size_t i = 1;
    for (;;) {
        if (i >= text.size()) {
            *reason = "text without closing quote";
            return false;
        }
        const char c = text[i++];
        if (c == '"') {
            break;
        }
        if (c != '\\') {
            *decoded += c;
            continue;
        }
        if (i >= text.size()) {
            *reason = "text without closing quote";
            return false;
        }
        const char escaped = text[i++];
        switch (escaped) {
            case '\\':
            case '"':
                *decoded += escaped;
                break;
            case 'n':
                *decoded += '\n';
                break;
            case 'r':
                *decoded += '\r';
                break;
            case 't':
                *decoded += '\t';
                break;
            case 'x': {
                const int high = i < text.size() ? HexDigit(text[i]) : -1;
                const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                if (high < 0 || low < 0) {
                    *reason = "\\x in a text must be followed by two hex digits";
                    return false;
                }
                *decoded += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                *reason = std::string("unknown escape \\") + escaped + " in a text";
                return false;
        }
    }
    if (!Trim(text.substr(i)).empty()) {
        *reason = "characters after the closing quote of a text";
        return false;
    }
    return true;
}

bool DecodeValue(std::string_view text, ProfileValue* value, std::string* reason) {
    if (!text.empty() && text.front() == '"') {
        std::string decoded;
        if (!DecodeQuoted(text, &decoded, reason)) {
            return false;
        }
        *value = ProfileValue::Text(std::move(decoded));
        return true;
    }
    int32_t number = 0;
    bool in_range = false;
    if (ParseNumber(text, &number, &in_range)) {
        if (!in_range) {
            *reason = "number does not fit in 32 bits";
            return false;
        }
        *value = ProfileValue::Number(number);
        return true;
    }
    *value = ProfileValue::Text(std::string(text));
    return true;
}

}  // namespace

std::optional<ProfileDocument> ProfileDocument::Parse(std::string_view content, ParseError* error) {
    ProfileDocument document;
    std::set<std::string> seen;  // lower-cased section '\0' name
    std::string current_section;
    bool in_section = false;
    int line_number = 0;

    auto fail = [&](std::string reason) {
        if (error) {
            error->line = line_number;
            error->reason = std::move(reason);
        }
        return std::nullopt;
    };

    while (!content.empty()) {
        ++line_number;
        const size_t end = content.find('\n');
        const std::string_view raw = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        // The raw line keeps a carriage return, so that untouched lines are written back
        // byte for byte; only its meaning ignores it.
        Line line;
        line.raw = std::string(raw);
        const std::string_view trimmed = Meaning(raw);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
            document.lines_.push_back(std::move(line));
            continue;
        }
        if (trimmed.front() == '[') {
            if (trimmed.back() != ']' || trimmed.size() < 2) {
                return fail("section header without closing ]");
            }
            const std::string_view name = Trim(trimmed.substr(1, trimmed.size() - 2));
            if (name.empty()) {
                return fail("section header without a name");
            }
            if (!IsValidSectionName(name)) {
                return fail("invalid section name");
            }
            line.kind = Line::Kind::kSection;
            line.section = std::string(name);
            current_section = line.section;
            in_section = true;
            document.lines_.push_back(std::move(line));
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos) {
            return fail("line is not a comment, a [section] or a name = value");
        }
        if (!in_section) {
            return fail("value before the first [section]");
        }
        const std::string_view name = Trim(trimmed.substr(0, equals));
        if (name.empty()) {
            return fail("value without a name");
        }
        if (!IsValidValueName(name)) {
            return fail("invalid value name");
        }
        std::string reason;
        if (!DecodeValue(Trim(trimmed.substr(equals + 1)), &line.value, &reason)) {
            return fail(std::move(reason));
        }
        if (!seen.insert(LowerKey(current_section, name)).second) {
            return fail("value \"" + std::string(name) + "\" appears twice in section \"" +
                        current_section + "\"");
        }
        line.kind = Line::Kind::kValue;
        line.section = current_section;
        line.name = std::string(name);
        document.lines_.push_back(std::move(line));
    }
    return document;
}

bool ProfileDocument::IsValidSectionName(std::string_view name) {
    return IsValidName(name) && name.find(']') == std::string_view::npos;
}

bool ProfileDocument::IsValidValueName(std::string_view name) {
    return IsValidName(name) && name.find('=') == std::string_view::npos && name.front() != '[' &&
           name.front() != ';' && name.front() != '#';
}

std::optional<size_t> ProfileDocument::FindLine(std::string_view section,
                                                std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Kind::kValue && SameName(line.name, name) &&
            SameName(line.section, section)) {
            return i;
        }
    }
    return std::nullopt;
}

const ProfileValue* ProfileDocument::Find(std::string_view section, std::string_view name) const {
    const std::optional<size_t> index = FindLine(section, name);
    return index ? &lines_[*index].value : nullptr;
}

bool ProfileDocument::Set(std::string_view section, std::string_view name,
                          const ProfileValue& value) {
    if (const std::optional<size_t> index = FindLine(section, name)) {
        Line& line = lines_[*index];
        if (line.value == value) {
            return false;
        }
        line.value = value;
        line.raw = line.name + " = " + EncodeValue(value);
        return true;
    }

    // After the last value (or the header) of the section's last block.
    std::optional<size_t> last;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Line::Kind::kOther && SameName(lines_[i].section, section)) {
            last = i;
        }
    }
    Line line;
    line.kind = Line::Kind::kValue;
    line.name = std::string(name);
    line.value = value;
    line.raw = line.name + " = " + EncodeValue(value);
    if (last) {
        line.section = lines_[*last].section;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*last + 1), std::move(line));
        return true;
    }

    if (!lines_.empty() && !Meaning(lines_.back().raw).empty()) {
        lines_.push_back(Line{});
    }
    Line header;
    header.kind = Line::Kind::kSection;
    header.section = std::string(section);
    header.raw = "[" + header.section + "]";
    line.section = header.section;
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
    return true;
}

bool ProfileDocument::Remove(std::string_view section, std::string_view name) {
    const std::optional<size_t> index = FindLine(section, name);
    if (!index) {
        return false;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
    return true;
}

bool ProfileDocument::RemoveSection(std::string_view section) {
    bool changed = false;
    size_t header = 0;
    while (header < lines_.size()) {
        if (lines_[header].kind != Line::Kind::kSection ||
            !SameName(lines_[header].section, section)) {
            ++header;
            continue;
        }
        size_t end = header + 1;
        while (end < lines_.size() && lines_[end].kind != Line::Kind::kSection) {
            ++end;
        }
        // Comments directly above the next header introduce that section: keep them.
        if (end < lines_.size()) {
            while (end > header + 1 && lines_[end - 1].kind == Line::Kind::kOther) {
                --end;
            }
        }
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        // Do not leave two blank lines where the section was, nor blanks at the end.
        const auto is_blank = [&](size_t i) {
            return lines_[i].kind == Line::Kind::kOther && Meaning(lines_[i].raw).empty();
        };
        if (header > 0 && header < lines_.size() && is_blank(header - 1) && is_blank(header)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header));
        }
        while (!lines_.empty() && header == lines_.size() && is_blank(lines_.size() - 1)) {
            lines_.pop_back();
            --header;
        }
        changed = true;
    }
    return changed;
}

std::string ProfileDocument::Serialize() const {
    std::string text;
    for (const Line& line : lines_) {
        text += line.raw;
        text += '\n';
    }
    return text;
}

std::string ProfileDocument::EncodeValue(const ProfileValue& value) {
    if (value.type == ProfileValue::Type::kNumber) {
        return std::to_string(value.number);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded = "\"";
    for (char c : value.text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                encoded += "\\\\";
                break;
            case '"':
                encoded += "\\\"";
                break;
            case '\n':
                encoded += "\\n";
                break;
            case '\r':
                encoded += "\\r";
                break;
            case '\t':
                encoded += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7f) {
                    encoded += "\\x";
                    encoded += kHex[byte >> 4];
                    encoded += kHex[byte & 0xf];
                } else {
                    encoded += c;
                }
        }
    }
    encoded += '"';
    return encoded;
}

}  // namespace platform
