#pragma once
// A paging database and a running engine for the engine tests: the product
// dictionary, a data directory with the paging tables, profile files and a
// record-manager state directory of the test's own, the application's settings for
// one computer, a manual clock, and an engine (tvServer) on its own thread whose
// status line and logs are recorded. The test seeds networks, devices and messages
// through a file manager of its own, the way the user interface would, and drives
// the engine one timer firing at a time by moving the clock.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/cvlogbox.h"
#include "engine/cvstatusstatic.h"
#include "engine/tvserver.h"
#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "model/tvsettings.h"
#include "platform/profile/profile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/dberror.h"
#include "storage/packeddatetime.h"
#include "tests/engine/enginetestwork.h"
#include "tests/engine/testcarriers.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace engine_testing {

inline std::string ProgramDirectory() {
    const char* binary_dir = std::getenv("TOLVANE_TEST_BINARY_DIR");
    return binary_dir ? std::string(binary_dir) + "/bin/" : std::string();
}

// A stored page message as the test reads it back.
struct StoredMessage {
    int status = -1;
    int attempts = 0;
    std::string response;
    int32_t carrier_number = 0;
    uint32_t date = 0;
    uint32_t time = 0;
};

// What a seeded message starts as.
struct MessageSeed {
    int status = 0;
    uint32_t date = 0;  // 0: as soon as possible
    uint32_t time = 0;
    int attempts = 0;
    int32_t carrier_number = 0;
};

// One computer of the database: its settings (with the computer's name), the file
// manager they read through, and the engine when started.
struct Computer {
    Computer(const std::string& name, const std::string& data_directory, cvDataDict& dictionary,
             const std::string& program_directory)
        : settings(profile, program_directory), files(data_directory, &dictionary) {
        settings.SetComputerName(name);
        settings.LoadStartupSettings();
        settings.SetDataDirectory(data_directory);
        settings.SetFileManager(&files);
    }
    ~Computer() {
        engine.reset();
        settings.SetFileManager(nullptr);
    }

    platform::Profile profile;
    tvSettings settings;
    cvFileMgr files;
    std::unique_ptr<tvServer> engine;
};

class ServerFixture : public ::testing::Test {
  protected:
    static constexpr std::chrono::milliseconds kPatience{10000};

    ServerFixture() {
        EventLog().SetUserInterfaceThread(std::this_thread::get_id());
        EventLog().SetPresenter([this](const std::string& text, unsigned, unsigned) {
            std::lock_guard lock(mutex_);
            boxes_.push_back(text);
            return kIdNo;
        });
        status_line_.SetListener([this](const std::string& text) {
            std::lock_guard lock(mutex_);
            status_texts_.push_back(text);
            if (on_status_) {
                on_status_(text);
            }
        });
    }
    ~ServerFixture() override {
        computers_.clear();
        EventLog().SetPresenter({});
        StorageApp().Reset();
        ResetDbExitRequested();
    }

    void SetUp() override {
        ASSERT_FALSE(ProgramDirectory().empty()) << "TOLVANE_TEST_BINARY_DIR is not set";
        ASSERT_EQ(dict_.Load(ProgramDirectory(), "TV"), 0);
        ASSERT_EQ(dict_.AddDefinition(TolvaneTableDef()), 0);
        main_ = AddComputer("alpha");
        for (std::string_view table : {kPageMsgTable, kPageDevTable, kPageNetTable}) {
            ASSERT_NE(main_->files.OpenTable(table), nullptr) << table;
        }
        ASSERT_NE(main_->settings.ServerRecord(), nullptr);
        ASSERT_NE(main_->settings.MachineRecord(), nullptr);
        // The send side at every firing, the receive side likewise.
        SetOptions({{"SENDINTERVAL", 0}, {"RECVINTERVAL", 0}, {"STATUSINTERVAL", 60}});
    }

    Computer* AddComputer(const std::string& name,
                          const std::string& program_directory = "/nonexistent/") {
        computers_.push_back(
            std::make_unique<Computer>(name, data_.dir(), dict_, program_directory));
        return computers_.back().get();
    }

    // Integer fields of the "OPTIONS" record.
    void SetOptions(const std::vector<std::pair<std::string, int32_t>>& values) {
        cvRec* options = main_->settings.OptionsRecord();
        ASSERT_NE(options, nullptr);
        for (const auto& [name, value] : values) {
            ASSERT_NE(options->PutInt(name, value), 0) << name;
        }
        ASSERT_EQ(options->Save(), 0);
    }
    void SetOptionText(const std::string& name, const std::string& text) {
        cvRec* options = main_->settings.OptionsRecord();
        ASSERT_NE(options, nullptr);
        ASSERT_NE(PutConfigText(*options, name, text), 0) << name;
        ASSERT_EQ(options->Save(), 0);
    }

    tvServerConfig ConfigFor(Computer& computer) {
        tvServerConfig config;
        config.settings = &computer.settings;
        config.dictionary = &dict_;
        config.data_directory = data_.dir();
        config.carriers = &carriers_;
        return config;
    }

    // Creates and starts the engine of a computer (the main one by default), with the
    // fixture's status line and logs attached.
    tvServer& StartEngine(Computer* computer = nullptr) {
        Computer& target = computer ? *computer : *main_;
        target.engine = std::make_unique<tvServer>(ConfigFor(target));
        EXPECT_TRUE(target.engine->Start(&status_line_, &message_log_, &comm_log_));
        return *target.engine;
    }
    tvServer& Engine() { return *main_->engine; }

