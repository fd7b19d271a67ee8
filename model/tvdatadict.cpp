#include "model/tvdatadict.h"

#include <atomic>
#include <optional>
#include <string_view>

#include "model/pagingcodes.h"
#include "model/pagingtables.h"
#include "storage/cvbuffer.h"
#include "storage/cvfieldaccess.h"

namespace {

constexpr uint8_t kDataCompressionFlag = 0x08;
constexpr int32_t kDefaultRate = 2400;
constexpr int32_t kDefaultDataBits = 7;
constexpr int32_t kDefaultParity = 'E';
constexpr int32_t kDefaultStopBits = 1;

struct FileOptions {
    int page_size;
    uint8_t added_flags;
};

std::optional<FileOptions> FileOptionsOf(std::string_view table) {
    if (table == kPageMsgTable) {
        return FileOptions{2048, kDataCompressionFlag};
    }
    if (table == kPageDevTable || table == kPageNetTable || table == kOldDevTable ||
        table == kOldNetTable || table == kOldGroupTable || table == kOldEquipTable) {
        return FileOptions{512, 0};
    }
    if (table == kTolvaneTable) {
        return FileOptions{1024, 0};
    }
    return std::nullopt;
}

// Counts down from -101; the first call gets -101.
std::atomic<int32_t> next_provisional{-101};

}  // namespace

int32_t NextProvisionalNumber() {
    return next_provisional.fetch_sub(1, std::memory_order_relaxed);
}

void tvDataDict::AddTable(std::unique_ptr<cvDDFile> table) {
    if (const std::optional<FileOptions> options = FileOptionsOf(table->TableName())) {
        static_cast<void>(table->SetPageSize(options->page_size));
        table->SetFileFlags(table->FileFlags() | options->added_flags);
    }
    cvDataDict::AddTable(std::move(table));
}

bool tvDataDict::InitNewRecord(const cvDDFile& table, cvBuffer& buffer) {
    static_cast<void>(cvDataDict::InitNewRecord(table, buffer));
    const std::string_view name = table.TableName();
    cvFieldWriter record(table, buffer.Data(), buffer.Length());
    if (name == kPageMsgTable) {
        static_cast<void>(record.PutInt("PAGEMSGNBR", NextProvisionalNumber()));
        static_cast<void>(record.PutString("QCONFIDENTIAL", "N"));
        static_cast<void>(record.PutInt("STATUS", kStatusQueued));
    } else if (name == kPageDevTable) {
        static_cast<void>(record.PutInt("PAGEDEVNBR", NextProvisionalNumber()));
        static_cast<void>(record.PutString("QGROUP", "N"));
    } else if (name == kPageNetTable) {
        static_cast<void>(record.PutInt("PAGENETNBR", NextProvisionalNumber()));
        static_cast<void>(record.PutInt("PROTOCOL", kProtocolTap));
        static_cast<void>(record.PutInt("RATE", kDefaultRate));
        static_cast<void>(record.PutInt("DATABITS", kDefaultDataBits));
        static_cast<void>(record.PutInt("PARITY", kDefaultParity));
        static_cast<void>(record.PutInt("STOPBITS", kDefaultStopBits));
    } else if (name == kTolvaneTable) {
        return false;
    }
    return true;
}
