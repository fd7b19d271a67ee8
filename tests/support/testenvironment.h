#pragma once
// The surroundings every layer's tests run in, made and put back in one place:
//
//   - temporary directories by name (data, dictionary, program ...), removed afterwards;
//   - the record manager's state directory and a short lock wait (recmanstate.h);
//   - profile files of the test's own: TOLVANE_USER_PROFILE and TOLVANE_MACHINE_PROFILE
//     name "user/profile.ini" and "machine/profile.ini" in a directory of the test's;
//   - the message-box presenter: this thread is the user-interface thread, and every box
//     shown on it is recorded and answered by rule (ScriptedPresenter);
//   - when asked, the event log open on every category and its lines captured
//     (eventlogcapture.h).
//
// When the environment goes it puts the event log back as it found it: no presenter,
// sound or viewer hook, no transaction open, no save at exit, the category mask it had,
// no lines. (The abort hook belongs to the storage layer, which installs it once.) A
// fixture declares its environment first, so that everything the test made (file
// managers, engines) is gone before the environment is.
//
// Threads: made and destroyed on the test's thread. The presenter runs on that thread
// only (the event log turns boxes of other threads into log lines); the hook a fixture
// hands to OnShown may be called while other threads run, and guards its own state.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "tests/support/eventlogcapture.h"
#include "tests/support/recmanstate.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace testing_support {

// One message box shown through the application's message-box operation.
struct ShownBox {
    std::string text;
    unsigned style = 0;
};

// Records every box and answers it: the first rule whose text begins the box's text
// wins; without one, the default answer (by style unless one answer was set for all:
// OK for an OK box, No for a Yes/No question, Cancel for the others).
class ScriptedPresenter {
  public:
    void Answer(std::string text_start, int answer) {
        rules_.emplace_back(std::move(text_start), answer);
    }
    // Every box no rule matches gets `answer`, whatever its buttons.
    void AnswerAllWith(int answer) { default_answer_ = answer; }
    // Called with each box after it is recorded.
    void OnShown(std::function<void(const std::string& text, unsigned style)> hook) {
        on_shown_ = std::move(hook);
    }

    int Present(const std::string& text, unsigned style) {
        boxes_.push_back({text, style});
        if (on_shown_) {
            on_shown_(text, style);
        }
        for (const auto& [start, answer] : rules_) {
            if (text.rfind(start, 0) == 0) {
                return answer;
            }
        }
        if (default_answer_) {
            return *default_answer_;
        }
        switch (style & kMbButtonMask) {
            case kMbOk:
                return kIdOk;
            case kMbYesNo:
                return kIdNo;
            default:
                return kIdCancel;
        }
    }

    std::vector<ShownBox>& Boxes() { return boxes_; }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : boxes_) {
            texts.push_back(box.text);
        }
        return texts;
    }
    bool Showed(const std::string& text) const {
        return std::any_of(boxes_.begin(), boxes_.end(),
                           [&](const ShownBox& box) { return box.text == text; });
    }
    void Clear() { boxes_.clear(); }

  private:
    std::vector<std::pair<std::string, int>> rules_;
    std::optional<int> default_answer_;
    std::function<void(const std::string&, unsigned)> on_shown_;
    std::vector<ShownBox> boxes_;
};

class TestEnvironment {
  public:
    struct Options {
        // The record manager's lock wait; nullopt leaves it as it is (tests that start
        // programs sharing a database).
        std::optional<int> lock_wait_ms = RecordManagerState::kTestLockWaitMs;
    };

    TestEnvironment() : TestEnvironment(Options{}) {}
    explicit TestEnvironment(const Options& options)
        : recman_(options.lock_wait_ms), saved_mask_(EventLog().CategoryMask()) {
        EventLog().SetUserInterfaceThread(std::this_thread::get_id());
        EventLog().SetPresenter([this](const std::string& text, unsigned style, unsigned) {
            return presenter_.Present(text, style);
        });
    }
    ~TestEnvironment() {
        cvEventLog& log = EventLog();
        log.SetPresenter({});
        log.SetSoundHook({});
        log.SetViewerHook({});
        log.SetTransactionOpen(false);
        log.SetSaveAtExit(false);
        capture_.reset();
        log.SetCategoryMask(saved_mask_);
        log.Clear();
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    // The temporary directory of that name, made on first use and kept (at the same
    // address) until the environment goes.
    TempDir& Directory(const std::string& name) {
        std::unique_ptr<TempDir>& directory = directories_[name];
        if (!directory) {
            directory = std::make_unique<TempDir>();
        }
        return *directory;
    }
    const TempDir& RecordManagerStateDirectory() const { return recman_.Directory(); }
    std::string UserProfile() const { return profiles_.file("user/profile.ini"); }
    std::string MachineProfile() const { return profiles_.file("machine/profile.ini"); }

    ScriptedPresenter& Presenter() { return presenter_; }
    // Opens the event log on every category from now on and captures its lines (once;
    // later calls hand back the same capture).
    EventLogCapture& CaptureEventLog() {
        if (!capture_) {
            capture_ = std::make_unique<EventLogCapture>();
        }
        return *capture_;
    }

  private:
    std::map<std::string, std::unique_ptr<TempDir>> directories_;
    RecordManagerState recman_;
    TempDir profiles_;
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", UserProfile()};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", MachineProfile()};
    uint32_t saved_mask_;
    ScriptedPresenter presenter_;
    std::unique_ptr<EventLogCapture> capture_;
};

}  // namespace testing_support
