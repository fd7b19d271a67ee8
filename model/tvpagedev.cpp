#include "model/tvpagedev.h"

#include "model/pagingobjecttypes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvgroupmember.h"
#include "model/tvpagenet.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"

namespace {

constexpr int kMembersKey = 0;  // PAGEGRPNBR, PAGEDEVNBR
constexpr int kGroupsKey = 1;   // PAGEDEVNBR
constexpr int kDescriptionKey = 1;

// Adds to `set` a membership object for every PAGEGRP row whose `field` is `number`,
// walking `key` from that number.
void LoadMemberships(cvBob& owner, cvBobSet& set, int key, std::string_view field, int32_t number) {
    cvFileMgr* manager = ManagerOf(owner);
    cvFile* file = manager && number > 0 ? manager->OpenTable(kPageGrpTable) : nullptr;
    if (!file) {
        return;
    }
    file->ClearKey(key);
    if (!file->PutInt(field, number)) {
        return;
    }
    for (int status = file->GetGreaterOrEqual(key); status == 0 && file->GetInt(field) == number;
         status = file->GetNext()) {
        static_cast<void>(owner.AddToSet(set, *file));
    }
}

}  // namespace

tvPageDev::tvPageDev(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
    LogNew();
}

tvPageDev::~tvPageDev() = default;

cvBobRoot<tvPageDev> tvPageDev::Create(cvFileMgr& manager, bool group) {
    cvFile* file = manager.OpenTable(kPageDevTable);
    if (!file) {
        return {};
    }
    cvBobRoot<tvPageDev> device = NewBobRoot<tvPageDev>(nullptr, cvRec(*file));
    if (group && !device->PutString("QGROUP", "Y")) {
        return {};  // `device` lets go of the half-made row
    }
    return device;
}

cvBobRoot<tvPageDev> tvPageDev::Load(cvFileMgr& manager, int32_t number) {
    std::optional<cvRec> row = ReadRowByNumber(manager, kPageDevTable, "PAGEDEVNBR", number);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvPageDev>(nullptr, *row);
}

cvBobRoot<tvPageDev> tvPageDev::FindByDescription(cvFileMgr& manager, std::string_view text) {
    std::optional<cvRec> row = ReadRowByDescription(manager, kPageDevTable, text);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvPageDev>(nullptr, *row);
}

bool tvPageDev::IsKindOf(std::string_view class_name) const {
    return class_name == "tvPageDev" || cvBob::IsKindOf(class_name);
}

int tvPageDev::PutInt(std::string_view name, int32_t value) {
    if (name == "PAGENETNBR" && value != GetInt(name)) {
        ReleaseReference(network_);
    }
    return cvBob::PutInt(name, value);
}

void tvPageDev::GetReferenceSlots(std::vector<cvBobSlot*>& slots) {
    cvBob::GetReferenceSlots(slots);
    slots.push_back(&network_);
}

void tvPageDev::GetChildSets(std::vector<cvBobSetSlot*>& sets) {
    cvBob::GetChildSets(sets);
    sets.push_back(&members_);
    sets.push_back(&groups_);
    sets.push_back(&candidates_);
}

bool tvPageDev::IsGroup() const {
    return IsYes(GetText("QGROUP", 1));
}

bool tvPageDev::IsComplete() const {
    if (GetText("DESCRIPTION", 1).empty()) {
        return false;
    }
    return IsGroup() || (!GetText("PIN", 1).empty() && GetInt("PAGENETNBR") != 0);
}

int tvPageDev::PreSave() {
    if (!ClearProvisionalNumber(*this, "PAGEDEVNBR")) {
        return -1;
    }
    // A linked device that is only passed through (a message's, a member's) is not
    // the operator's to remove.
    if ((IsRoot() || IsModified()) && !IsComplete()) {
        SetFlags(kDeleteOnSave);
    }
    return 0;
}

