#pragma once
// A database for the model tests: the product dictionary (the dictionary files the
// build writes, loaded into a tvDataDict, plus the built-in TOLVANE definition), an
// empty data directory, a record-manager state directory and two profile files of
// their own (all removed afterwards). Message boxes shown on this thread are recorded
// and answered No, which declines every offer to exit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"
#include "storage/dberror.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace model_testing {

// Where the build puts the program and its dictionary files.
inline std::string ProgramDirectory() {
    const char* binary_dir = std::getenv("TOLVANE_TEST_BINARY_DIR");
    return binary_dir ? std::string(binary_dir) + "/bin/" : std::string();
}

class ModelFixture : public ::testing::Test {
  protected:
    ModelFixture() {
        EventLog().SetUserInterfaceThread(std::this_thread::get_id());
        EventLog().SetPresenter([this](const std::string& text, unsigned, unsigned) {
            boxes_.push_back(text);
            return kIdNo;
        });
    }
    ~ModelFixture() override {
        EventLog().SetPresenter({});
        StorageApp().Reset();
        ResetDbExitRequested();
    }

    void SetUp() override {
        ASSERT_FALSE(ProgramDirectory().empty()) << "TOLVANE_TEST_BINARY_DIR is not set";
        ASSERT_EQ(dict_.Load(ProgramDirectory(), "TV"), 0);
        ASSERT_EQ(dict_.AddDefinition(TolvaneTableDef()), 0);
    }

    std::unique_ptr<cvFileMgr> NewManager() {
        return std::make_unique<cvFileMgr>(data_.dir(), &dict_);
    }

    TempDir data_;
    TempDir state_;
    TempDir profiles_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv wait_env_{"TOLVANE_RECMAN_LOCK_WAIT_MS", "300"};
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", profiles_.file("user/profile.ini")};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine/profile.ini")};
    tvDataDict dict_;
    std::vector<std::string> boxes_;
};

}  // namespace model_testing
