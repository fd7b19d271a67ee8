#include "model/tvgroupmember.h"

#include "model/pagingobjecttypes.h"
#include "model/pagingrows.h"
#include "model/tvpagedev.h"

tvGroupMember::tvGroupMember(cvBob* parent, const cvRec& record)
    : cvBob(parent, record), checked_(Position() > 0) {
    LogNew();
}

tvGroupMember::~tvGroupMember() = default;

tvGroupMember* AsGroupMember(cvBob* object) {
    return object && object->IsKindOf("tvGroupMember") ? static_cast<tvGroupMember*>(object)
                                                       : nullptr;
}

bool tvGroupMember::IsKindOf(std::string_view class_name) const {
    return class_name == "tvGroupMember" || cvBob::IsKindOf(class_name);
}

int tvGroupMember::PutInt(std::string_view name, int32_t value) {
    if (value != GetInt(name)) {
        if (name == "PAGEGRPNBR") {
            ReleaseReference(group_);
        } else if (name == "PAGEDEVNBR") {
            ReleaseReference(device_);
        }
    }
    return cvBob::PutInt(name, value);
}

void tvGroupMember::GetReferenceSlots(std::vector<cvBobSlot*>& slots) {
    cvBob::GetReferenceSlots(slots);
    slots.push_back(&group_);
    slots.push_back(&device_);
}

int tvGroupMember::PreSave() {
    if (!checked_ || GroupNumber() <= 0 || DeviceNumber() <= 0) {
        SetFlags(kDeleteOnSave);
    }
    return 0;
}

tvPageDev* tvGroupMember::Group() {
    if (!group_ && GroupNumber() != 0) {
        group_ = AsKind<tvPageDev>(GetObject(kPageDevType, GroupNumber()), "tvPageDev");
    }
    return group_.get();
}

tvPageDev* tvGroupMember::Device() {
    if (!device_ && DeviceNumber() != 0) {
        device_ = AsKind<tvPageDev>(GetObject(kPageDevType, DeviceNumber()), "tvPageDev");
    }
    return device_.get();
}
