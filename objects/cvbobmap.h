#pragma once
// The object map of a graph, owned by its root: every registered object of the graph
// listed by object type, so that an identifier leads back to the one object that
// represents the row. The map does not count references: objects enter it when they
// are registered and leave it when they are removed or destroyed.
//
// Each type's list is searched from the most recently added object. Types are kept in
// a short sorted list (a graph uses a handful), not in an array indexed by type number.
// When the map is destroyed, every object still in it that does not own it forgets its
// map, so an object that outlives its root keeps no dangling pointer.
//
// A map belongs to the thread of its graph.

#include <cstdint>
#include <utility>
#include <vector>

#include "storage/cvobjectid.h"

class cvBob;

class cvBobMap {
  public:
    cvBobMap() = default;
    ~cvBobMap();
    cvBobMap(const cvBobMap&) = delete;
    cvBobMap& operator=(const cvBobMap&) = delete;

    // Enters the object in the list of its type (once); false for type 0.
    bool Add(cvBob* object);
    // Takes the object out; false when it was not there.
    bool Remove(cvBob* object);
    // The most recently added object whose identifier matches all four numbers, or
    // null.
    cvBob* Find(int32_t type, int32_t id1, int32_t id2, int32_t id3) const;
    cvBob* Find(const cvObjectId& id) const { return Find(id.type, id.id1, id.id2, id.id3); }
    // Number of entries over all types.
    int Count() const { return count_; }

  private:
    using TypeList = std::pair<int32_t, std::vector<cvBob*>>;  // oldest first

    std::vector<cvBob*>* ListOf(int32_t type);
    const std::vector<cvBob*>* ListOf(int32_t type) const;

    std::vector<TypeList> lists_;  // sorted by type
    int count_ = 0;
};
