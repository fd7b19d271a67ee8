#include "storage/cvfile.h"

#include <algorithm>
#include <cstring>

#include "log/cveventlog.h"
#include "storage/bytes.h"
#include "storage/cvdatadict.h"
#include "storage/cvfieldaccess.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/dberror.h"
#include "storage/recordmanagercall.h"

namespace {

constexpr int kBeginConcurrentTransaction = RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS;

// Large enough for the Stat layout of any file the record manager accepts.
constexpr size_t kStatisticsCapacity = 16 + 16 * 2048;

}  // namespace

cvFile::cvFile(const cvDDFile& table, cvFileMgr& manager)
    : table_(&table),
      manager_(&manager),
      data_(static_cast<size_t>(std::max(table.RecordLength(), 0))) {}

cvFile::~cvFile() {
    if (IsOpen()) {
        uint32_t length = 0;
        static_cast<void>(Call(RECMAN_CLOSE, nullptr, &length, 0));
    }
}

int cvFile::Call(uint16_t operation, void* data, uint32_t* length, int key_number) {
    manager_->CountCall();
    return RecordManagerCall(operation, position_block_, data, length, key_,
                             static_cast<int8_t>(key_number), &manager_->ClientId());
}

int cvFile::Report(int status, int operation, bool quiet) {
    if (status == 0) {
        return 0;
    }
    quiet = quiet || suppress_next_report_;
    suppress_next_report_ = false;
    return ReportDbError(status, operation, FileName(), quiet, true);
}

int cvFile::Open(const std::string& path, int mode, bool quiet) {
    std::memset(key_, 0, sizeof key_);
    if (path.size() >= sizeof key_) {
        return Report(RECMAN_INVALID_FILE_NAME, RECMAN_OPEN, quiet);
    }
    std::memcpy(key_, path.data(), path.size());
    uint32_t length = 0;  // no owner name
    const int status = Call(RECMAN_OPEN, data_.Data(), &length, mode);
    std::memset(key_, 0, sizeof key_);
    if (status != 0) {
        return Report(status, RECMAN_OPEN, quiet);
    }
    open_mode_ = mode;
    path_ = path;
    key_number_ = 0;
    return 0;
}

int cvFile::Close() {
    if (!IsOpen()) {
        return 0;
    }
    uint32_t length = 0;
    const int status = Call(RECMAN_CLOSE, nullptr, &length, 0);
    if (status != 0) {
        return Report(status, RECMAN_CLOSE);
    }
    open_mode_ = kNotOpen;
    return 0;
}

int cvFile::Reopen(int mode) {
    if (open_mode_ == mode) {
        return 0;
    }
    const int status = Close();
    if (status != 0) {
        return status;
    }
    return Open(path_, mode);
}

int cvFile::Stat() {
    std::vector<uint8_t> layout(kStatisticsCapacity, 0);
    uint32_t length = static_cast<uint32_t>(layout.size());
    const int status = Call(RECMAN_STAT, layout.data(), &length, 0);
    if (status != 0) {
        return Report(status, RECMAN_STAT);
    }
    layout.resize(std::min<size_t>(length, layout.size()));
    statistics_ = std::move(layout);
    return 0;
}

int cvFile::RecordCount(uint32_t* count) {
    *count = 0;
    const int status = Stat();
    if (status == 0 && statistics_.size() >= 10) {
        *count = ReadLE32(statistics_.data() + 6);
    }
    return status;
}

void cvFile::BuildKey(int key) {
    std::memset(key_, 0, sizeof key_);
    size_t at = 0;
    const int count = table_->SegmentCount(key);
    for (int number = 0; number < count; ++number) {
        const cvDDKeySeg* segment = table_->Segment(key, number);
        const cvDDField* field = segment ? table_->SegmentField(*segment) : nullptr;
        if (!field) {
            continue;
        }
        const size_t size = field->Size();
        if (field->Offset() + size > data_.Length() || at + size > sizeof key_) {
            break;
        }
        std::memcpy(key_ + at, data_.Data() + field->Offset(), size);
        at += size;
    }
}

