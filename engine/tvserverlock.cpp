// The daily purge of finished messages and the one-engine-per-database lock.

#include <chrono>

#include "engine/tvserver.h"
#include "model/pagingcodes.h"
#include "model/tvsettings.h"
#include "platform/core/filelock.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/packeddatetime.h"

namespace {

// The PAGEMSG key over SCHEDDATE.
constexpr int kScheduleDateKey = 2;

// A packed date moved by a number of days; invalid dates count from 1 January 1970.
uint32_t AddDays(uint32_t date, int days) {
    using namespace std::chrono;
    year_month_day day{year(DateYear(date)), month(static_cast<unsigned>(DateMonth(date))),
                       std::chrono::day(static_cast<unsigned>(DateDay(date)))};
    if (!day.ok()) {
        day = year_month_day{1970y, January, 1d};
    }
    const year_month_day moved{sys_days(day) + std::chrono::days(days)};
    return PackDate(static_cast<int>(moved.year()), static_cast<int>(unsigned(moved.month())),
                    static_cast<int>(unsigned(moved.day())));
}

bool StillWanted(int status) {
    return status == kStatusQueued || status == kStatusSentPending || status == kStatusCancelling;
}

}  // namespace

void tvServer::Purge() {
    reporter_.SetStatusLine(kPurging);
    if (!options_.present) {
        return;
    }
    const uint32_t today = TodayDate();
    if (CompareDates(today, next_purge_date_) < 0) {
        return;
    }
    const uint32_t cutoff = AddDays(today, -options_.purge_age);
    if (OpenTables(&tables_)) {
        cvFile& messages = *tables_.messages;
        int read = messages.GetFirst(kScheduleDateKey);
        while (read == 0 && !timer_.StopRequested()) {
            if (CompareDates(messages.GetDate("SCHEDDATE"), cutoff) > 0) {
                break;
            }
            if (!StillWanted(messages.GetInt("STATUS"))) {
                // Straight to the record manager; a refused delete leaves the row and
                // the walk goes on (the position along the key survives either way).
                static_cast<void>(messages.Delete());
            }
            read = messages.GetNext();
        }
    }
    // Also after a walk cut short by a stop: one purge per day.
    next_purge_date_ = AddDays(next_purge_date_, 1);
}

void tvServer::AcquireServerLock() {
    cvRec* server = settings_.ServerRecord();
    if (server == nullptr) {
        return;
    }
    // The cached record may be older than another computer's lock: read it afresh.
    static_cast<void>(server->Reread());
    const auto held_elsewhere = [&] {
        const int32_t holder = server->GetInt("MACHINENBR");
        return holder != 0 && holder != machine_number_;
    };
    const auto refuse = [&] {
        running_lock_.Unlock();
        timer_.RequestStop();
        reporter_.SetStatusLine(kLockRefused);
        reporter_.LogInfo(kLockRefused);
    };
    // The record alone lets any server of this computer through. The lock on the file
    // beside the data is held by a running server only (the system drops it with the
    // process), so it keeps a second server of this computer out whatever its
    // environment, and tells a record left by a crash here from a running server.
    const std::string lock_path = DataDirectory() + kServerLockFile;
    switch (running_lock_.TryLock(lock_path)) {
        case platform::FileLockResult::kLocked:
            break;
        case platform::FileLockResult::kHeldElsewhere:
            refuse();
            return;
        case platform::FileLockResult::kFailed:
            // A data directory this server cannot write to: the record is all there is.
            reporter_.LogInfo(kNoServerLockFile + lock_path);
            break;
    }
    if (held_elsewhere()) {
        refuse();
        return;
    }
    static_cast<void>(server->PutInt("MACHINENBR", machine_number_));
    static_cast<void>(server->PutDate("LOGINDATE", TodayDate()));
    static_cast<void>(server->PutTime("LOGINTIME", NowTime()));
    // Starting does not depend on the save, except when the save was refused because
    // another computer wrote the record in between: it may have taken the lock.
    if (server->Save() != 0) {
        static_cast<void>(server->Reread());
        if (held_elsewhere()) {
            refuse();
            return;
        }
    }
    lock_taken_ = true;
    reporter_.SetStatusLine(tvEngineTimer::kServerReady);
}

void tvServer::ReleaseServerLock() {
    cvRec* server = settings_.ServerRecord();
    // A refused engine leaves the record alone: it may name a running server of this
    // very computer.
    if (server == nullptr || !lock_taken_.exchange(false)) {
        return;
    }
    static_cast<void>(server->Reread());
    const int32_t holder = server->GetInt("MACHINENBR");
    if (holder != 0 && holder != machine_number_) {
        return;  // another computer's lock is left alone
    }
    if (holder == 0 && server->GetDate("LOGINDATE") == 0 && server->GetTime("LOGINTIME") == 0) {
        return;  // already free: nothing to write
    }
    static_cast<void>(server->PutInt("MACHINENBR", 0));
    static_cast<void>(server->PutDate("LOGINDATE", 0));
    static_cast<void>(server->PutTime("LOGINTIME", 0));
    static_cast<void>(server->Save());
}
