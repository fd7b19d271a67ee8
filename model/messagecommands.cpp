#include "model/messagecommands.h"

#include "model/pagingcodes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvpagemsg.h"
#include "objects/cvbobroot.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"
#include "storage/packeddatetime.h"

namespace {

// The fields a queued page sets, in the order they are set.
template <typename Record>
bool PutQueuedFields(Record& record, int32_t device, std::string_view text, int32_t host_reference,
                     int keep_schedule, int32_t entered_by) {
    if (!record.PutInt("PAGEDEVNBR", device) || !record.PutInt("HOSTREFNBR", host_reference) ||
        !record.PutString("TEXT", text) || !record.PutInt("ENTERBY", entered_by)) {
        return false;
    }
    if (keep_schedule == 0) {
        return record.PutDate("SCHEDDATE", TodayDate()) && record.PutTime("SCHEDTIME", NowTime());
    }
    return true;
}

}  // namespace

bool QueuePage(cvFileMgr& manager, int32_t device, std::string_view text, int32_t host_reference,
               int keep_schedule, int32_t entered_by) {
    if (device <= 0) {
        return false;
    }
    cvFile* file = manager.OpenTable(kPageMsgTable);
    if (!file) {
        return false;
    }
    if (text.substr(0, kNoBobPrefix.size()) == kNoBobPrefix) {
        text.remove_prefix(kNoBobPrefix.size());
        cvRec record(*file);
        if (!record.PutInt("PAGEMSGNBR", 0) ||
            !PutQueuedFields(record, device, text, host_reference, keep_schedule, entered_by)) {
            return false;
        }
        return record.Save() == 0;
    }
    const cvBobRoot<tvPageMsg> message = NewBobRoot<tvPageMsg>(nullptr, cvRec(*file));
    return PutQueuedFields(*message, device, text, host_reference, keep_schedule, entered_by) &&
           message->Save() == 0;
}

bool QueuePage(int32_t device, std::string_view text, int32_t host_reference, int keep_schedule,
               int32_t entered_by) {
    cvFileMgr* manager = StorageApp().FileManager();
    return manager && QueuePage(*manager, device, text, host_reference, keep_schedule, entered_by);
}

int CancelMessage(tvPageMsg& message) {
    const cvRec before(message);
    int status = -1;
    if (message.PutInt("STATUS", kStatusCancelled) && message.PutDate("SCHEDDATE", TodayDate()) &&
        message.PutTime("SCHEDTIME", NowTime())) {
        status = message.Save();
    }
    if (status != 0) {
        // The list keeps showing the message as it is stored.
        message.SetBytes(before.Buffer().Data(), before.Buffer().Length());
        message.SetSavedCrc(before.SavedCrc());
        message.SetPosition(before.Position());
    }
    return status;
}

int ResendMessage(tvPageMsg& message, int32_t* new_number) {
    cvFileMgr* manager = ManagerOf(message);
    if (!manager) {
        return -1;
    }
    const cvBobRoot<tvPageMsg> copy = tvPageMsg::Create(*manager);
    if (!copy) {
        return -1;
    }
    int status = -1;
    if (copy->PutInt("PAGEDEVNBR", message.GetInt("PAGEDEVNBR")) &&
        copy->PutInt("HOSTREFNBR", message.GetInt("HOSTREFNBR")) &&
        copy->PutString("QCONFIDENTIAL", message.GetText("QCONFIDENTIAL", 1)) &&
        copy->PutString("TEXT", message.PlainText())) {
        status = copy->Save();
    }
    if (status == 0 && new_number) {
        *new_number = copy->Number();
    }
    return status;
}
