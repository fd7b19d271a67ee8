#include "app/tvimport.h"

#include <map>
#include <vector>

#include "app/formattext.h"
#include "app/tvapp.h"
#include "model/pagingtables.h"
#include "platform/recman/recman.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"

namespace {

constexpr int kFirstKey = 0;

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

bool HasRows(cvFile& file) {
    return file.GetFirst(kFirstKey) == 0;
}

// An older file read-only, quietly: a missing file is answered by the import itself.
cvFile* OpenOlder(cvFileMgr& manager, std::string_view table) {
    return manager.OpenTable(table, RECMAN_MODE_READ_ONLY, {}, true, true);
}

void CopyText(cvRec& to, const cvFile& from, std::string_view name) {
    static_cast<void>(to.PutString(name, from.GetText(name)));
}

void CopyNumber(cvRec& to, const cvFile& from, std::string_view name) {
    static_cast<void>(to.PutInt(name, from.GetInt(name)));
}

}  // namespace

// The imported rows by their descriptions, with their new numbers.
struct tvImport::ImportedRows {
    std::map<std::string, int32_t> networks;
    std::map<std::string, int32_t> devices;
    std::map<std::string, int32_t> groups;
};

tvImport::tvImport(tvApp& app) : app_(app) {}

tvImport::~tvImport() = default;

tvImportResult tvImport::Run(const LocationSource& ask_location) {
    counts_ = {};
    cvFile* devices = app_.OpenTable(kPageDevTable);
    cvFile* networks = app_.OpenTable(kPageNetTable);
    cvFile* memberships = app_.OpenTable(kPageGrpTable);
    if (!devices || !networks || !memberships) {
        return tvImportResult::kFailed;
    }
    if (HasRows(*devices) || HasRows(*networks) || HasRows(*memberships)) {
        static_cast<void>(
            app_.MessageBox("The paging device and network files must be empty in order to import",
                            kMbOk | kMbIconWarning));
        return tvImportResult::kNotEmpty;
    }

    for (;;) {
        const std::optional<std::string> location = ask_location();
        if (!location) {
            return tvImportResult::kCancelled;
        }
        if (location->empty()) {
            static_cast<void>(app_.MessageBox("An entry is required", kMbOk | kMbIconWarning));
            continue;
        }
        if (OpenOlderFiles(WithSlash(*location))) {
            break;
        }
    }

    ImportedRows imported;
    tvImportResult result = tvImportResult::kFailed;
    if (ImportNetworks(imported)) {
        ImportDevices(imported);
        if (old_group_) {
            ImportMemberships(imported);
        }
        if (app_.AlarmWatch()) {
            ImportEquipment(imported);
        }
        result = tvImportResult::kImported;
    }
    old_net_ = old_dev_ = old_group_ = nullptr;
    older_.reset();
    return result;
}

bool tvImport::OpenOlderFiles(const std::string& location) {
    older_ = std::make_unique<cvFileMgr>(location, &app_.Dictionary());
    old_dev_ = OpenOlder(*older_, kOldDevTable);
    old_net_ = OpenOlder(*older_, kOldNetTable);
    if (!old_dev_ || !old_net_) {
        static_cast<void>(app_.MessageBox(
            FormatText("Older versions of the network and device files (tvnet.dat, tvuser.dat) "
                       "were not found in %s",
                       location.c_str()),
            kMbOk | kMbIconWarning));
        old_net_ = old_dev_ = nullptr;
        older_.reset();
        return false;
    }
    old_group_ = OpenOlder(*older_, kOldGroupTable);
    return true;
}

bool tvImport::ImportNetworks(ImportedRows& imported) {
    cvFile* networks = app_.OpenTable(kPageNetTable);
    std::vector<std::unique_ptr<cvRec>> records;
    int status = old_net_->GetFirst(kFirstKey);
    while (status == 0) {
        auto record = std::make_unique<cvRec>(*networks);
        static_cast<void>(record->PutInt("PAGENETNBR", 0));
        CopyText(*record, *old_net_, "DESCRIPTION");
        CopyText(*record, *old_net_, "PHONE");
        CopyNumber(*record, *old_net_, "RATE");
        CopyText(*record, *old_net_, "PASSWORD");
        CopyNumber(*record, *old_net_, "MAXMSGLEN");
        CopyText(*record, *old_net_, "SERVERPIN");
        CopyText(*record, *old_net_, "SECURITYCODE");
        records.push_back(std::move(record));
        status = old_net_->GetNext();
    }
    if (status != RECMAN_END_OF_FILE) {
        return false;
    }
    // All or none: a network that cannot be stored leaves the database empty.
    if (networks->BeginTransaction() != 0) {
        return false;
    }
    for (const std::unique_ptr<cvRec>& record : records) {
        if (record->Save() != 0) {
            static_cast<void>(networks->AbortTransaction());
            return false;
        }
    }
    if (networks->EndTransaction() != 0) {
        return false;
    }
    for (const std::unique_ptr<cvRec>& record : records) {
        imported.networks.emplace(record->GetText("DESCRIPTION"), record->GetInt("PAGENETNBR"));
    }
    counts_.networks = static_cast<int>(records.size());
    return true;
}

