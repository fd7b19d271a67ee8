#pragma once
// The owner of a graph of business objects.
//
// A graph links both ways (a child holds its parent, the parent's sets hold the
// child), so the root's reference alone never frees it: whoever owns a graph must
// drop the root's links before letting the root go. A cvBobRoot does exactly that,
// every time it lets go of a root: when it is destroyed, reset, assigned another root
// or null. It is the handle the model gives out when it creates, loads or finds an
// object for a caller (tvPageDev::Load, tvPageMsg::Create ...).
//
// A root handle moves but does not copy: one handle owns the graph. Other code may
// hold counted references (cvBobRef) to the root or to objects of the graph while the
// handle lives; once the handle lets go, such a reference still keeps its object
// alive, but the object is out of the graph (no parent, no children).
//
// Empty handles are valid and do nothing when they let go. A handle belongs to the
// thread of its graph.

#include <cstddef>
#include <type_traits>
#include <utility>

#include "objects/cvbobref.h"

template <typename T = cvBob>
class cvBobRoot {
  public:
    cvBobRoot() = default;
    cvBobRoot(std::nullptr_t) {}
    // Takes over a reference to a root; the handle now owns its graph.
    explicit cvBobRoot(cvBobRef<T>&& root) noexcept : root_(std::move(root)) {}
    // From the handle of a derived kind: the graph changes owner.
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    cvBobRoot(cvBobRoot<U>&& other) noexcept : root_(std::move(other.root_)) {}
    cvBobRoot(cvBobRoot&& other) noexcept : root_(std::move(other.root_)) {}

    // Lets go of the graph held so far, then takes over the other handle's.
    cvBobRoot& operator=(cvBobRoot&& other) noexcept {
        if (this != &other) {
            static_cast<void>(Reset());
            root_ = std::move(other.root_);
        }
        return *this;
    }
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    cvBobRoot& operator=(cvBobRoot<U>&& other) noexcept {
        static_cast<void>(Reset());
        root_ = std::move(other.root_);
        return *this;
    }
    cvBobRoot& operator=(std::nullptr_t) noexcept {
        static_cast<void>(Reset());
        return *this;
    }

    cvBobRoot(const cvBobRoot&) = delete;
    cvBobRoot& operator=(const cvBobRoot&) = delete;

    ~cvBobRoot() { static_cast<void>(Reset()); }

    // Drops the root's links (releasing every object the graph holds) and gives the
    // root's reference back. Returns the root's remaining count: 0 when it was
    // destroyed or the handle was empty, more while other references hold it.
    int Reset() { return root_.DropAndReset(); }

    T* get() const { return root_.get(); }
    T* operator->() const { return root_.get(); }
    T& operator*() const { return *root_; }
    explicit operator bool() const { return static_cast<bool>(root_); }

    // The handle's own reference to the root, for code that takes a counted
    // reference (it may copy it; the graph is still dropped when the handle lets go).
    const cvBobRef<T>& Ref() const { return root_; }

  private:
    template <typename>
    friend class cvBobRoot;

    cvBobRef<T> root_;
};

// Constructs a business object as the root of a new graph and hands it to its owner.
template <typename T, typename... Args>
cvBobRoot<T> NewBobRoot(Args&&... args) {
    return cvBobRoot<T>(NewBob<T>(std::forward<Args>(args)...));
}
