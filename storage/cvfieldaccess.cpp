#include "storage/cvfieldaccess.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "log/cveventlog.h"
#include "storage/apphooks.h"
#include "storage/bytes.h"
#include "storage/datatype.h"
#include "storage/numbertext.h"
#include "storage/packeddatetime.h"
#include "storage/packeddecimal.h"

namespace {

bool IsIntegerSize(size_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

bool IsOneOf(uint8_t type, std::initializer_list<uint8_t> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool IsSpare(const std::string& name) {
    return name.rfind("SPARE", 0) == 0;
}

// Signed value of an integer field of 1, 2, 4 or 8 bytes.
int64_t ReadSigned(const uint8_t* p, size_t size) {
    switch (size) {
        case 1:
            return static_cast<int8_t>(p[0]);
        case 2:
            return static_cast<int16_t>(ReadLE16(p));
        case 4:
            return static_cast<int32_t>(ReadLE32(p));
        case 8:
            return static_cast<int64_t>(ReadLE64(p));
        default:
            return 0;
    }
}

uint64_t ReadUnsigned(const uint8_t* p, size_t size) {
    switch (size) {
        case 1:
            return p[0];
        case 2:
            return ReadLE16(p);
        case 4:
            return ReadLE32(p);
        case 8:
            return ReadLE64(p);
        default:
            return 0;
    }
}

// Stores the low `size` bytes (1, 2, 4 or 8) of a 64-bit value.
void WriteLow(uint8_t* p, size_t size, uint64_t value) {
    for (size_t i = 0; i < size; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

template <typename T>
int Compare3(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareNoCase(const uint8_t* a, const uint8_t* b, size_t size) {
    const auto upper = [](uint8_t c) {
        return static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    };
    for (size_t i = 0; i < size; ++i) {
        const uint8_t x = upper(a[i]);
        const uint8_t y = upper(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

std::string Characters(const uint8_t* p, size_t size) {
    const void* nul = std::memchr(p, 0, size);
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    return std::string(reinterpret_cast<const char*>(p), length);
}

// "%.*f" whatever the numeric locale.
std::string FixedText(double value, int decimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string();
}

}  // namespace

cvFieldReader::cvFieldReader(const cvDDFile& table, const uint8_t* data, size_t length)
    : table_(&table), data_(data), length_(data ? length : 0) {}

bool cvFieldReader::Fits(const cvDDField& field) const {
    // A field without bytes has nothing to read or write.
    return field.Size() > 0 && static_cast<size_t>(field.Offset()) + field.Size() <= length_;
}

const cvDDField* cvFieldReader::Find(std::string_view name) const {
    const cvDDField* field = table_->FindField(name, true);
    return field && Fits(*field) ? field : nullptr;
}

std::string cvFieldReader::GetText(std::string_view name, int format) const {
    const cvDDField* field = Find(name);
    return field ? GetText(*field, format) : std::string();
}

std::string cvFieldReader::GetText(const cvDDField& field, int format) const {
    if (!Fits(field)) {
        return {};
    }
    const uint8_t* p = At(field);
    const size_t size = field.Size();
    const bool ordinary = format == 0 || format == 1;
    const auto finish_string = [&](std::string text) {
        return ordinary ? TrimBlanks(text) : ApplyTextHook(text, format);
    };
    const auto finish_integer = [&](bool zero, std::string text) {
        if (format == 9 && zero) {
            return std::string();
        }
        return format == 12 ? text + " %" : text;
    };

    switch (field.DataType()) {
        case kTypeString:
            return finish_string(Characters(p, size));
        case kTypeLString:
            return size < 2 ? std::string() : finish_string(Characters(p + 1, size - 1));
        case kTypeZString:
            return size < 2 ? std::string() : finish_string(Characters(p, size - 1));
        case kTypeInteger:
        case kTypeAutoInc: {
            if (!IsIntegerSize(size)) {
                return {};
            }
            // The field holds a 32-bit value unless it has 8 bytes.
            const int64_t value = ReadSigned(p, size);
            if (format == 3) {  // hundredths
                return FixedText(static_cast<double>(value) / 100.0, 2);
            }
            return finish_integer(value == 0, std::to_string(value));
        }
        case kTypeUnsigned: {
            if (!IsIntegerSize(size)) {
                return {};
            }
            const uint32_t value = static_cast<uint32_t>(ReadUnsigned(p, size));
            return finish_integer(value == 0, std::to_string(value));
        }
        case kTypeLogical:
            if (!IsIntegerSize(size)) {
                return "False";
            }
            return ReadUnsigned(p, size) != 0 ? "True" : "False";
        case kTypeFloat:
        case kTypeDecimal:
        case kTypeMoney: {
            double value = GetDouble(field);
            if (format == 8) {
                value = -value;
            }
            if (format == 9 && value > -0.00001 && value < 0.00001) {
                return {};
            }
            const int decimals = field.DataType() == kTypeMoney ? 2 : field.Decimals();
            std::string text = NumberText(value, decimals);
            return format == 12 ? text + " %" : text;
        }
        case kTypeDate: {
            if (size != 4) {
                return {};
            }
            const uint32_t date = ReadLE32(p);
            if (date == 0 || (format == 9 && DateYear(date) == 0)) {
                return {};
            }
            if (!IsValidDate(date)) {
                return "********";
            }
            return DateText(date, LocaleDateFormat());
        }
        case kTypeTime: {
            if (size != 4) {
                return {};
            }
            const uint32_t time = ReadLE32(p);
            return time == 0 ? std::string() : TimeText(time);
        }
        default:
            return {};
    }
}

int32_t cvFieldReader::GetInt(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field ||
        !IsOneOf(field->DataType(), {kTypeInteger, kTypeLogical, kTypeUnsigned, kTypeAutoInc}) ||
        !IsIntegerSize(field->Size())) {
        return 0;
    }
    // 8-byte fields give their low 32 bits.
    const size_t size = field->Size() == 8 ? 4 : field->Size();
    return static_cast<int32_t>(ReadSigned(At(*field), size));
}

uint32_t cvFieldReader::GetUInt(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field ||
        !IsOneOf(field->DataType(), {kTypeInteger, kTypeLogical, kTypeUnsigned, kTypeAutoInc}) ||
        !IsIntegerSize(field->Size())) {
        return 0;
    }
    return static_cast<uint32_t>(ReadUnsigned(At(*field), field->Size()));
}

int64_t cvFieldReader::GetInt64(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeInteger || field->Size() != 8) {
        return 0;
    }
    return ReadSigned(At(*field), 8);
}

double cvFieldReader::GetDouble(std::string_view name) const {
    const cvDDField* field = Find(name);
    return field ? GetDouble(*field) : 0.0;
}

double cvFieldReader::GetDouble(const cvDDField& field) const {
    if (!Fits(field)) {
        return 0.0;
    }
    const uint8_t* p = At(field);
    switch (field.DataType()) {
        case kTypeFloat:
            if (field.Size() == 4) {
                float value;
                std::memcpy(&value, p, sizeof value);
                return RoundToDecimals(value, field.Decimals());
            }
            if (field.Size() == 8) {
                double value;
                std::memcpy(&value, p, sizeof value);
                return RoundToDecimals(value, field.Decimals());
            }
            return 0.0;
        case kTypeDecimal:
            return UnpackDecimal(p, field.Size(), field.Decimals());
        case kTypeMoney:
            return UnpackDecimal(p, field.Size(), 2);
        default:
            return 0.0;
    }
}

uint32_t cvFieldReader::GetDate(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeDate || field->Size() != 4) {
        return 0;
    }
    return ReadLE32(At(*field));
}

uint32_t cvFieldReader::GetTime(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeTime || field->Size() != 4) {
        return 0;
    }
    return ReadLE32(At(*field));
}

cvObjectId cvFieldReader::GetObjectId(std::string_view name) const {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeInteger || field->Size() != 4 ||
        static_cast<size_t>(field->Offset()) + 16 > length_) {
        return {};
    }
    const uint8_t* p = At(*field);
    return {static_cast<int32_t>(ReadLE32(p)), static_cast<int32_t>(ReadLE32(p + 4)),
            static_cast<int32_t>(ReadLE32(p + 8)), static_cast<int32_t>(ReadLE32(p + 12))};
}

const uint8_t* cvFieldReader::FieldData(std::string_view name) const {
    const cvDDField* field = Find(name);
    return field ? At(*field) : nullptr;
}

bool cvFieldReader::IsActive() const {
    const cvDDField* field = table_->FindField("QINACTIVE", false);
    return !field || GetText(*field, 1) != "Y";
}

int cvFieldReader::CompareField(const uint8_t* other, size_t other_length,
                                const cvDDField& field) const {
    const cvFieldReader theirs(*table_, other, other_length);
    if (!Fits(field) || !theirs.Fits(field)) {
        return 0;
    }
    const uint8_t* a = At(field);
    const uint8_t* b = theirs.At(field);
    const size_t size = field.Size();
    switch (field.DataType()) {
        case kTypeInteger:
        case kTypeAutoInc:
            // Signed, so that negative (provisional) numbers sort before stored ones.
            if (IsIntegerSize(size)) {
                return Compare3(ReadSigned(a, size), ReadSigned(b, size));
            }
            break;
        case kTypeDate:
        case kTypeTime:
        case kTypeUnsigned:
            if (IsIntegerSize(size)) {
                return Compare3(ReadUnsigned(a, size), ReadUnsigned(b, size));
            }
            break;
        case kTypeFloat:
        case kTypeDecimal:
        case kTypeMoney:
            return Compare3(GetDouble(field), theirs.GetDouble(field));
        case kTypeLString:
            return size < 2 ? 0 : CompareNoCase(a + 1, b + 1, size - 1);
        default:
            break;
    }
    return CompareNoCase(a, b, size);
}

cvFieldWriter::cvFieldWriter(const cvDDFile& table, uint8_t* data, size_t length)
    : cvFieldReader(table, data, length), mutable_data_(data) {}

int cvFieldWriter::PutString(std::string_view name, std::string_view text) {
    const cvDDField* field = table_->FindField(name, true);
    const std::string field_name(name);
    if (!field) {
        EventLog().LogEvent(kLogDbErrors,
                            "Put on table %s field %s failed. Field does not exist.\n.",
                            table_->TableName().c_str(), field_name.c_str());
        return 0;
    }
    const uint8_t type = field->DataType();
    if (!IsOneOf(type, {kTypeString, kTypeLogical, kTypeLString, kTypeZString})) {
        EventLog().LogEvent(kLogDbErrors, "Table %s %s field is not a string.\n.",
                            table_->TableName().c_str(), field_name.c_str());
        return 0;
    }
    const size_t size = field->Size();
    if (!Fits(*field) || size == 0 ||
        ((type == kTypeLString || type == kTypeZString) && size < 2)) {
        return 0;
    }
    uint8_t* p = At(*field);
    const auto copy_padded = [&](uint8_t* to, size_t width) {
        const size_t used = std::min(text.size(), width);
        std::memcpy(to, text.data(), used);
        std::memset(to + used, ' ', width - used);
    };
    switch (type) {
        case kTypeLString:
            p[0] = static_cast<uint8_t>(size - 1);
            copy_padded(p + 1, size - 1);
            break;
        case kTypeZString:
            copy_padded(p, size - 1);
            p[size - 1] = 0;
            break;
        default:
            copy_padded(p, size);
            break;
    }
    return 1;
}

int cvFieldWriter::PutInt(std::string_view name, int32_t value) {
    const cvDDField* field = Find(name);
    if (!field || !IsOneOf(field->DataType(), {kTypeInteger, kTypeLogical, kTypeAutoInc}) ||
        !IsIntegerSize(field->Size())) {
        return 0;
    }
    WriteLow(At(*field), field->Size(), static_cast<uint64_t>(static_cast<int64_t>(value)));
    return 1;
}

int cvFieldWriter::PutUInt(std::string_view name, uint32_t value) {
    const cvDDField* field = Find(name);
    if (!field || !IsOneOf(field->DataType(), {kTypeLogical, kTypeUnsigned, kTypeAutoInc}) ||
        !IsIntegerSize(field->Size())) {
        return 0;
    }
    WriteLow(At(*field), field->Size(), value);
    return 1;
}

int cvFieldWriter::PutInt64(std::string_view name, uint32_t low, uint32_t high) {
    const cvDDField* field = Find(name);
    if (!field || !IsOneOf(field->DataType(), {kTypeInteger, kTypeLogical, kTypeAutoInc}) ||
        !IsIntegerSize(field->Size())) {
        return 0;
    }
    WriteLow(At(*field), field->Size(), static_cast<uint64_t>(high) << 32 | low);
    return 1;
}

int cvFieldWriter::PutDouble(std::string_view name, double value) {
    const cvDDField* field = Find(name);
    if (!field) {
        return 0;
    }
    uint8_t* p = At(*field);
    switch (field->DataType()) {
        case kTypeFloat: {
            const double rounded = RoundToDecimals(value, field->Decimals());
            if (field->Size() == 4) {
                const float single = static_cast<float>(rounded);
                std::memcpy(p, &single, sizeof single);
                return 1;
            }
            if (field->Size() == 8) {
                std::memcpy(p, &rounded, sizeof rounded);
                return 1;
            }
            return 0;
        }
        case kTypeDecimal:
            return PackDecimal(RoundToDecimals(value, field->Decimals()), field->Decimals(), p,
                               field->Size())
                       ? 1
                       : 0;
        case kTypeMoney:
            return PackDecimal(value, 2, p, field->Size()) ? 1 : 0;
        default:
            return 0;
    }
}

int cvFieldWriter::PutDate(std::string_view name, uint32_t date) {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeDate || field->Size() != 4) {
        return 0;
    }
    WriteLE32(At(*field), date);
    return 1;
}

int cvFieldWriter::PutTime(std::string_view name, uint32_t time) {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeTime || field->Size() != 4) {
        return 0;
    }
    WriteLE32(At(*field), time);
    return 1;
}

