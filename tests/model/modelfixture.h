#pragma once
// A database for the model tests: the product dictionary (the dictionary files the
// build writes, loaded into a tvDataDict, plus the built-in TOLVANE definition) and an
// empty data directory, in the shared test environment (tests/support/testenvironment.h:
// record-manager state, lock wait, profile files). Message boxes shown on this thread
// are recorded and answered No, which declines every offer to exit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"
#include "storage/dberror.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace model_testing {

// Where the build puts the program and its dictionary files.
inline std::string ProgramDirectory() {
    const char* binary_dir = std::getenv("TOLVANE_TEST_BINARY_DIR");
    return binary_dir ? std::string(binary_dir) + "/bin/" : std::string();
}

class ModelFixture : public ::testing::Test {
  protected:
    ModelFixture() {
        env_.Presenter().AnswerAllWith(kIdNo);
        env_.Presenter().OnShown(
            [this](const std::string& text, unsigned) { boxes_.push_back(text); });
    }
    ~ModelFixture() override {
        env_.Presenter().OnShown({});
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

    testing_support::TestEnvironment env_;
    TempDir& data_ = env_.Directory("data");
    tvDataDict dict_;
    std::vector<std::string> boxes_;
};

}  // namespace model_testing
