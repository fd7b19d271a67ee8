#pragma once
// An observer of one object's field changes. While it watches an object it holds a
// reference to it and is told, after every put that changed a field, the field's name
// and the old and new values by address, in the representation of the put:
//
//   PutInt            const int32_t*        PutUInt    const uint32_t*
//   PutInt64          const int64_t*        PutDouble  const double*
//   PutDate, PutTime  const uint32_t* (packed date, packed time)
//   PutObjectId       const cvObjectId*     PutString  const std::string*
//
// (for PutString the old value is the field's GetText(name, 1)). The values are valid
// only during the call. Monitors of one object are told in the order they started
// watching; a monitor may stop watching, or start watching another object, from inside
// FieldChanged.
//
// A field monitor belongs to the thread of the object it watches.

#include <string_view>

#include "objects/cvbobref.h"

class cvBob;

class cvBobFieldMonitor {
  public:
    cvBobFieldMonitor() = default;
    cvBobFieldMonitor(const cvBobFieldMonitor&) = delete;
    cvBobFieldMonitor& operator=(const cvBobFieldMonitor&) = delete;

    // Virtual operations, in their fixed order.
    //
    // Does nothing unless refined.
    virtual void FieldChanged(std::string_view name, const void* old_value, const void* new_value);
    // Stops watching.
    virtual ~cvBobFieldMonitor();

    // Stops watching the previous object, then watches `object` (null: none), holding a
    // reference to it. Watching the object already watched changes nothing.
    void Watch(cvBob* object);
    // Leaves the watched object's monitors and gives its reference back.
    void StopWatching();
    cvBob* Watched() const { return watched_.get(); }

  private:
    friend class cvBob;

    cvBobRef<> watched_;
};
