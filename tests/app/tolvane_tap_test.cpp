// The whole program as a modem server: `tolvane init`, a TAP or ETAP network dialled
// through this computer's COM1, which the machine profile maps to a pseudo-terminal
// with a TAP paging terminal behind a Hayes modem on its other end; queued pages;
// then `tolvane --headless` until `tolvane list messages` shows what the carrier
// answered, stopped with SIGTERM.

#include <gtest/gtest.h>

#include "tests/app/serverprogramfixture.h"

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "model/pagingcodes.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "platform/profile/profile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "tests/support/childprocess.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tapterminal.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using Reply = TapTerminal::Reply;
using testing_support::BuiltProgram;
using testing_support::ChildProcess;
using testing_support::ProgramResult;
using testing_support::RunProgram;
using SteadyClock = std::chrono::steady_clock;

// One row of `tolvane list messages`.
struct ListedMessage {
    std::string device;
    std::string status;
    std::string attempts;
    std::string response;
};

class TolvaneTapTest : public app_testing::ServerProgramFixture {
  protected:
    TolvaneTapTest() {
        platform::Profile profile;
        EXPECT_EQ(
            profile.WriteText(platform::ProfileScope::kMachine, "COMM", "COM1", terminal_.device()),
            platform::ProfileResult::kOk);
    }

    void Run(std::vector<std::string> words) {
        const ProgramResult result = Tolvane(words);
        ASSERT_EQ(result.exit_status, 0) << words[0] << " " << words[1] << ": " << result.err;
    }

    // A database with COM1 as this computer's port, one network of `protocol` and one
    // pager on it. The send cycle runs every second and two-way pages are queried at
    // every cycle, values below what the options sheet allows, so they are written
    // through the record layer.
    void PrepareDatabase(int protocol, const std::string& pager_fields = "") {
        Run({"init"});
        Run({"set", "machine", "PORT=COM1", "DIALPREFIX=9,"});
        Run({"add", "network", "DESCRIPTION=Metro", "PROTOCOL=" + std::to_string(protocol),
             "PHONE=5551234", "PASSWORD=secret"});
        std::vector<std::string> device = {"add", "device", "DESCRIPTION=Pager", "NETWORK=Metro",
                                           "PIN=5551234"};
        if (!pager_fields.empty()) {
            device.push_back(pager_fields);
        }
        Run(device);
        WriteOptions({{"SENDINTERVAL", 1}, {"STATUSINTERVAL", 0}});
    }

    // Changes the first message's status and carrier message number, the way the
    // operator's cancel does.
    void SetMessage(int status) {
        WithFiles([status](cvFileMgr& files) {
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(messages, nullptr);
            ASSERT_EQ(messages->GetFirst(0), 0);
            ASSERT_NE(messages->PutInt("STATUS", status), 0);
            ASSERT_EQ(messages->Update(), 0);
        });
    }
    int32_t CarrierMessageNumber() {
        int32_t number = -1;
        WithFiles([&number](cvFileMgr& files) {
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(messages, nullptr);
            ASSERT_EQ(messages->GetFirst(0), 0);
            number = messages->GetInt("NETMSGNBR");
        });
        return number;
    }

    std::vector<ListedMessage> Listed() {
        const ProgramResult listed = Tolvane({"list", "messages"});
        EXPECT_EQ(listed.exit_status, 0) << listed.err;
        std::vector<ListedMessage> rows;
        size_t start = listed.out.find('\n');  // after the heading
        while (start != std::string::npos && start + 1 < listed.out.size()) {
            const size_t end = listed.out.find('\n', start + 1);
            const std::string line = listed.out.substr(start + 1, end - start - 1);
            std::vector<std::string> cells;
            size_t cell = 0;
            for (;;) {
                const size_t tab = line.find('\t', cell);
                cells.push_back(line.substr(cell, tab - cell));
                if (tab == std::string::npos) {
                    break;
                }
                cell = tab + 1;
            }
            cells.resize(6);
            rows.push_back({cells[1], cells[2], cells[3], cells[5]});
            start = end;
        }
        return rows;
    }
    bool WaitForStatus(const std::string& status, size_t count = 1) {
        const auto give_up = SteadyClock::now() + 30s;
        while (SteadyClock::now() < give_up) {
            size_t found = 0;
            for (const ListedMessage& message : Listed()) {
                found += message.status == status ? 1 : 0;
            }
            if (found >= count) {
                return true;
            }
            std::this_thread::sleep_for(200ms);
        }
        return false;
    }

    void StopServer(ChildProcess& server) {
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(20s), 0) << server.Errors();
        EXPECT_NE(server.Output().find("Status: Server Stopped"), std::string::npos)
            << server.Output();
    }

    TapTerminal terminal_;
};

TEST_F(TolvaneTapTest, AShortPageGoesOutOnATapNetwork) {
    PrepareDatabase(kProtocolTap);
    Run({"page", "Pager", "Hello", "from", "Tolvane"});
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForStatus("Sent")) << server.Output() << server.Errors();
    EXPECT_TRUE(terminal_.WaitUntil([this] { return !terminal_.OnCall(); }, 10s));

    const std::vector<TapTerminal::Page> pages = terminal_.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pin, "5551234");
    EXPECT_EQ(pages[0].text, "Hello from Tolvane");
    EXPECT_EQ(terminal_.Dialled(), std::vector<std::string>{"9,5551234"});
    EXPECT_EQ(terminal_.Logons(), std::vector<std::string>{"\x1bPG1secret"});
    EXPECT_TRUE(server.WaitForOutput("Pager | Metro | Sent", 10s)) << server.Output();
    EXPECT_TRUE(server.WaitForOutput("ATDT9,5551234 - 7E1", 1s)) << server.Output();
    EXPECT_TRUE(server.WaitForOutput("[EOT][CR]", 10s)) << server.Output();
    StopServer(server);
}

