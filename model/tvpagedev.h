#pragma once
// A paging device or paging group: the business object over one PAGEDEV row (object
// type 1000). The row is a group when QGROUP is "Y".
//
// Links, each loaded on first use: the device's network (type 1002 by PAGENETNBR,
// given up when PAGENETNBR changes); a group's members (its PAGEGRP rows in key order)
// and a device's groups (the PAGEGRP rows naming it), as tvGroupMember objects; and the
// candidate rows of the check list of the sheet (every device for a group, every group
// for a device, in DESCRIPTION order), one membership object each, checked when the
// membership is stored.
//
// Before saving: a provisional PAGEDEVNBR becomes 0. A group without DESCRIPTION, or a
// device without DESCRIPTION, PIN or network, is marked for deletion (the save stores
// nothing or removes the stored row) - when it is the object being saved (the root of
// its graph) or has changes of its own; a device reached only as another object's link
// is never removed for it. Memberships held here take the number the row was given when
// a new row is stored; when the row is removed, its memberships go with it.
//
// A device belongs to the thread of its graph.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "objects/cvbobroot.h"
#include "objects/cvbobset.h"

class cvFileMgr;
class tvPageNet;

class tvPageDev : public cvBob {
  public:
    tvPageDev(cvBob* parent, const cvRec& record);

    // A new device (or group, QGROUP "Y") over a new PAGEDEV record of the manager, as
    // the root of its graph; empty when the table cannot be opened.
    static cvBobRoot<tvPageDev> Create(cvFileMgr& manager, bool group = false);
    // The stored row with that number, or with that DESCRIPTION, as a root; empty when
    // there is none.
    static cvBobRoot<tvPageDev> Load(cvFileMgr& manager, int32_t number);
    static cvBobRoot<tvPageDev> FindByDescription(cvFileMgr& manager, std::string_view text);

    bool IsKindOf(std::string_view class_name) const override;
    [[nodiscard]] int PutInt(std::string_view name, int32_t value) override;
    void GetReferenceSlots(std::vector<cvBobSlot*>& slots) override;
    void GetChildSets(std::vector<cvBobSetSlot*>& sets) override;
    [[nodiscard]] int PreSave() override;
    [[nodiscard]] int SaveChildren() override;

    int32_t Number() const { return GetInt("PAGEDEVNBR"); }
    bool IsGroup() const;
    // A group needs a DESCRIPTION; a device also a PIN and a network.
    bool IsComplete() const;

    // The network, or null (none set, or no such row).
    tvPageNet* Network();
    // A group's memberships and a device's, as tvGroupMember objects.
    cvBobSet& Members();
    cvBobSet& Groups();
    // The rows of the sheet's check list; saving this object stores the checked
    // memberships and deletes the unchecked ones.
    cvBobSet& Candidates();
    // Checks or unchecks every candidate row.
    void CheckAllCandidates(bool checked);

    // "<Group>" for a group; "PIN@network description" for a device.
    std::string DisplayText();

  protected:
    ~tvPageDev() override;

  private:
    // Gives every membership of this row held in `set` this row's number in `field`.
    [[nodiscard]] int AdoptNumber(cvBobSet* set, std::string_view field);

    cvBobRef<tvPageNet> network_;
    cvBobSetSlot members_;
    cvBobSetSlot groups_;
    cvBobSetSlot candidates_;
    bool candidates_of_group_ = false;  // which side of the memberships this row is
};
