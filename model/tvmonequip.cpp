#include "model/tvmonequip.h"

#include "model/pagingobjecttypes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvpagedev.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"

tvMonEquip::tvMonEquip(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
    LogNew();
}

tvMonEquip::~tvMonEquip() = default;

cvBobRoot<tvMonEquip> tvMonEquip::Create(cvFileMgr& manager) {
    cvFile* file = manager.OpenTable(kMonEquipTable);
    if (!file) {
        return {};
    }
    return NewBobRoot<tvMonEquip>(nullptr, cvRec(*file));
}

cvBobRoot<tvMonEquip> tvMonEquip::Load(cvFileMgr& manager, int32_t number) {
    std::optional<cvRec> row = ReadRowByNumber(manager, kMonEquipTable, "EQUIPNBR", number);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvMonEquip>(nullptr, *row);
}

cvBobRoot<tvMonEquip> tvMonEquip::FindByDescription(cvFileMgr& manager, std::string_view text) {
    std::optional<cvRec> row = ReadRowByDescription(manager, kMonEquipTable, text);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvMonEquip>(nullptr, *row);
}

bool tvMonEquip::IsKindOf(std::string_view class_name) const {
    return class_name == "tvMonEquip" || cvBob::IsKindOf(class_name);
}

int tvMonEquip::PutInt(std::string_view name, int32_t value) {
    if (name == "PAGEDEVNBR" && value != GetInt(name)) {
        ReleaseReference(device_);
    }
    return cvBob::PutInt(name, value);
}

void tvMonEquip::GetReferenceSlots(std::vector<cvBobSlot*>& slots) {
    cvBob::GetReferenceSlots(slots);
    slots.push_back(&device_);
}

bool tvMonEquip::IsComplete() const {
    return !GetText("DESCRIPTION", 1).empty() && GetInt("PAGEDEVNBR") != 0;
}

int tvMonEquip::PreSave() {
    if (!ClearProvisionalNumber(*this, "EQUIPNBR")) {
        return -1;
    }
    if ((IsRoot() || IsModified()) && !IsComplete()) {
        SetFlags(kDeleteOnSave);
    }
    return 0;
}

tvPageDev* tvMonEquip::Device() {
    if (!device_) {
        const int32_t number = GetInt("PAGEDEVNBR");
        if (number != 0) {
            device_ = AsKind<tvPageDev>(GetObject(kPageDevType, number), "tvPageDev");
        }
    }
    return device_.get();
}
