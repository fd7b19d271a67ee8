// The whole program as a server: `tolvane init`, a network and a device on a loopback
// SNPP carrier, a queued page, then `tolvane --headless` until `tolvane list messages`
// shows the page's new status, stopped with SIGTERM like the closing of the Server
// tab: a clean exit and the server lock given back.

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>
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

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing_support::BuiltProgram;
using testing_support::ChildProcess;
using testing_support::ProgramResult;
using testing_support::RunProgram;

class TolvaneServerTest : public ::testing::Test {
  protected:
    ~TolvaneServerTest() override { StorageApp().Reset(); }

    ProgramResult Tolvane(std::vector<std::string> words) {
        std::vector<std::string> arguments = {BuiltProgram("tolvane"), "--data", data_.dir()};
        arguments.insert(arguments.end(), words.begin(), words.end());
        return RunProgram(arguments);
    }
    std::vector<std::string> ServerArguments() {
        return {BuiltProgram("tolvane"), "--data", data_.dir(), "--headless"};
    }

    // A database with one network on the carrier, one device and one queued page. The
    // send cycle runs every second and two-way pages are queried at every cycle, values
    // below what the options sheet allows, so they are written through the record layer.
    void PrepareDatabase(int protocol) {
        ProgramResult result = Tolvane({"init"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"set", "machine", "PORT=0"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "network", "DESCRIPTION=Carrier",
                          "PROTOCOL=" + std::to_string(protocol), "PHONE=127.0.0.1",
                          "PORT=" + std::to_string(carrier_.port())});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "device", "DESCRIPTION=Pager", "NETWORK=Carrier", "PIN=5551234"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"page", "Pager", "Hello", "from", "Tolvane"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        WithFiles([](cvFileMgr& files) {
            cvFile* config = files.OpenTable(kTolvaneTable);
            ASSERT_NE(config, nullptr);
            ASSERT_NE(PutConfigText(*config, "STRKEY", kOptionsKind), 0);
            ASSERT_NE(config->PutInt("NUMKEY", 0), 0);
            ASSERT_EQ(config->GetEqual(0), 0);
            ASSERT_NE(config->PutInt("SENDINTERVAL", 1), 0);
            ASSERT_NE(config->PutInt("STATUSINTERVAL", 0), 0);
            ASSERT_EQ(config->Update(), 0);
        });
    }

    template <typename Work>
    void WithFiles(Work work) {
        tvDataDict dictionary;
        ASSERT_EQ(dictionary.Load(testing_support::BuiltProgram(""), "TV"), 0);
        ASSERT_EQ(dictionary.AddDefinition(TolvaneTableDef()), 0);
        cvFileMgr files(data_.dir(), &dictionary);
        work(files);
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

    int32_t LockHolder() {
        int32_t holder = -1;
        WithFiles([&](cvFileMgr& files) {
            cvFile* config = files.OpenTable(kTolvaneTable);
            ASSERT_NE(config, nullptr);
            ASSERT_NE(PutConfigText(*config, "STRKEY", kServerKind), 0);
            ASSERT_NE(config->PutInt("NUMKEY", 0), 0);
            ASSERT_EQ(config->GetEqual(0), 0);
            holder = config->GetInt("MACHINENBR");
        });
        return holder;
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
    SnppTestServer carrier_;
};

TEST_F(TolvaneServerTest, WithoutAModemPortTheServerAsksToBeConfigured) {
    ASSERT_EQ(Tolvane({"init"}).exit_status, 0);
    const ProgramResult result = RunProgram(ServerArguments());
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("You must configure the server before starting."), std::string::npos)
        << result.err;
}

TEST_F(TolvaneServerTest, ALockHeldByAnotherComputerEndsTheServerWithoutSending) {
    PrepareDatabase(kProtocolSnpp);
    WithFiles([](cvFileMgr& files) {
        cvFile* config = files.OpenTable(kTolvaneTable);
        ASSERT_NE(config, nullptr);
        ASSERT_NE(PutConfigText(*config, "STRKEY", kServerKind), 0);
        ASSERT_NE(config->PutInt("NUMKEY", 0), 0);
        ASSERT_EQ(config->GetEqual(0), 0);
        ASSERT_NE(config->PutInt("MACHINENBR", 12345), 0);
        ASSERT_EQ(config->Update(), 0);
    });
    const ProgramResult result = RunProgram(ServerArguments());
    EXPECT_EQ(result.exit_status, 1);
    const size_t refused =
        result.out.find("Status: Server unable to start.  Already running on different computer!");
    ASSERT_NE(refused, std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Status: Server Stopped", refused), std::string::npos) << result.out;
    EXPECT_EQ(ListedStatus(), "Queued");
    EXPECT_EQ(carrier_.Connections(), 0);
    EXPECT_EQ(LockHolder(), 12345);
}

TEST_F(TolvaneServerTest, AOneWayPageIsSentAndTheServerStopsCleanly) {
    PrepareDatabase(kProtocolSnpp);
    ASSERT_EQ(ListedStatus(), "Queued");
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(server.WaitForOutput("Status: Server Ready", seconds(20))) << server.Errors();
    EXPECT_NE(LockHolder(), 0);

    // A second server for the same user is refused while this one runs.
    const ProgramResult second = RunProgram(ServerArguments());
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;

    EXPECT_TRUE(WaitForListedStatus("Sent")) << server.Output();
    const std::vector<SnppTestServer::Page> pages = carrier_.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pin, "5551234");
    EXPECT_EQ(pages[0].message, "Hello from Tolvane");
    EXPECT_TRUE(server.WaitForOutput("Pager | Carrier | Sent", seconds(10))) << server.Output();
    StopServer(server);
}

TEST_F(TolvaneServerTest, ATwoWayPageIsPendingUntilTheCarrierReportsItDelivered) {
    PrepareDatabase(kProtocolSnppAck);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForListedStatus("Sent/Pending")) << server.Output() << server.Errors();
    carrier_.DeliverAll();
    EXPECT_TRUE(WaitForListedStatus("Delivered")) << server.Output();
    StopServer(server);
}

}  // namespace