void tvImport::ImportDevices(ImportedRows& imported) {
    cvFile* devices = app_.OpenTable(kPageDevTable);
    for (int status = old_dev_->GetFirst(kFirstKey); status == 0; status = old_dev_->GetNext()) {
        const std::string description = old_dev_->GetText("DESCRIPTION");
        if (description.empty()) {
            continue;
        }
        cvRec record(*devices);
        static_cast<void>(record.PutInt("PAGEDEVNBR", 0));
        static_cast<void>(record.PutString("DESCRIPTION", description));
        if (description.front() == '*') {
            static_cast<void>(record.PutString("QGROUP", "Y"));
            if (record.Save() == 0) {
                imported.groups.emplace(description, record.GetInt("PAGEDEVNBR"));
                ++counts_.groups;
            }
            continue;
        }
        static_cast<void>(record.PutString("QGROUP", "N"));
        const std::string network = old_dev_->GetText("PAGENETNBR");
        const auto found = imported.networks.find(network);
        if (found == imported.networks.end()) {
            static_cast<void>(app_.MessageBox(FormatText("Network %s not found\n", network.c_str()),
                                              kMbOk | kMbIconWarning));
            continue;
        }
        static_cast<void>(record.PutInt("PAGENETNBR", found->second));
        CopyText(record, *old_dev_, "PIN");
        CopyText(record, *old_dev_, "PASSWORD");
        CopyNumber(record, *old_dev_, "MAXMSGLEN");
        if (record.Save() == 0) {
            imported.devices.emplace(description, record.GetInt("PAGEDEVNBR"));
            ++counts_.devices;
        }
    }
}

void tvImport::ImportMemberships(const ImportedRows& imported) {
    cvFile* memberships = app_.OpenTable(kPageGrpTable);
    for (int status = old_group_->GetFirst(kFirstKey); status == 0;
         status = old_group_->GetNext()) {
        const auto group = imported.groups.find(old_group_->GetText("PAGEGRPNBR"));
        const auto device = imported.devices.find(old_group_->GetText("PAGEDEVNBR"));
        if (group == imported.groups.end() || device == imported.devices.end()) {
            continue;
        }
        cvRec record(*memberships);
        static_cast<void>(record.PutInt("PAGEGRPNBR", group->second));
        static_cast<void>(record.PutInt("PAGEDEVNBR", device->second));
        if (record.Save() == 0) {
            ++counts_.memberships;
        }
    }
}

void tvImport::ImportEquipment(const ImportedRows& imported) {
    cvFile* old_equipment = OpenOlder(*older_, kOldEquipTable);
    cvFile* equipment = app_.OpenTable(kMonEquipTable);
    if (!old_equipment || !equipment || HasRows(*equipment)) {
        return;
    }
    for (int status = old_equipment->GetFirst(kFirstKey); status == 0;
         status = old_equipment->GetNext()) {
        cvRec record(*equipment);
        static_cast<void>(record.PutInt("EQUIPNBR", 0));
        CopyText(record, *old_equipment, "DESCRIPTION");
        CopyText(record, *old_equipment, "PHONE");
        CopyText(record, *old_equipment, "CONTACT");
        const std::string pager = old_equipment->GetText("PAGER");
        const auto& candidates =
            !pager.empty() && pager.front() == '*' ? imported.groups : imported.devices;
        const auto found = candidates.find(pager);
        if (found != candidates.end()) {
            static_cast<void>(record.PutInt("PAGEDEVNBR", found->second));
        } else {
            static_cast<void>(
                app_.MessageBox(FormatText("Pager %s not found for %s\n", pager.c_str(),
                                           old_equipment->GetText("DESCRIPTION").c_str()),
                                kMbOk | kMbIconWarning));
        }
        if (record.Save() == 0) {
            ++counts_.equipment;
        }
    }
}
