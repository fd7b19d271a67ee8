#pragma once
// A membership of a device in a group: the business object over one PAGEGRP row
// (object type 1004, identified by PAGEGRPNBR and PAGEDEVNBR).
//
// It carries a checked flag, on from the start for a stored row and off for a new one;
// the check lists of the sheets set it. Saving stores a checked membership and deletes
// an unchecked one (a new unchecked one stores nothing). A membership that does not
// name a stored group and device number (0 or provisional) is not stored either.
//
// Links, loaded on first use and given up when their field changes: the group (type
// 1000 by PAGEGRPNBR) and the member device (type 1000 by PAGEDEVNBR).

#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"

class tvPageDev;

class tvGroupMember : public cvBob {
  public:
    tvGroupMember(cvBob* parent, const cvRec& record);

    bool IsKindOf(std::string_view class_name) const override;
    [[nodiscard]] int PutInt(std::string_view name, int32_t value) override;
    void GetReferenceSlots(std::vector<cvBobSlot*>& slots) override;
    [[nodiscard]] int PreSave() override;

    int32_t GroupNumber() const { return GetInt("PAGEGRPNBR"); }
    int32_t DeviceNumber() const { return GetInt("PAGEDEVNBR"); }
    bool IsChecked() const { return checked_; }
    void SetChecked(bool checked) { checked_ = checked; }

    tvPageDev* Group();
    tvPageDev* Device();

  protected:
    ~tvGroupMember() override;

  private:
    cvBobRef<tvPageDev> group_;
    cvBobRef<tvPageDev> device_;
    bool checked_;
};

// The object as a membership, or null when it is of another kind.
tvGroupMember* AsGroupMember(cvBob* object);
