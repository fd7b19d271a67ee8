#pragma once
// A test's own Tolvane installation in the shared test environment
// (tests/support/testenvironment.h): a program directory, a dictionary directory written
// by the dictionary writer (the product's tables, and optionally an older layout in
// "PrevDDF"), a data directory, a record-manager state directory and two profile files,
// all removed afterwards. Message boxes on this thread go to the environment's scripted
// presenter, which records every text and answers by rule: the first rule whose text
// begins the message wins; without one an OK box gets OK and a question its negative
// button.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
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
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"
#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/dictionaryrows.h"
#include "tools/ddfwriter/tolvaneschema.h"

namespace app_testing {

using Box = testing_support::ShownBox;
using testing_support::ScriptedPresenter;

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
        EventLog().SetViewerHook([this](const std::string& path) { viewed_.push_back(path); });
        WriteDictionary(ddf_.dir(), TolvaneSchema());
    }
    ~AppFixture() override {
        app_.reset();
        EventLog().SetViewerHook({});  // `viewed_` goes before the environment
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

    testing_support::TestEnvironment env_;
    TempDir& program_ = env_.Directory("program");
    TempDir& ddf_ = env_.Directory("ddf");
    TempDir& data_ = env_.Directory("data");
    ScriptedPresenter& presenter_ = env_.Presenter();
    std::vector<std::string> viewed_;  // saved logs handed to the viewer
    std::unique_ptr<tvApp> app_;
};

}  // namespace app_testing
