// Records through their open file: construction from the file's current row, saving
// with the optimistic-concurrency check, deleting, rereading.
//
// A stored record remembers the CRC of the bytes it last read or wrote. Save reads the
// stored row again before updating it: when that row's CRC is not the remembered one,
// somebody else changed it in the meantime and the save is refused with status 80, so
// no change is lost silently. Every successful insert, update and delete is announced
// to the data monitors with the row before and after.

#include <optional>

#include "log/cveventlog.h"
#include "storage/apphooks.h"
#include "storage/cvcachemgr.h"
#include "storage/cvdatamonitor.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"
#include "storage/dberror.h"
#include "storage/packeddatetime.h"

namespace {

bool OpenForUpdate(const cvFile* file) {
    return file && file->OpenMode() != cvFile::kNotOpen &&
           file->OpenMode() != RECMAN_MODE_READ_ONLY;
}

// The application's cache of a table, when the table is cached and a cache exists.
cvCacheMgr* CacheFor(const cvRec& record) {
    if (!StorageApp().IsCached(record.Table().TableName())) {
        return nullptr;
    }
    return StorageApp().CacheManager();
}

bool HasIntegerField(const cvDDFile& table, std::string_view name) {
    const cvDDField* field = table.FindField(name, false);
    return field && field->DataType() == kTypeInteger;
}

}  // namespace

cvRec::cvRec(cvFile& file, int mode) : table_(&file.Table()), file_(&file) {
    switch (mode) {
        case kFromFile:
            static_cast<void>(FillFromFile(file));
            return;
        case kCopyOfFile:
            SetBytes(file.DataBuffer().Data(), file.DataBuffer().Length());
            break;
        case kScratch:
            position_ = -1;
            InitAsNew();
            break;
        default:
            InitAsNew();
            break;
    }
    MarkSaved();
}

int cvRec::FillFromFile(cvFile& file) {
    if (&file.Table() != table_) {
        MarkSaved();
        return -1;
    }
    SetBytes(file.DataBuffer().Data(), file.DataBuffer().Length());
    int32_t position = 0;
    read_status_ = file.GetPosition(&position);
    if (read_status_ == 0) {
        position_ = position;
    } else {
        position_ = 0;
        InitAsNew();
    }
    MarkSaved();
    return read_status_;
}

void cvRec::CopyFieldsFrom(const cvFile& file) {
    CopyFieldsFrom(file.Table(), file.DataBuffer().Data(), file.DataBuffer().Length());
}

int cvRec::Save(bool stamp) {
    if (!IsModified()) {
        return 0;
    }
    if (position_ == -1) {
        MarkSaved();
        return 0;
    }
    cvCacheMgr* cache = CacheFor(*this);
    cvFile* file = file_;
    if (!OpenForUpdate(file)) {
        EventLog().LogEvent(kLogDbErrors, "File %s is not opened for update.\n",
                            table_->TableName().c_str());
        return -1;
    }
    if (stamp) {
        if (table_->FindField("DATEMOD", false)) {
            static_cast<void>(PutDate("DATEMOD", TodayDate()));
        }
        if (table_->FindField("TIMEMOD", false)) {
            static_cast<void>(PutTime("TIMEMOD", NowTime()));
        }
        if (HasIntegerField(*table_, "MODBY")) {
            static_cast<void>(PutInt("MODBY", CurrentUserNumber()));
        }
        if (HasIntegerField(*table_, "CTFLAG")) {
            static_cast<void>(PutInt("CTFLAG", 0));
        }
    }

    std::optional<cvRec> before;
    int status = 0;
    if (position_ != 0) {
        status = file->GetDirect(position_);
        if (status != 0) {
            return status;
        }
        before.emplace(*file, kFromFile);
        status = file->SetRecord(*this);
        if (status != 0) {
            return status;
        }
        if (before->SavedCrc() != saved_crc_) {
            return ReportDbError(RECMAN_RECORD_CONFLICT, RECMAN_UPDATE, file->FileName(), false,
                                 false);
        }
        status = file->Update();
        if (status != 0) {
            return status;
        }
        MarkSaved();
        if (cache) {
            cache->Update(*this);
        }
    } else {
        status = file->SetRecord(*this);
        if (status == 0) {
            status = file->Insert();
        }
        int32_t position = 0;
        if (status == 0) {
            status = file->GetPosition(&position);
        }
        if (status != 0) {
            return status;
        }
        position_ = position;
        if (table_->HasAutoIncKey()) {
            // The record manager numbered the row: take the stored row back.
            status = file->GetDirect(position_);
            if (status != 0) {
                return status;
            }
            static_cast<void>(FillFromFile(*file));
        }
        if (cache) {
            MarkSaved();
            cache->Update(*this);
        }
    }
    MarkSaved();
    AnnounceDataChange(file->Manager().DataDirectory(), before ? &*before : nullptr, this);
    return 0;
}

int cvRec::Delete() {
    if (position_ == -1) {
        return 0;
    }
    cvFile* file = file_;
    if (!OpenForUpdate(file)) {
        return -1;
    }
    if (position_ != 0) {
        int status = file->GetDirect(position_);
        if (status != 0) {
            return status;
        }
        const cvRec before(*file, kFromFile);
        status = file->Delete();
        if (status != 0) {
            return status;
        }
        cvCacheMgr* cache = CacheFor(*this);
        if (cache) {
            cache->RemoveRecord(*this);
        }
        AnnounceDataChange(file->Manager().DataDirectory(), &before, nullptr);
    }
    position_ = 0;
    saved_crc_ = 0;
    return 0;
}

int cvRec::Reread() {
    if (position_ == 0 || position_ == -1) {
        return 0;
    }
    if (!file_) {
        return -1;
    }
    const int status = file_->GetDirect(position_);
    if (status != 0) {
        return status;
    }
    return FillFromFile(*file_);
}

int cvRec::RefreshIfUnchanged(bool quiet) {
    if (IsModified()) {
        return 0;
    }
    if (!file_) {
        return -1;
    }
    file_->SuppressNextReport(quiet);
    const int status = Reread();
    file_->SuppressNextReport(false);  // the quiet applies to this reread only
    if (status != 0 && quiet) {
        position_ = 0;
        return 0;
    }
    return status;
}
