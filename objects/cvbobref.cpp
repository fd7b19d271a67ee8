#include "objects/cvbobref.h"

#include "objects/cvbob.h"

cvBobSlot::~cvBobSlot() {
    static_cast<void>(Reset());
}

int cvBobSlot::Reset() {
    return cvBob::Release(*this);
}

int cvBobSlot::DropAndReset() {
    if (!object_) {
        return 0;
    }
    static_cast<void>(object_->DropLinks(true));
    return Reset();
}

void cvBobSlot::Adopt(cvBob* object) {
    cvBobSlot previous;
    previous.object_ = std::exchange(object_, object);
}  // `previous` gives the old reference back

void cvBobSlot::Share(cvBob* object) {
    if (object) {
        static_cast<void>(object->AddRef());  // before the old one goes: it may be the same
    }
    cvBobSlot previous;
    previous.object_ = std::exchange(object_, object);
}

void cvBobSlot::Take(cvBobSlot& other) {
    if (&other == this) {
        return;
    }
    cvBobSlot previous;
    previous.object_ = std::exchange(object_, other.Surrender());
}
