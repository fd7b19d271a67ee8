// Object monitors (process-wide, told of saves and deleted rows on the saving thread)
// and field monitors (one object's changes, each monitor holding a reference).

#include "objects/cvbobmonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "objects/cvbobfieldmonitor.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

class BobMonitorTest : public ObjectsFixture {};

// Appends "<name> saved <object>" to a shared list; may leave the list while told.
class NamedMonitor : public cvBobMonitor {
  public:
    NamedMonitor(std::string name, std::vector<std::string>& told)
        : name_(std::move(name)), told_(told) {}
    void ObjectSaved(cvBob& object) override {
        told_.push_back(name_ + " saved " + object.ObjectText());
        if (on_saved) {
            on_saved();
        }
    }
    std::function<void()> on_saved;

  private:
    std::string name_;
    std::vector<std::string>& told_;
};

TEST_F(BobMonitorTest, EveryMonitorIsToldInListOrderWhileItLives) {
    const int group_number = AddGroupRow("Team");
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    std::vector<std::string> told;
    NamedMonitor first("first", told);
    NamedMonitor second("second", told);
    auto third = std::make_unique<NamedMonitor>("third", told);
    // The second destroys the third while the list is being told: the third is not.
    second.on_saved = [&] { third.reset(); };

    ASSERT_NE(group->PutString("NAME", "One"), 0);
    ASSERT_EQ(group->Save(), 0);
    ASSERT_NE(group->PutString("NAME", "Two"), 0);
    ASSERT_EQ(group->Save(), 0);
    ASSERT_EQ(group->Save(), 0) << "nothing stored: nothing told";
    EXPECT_EQ(told, (std::vector<std::string>{"first saved Group 1", "second saved Group 1",
                                              "first saved Group 1", "second saved Group 1"}));
    // The base ignores deleted rows.
    cvRec row(Open("DEVICE"));
    AnnounceObjectDeleted(row);
    static_cast<void>(group.DropAndReset());
}

// Counts what it is told; safe to read after the threads are joined.
class CountingMonitor : public cvBobMonitor {
  public:
    // In the list only while it is whole: it may be told on another thread.
    CountingMonitor() : cvBobMonitor(false) { StartMonitoring(); }
    ~CountingMonitor() override { StopMonitoring(); }
    void ObjectSaved(cvBob&) override { ++saved; }
    void ObjectDeleted(const cvRec&) override { ++deleted; }
    std::atomic<int> saved{0};
    std::atomic<int> deleted{0};
};

TEST_F(BobMonitorTest, SavesOnAnotherThreadAreToldThereWhileMonitorsComeAndGo) {
    AddGroupRow("Team");
    CountingMonitor steady;
    std::atomic<bool> done{false};
    int saves = 0;
    std::thread engine([&] {
        cvFileMgr files(data_.dir(), &dict_);
        cvFile* groups = files.OpenTable("GROUPS");
        ASSERT_NE(groups, nullptr);
        ASSERT_EQ(groups->GetFirst(0), 0);
        cvBobRef<TestGroup> group = NewBob<TestGroup>(nullptr, *groups, cvRec::kFromFile);
        EXPECT_GT(group->Position(), 0) << "made from the file's current row";
        for (int i = 0; i < 30; ++i) {
            ASSERT_NE(group->PutString("NAME", "Name " + std::to_string(i)), 0);
            ASSERT_EQ(group->Save(), 0);
            ++saves;
            AnnounceObjectDeleted(*group);
        }
        static_cast<void>(group.DropAndReset());
        done = true;
    });
    // Monitors constructed and destroyed here meanwhile.
    while (!done) {
        CountingMonitor passing;
        std::this_thread::yield();
    }
    engine.join();
    EXPECT_EQ(steady.saved, saves);
    EXPECT_EQ(steady.deleted, saves);
    EXPECT_EQ(saves, 30);
}

// Records the changes it is told of a text field, and may stop watching meanwhile.
class TextWatcher : public cvBobFieldMonitor {
  public:
    TextWatcher(std::string name, std::vector<std::string>& told)
        : name_(std::move(name)), told_(told) {}
    void FieldChanged(std::string_view field, const void* old_value,
                      const void* new_value) override {
        told_.push_back(name_ + " " + std::string(field) + " " +
                        *static_cast<const std::string*>(old_value) + ">" +
                        *static_cast<const std::string*>(new_value));
        if (stop_when_told) {
            StopWatching();
        }
    }
    bool stop_when_told = false;

  private:
    std::string name_;
    std::vector<std::string>& told_;
};

TEST_F(BobMonitorTest, FieldMonitorsHoldWhatTheyWatchAndHearOnlyChanges) {
    const int group_number = AddGroupRow("Team");
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    std::vector<std::string> told;
    {
        TextWatcher first("first", told);
        TextWatcher second("second", told);
        first.Watch(group.get());
        second.Watch(group.get());
        first.Watch(group.get());  // once
        EXPECT_EQ(group->RefCount(), 3);
        EXPECT_EQ(group->FieldMonitors().size(), 2u);

        ASSERT_NE(group->PutString("NAME", "Team"), 0);  // the text already stored
        EXPECT_TRUE(told.empty());
        first.stop_when_told = true;
        ASSERT_NE(group->PutString("NAME", "Crew"), 0);
        ASSERT_NE(group->PutString("NAME", "Band"), 0);
        EXPECT_EQ(told, (std::vector<std::string>{"first NAME Team>Crew", "second NAME Team>Crew",
                                                  "second NAME Crew>Band"}));
        EXPECT_EQ(first.Watched(), nullptr);
        EXPECT_EQ(group->RefCount(), 2);

        // Watching another object lets go of the first.
        const int device = AddDeviceRow("Pager", group_number);
        cvBobRef<TestDevice> other =
            NewBob<TestDevice>(group.get(), ReadRow("DEVICE", "DEVNBR", device));
        second.Watch(other.get());
        EXPECT_EQ(group->FieldMonitors().size(), 0u);
        EXPECT_EQ(other->RefCount(), 2);
        ASSERT_NE(group->PutString("NAME", "Unheard"), 0);
        EXPECT_EQ(told.size(), 3u);
        static_cast<void>(other.Reset());
        EXPECT_EQ(Census::Alive(), 2) << "the watcher keeps the device";
    }  // the watchers stop watching as they go
    EXPECT_EQ(Census::Alive(), 1);
    EXPECT_EQ(group->RefCount(), 1);
    static_cast<void>(group.Reset());
}

}  // namespace
