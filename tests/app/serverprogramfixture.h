#pragma once
// The whole program as a server against a loopback SNPP carrier: a test's own database
// made through the command line, `tolvane --headless` as a child process, and the
// messages read back through the record layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/pagingcodes.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "tests/support/childprocess.h"
#include "tests/support/scopedenv.h"
#include "tests/support/snpptestserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace app_testing {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing_support::BuiltProgram;
using testing_support::ChildProcess;
using testing_support::ProgramResult;
using testing_support::RunProgram;

// What the messages table says of one message.
struct MessageState {
    int32_t number = 0;
    int status = 0;
    int attempts = 0;
    std::string text;
    std::string response;
};

class ServerProgramFixture : public ::testing::Test {
  protected:
    ~ServerProgramFixture() override { StorageApp().Reset(); }

    // The data directory the programs use (may be moved by a test before its first use).
    virtual std::string DataDirectory() const { return data_.dir(); }

    ProgramResult Tolvane(std::vector<std::string> words) {
        std::vector<std::string> arguments = {BuiltProgram("tolvane"), "--data", DataDirectory()};
        arguments.insert(arguments.end(), words.begin(), words.end());
        return RunProgram(arguments);
    }
    std::vector<std::string> ServerArguments() {
        return {BuiltProgram("tolvane"), "--data", DataDirectory(), "--headless"};
    }

    // A database with one network on `port`, one device "Pager" and, unless `page` is
    // false, one queued page. The send cycle runs every second and two-way pages are
    // queried at every cycle, values below what the options sheet allows, so they are
    // written through the record layer.
    void PrepareDatabase(int protocol, int port, bool page = true) {
        ProgramResult result = Tolvane({"init"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"set", "machine", "PORT=0"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "network", "DESCRIPTION=Carrier",
                          "PROTOCOL=" + std::to_string(protocol), "PHONE=127.0.0.1",
                          "PORT=" + std::to_string(port)});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "device", "DESCRIPTION=Pager", "NETWORK=Carrier", "PIN=5551234"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        if (page) {
            result = Tolvane({"page", "Pager", "Hello", "from", "Tolvane"});
            ASSERT_EQ(result.exit_status, 0) << result.err;
        }
        WriteOptions({{"SENDINTERVAL", 1}, {"STATUSINTERVAL", 0}});
    }

    // Integer fields of the "OPTIONS" record, written through the record layer (for
    // values below what the options sheet allows).
    void WriteOptions(const std::vector<std::pair<std::string, int32_t>>& values) {
        WithFiles([&](cvFileMgr& files) {
            cvFile* config = files.OpenTable(kTolvaneTable);
            ASSERT_NE(config, nullptr);
            ASSERT_NE(PutConfigText(*config, "STRKEY", kOptionsKind), 0);
            ASSERT_NE(config->PutInt("NUMKEY", 0), 0);
            ASSERT_EQ(config->GetEqual(0), 0);
            for (const auto& [name, value] : values) {
                ASSERT_NE(config->PutInt(name, value), 0) << name;
            }
            ASSERT_EQ(config->Update(), 0);
        });
    }

    template <typename Work>
    void WithFiles(Work work) {
        tvDataDict dictionary;
        ASSERT_EQ(dictionary.Load(testing_support::BuiltProgram(""), "TV"), 0);
        ASSERT_EQ(dictionary.AddDefinition(TolvaneTableDef()), 0);
        cvFileMgr files(DataDirectory(), &dictionary);
        work(files);
    }

    // Queues `texts` for the device "Pager" in one transaction, as fast as a script
    // could not: for tests that need hundreds of pages.
    void QueuePages(const std::vector<std::string>& texts) {
        WithFiles([&](cvFileMgr& files) {
            cvFile* devices = files.OpenTable(kPageDevTable);
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(devices, nullptr);
            ASSERT_NE(messages, nullptr);
            ASSERT_EQ(devices->GetFirst(0), 0);
            const int32_t device = devices->GetInt("PAGEDEVNBR");
            ASSERT_EQ(messages->BeginTransaction(), 0);
            for (const std::string& text : texts) {
                cvRec message(*messages);
                ASSERT_NE(message.PutInt("PAGEMSGNBR", 0), 0);
                ASSERT_NE(message.PutInt("PAGEDEVNBR", device), 0);
                ASSERT_NE(message.PutString("TEXT", text), 0);
                ASSERT_NE(message.PutInt("STATUS", kStatusQueued), 0);
                ASSERT_EQ(message.Save(), 0);
            }
            ASSERT_EQ(messages->EndTransaction(), 0);
        });
    }