    // One firing of the engine's timer, the clock moved by `step` first; returns when
    // the firing (and the work it ran) is over.
    void Fire(std::chrono::seconds step = std::chrono::seconds(1), tvServer* engine = nullptr) {
        tvServer& target = engine ? *engine : Engine();
        const uint64_t before = target.Firings();
        time_.clock.Advance(step);
        target.Kick();
        ASSERT_TRUE(target.WaitForFirings(before + 1, kPatience));
    }
    // Fires until the clock reaches `when` (at least one firing), the last one exactly there.
    void FireAt(std::chrono::system_clock::time_point when) {
        const auto step = std::chrono::duration_cast<std::chrono::seconds>(when - Now());
        ASSERT_GT(step.count(), 0);
        Fire(step);
    }
    std::chrono::system_clock::time_point Now() const { return platform::CurrentClock().Now(); }

    // Rows seeded the way the user interface stores them. Numbers are assigned by the
    // record manager.
    int32_t AddNetwork(const std::string& description, int protocol, int port = 0,
                       int max_length = 0) {
        cvRec network(*Table(kPageNetTable));
        EXPECT_NE(network.PutInt("PAGENETNBR", 0), 0);
        EXPECT_NE(network.PutString("DESCRIPTION", description), 0);
        EXPECT_NE(network.PutInt("PROTOCOL", protocol), 0);
        EXPECT_NE(network.PutString("PHONE", "127.0.0.1"), 0);
        EXPECT_NE(network.PutInt("PORT", port), 0);
        EXPECT_NE(network.PutInt("MAXMSGLEN", max_length), 0);
        EXPECT_EQ(network.Save(), 0);
        return network.GetInt("PAGENETNBR");
    }
    int32_t AddDevice(const std::string& description, int32_t network, const std::string& pin,
                      int max_length = 0) {
        cvRec device(*Table(kPageDevTable));
        EXPECT_NE(device.PutInt("PAGEDEVNBR", 0), 0);
        EXPECT_NE(device.PutString("DESCRIPTION", description), 0);
        EXPECT_NE(device.PutInt("PAGENETNBR", network), 0);
        EXPECT_NE(device.PutString("PIN", pin), 0);
        EXPECT_NE(device.PutInt("MAXMSGLEN", max_length), 0);
        EXPECT_EQ(device.Save(), 0);
        return device.GetInt("PAGEDEVNBR");
    }
    int32_t AddMessage(int32_t device, const std::string& text) {
        return AddMessage(device, text, MessageSeed{});
    }
    int32_t AddMessage(int32_t device, const std::string& text, const MessageSeed& seed) {
        cvRec message(*Table(kPageMsgTable));
        EXPECT_NE(message.PutInt("PAGEMSGNBR", 0), 0);
        EXPECT_NE(message.PutInt("PAGEDEVNBR", device), 0);
        EXPECT_NE(message.PutString("TEXT", text), 0);
        EXPECT_NE(message.PutInt("STATUS", seed.status), 0);
        EXPECT_NE(message.PutDate("SCHEDDATE", seed.date), 0);
        EXPECT_NE(message.PutTime("SCHEDTIME", seed.time), 0);
        EXPECT_NE(message.PutInt("ATTEMPTS", seed.attempts), 0);
        EXPECT_NE(message.PutInt("NETMSGNBR", seed.carrier_number), 0);
        EXPECT_EQ(message.Save(), 0);
        return message.GetInt("PAGEMSGNBR");
    }
    std::optional<StoredMessage> ReadMessage(int32_t number) {
        cvFile& messages = *Table(kPageMsgTable);
        EXPECT_NE(messages.PutInt("PAGEMSGNBR", number), 0);
        if (messages.GetEqual(0) != 0) {
            return std::nullopt;
        }
        StoredMessage stored;
        stored.status = messages.GetInt("STATUS");
        stored.attempts = messages.GetInt("ATTEMPTS");
        stored.response = messages.GetText("RESPONSE");
        stored.carrier_number = messages.GetInt("NETMSGNBR");
        stored.date = messages.GetDate("SCHEDDATE");
        stored.time = messages.GetTime("SCHEDTIME");
        return stored;
    }
    int StatusOf(int32_t number) {
        const std::optional<StoredMessage> stored = ReadMessage(number);
        return stored ? stored->status : -1;
    }
    cvFile* Table(std::string_view name) { return main_->files.OpenTable(name); }

    std::vector<std::string> StatusTexts() {
        std::lock_guard lock(mutex_);
        return status_texts_;
    }
    size_t CountStatus(const std::string& text) {
        size_t count = 0;
        for (const std::string& seen : StatusTexts()) {
            count += seen == text ? 1 : 0;
        }
        return count;
    }
    // The "Info" cells of the message log, oldest first.
    std::vector<std::string> InfoTexts() const {
        std::vector<std::string> infos;
        const auto rows = message_log_.Rows();
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            infos.push_back(row->back());
        }
        return infos;
    }

    ManualClockScope time_{2024, 5, 1, 10, 0, 0};
    TempDir data_;
    TempDir state_;
    TempDir profiles_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv wait_env_{"TOLVANE_RECMAN_LOCK_WAIT_MS", "300"};
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", profiles_.file("user/profile.ini")};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine/profile.ini")};
    tvDataDict dict_;
    // The engine's carriers: SNPP on loopback, the others unreachable; tests may add
    // their own before starting the engine.
    tvCarrierRegistry carriers_ = TestCarriers();

    std::mutex mutex_;
    std::vector<std::string> boxes_;         // guarded by mutex_
    std::vector<std::string> status_texts_;  // guarded by mutex_
    // Runs on the thread that sets the status line, for every text; set before Start.
    std::function<void(const std::string&)> on_status_;

    cvStatusStatic status_line_;
    cvLogBox message_log_;
    cvLogBox comm_log_;
    std::vector<std::unique_ptr<Computer>> computers_;
    Computer* main_ = nullptr;
};

}  // namespace engine_testing
