#pragma once
// Counted references to business objects.
//
// A business object (cvBob) counts its holders and destroys itself when the last one
// lets go. Every place that refers to an object holds it through a slot: a cvBobSlot
// (or its typed form cvBobRef<T>) takes one reference when it is filled and gives it
// back when it is emptied or destroyed. Parent links, reference slots, set entries,
// monitors and callers' locals are all slots, so no code outside cvBob itself ever
// destroys an object, and the count always equals the number of filled slots plus
// any reference a caller took with AddRef by hand.
//
// Making an object: NewBob<T>(...) constructs it and hands back the creator's
// reference (objects are born with a count of 1) in a cvBobRef<T>.
//
// A graph of objects links both ways (a child holds its parent, the parent's set holds
// the child), so releasing the root alone does not free a graph: the owner of a graph
// drops its links first (cvBob::DropLinks, or cvBobRef::DropAndReset), which releases
// the children, then releases the root. A cvBobRoot (objects/cvbobroot.h) is the handle
// that does this when it goes out of scope.
//
// Slots belong to the thread that uses their objects; counts are plain integers.

#include <type_traits>
#include <utility>

class cvBob;

class cvBobSlot {
  public:
    cvBobSlot() = default;
    // Gives the reference back (may destroy the object).
    ~cvBobSlot();
    cvBobSlot(const cvBobSlot&) = delete;
    cvBobSlot& operator=(const cvBobSlot&) = delete;

    cvBob* Get() const { return object_; }
    bool IsEmpty() const { return object_ == nullptr; }
    explicit operator bool() const { return object_ != nullptr; }

    // Gives the reference back (cvBob::Release) and empties the slot. Returns the
    // object's remaining count, 0 when it was destroyed or the slot was empty.
    int Reset();
    // Drops the object's own links (releasing its children and its parent), then
    // gives this reference back: how the owner of a graph lets go of its root.
    int DropAndReset();

  protected:
    // Fills the slot with a reference the caller already counted (NewBob's, or one
    // handed over by another slot); the previous reference is given back.
    void Adopt(cvBob* object);
    // Fills the slot with a new reference (AddRef); the previous one is given back.
    void Share(cvBob* object);
    // Moves the reference of `other` into this slot.
    void Take(cvBobSlot& other);
    // Empties the slot without giving anything back; the caller owns the reference.
    cvBob* Surrender() { return std::exchange(object_, nullptr); }

  private:
    friend class cvBob;

    cvBob* object_ = nullptr;
};

// A slot typed by the kind of object it holds. cvBobRef<> holds any business object.
template <typename T = cvBob>
class cvBobRef : public cvBobSlot {
  public:
    cvBobRef() = default;
    cvBobRef(std::nullptr_t) {}
    cvBobRef(const cvBobRef& other) : cvBobSlot() { Share(other.get()); }
    cvBobRef(cvBobRef&& other) noexcept : cvBobSlot() { Take(other); }
    // From a reference to a derived kind.
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    cvBobRef(cvBobRef<U>&& other) noexcept : cvBobSlot() {
        Take(other);
    }
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    cvBobRef(const cvBobRef<U>& other) : cvBobSlot() {
        Share(static_cast<T*>(other.get()));
    }

    cvBobRef& operator=(const cvBobRef& other) {
        if (this != &other) {
            Share(other.get());
        }
        return *this;
    }
    cvBobRef& operator=(cvBobRef&& other) noexcept {
        if (this != &other) {
            Take(other);
        }
        return *this;
    }
    cvBobRef& operator=(std::nullptr_t) {
        static_cast<void>(Reset());
        return *this;
    }

    // A new reference to `object` (AddRef), or an empty one.
    static cvBobRef Shared(T* object) {
        cvBobRef ref;
        ref.Share(object);
        return ref;
    }
    // Takes over a reference the caller already counted.
    static cvBobRef Adopted(T* object) {
        cvBobRef ref;
        ref.Adopt(object);
        return ref;
    }

    // Puts a new reference to `object` here (AddRef), giving the previous one back.
    void Set(T* object) { Share(object); }

    T* get() const { return static_cast<T*>(Get()); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

    // A reference to the same object typed as a derived kind (no check: the caller
    // knows the kind, as with static_cast). From a temporary the reference moves over
    // without being counted again: `network_ = GetObject(id).As<tvPageNet>()`.
    template <typename U>
    cvBobRef<U> As() const& {
        return cvBobRef<U>::Shared(static_cast<U*>(get()));
    }
    template <typename U>
    cvBobRef<U> As() && {
        cvBobRef<U> moved;
        moved.Adopt(static_cast<U*>(static_cast<T*>(Surrender())));
        return moved;
    }

  private:
    template <typename>
    friend class cvBobRef;
};

// Constructs a business object and returns the creator's reference.
template <typename T, typename... Args>
cvBobRef<T> NewBob(Args&&... args) {
    return cvBobRef<T>::Adopted(new T(std::forward<Args>(args)...));
}