int cvFieldWriter::PutObjectId(std::string_view name, const cvObjectId& id) {
    const cvDDField* field = Find(name);
    if (!field || field->DataType() != kTypeInteger || field->Size() != 4 ||
        static_cast<size_t>(field->Offset()) + 16 > length_) {
        return 0;
    }
    uint8_t* p = At(*field);
    WriteLE32(p, static_cast<uint32_t>(id.type));
    WriteLE32(p + 4, static_cast<uint32_t>(id.id1));
    WriteLE32(p + 8, static_cast<uint32_t>(id.id2));
    WriteLE32(p + 12, static_cast<uint32_t>(id.id3));
    return 1;
}

int cvFieldWriter::PutBytes(std::string_view name, const void* data, size_t length) {
    const cvDDField* field = Find(name);
    if (!field || !data || length == 0) {
        return 0;
    }
    const size_t count = std::min<size_t>(length, field->Size());
    std::memmove(At(*field), data, count);
    return static_cast<int>(count);
}

int cvFieldWriter::FillField(std::string_view name, uint8_t value) {
    const cvDDField* field = Find(name);
    if (!field) {
        return 0;
    }
    std::memset(At(*field), value, field->Size());
    return 1;
}

uint8_t* cvFieldWriter::FieldData(std::string_view name) {
    const cvDDField* field = Find(name);
    return field ? At(*field) : nullptr;
}