void cvFile::FillKey(int key, uint8_t value) {
    const int count = table_->SegmentCount(key);
    for (int number = 0; number < count; ++number) {
        const cvDDKeySeg* segment = table_->Segment(key, number);
        const cvDDField* field = segment ? table_->SegmentField(*segment) : nullptr;
        if (field && field->Offset() + field->Size() <= data_.Length()) {
            std::memset(data_.Data() + field->Offset(), value, field->Size());
        }
    }
}

void cvFile::ClearKey(int key) {
    FillKey(key, 0);
}

void cvFile::SetKeyHigh(int key) {
    FillKey(key, 0x7F);
}

int cvFile::ReadByKey(uint16_t operation, int key, bool build_key) {
    if (build_key) {
        BuildKey(key);
    }
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(operation, data_.Data(), &length, key);
    if (status == 0) {
        key_number_ = key;
    }
    return Report(status, operation);
}

int cvFile::ReadAlong(uint16_t operation) {
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(operation, data_.Data(), &length, key_number_);
    return Report(status, operation);
}

int cvFile::GetEqual(int key) {
    return ReadByKey(RECMAN_GET_EQUAL, key, true);
}

int cvFile::GetGreaterOrEqual(int key) {
    return ReadByKey(RECMAN_GET_GREATER_OR_EQUAL, key, true);
}

int cvFile::GetLessThan(int key) {
    return ReadByKey(RECMAN_GET_LESS, key, true);
}

int cvFile::GetLessOrEqual(int key) {
    return ReadByKey(RECMAN_GET_LESS_OR_EQUAL, key, true);
}

int cvFile::GetFirst(int key) {
    return ReadByKey(RECMAN_GET_FIRST, key, false);
}

int cvFile::GetLast(int key) {
    return ReadByKey(RECMAN_GET_LAST, key, false);
}

int cvFile::GetNext() {
    return ReadAlong(RECMAN_GET_NEXT);
}

int cvFile::GetPrevious() {
    return ReadAlong(RECMAN_GET_PREVIOUS);
}

int cvFile::GetDirectCall(int32_t position, int key) {
    // The position goes in the first four bytes of the data buffer; they are put back
    // when the read fails, so the buffer keeps the current record.
    uint8_t saved[4] = {};
    if (data_.Length() < sizeof saved) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    std::memcpy(saved, data_.Data(), sizeof saved);
    WriteLE32(data_.Data(), static_cast<uint32_t>(position));
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(RECMAN_GET_DIRECT, data_.Data(), &length, key);
    if (status != 0) {
        std::memcpy(data_.Data(), saved, sizeof saved);
    } else if (key >= 0) {
        key_number_ = key;
    }
    return status;
}

int cvFile::GetDirect(int32_t position, int key) {
    int status = GetDirectCall(position, key);
    if (status == 0) {
        return 0;
    }
    if (status == RECMAN_INVALID_KEY_PATH) {
        if (key >= 0) {
            return GetFirst(key);
        }
        status = GetDirectCall(position, 0);
    }
    return Report(status, RECMAN_GET_DIRECT);
}

int cvFile::GetPosition(int32_t* position) {
    uint8_t data[4] = {};
    uint32_t length = sizeof data;
    const int status = Call(RECMAN_GET_POSITION, data, &length, key_number_);
    if (status == 0) {
        *position = static_cast<int32_t>(ReadLE32(data));
    }
    return Report(status, RECMAN_GET_POSITION);
}

int cvFile::GetPercentage(int percent, int key) {
    uint8_t saved[4] = {};
    if (data_.Length() < sizeof saved) {
        return Report(RECMAN_DATA_BUFFER_TOO_SHORT, RECMAN_GET_BY_PERCENTAGE);
    }
    std::memcpy(saved, data_.Data(), sizeof saved);
    WriteLE32(data_.Data(), static_cast<uint32_t>(percent));
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(RECMAN_GET_BY_PERCENTAGE, data_.Data(), &length, key);
    if (status != 0) {
        std::memcpy(data_.Data(), saved, sizeof saved);
    } else if (key >= 0) {
        key_number_ = key;
    }
    return Report(status, RECMAN_GET_BY_PERCENTAGE);
}

