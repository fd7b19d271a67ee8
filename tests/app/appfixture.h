#pragma once
// A test's own Tolvane installation: a dictionary directory written by the dictionary
// writer (the product's tables, and optionally an older layout in "PrevDDF"), a data
// directory, a record-manager state directory and two profile files, all removed
// afterwards. Message boxes on this thread go to a scripted presenter that records
// every text and answers by rule: the first rule whose text begins the message wins;
// without one an OK box gets OK and a question its negative button.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/tvapp.h"
#include "app/tvprogress.h"
#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/dberror.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"
#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/dictionaryrows.h"
#include "tools/ddfwriter/tolvaneschema.h"

namespace app_testing {

struct Box {
    std::string text;
    unsigned style = 0;
};

class ScriptedPresenter {
  public:
    void Answer(std::string text_start, int answer) {
        rules_.push_back({std::move(text_start), answer});
    }
    int Present(const std::string& text, unsigned style) {
        boxes_.push_back({text, style});
        for (const auto& [start, answer] : rules_) {
            if (text.rfind(start, 0) == 0) {
                return answer;
            }
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
    const std::vector<Box>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Box& box : boxes_) {
            texts.push_back(box.text);
        }
        return texts;
    }
    bool Showed(const std::string& text) const {
        return std::any_of(boxes_.begin(), boxes_.end(),
                           [&](const Box& box) { return box.text == text; });
    }
    void Clear() { boxes_.clear(); }

  private:
    std::vector<std::pair<std::string, int>> rules_;
    std::vector<Box> boxes_;
};

// Records what an upgrade shows and cancels after a number of questions, when told.
class RecordingProgress : public tvProgress {
  public:
    void Begin(const std::string& title) override { texts.push_back(title); }
    void SetText(const std::string& text) override { texts.push_back(text); }
    void SetPercent(int percent) override { percents.push_back(percent); }
    bool Cancelled() const override {
        ++asked;
        return cancel_after >= 0 && asked > cancel_after;
    }
    void End() override { ended = true; }

    std::vector<std::string> texts;
    std::vector<int> percents;
    int cancel_after = -1;  // negative: never
    mutable int asked = 0;
    bool ended = false;
};

class AppFixture : public ::testing::Test {
  protected:
    AppFixture() {
        EventLog().SetUserInterfaceThread(std::this_thread::get_id());
        EventLog().SetPresenter([this](const std::string& text, unsigned style, unsigned) {
            return presenter_.Present(text, style);
        });
        EventLog().SetViewerHook([this](const std::string& path) { viewed_.push_back(path); });
        WriteDictionary(ddf_.dir(), TolvaneSchema());
    }
    ~AppFixture() override {
        app_.reset();
        EventLog().SetPresenter({});
        EventLog().SetViewerHook({});
        EventLog().SetSaveAtExit(false);
        EventLog().SetCategoryMask(0);
        EventLog().Clear();
        StorageApp().Reset();
        ResetDbExitRequested();
    }

    static void WriteDictionary(const std::string& directory, std::span<const cvTableDef> tables) {
        std::string failure;
        ASSERT_EQ(WriteDictionaryFiles(directory, "TV", BuildDictionaryRows(tables), &failure), 0)
            << failure;
    }

    std::string DataDirectory() const { return data_.dir() + "db/"; }

    // An application on this installation; `versions` those of the program.
    tvApp& NewApp(const tvVersion& file = {2, 1, 0, 5}, const tvVersion& product = {2, 1, 0, 5}) {
        app_.reset();
        app_ = std::make_unique<tvApp>(program_.dir());
        app_->SetProgramVersions(file, product);
        app_->OverrideDictionaryDirectory(ddf_.dir());
        return *app_;
    }
    // The start-up of a program without windows on DataDirectory().
    tvStartResult Start(tvIncompleteAnswer answer, const tvVersion& file = {2, 1, 0, 5},
                        const tvVersion& product = {2, 1, 0, 5}, tvProgress* progress = nullptr) {
        tvApp& app = NewApp(file, product);
        app.OverrideDataDirectory(DataDirectory());
        const tvStartResult result = app.StartWithoutWindows(answer, progress);
        return result;
    }
    void EndApp() { app_.reset(); }

    // The product's dictionary loaded on its own, for looking at the files.
    std::unique_ptr<tvDataDict> LoadDictionary(const std::string& directory) {
        auto dictionary = std::make_unique<tvDataDict>();
        EXPECT_EQ(dictionary->Load(directory, "TV"), 0);
        EXPECT_EQ(dictionary->AddDefinition(TolvaneTableDef()), 0);
        return dictionary;
    }

    bool DataFileExists(const std::string& name) const {
        return std::filesystem::exists(DataDirectory() + name);
    }
    std::vector<std::string> DataFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(DataDirectory())) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.substr(name.size() - 4) == ".DAT") {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir program_;
    TempDir ddf_;
    TempDir data_;
    TempDir state_;
    TempDir profiles_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv wait_env_{"TOLVANE_RECMAN_LOCK_WAIT_MS", "300"};
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", profiles_.file("user/profile.ini")};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine/profile.ini")};
    ScriptedPresenter presenter_;
    std::vector<std::string> viewed_;  // saved logs handed to the viewer
    std::unique_ptr<tvApp> app_;
};

}  // namespace app_testing
