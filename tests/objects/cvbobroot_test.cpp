// The owning handle of an object graph: every way it lets go of a root frees the whole
// graph (counted by the test objects' census), exactly once, and leaves objects that
// others still hold alive but out of the graph.

#include "objects/cvbobroot.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

#include "objects/cvbobset.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

static_assert(!std::is_copy_constructible_v<cvBobRoot<TestGroup>>);
static_assert(!std::is_copy_assignable_v<cvBobRoot<TestGroup>>);
static_assert(std::is_nothrow_move_constructible_v<cvBobRoot<TestGroup>>);
static_assert(std::is_constructible_v<cvBobRoot<cvBob>, cvBobRoot<TestGroup>&&>);
static_assert(!std::is_constructible_v<cvBobRoot<TestGroup>, cvBobRoot<cvBob>&&>);

class BobRootTest : public ObjectsFixture {
  protected:
    // A group with `devices` children, the last one referring to the first: a graph
    // that a plain reference to its root would leak.
    cvBobRoot<TestGroup> NewGraph(const std::string& name, int devices) {
        cvBobRoot<TestGroup> group(LoadGroup(AddGroupRow(name)));
        TestDevice* first = nullptr;
        for (int i = 0; i < devices; ++i) {
            TestDevice* device = NewDevice(*group, name + std::to_string(i));
            if (!first) {
                first = device;
            } else {
                device->partner.Set(first);
            }
        }
        return group;
    }
};

TEST_F(BobRootTest, AGraphGoesWithItsHandleAtTheEndOfTheScope) {
    {
        const cvBobRoot<TestGroup> group = NewGraph("Team", 3);
        ASSERT_TRUE(group);
        EXPECT_EQ(Census::Alive(), 4);
        EXPECT_EQ(group->RefCount(), 4) << "its creator and three children";
    }
    EXPECT_EQ(Census::Alive(), 0);
    EXPECT_EQ(Census::destroyed, 4) << "each object destroyed once";
}

TEST_F(BobRootTest, EveryWayOfLettingGoFreesTheOldGraphOnly) {
    struct Case {
        const char* name;
        std::function<void(cvBobRoot<TestGroup>& handle, cvBobRoot<TestGroup>& other)> let_go;
        int alive_after;  // the other graph's objects that remain
    };
    const Case cases[] = {
        {"Reset", [](auto& handle, auto&) { EXPECT_EQ(handle.Reset(), 0); }, 3},
        {"null assigned", [](auto& handle, auto&) { handle = nullptr; }, 3},
        {"another root moved in",
         [](auto& handle, auto& other) {
             handle = std::move(other);
             EXPECT_FALSE(other);
             EXPECT_TRUE(handle);
         },
         3},
        {"moved out and the new owner reset",
         [](auto& handle, auto&) {
             cvBobRoot<TestGroup> owner(std::move(handle));
             EXPECT_FALSE(handle);
             EXPECT_EQ(owner.Reset(), 0);
         },
         3},
        {"moved to a handle of the base kind",
         [](auto& handle, auto&) { cvBobRoot<cvBob> base(std::move(handle)); }, 3},
        {"assigned to itself",
         [](auto& handle, auto&) {
             cvBobRoot<TestGroup>& same = handle;
             handle = std::move(same);
             EXPECT_TRUE(handle) << "a self-move keeps the graph";
             handle = nullptr;
         },
         3},
    };
    for (const Case& c : cases) {
        Census::Reset();
        cvBobRoot<TestGroup> handle = NewGraph("Old", 2);
        cvBobRoot<TestGroup> other = NewGraph("New", 2);
        ASSERT_EQ(Census::Alive(), 6) << c.name;
        c.let_go(handle, other);
        EXPECT_EQ(Census::Alive(), c.alive_after) << c.name;
        // Whatever is left goes with the handles, once.
        handle = nullptr;
        other = nullptr;
        EXPECT_EQ(Census::Alive(), 0) << c.name;
        EXPECT_EQ(Census::destroyed, Census::made) << c.name;
    }
}

TEST_F(BobRootTest, ObjectsHeldElsewhereOutliveTheGraphButLeaveIt) {
    cvBobRoot<TestGroup> group = NewGraph("Team", 2);
    cvBobRef<TestDevice> child = cvBobRef<TestDevice>::Shared(group->Device(1));
    cvBobRef<TestGroup> root = group.Ref();
    EXPECT_EQ(group.Reset(), 1) << "the root stays for its other holder";
    EXPECT_FALSE(group);
    EXPECT_EQ(Census::Alive(), 2) << "the root and the child held here; the other child is gone";
    EXPECT_EQ(child->Parent(), nullptr);
    EXPECT_EQ(child->partner.get(), nullptr) << "its own links were dropped too";
    EXPECT_EQ(root->Devices().GetCount(), 0);
    EXPECT_EQ(root->RefCount(), 1);
    static_cast<void>(child.Reset());
    static_cast<void>(root.Reset());
    EXPECT_EQ(Census::Alive(), 0);
}

TEST_F(BobRootTest, AnEmptyHandleLetsGoOfNothing) {
    cvBobRoot<TestGroup> empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_EQ(empty.Reset(), 0);
    cvBobRoot<TestGroup> graph = NewGraph("Team", 1);
    graph = std::move(empty);
    EXPECT_FALSE(graph);
    EXPECT_EQ(Census::Alive(), 0);
}

}  // namespace