    std::vector<MessageState> Messages() {
        std::vector<MessageState> states;
        WithFiles([&](cvFileMgr& files) {
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(messages, nullptr);
            for (int read = messages->GetFirst(0); read == 0; read = messages->GetNext()) {
                states.push_back({messages->GetInt("PAGEMSGNBR"), messages->GetInt("STATUS"),
                                  messages->GetInt("ATTEMPTS"), messages->GetText("TEXT"),
                                  messages->GetText("RESPONSE")});
            }
        });
        return states;
    }
    // Waits until `condition` holds; false when time ran out. The server's output is
    // read meanwhile, so that a chatty server never blocks on a full pipe.
    static bool WaitWhileServing(ChildProcess& server, const std::function<bool()>& condition,
                                 std::chrono::milliseconds patience) {
        const auto give_up = std::chrono::steady_clock::now() + patience;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= give_up) {
                return false;
            }
            static_cast<void>(server.WaitForOutput("\x01", milliseconds(100)));
        }
        return true;
    }
    // Waits until every message has left the queue; false when time ran out.
    bool WaitUntilNoneQueued(ChildProcess& server, std::chrono::seconds patience) {
        return WaitWhileServing(
            server,
            [this] {
                const std::vector<MessageState> messages = Messages();
                return std::none_of(messages.begin(), messages.end(), [](const MessageState& m) {
                    return m.status == kStatusQueued;
                });
            },
            patience);
    }

    // The STATUS column of the only message in `tolvane list messages`.
    std::string ListedStatus() {
        const ProgramResult listed = Tolvane({"list", "messages"});
        EXPECT_EQ(listed.exit_status, 0) << listed.err;
        const size_t row = listed.out.find('\n');
        if (row == std::string::npos || row + 1 >= listed.out.size()) {
            return {};
        }
        std::vector<std::string> cells;
        size_t start = row + 1;
        for (;;) {
            const size_t tab = listed.out.find_first_of("\t\n", start);
            cells.push_back(listed.out.substr(start, tab - start));
            if (tab == std::string::npos || listed.out[tab] == '\n') {
                break;
            }
            start = tab + 1;
        }
        return cells.size() > 2 ? cells[2] : std::string();
    }
    bool WaitForListedStatus(const std::string& status) {
        const auto give_up = std::chrono::steady_clock::now() + seconds(20);
        while (std::chrono::steady_clock::now() < give_up) {
            if (ListedStatus() == status) {
                return true;
            }
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }

    // MACHINENBR of the "SERVER" record: the computer holding the server lock, 0 for none.
    int32_t LockHolder() {
        int32_t holder = -1;
        WithServerRecord([&](cvFile& server) { holder = server.GetInt("MACHINENBR"); });
        return holder;
    }
    // Writes the lock as a server of computer `machine` leaves it when it dies.
    void SetLockHolder(int32_t machine) {
        WithServerRecord([&](cvFile& server) {
            ASSERT_NE(server.PutInt("MACHINENBR", machine), 0);
            ASSERT_EQ(server.Update(), 0);
        });
    }
    template <typename Work>
    void WithServerRecord(Work work) {
        WithFiles([&](cvFileMgr& files) {
            cvFile* config = files.OpenTable(kTolvaneTable);
            ASSERT_NE(config, nullptr);
            ASSERT_NE(PutConfigText(*config, "STRKEY", kServerKind), 0);
            ASSERT_NE(config->PutInt("NUMKEY", 0), 0);
            ASSERT_EQ(config->GetEqual(0), 0);
            work(*config);
        });
    }

    // Stops the server as a service manager would and expects a clean end.
    void StopServer(ChildProcess& server) {
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(seconds(20)), 0) << server.Errors();
        EXPECT_NE(server.Output().find("Status: Server Stopped"), std::string::npos)
            << server.Output();
        EXPECT_EQ(LockHolder(), 0);
    }

    // The programs wait for locks as they would in use: they share the database.
    testing_support::TestEnvironment env_{{.lock_wait_ms = std::nullopt}};
    TempDir& data_ = env_.Directory("data");
    TempDir& runtime_ = env_.Directory("runtime");
    ScopedEnv runtime_env_{"XDG_RUNTIME_DIR", runtime_.path().string()};
};

}  // namespace app_testing
