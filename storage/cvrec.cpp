#include "storage/cvrec.h"

#include <algorithm>
#include <cstring>

#include "storage/apphooks.h"
#include "storage/cvdatadict.h"
#include "storage/cvfieldaccess.h"

namespace {

cvFieldReader Reader(const cvRec& record) {
    return cvFieldReader(record.Table(), record.Buffer().Data(), record.Buffer().Length());
}

cvFieldWriter Writer(cvRec& record) {
    return cvFieldWriter(record.Table(), record.Buffer().Data(), record.Buffer().Length());
}

size_t RecordLength(const cvDDFile& table) {
    return static_cast<size_t>(std::max(table.RecordLength(), 0));
}

}  // namespace

cvRec::cvRec(const cvDDFile& table, int mode, cvFile* file) : table_(&table), file_(file) {
    if (mode == kScratch) {
        position_ = -1;
    }
    InitAsNew();
    MarkSaved();
}

cvRec::cvRec(const cvDDFile& table, const uint8_t* row, size_t length, cvFile* file)
    : table_(&table), file_(file) {
    SetBytes(row, length);
    MarkSaved();
}

cvRec::cvRec(const cvRec& other)
    : table_(other.table_),
      file_(other.file_),
      read_status_(other.read_status_),
      position_(other.position_),
      saved_crc_(other.saved_crc_),
      buffer_(other.buffer_),
      object_flag_(0) {}

cvRec& cvRec::operator=(const cvRec& other) {
    static_cast<void>(Assign(other));
    return *this;
}

cvRec::~cvRec() = default;

bool cvRec::Assign(const cvRec& other) {
    if (this == &other) {
        return true;
    }
    if (other.table_ != table_ || other.read_status_ != 0) {
        return false;
    }
    buffer_ = other.buffer_;
    saved_crc_ = other.saved_crc_;
    position_ = other.position_;
    read_status_ = other.read_status_;
    return true;
}

std::string cvRec::GetText(std::string_view name, int format) const {
    return Reader(*this).GetText(name, format);
}

int32_t cvRec::GetInt(std::string_view name) const {
    return Reader(*this).GetInt(name);
}

int64_t cvRec::GetInt64(std::string_view name) const {
    return Reader(*this).GetInt64(name);
}

double cvRec::GetDouble(std::string_view name) const {
    return Reader(*this).GetDouble(name);
}

uint32_t cvRec::GetDate(std::string_view name) const {
    return Reader(*this).GetDate(name);
}

int cvRec::PutObjectId(std::string_view name, const cvObjectId& id) {
    return Writer(*this).PutObjectId(name, id);
}

int cvRec::PutTime(std::string_view name, uint32_t time) {
    return Writer(*this).PutTime(name, time);
}

int cvRec::PutDate(std::string_view name, uint32_t date) {
    return Writer(*this).PutDate(name, date);
}

int cvRec::PutDouble(std::string_view name, double value) {
    return Writer(*this).PutDouble(name, value);
}

int cvRec::PutInt64(std::string_view name, uint32_t low, uint32_t high) {
    return Writer(*this).PutInt64(name, low, high);
}

int cvRec::PutUInt(std::string_view name, uint32_t value) {
    return Writer(*this).PutUInt(name, value);
}

int cvRec::PutInt(std::string_view name, int32_t value) {
    return Writer(*this).PutInt(name, value);
}

int cvRec::PutString(std::string_view name, std::string_view text) {
    return Writer(*this).PutString(name, text);
}

int cvRec::PrintReport(const std::string& report) {
    const ReportHooks hooks = CurrentReportHooks();
    return hooks.print_record ? hooks.print_record(*this, report) : -1;
}

int cvRec::PrintList(const std::string& report, const std::string& link_table,
                     const std::string& link_field) {
    const ReportHooks hooks = CurrentReportHooks();
    return hooks.print_list ? hooks.print_list(*this, report, link_table, link_field) : -1;
}

uint32_t cvRec::GetUInt(std::string_view name) const {
    return Reader(*this).GetUInt(name);
}

uint32_t cvRec::GetTime(std::string_view name) const {
    return Reader(*this).GetTime(name);
}

cvObjectId cvRec::GetObjectId(std::string_view name) const {
    return Reader(*this).GetObjectId(name);
}

int cvRec::PutBytes(std::string_view name, const void* data, size_t length) {
    return Writer(*this).PutBytes(name, data, length);
}

int cvRec::FillField(std::string_view name, uint8_t value) {
    return Writer(*this).FillField(name, value);
}

uint8_t* cvRec::FieldData(std::string_view name) {
    return Writer(*this).FieldData(name);
}

const uint8_t* cvRec::FieldData(std::string_view name) const {
    return Reader(*this).FieldData(name);
}

int cvRec::CompareField(const cvBuffer& other, const cvDDField& field) const {
    return Reader(*this).CompareField(other.Data(), other.Length(), field);
}

int cvRec::CompareField(const cvBuffer& other, std::string_view name) const {
    const cvDDField* field = table_->FindField(name, true);
    return field ? CompareField(other, *field) : 0;
}

bool cvRec::IsModified() const {
    return position_ == 0 || position_ == -1 || buffer_.Crc32() != saved_crc_;
}

bool cvRec::IsActive() const {
    return !table_->FindField("QINACTIVE", false) || GetText("QINACTIVE", 1) != "Y";
}

void cvRec::CopyFieldsFrom(const cvRec& source) {
    CopyFieldsFrom(source.Table(), source.Buffer().Data(), source.Buffer().Length());
}

void cvRec::CopyFieldsFrom(const cvDDFile& source_table, const uint8_t* row, size_t length) {
    Writer(*this).CopyFieldsFrom(source_table, row, length);
}

std::string cvRec::EnteredText() const {
    return GetText("ENTERBY", 9) + " " + GetText("DATEENTER", 1) + " " + GetText("TIMEENTER", 1);
}

void cvRec::InitAsNew() {
    buffer_.SetLength(RecordLength(*table_));
    if (position_ != -1) {
        position_ = 0;
    }
    if (table_->Dictionary().InitNewRecord(*table_, buffer_)) {
        Writer(*this).BlankFillTextFields();
    }
}

void cvRec::SetBytes(const uint8_t* row, size_t length) {
    buffer_.SetLength(RecordLength(*table_));
    if (row && buffer_.Length() > 0) {
        std::memcpy(buffer_.Data(), row, std::min(length, buffer_.Length()));
    }
}
