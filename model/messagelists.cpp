#include "model/messagelists.h"

#include "model/pagingcodes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "objects/cvbob.h"
#include "objects/cvbobset.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/packeddatetime.h"

namespace {

constexpr int kStatusScheduleKey = 1;
constexpr int kScheduleKey = 2;

uint32_t NextDay(uint32_t date) {
    int year = DateYear(date);
    int month = DateMonth(date);
    int day = DateDay(date) + 1;
    if (day > DaysInMonth(year, month)) {
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    return PackDate(year, month, day);
}

cvFile* MessageFile(cvBob& owner) {
    cvFileMgr* manager = ManagerOf(owner);
    return manager ? manager->OpenTable(kPageMsgTable) : nullptr;
}

}  // namespace

bool BelongsInQueuedList(const cvRec& message, uint32_t today) {
    return message.GetInt("STATUS") == kStatusQueued &&
           CompareDates(message.GetDate("SCHEDDATE"), today) <= 0;
}

bool BelongsInSentList(const cvRec& message, uint32_t today) {
    return message.GetInt("STATUS") != kStatusQueued &&
           CompareDates(message.GetDate("SCHEDDATE"), today) == 0;
}

void LoadQueuedMessages(cvBob& owner, cvBobSet& list, uint32_t today) {
    cvFile* file = MessageFile(owner);
    if (!file) {
        return;
    }
    file->ClearKey(kStatusScheduleKey);
    if (!file->PutInt("STATUS", kStatusQueued)) {
        return;
    }
    for (int status = file->GetGreaterOrEqual(kStatusScheduleKey);
         status == 0 && file->GetInt("STATUS") == kStatusQueued &&
         CompareDates(file->GetDate("SCHEDDATE"), today) <= 0;
         status = file->GetNext()) {
        static_cast<void>(owner.AddToSet(list, *file));
    }
}

void LoadSentMessages(cvBob& owner, cvBobSet& list, uint32_t today) {
    cvFile* file = MessageFile(owner);
    if (!file) {
        return;
    }
    // The last row of today is the last one before tomorrow.
    file->ClearKey(kScheduleKey);
    if (!file->PutDate("SCHEDDATE", NextDay(today))) {
        return;
    }
    for (int status = file->GetLessThan(kScheduleKey);
         status == 0 && CompareDates(file->GetDate("SCHEDDATE"), today) == 0;
         status = file->GetPrevious()) {
        if (file->GetInt("STATUS") != kStatusQueued) {
            static_cast<void>(owner.AddToSet(list, *file));
        }
    }
}
