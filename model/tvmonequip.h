#pragma once
// A piece of monitored equipment: the business object over one MONEQUIP row (object
// type 1003), linked to the device or group paged for its alarms (type 1000 by
// PAGEDEVNBR, loaded on first use and given up when PAGEDEVNBR changes).
//
// Before saving: a provisional EQUIPNBR becomes 0; equipment without DESCRIPTION or
// PAGEDEVNBR is marked for deletion (the save stores nothing or removes the stored row)
// when it is the object being saved or has changes of its own.

#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "objects/cvbobroot.h"

class cvFileMgr;
class tvPageDev;

class tvMonEquip : public cvBob {
  public:
    tvMonEquip(cvBob* parent, const cvRec& record);

    // A new row of the manager's MONEQUIP, or the stored one with that number or
    // DESCRIPTION, as a root; empty when the table cannot be opened or holds no such row.
    static cvBobRoot<tvMonEquip> Create(cvFileMgr& manager);
    static cvBobRoot<tvMonEquip> Load(cvFileMgr& manager, int32_t number);
    static cvBobRoot<tvMonEquip> FindByDescription(cvFileMgr& manager, std::string_view text);

    bool IsKindOf(std::string_view class_name) const override;
    [[nodiscard]] int PutInt(std::string_view name, int32_t value) override;
    void GetReferenceSlots(std::vector<cvBobSlot*>& slots) override;
    [[nodiscard]] int PreSave() override;

    int32_t Number() const { return GetInt("EQUIPNBR"); }
    bool IsComplete() const;
    // The paged device or group, or null.
    tvPageDev* Device();

  protected:
    ~tvMonEquip() override;

  private:
    cvBobRef<tvPageDev> device_;
};