int tvPageDev::AdoptNumber(cvBobSet* set, std::string_view field) {
    const int32_t number = Number();
    for (int i = 0; set && i < set->GetCount(); ++i) {
        cvBob* membership = set->GetAt(i);
        // Stored memberships already name this row; new ones may carry its provisional
        // number, or 0 when the sheet was built before the row was numbered.
        if (membership->Position() == 0 && !membership->PutInt(field, number)) {
            return -1;
        }
    }
    return 0;
}

int tvPageDev::SaveChildren() {
    if (HasFlags(kDeleteOnSave)) {
        // The row is gone: so are the memberships that name it.
        cvBobSet& memberships = IsGroup() ? Members() : Groups();
        for (cvBobSet* set : {&memberships, candidates_.get()}) {
            for (int i = 0; set && i < set->GetCount(); ++i) {
                if (tvGroupMember* member = AsGroupMember(set->GetAt(i))) {
                    member->SetChecked(false);
                }
            }
        }
    } else if (Number() > 0) {
        const char* own_field_of_candidates = candidates_of_group_ ? "PAGEGRPNBR" : "PAGEDEVNBR";
        int result = AdoptNumber(members_.get(), "PAGEGRPNBR");
        if (result == 0) {
            result = AdoptNumber(groups_.get(), "PAGEDEVNBR");
        }
        if (result == 0) {
            result = AdoptNumber(candidates_.get(), own_field_of_candidates);
        }
        if (result != 0) {
            return result;
        }
    }
    return cvBob::SaveChildren();
}

tvPageNet* tvPageDev::Network() {
    if (!network_) {
        const int32_t number = GetInt("PAGENETNBR");
        if (number != 0) {
            network_ = AsKind<tvPageNet>(GetObject(kPageNetType, number), "tvPageNet");
        }
    }
    return network_.get();
}

cvBobSet& tvPageDev::Members() {
    if (!members_) {
        members_ = std::make_unique<cvBobSet>(this);
        LoadMemberships(*this, *members_, kMembersKey, "PAGEGRPNBR", Number());
    }
    return *members_;
}

cvBobSet& tvPageDev::Groups() {
    if (!groups_) {
        groups_ = std::make_unique<cvBobSet>(this);
        LoadMemberships(*this, *groups_, kGroupsKey, "PAGEDEVNBR", Number());
    }
    return *groups_;
}

cvBobSet& tvPageDev::Candidates() {
    if (candidates_) {
        return *candidates_;
    }
    candidates_ = std::make_unique<cvBobSet>(this);
    candidates_of_group_ = IsGroup();
    cvFileMgr* manager = ManagerOf(*this);
    cvFile* file = manager ? manager->OpenTable(kPageDevTable) : nullptr;
    if (!file) {
        return *candidates_;
    }
    // Numbers are read first: the file's current row moves while the objects are made.
    std::vector<int32_t> rows;
    for (int status = file->GetFirst(kDescriptionKey); status == 0; status = file->GetNext()) {
        if (IsYes(file->GetText("QGROUP", 1)) != candidates_of_group_) {
            rows.push_back(file->GetInt("PAGEDEVNBR"));
        }
    }
    const int32_t own = Number();
    for (const int32_t row : rows) {
        const int32_t group = candidates_of_group_ ? own : row;
        const int32_t device = candidates_of_group_ ? row : own;
        cvBobRef<tvGroupMember> member = AsKind<tvGroupMember>(
            GetObject(kGroupMemberType, group, device, 0, true), "tvGroupMember");
        if (member) {
            // Checked when the membership is stored (or was checked in this graph).
            static_cast<void>(candidates_->Add(member.get()));
        }
    }
    return *candidates_;
}

void tvPageDev::CheckAllCandidates(bool checked) {
    cvBobSet& candidates = Candidates();
    for (int i = 0; i < candidates.GetCount(); ++i) {
        if (tvGroupMember* member = AsGroupMember(candidates.GetAt(i))) {
            member->SetChecked(checked);
        }
    }
}

std::string tvPageDev::DisplayText() {
    if (IsGroup()) {
        return "<Group>";
    }
    tvPageNet* network = Network();
    return GetText("PIN", 1) + "@" + (network ? network->GetText("DESCRIPTION", 1) : "");
}
