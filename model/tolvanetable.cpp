#include "model/tolvanetable.h"

#include <algorithm>
#include <cstring>

#include "model/pagingtables.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/datatype.h"

namespace {

constexpr uint16_t kSegmentFollows = 0x0010;

// Offsets and widths of the record layout; the record kinds overlay SPARE (12..491).
constexpr cvFieldDef kFields[] = {
    {"STRKEY", kTypeZString, 0, 8, 0},
    {"NUMKEY", kTypeInteger, 8, 4, 0},
    {"SPARE", kTypeZString, 12, 480, 0},
    {"DATEENTER", kTypeDate, 492, 4, 0},
    {"TIMEENTER", kTypeTime, 496, 4, 0},
    {"ENTERBY", kTypeInteger, 500, 4, 0},
    // "OPTIONS"
    {"SENDINTERVAL", kTypeInteger, 12, 4, 0},
    {"STATUSINTERVAL", kTypeInteger, 16, 4, 0},
    {"PURGEAGE", kTypeInteger, 20, 4, 0},
    {"DNSADDRESS", kTypeInteger, 24, 4, 0},
    {"RECVINTERVAL", kTypeInteger, 28, 4, 0},
    {"MAILSERVER", kTypeZString, 32, 50, 0},
    {"OLDUSERID", kTypeZString, 82, 20, 0},
    {"PASSWORD", kTypeZString, 102, 20, 0},
    {"QENABLERECV", kTypeString, 122, 1, 0},
    {"QENABLEIMPORT", kTypeString, 123, 1, 0},
    {"IMPORTDIR", kTypeZString, 124, 80, 0},
    {"USERID", kTypeZString, 204, 50, 0},
    {"SMTPMAILSERVER", kTypeZString, 254, 50, 0},
    {"SMTPUSERID", kTypeZString, 304, 50, 0},
    {"SMTPPASSWORD", kTypeZString, 354, 20, 0},
    {"SMTPQAUTH", kTypeString, 374, 1, 0},
    // "SERVER" and "MACHINE"
    {"MACHINENBR", kTypeInteger, 16, 4, 0},
    {"LOGINDATE", kTypeDate, 20, 4, 0},
    {"LOGINTIME", kTypeTime, 24, 4, 0},
    {"ACTIVITYDATE", kTypeDate, 28, 4, 0},
    {"ACTIVITYTIME", kTypeTime, 32, 4, 0},
    {"PORT", kTypeInteger, 48, 4, 0},
    {"MODEMINIT", kTypeZString, 52, 250, 0},
    {"DIALPREFIX", kTypeZString, 302, 10, 0},
    {"COMPUTERNAME", kTypeZString, 312, 32, 0},
    // The version record; bytes 12 to 63 are reserved.
    {"PRODVERMAJOR", kTypeInteger, 64, 4, 0},
    {"PRODVERMINOR", kTypeInteger, 68, 4, 0},
    {"PRODVERMICRO", kTypeInteger, 72, 4, 0},
    {"PRODVERBUILD", kTypeInteger, 76, 4, 0},
    {"FILEVERMAJOR", kTypeInteger, 80, 4, 0},
    {"FILEVERMINOR", kTypeInteger, 84, 4, 0},
    {"FILEVERMICRO", kTypeInteger, 88, 4, 0},
    {"FILEVERBUILD", kTypeInteger, 92, 4, 0},
};

// STRKEY then NUMKEY: one unique key that is never modified.
constexpr cvKeyDef kKeys[] = {
    {"STRKEY", kSegmentFollows},
    {"NUMKEY", 0},
};

constexpr cvTableDef kDefinition = {
    kTolvaneTable, "TOLVANE.DAT", kTolvanePageSize, 1, kFields, kKeys, 0,
};

bool IsText(uint8_t type) {
    return type == kTypeString || type == kTypeZString;
}

int PutZeroPadded(const cvDDFile& table, uint8_t* data, size_t length, std::string_view name,
                  std::string_view text) {
    const cvDDField* field = table.FindField(name);
    if (!field || !IsText(field->DataType()) ||
        static_cast<size_t>(field->Offset()) + field->Size() > length) {
        return 0;
    }
    const size_t capacity = static_cast<size_t>(ConfigTextCapacity(table, name));
    uint8_t* p = data + field->Offset();
    std::memset(p, 0, field->Size());
    std::memcpy(p, text.data(), std::min(text.size(), capacity));
    return 1;
}

}  // namespace

const cvTableDef& TolvaneTableDef() {
    return kDefinition;
}

int ConfigTextCapacity(const cvDDFile& table, std::string_view name) {
    const cvDDField* field = table.FindField(name, false);
    if (!field || !IsText(field->DataType())) {
        return 0;
    }
    return field->DataType() == kTypeZString ? field->Size() - 1 : field->Size();
}

int PutConfigText(cvRec& record, std::string_view name, std::string_view text) {
    cvBuffer& buffer = record.Buffer();
    return PutZeroPadded(record.Table(), buffer.Data(), buffer.Length(), name, text);
}

int PutConfigText(cvFile& file, std::string_view name, std::string_view text) {
    cvBuffer& buffer = file.DataBuffer();
    return PutZeroPadded(file.Table(), buffer.Data(), buffer.Length(), name, text);
}