int cvFile::FindPercentage(int key, int* percent) {
    uint8_t data[4] = {};
    if (key >= 0) {
        BuildKey(key);
    } else {
        int32_t position = 0;
        const int status = GetPosition(&position);
        if (status != 0) {
            return status;
        }
        WriteLE32(data, static_cast<uint32_t>(position));
    }
    uint32_t length = sizeof data;
    const int status = Call(RECMAN_FIND_PERCENTAGE, data, &length, key);
    if (status == 0) {
        *percent = static_cast<int>(ReadLE32(data));
    }
    return Report(status, RECMAN_FIND_PERCENTAGE);
}

int cvFile::Insert() {
    BuildKey(key_number_);
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(RECMAN_INSERT, data_.Data(), &length, key_number_);
    return Report(status, RECMAN_INSERT);
}

int cvFile::Update() {
    BuildKey(key_number_);
    uint32_t length = static_cast<uint32_t>(data_.Length());
    const int status = Call(RECMAN_UPDATE, data_.Data(), &length, key_number_);
    return Report(status, RECMAN_UPDATE);
}

int cvFile::Delete() {
    uint32_t length = 0;
    const int status = Call(RECMAN_DELETE, nullptr, &length, key_number_);
    return Report(status, RECMAN_DELETE);
}

int cvFile::BeginTransaction() {
    uint32_t length = 0;
    const int status = Call(kBeginConcurrentTransaction, nullptr, &length, 0);
    return Report(status, kBeginConcurrentTransaction);
}

int cvFile::EndTransaction() {
    uint32_t length = 0;
    const int status = Call(RECMAN_END_TRANSACTION, nullptr, &length, 0);
    return Report(status, RECMAN_END_TRANSACTION);
}

int cvFile::AbortTransaction() {
    uint32_t length = 0;
    const int status = Call(RECMAN_ABORT_TRANSACTION, nullptr, &length, 0);
    if (status != 0) {
        return Report(status, RECMAN_ABORT_TRANSACTION);
    }
    const cvDataDict* dictionary = manager_->Dictionary();
    EventLog().PlaySound((dictionary ? dictionary->Directory() : std::string()) + "bomb.wav");
    return 0;
}

int cvFile::SetRecord(const cvRec& record) {
    if (&record.Table() != table_) {
        return -1;
    }
    data_.Assign(record.Buffer().Data(), record.Buffer().Length());
    return 0;
}

std::string cvFile::GetText(std::string_view name, int format) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetText(name, format);
}

int32_t cvFile::GetInt(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetInt(name);
}

uint32_t cvFile::GetUInt(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetUInt(name);
}

uint32_t cvFile::GetDate(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetDate(name);
}

uint32_t cvFile::GetTime(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetTime(name);
}

cvObjectId cvFile::GetObjectId(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetObjectId(name);
}

double cvFile::GetDouble(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).GetDouble(name);
}

int cvFile::PutString(std::string_view name, std::string_view text) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutString(name, text);
}

int cvFile::PutInt(std::string_view name, int32_t value) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutInt(name, value);
}

int cvFile::PutUInt(std::string_view name, uint32_t value) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutUInt(name, value);
}

int cvFile::PutDate(std::string_view name, uint32_t date) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutDate(name, date);
}

int cvFile::PutTime(std::string_view name, uint32_t time) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutTime(name, time);
}

int cvFile::PutDouble(std::string_view name, double value) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).PutDouble(name, value);
}

int cvFile::FillField(std::string_view name, uint8_t value) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).FillField(name, value);
}

uint8_t* cvFile::FieldData(std::string_view name) {
    return cvFieldWriter(*table_, data_.Data(), data_.Length()).FieldData(name);
}

const uint8_t* cvFile::FieldData(std::string_view name) const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).FieldData(name);
}

bool cvFile::IsActive() const {
    return cvFieldReader(*table_, data_.Data(), data_.Length()).IsActive();
}
