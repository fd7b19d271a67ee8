#include "model/messagereport.h"

#include "model/pagingtables.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrecset.h"

namespace {

constexpr int kScheduleKey = 2;
constexpr int kDeviceScheduleKey = 3;

std::string DateOrEmpty(uint32_t date, const DateTextFormat& format) {
    return IsValidDate(date) ? DateText(date, format) : std::string();
}

}  // namespace

int SelectMessagesForReport(cvFileMgr& manager, uint32_t first, uint32_t last, int32_t device,
                            cvRecSet& rows) {
    cvFile* file = manager.OpenTable(kPageMsgTable);
    if (!file) {
        return -1;
    }
    const int key = device != 0 ? kDeviceScheduleKey : kScheduleKey;
    file->ClearKey(key);
    if ((device != 0 && !file->PutInt("PAGEDEVNBR", device)) ||
        !file->PutDate("SCHEDDATE", first)) {
        return -1;
    }
    int added = 0;
    for (int status = file->GetGreaterOrEqual(key); status == 0; status = file->GetNext()) {
        if ((device != 0 && file->GetInt("PAGEDEVNBR") != device) ||
            CompareDates(file->GetDate("SCHEDDATE"), last) > 0) {
            break;
        }
        if (rows.AddFromFile(*file)) {
            ++added;
        }
    }
    return added;
}

std::string MessageReportTitle(std::string_view device_description, uint32_t first, uint32_t last,
                               const DateTextFormat& format) {
    const std::string who =
        device_description.empty() ? std::string(kAllDevicesText) : std::string(device_description);
    std::string period = DateOrEmpty(first, format);
    if (CompareDates(first, last) != 0) {
        period += " through " + DateOrEmpty(last, format);
    }
    return "Messages for " + who + " during " + period;
}