void cvFieldWriter::CopyFieldsFrom(const cvDDFile& source_table, const uint8_t* source,
                                   size_t length) {
    // Reserved room is cleared before anything is copied: a SPARE area may overlay the
    // fields of several record kinds, and clearing it afterwards would wipe them.
    for (const auto& [name, from] : source_table.Fields()) {
        const cvDDField* to = table_->FindField(name, false);
        if (to && Fits(*to) && IsSpare(name)) {
            std::memset(At(*to), 0, to->Size());
        }
    }
    for (const auto& [name, from] : source_table.Fields()) {
        const cvDDField* to = table_->FindField(name, false);
        if (!to || !Fits(*to) || IsSpare(name)) {
            continue;
        }
        const size_t count = std::min(from.Size(), to->Size());
        if (!source || static_cast<size_t>(from.Offset()) + count > length) {
            continue;
        }
        std::memmove(At(*to), source + from.Offset(), count);
    }
}

void cvFieldWriter::BlankFillTextFields() {
    for (const auto& [name, field] : table_->Fields()) {
        const uint8_t type = field.DataType();
        if (!IsOneOf(type, {kTypeString, kTypeLString, kTypeZString}) || field.Size() == 0 ||
            !Fits(field) || IsSpare(name)) {
            continue;
        }
        uint8_t* p = At(field);
        if (p[0] != 0) {
            continue;
        }
        std::memset(p, ' ', field.Size());
        if (type == kTypeLString) {
            p[0] = static_cast<uint8_t>(field.Size() - 1);
        } else if (type == kTypeZString) {
            p[field.Size() - 1] = 0;
        }
    }
}