TEST_F(TolvaneTapTest, ALongPageGoesInNumberedPiecesOnOneCall) {
    PrepareDatabase(kProtocolTap, "MAXMSGLEN=100");
    std::vector<std::string> page = {"page", "Pager"};
    for (int word = 0; word < 40; ++word) {
        page.push_back("word" + std::to_string(word));
    }
    Run(page);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForStatus("Sent")) << server.Output() << server.Errors();

    const std::vector<TapTerminal::Page> pages = terminal_.Pages();
    ASSERT_EQ(pages.size(), 3u);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].text.rfind(std::to_string(i + 1) + "of3: ", 0), 0u) << pages[i].text;
        EXPECT_LE(pages[i].text.size(), 100u);
    }
    EXPECT_EQ(terminal_.Calls(), 1);
    StopServer(server);
}

TEST_F(TolvaneTapTest, EtapReportsMakePagesDeliveredOrPendingUntilAQuery) {
    PrepareDatabase(kProtocolEtap);
    terminal_.SetNextNumber(4711);
    terminal_.SetAutoDeliver(true);
    Run({"page", "Pager", "Delivered", "at", "once"});
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForStatus("Delivered")) << server.Output() << server.Errors();
    EXPECT_EQ(Listed()[0].response, "Message 4711 successful");
    EXPECT_EQ(CarrierMessageNumber(), 4711);

    // The next page is only accepted: it stays pending, queried on every visit, until
    // the carrier reports it delivered.
    terminal_.SetAutoDeliver(false);
    Run({"page", "Pager", "Delivered", "later"});
    EXPECT_TRUE(WaitForStatus("Sent/Pending")) << server.Output();
    EXPECT_TRUE(terminal_.WaitUntil(
        [this] {
            for (const TapParsedBlock& block : terminal_.Blocks()) {
                if (block.kind == TapParsedBlock::Kind::kQuery && block.number == 4712) {
                    return true;
                }
            }
            return false;
        },
        20s));
    terminal_.DeliverAll();
    EXPECT_TRUE(WaitForStatus("Delivered", 2)) << server.Output();
    StopServer(server);
}

TEST_F(TolvaneTapTest, ACancelledPageIsCancelledByTheCarrier) {
    PrepareDatabase(kProtocolEtap);
    terminal_.SetNextNumber(501);
    Run({"page", "Pager", "Meeting", "moved"});
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForStatus("Sent/Pending")) << server.Output() << server.Errors();
    StopServer(server);
    ASSERT_EQ(CarrierMessageNumber(), 501);

    SetMessage(kStatusCancelling);
    ChildProcess again;
    ASSERT_TRUE(again.Start(ServerArguments()));
    EXPECT_TRUE(WaitForStatus("Cancelled")) << again.Output() << again.Errors();
    const TapParsedBlock last = terminal_.Blocks().back();
    EXPECT_EQ(last.kind, TapParsedBlock::Kind::kCancel);
    EXPECT_EQ(last.number, 501);
    EXPECT_TRUE(terminal_.Pages()[0].cancelled);
    StopServer(again);
}

TEST_F(TolvaneTapTest, ABusyNumberBacksTheNetworkOff) {
    PrepareDatabase(kProtocolTap);
    terminal_.SetDialResult(TapTerminal::DialResult::kBusy);
    Run({"page", "Pager", "Anyone", "there?"});
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(server.WaitForOutput("Status: Unable to Connect to Metro", 20s))
        << server.Output() << server.Errors();
    ASSERT_TRUE(terminal_.WaitUntil([this] { return !terminal_.Dialled().empty(); }, 1s));
    // Backed off: the next dial waits ten seconds, whatever the send interval.
    std::this_thread::sleep_for(4s);
    EXPECT_EQ(terminal_.Dialled().size(), 1u);
    const std::vector<ListedMessage> listed = Listed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].status, "Queued");
    EXPECT_EQ(listed[0].attempts, "1");
    EXPECT_EQ(listed[0].response, "Unable to Connect to Service");
    EXPECT_NE(server.Output().find("BUSY"), std::string::npos) << server.Output();
    StopServer(server);
}

TEST_F(TolvaneTapTest, SigtermDuringACallHangsUpAndStopsWithinSeconds) {
    PrepareDatabase(kProtocolTap);
    terminal_.SetBlockReplies({Reply::Silence()});  // the answer would take 15 s
    Run({"page", "Pager", "Never", "answered"});
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(terminal_.WaitUntil([this] { return !terminal_.Blocks().empty(); }, 30s))
        << server.Output() << server.Errors();
    std::this_thread::sleep_for(300ms);

    const auto start = SteadyClock::now();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(10s), 0) << server.Errors();
    EXPECT_LT(SteadyClock::now() - start, 3s);
    EXPECT_NE(server.Output().find("Status: Server Stopped"), std::string::npos) << server.Output();
    // The call was ended: logged off and hung up, and the port let go.
    EXPECT_FALSE(terminal_.OnCall());
    const std::string received = terminal_.Received();
    EXPECT_NE(received.find("\x04\r"), std::string::npos);
    EXPECT_NE(received.find("+++"), std::string::npos);
    EXPECT_EQ(terminal_.Pages().size(), 0u);
    EXPECT_EQ(Listed()[0].status, "Queued");
}

}  // namespace
