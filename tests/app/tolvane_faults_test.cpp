// The real program under faults and hostile carriers: a second server on the same
// computer, a full disk, a stop while the carrier is silent or slow, a carrier that
// answers nonsense, a damaged data file, input the database cannot hold, and a server
// killed in the middle of a batch. What reached the carrier is counted there.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/app/serverprogramfixture.h"

namespace {

using namespace app_testing;
using Action = SnppTestServer::Action;

constexpr const char* kLockRefused =
    "Status: Server unable to start.  Already running on different computer!";

// How often each text reached the carrier.
std::map<std::string, int> Deliveries(const SnppTestServer& carrier) {
    std::map<std::string, int> counts;
    for (const SnppTestServer::Page& page : carrier.Pages()) {
        ++counts[page.message];
    }
    return counts;
}

std::vector<std::string> NumberedTexts(int count) {
    std::vector<std::string> texts;
    for (int n = 1; n <= count; ++n) {
        texts.push_back("page " + std::to_string(n));
    }
    return texts;
}

class TolvaneFaultsTest : public ServerProgramFixture {
  protected:
    // Starts the server on the prepared database, waits until it is held up by the
    // carrier, stops it, and expects it gone within two seconds with the page queued.
    void ExpectPromptStop(const std::function<bool()>& held_up) {
        ChildProcess server;
        ASSERT_TRUE(server.Start(ServerArguments()));
        ASSERT_TRUE(WaitWhileServing(server, held_up, seconds(20)))
            << server.Output() << server.Errors();
        std::this_thread::sleep_for(milliseconds(500));  // well inside the wait
        const auto stopped = std::chrono::steady_clock::now();
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(seconds(10)), 0) << server.Errors();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, seconds(2));
        const std::string& output = server.Output();
        EXPECT_NE(output.find("Status: Server Stopped"), std::string::npos) << output;
        EXPECT_EQ(ListedStatus(), "Queued");
        EXPECT_EQ(LockHolder(), 0);
    }

    // A carrier that answers every command with `reply`: its visit fails like a lost
    // connection, one attempt, and the network waits before the next.
    void ExpectOneAttemptAgainst(const std::string& reply) {
        SnppTestServer carrier;
        for (const char* verb : {"PAGE", "MESS", "SEND", "RESE", "QUIT", "LOGI"}) {
            carrier.OnCommand(verb, Action::Reply(reply));
        }
        PrepareDatabase(kProtocolSnpp, carrier.port());
        ChildProcess server;
        ASSERT_TRUE(server.Start(ServerArguments()));
        ASSERT_TRUE(WaitWhileServing(
            server, [&] { return carrier.Connections() > 0; }, seconds(20)));
        std::this_thread::sleep_for(seconds(5));
        StopServer(server);
        // The network waits ten seconds after a failed visit: one visit in five seconds.
        EXPECT_EQ(carrier.Connections(), 1);
        const std::vector<MessageState> messages = Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].status, kStatusQueued);
        EXPECT_EQ(messages[0].attempts, 1);
    }
};

TEST_F(TolvaneFaultsTest, ASecondServerOfThisComputerIsRefusedWhateverItsEnvironment) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    QueuePages(NumberedTexts(40));
    ChildProcess first;
    ASSERT_TRUE(first.Start(ServerArguments()));
    ASSERT_TRUE(first.WaitForOutput("Status: Server Ready", seconds(20))) << first.Errors();

    // Another runtime directory: the per-user claim does not see the first server.
    TempDir other_runtime;
    ChildProcess second;
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", other_runtime.path().string());
        ASSERT_TRUE(second.Start(ServerArguments()));
    }
    EXPECT_EQ(second.Wait(seconds(10)), 1) << second.Output();
    EXPECT_NE(second.Output().find(kLockRefused), std::string::npos) << second.Output();

    EXPECT_TRUE(WaitUntilNoneQueued(first, seconds(60)));
    StopServer(first);
    const std::map<std::string, int> deliveries = Deliveries(carrier);
    EXPECT_EQ(deliveries.size(), 40u);
    for (const auto& [text, count] : deliveries) {
        EXPECT_EQ(count, 1) << text;
    }
}

// A small file system of its own that the test can fill; root only.
class TmpfsMount {
  public:
    explicit TmpfsMount(const std::string& where) : where_(where) {
        mounted_ =
            geteuid() == 0 && mount("tmpfs", where.c_str(), "tmpfs", 0, "size=16m,mode=0755") == 0;
    }
    ~TmpfsMount() {
        if (mounted_) {
            umount2(where_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }

  private:
    std::string where_;
    bool mounted_ = false;
};

class TolvaneFullDiskTest : public TolvaneFaultsTest {
  protected:
    std::string DataDirectory() const override { return disk_.dir() + "data/"; }

    // Fills the file system to the last byte.
    void FillDisk() {
        std::FILE* filler = std::fopen(Filler().c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
        const std::string byte = "x";
        for (filler = std::fopen(Filler().c_str(), "ab");
             filler != nullptr && std::fwrite(byte.data(), 1, 1, filler) == 1 &&
             std::fflush(filler) == 0;) {
        }
        if (filler != nullptr) {
            std::fclose(filler);
        }
    }
    std::string Filler() const { return disk_.dir() + "filler"; }

    TempDir disk_;
    TmpfsMount mount_{disk_.path().string()};
};

TEST_F(TolvaneFullDiskTest, NoPageGoesTwiceWhileTheDiskIsFullAndSendingResumesWithSpace) {
    if (!mount_.mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    std::filesystem::create_directories(DataDirectory());
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    QueuePages(NumberedTexts(30));
    FillDisk();

    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(
        server.WaitForOutput("Sending paused: updated messages cannot be saved", seconds(20)))
        << server.Output() << server.Errors();
    // Several cycles with the disk still full: the page the carrier took is not sent
    // again, and nothing else goes.
    std::this_thread::sleep_for(seconds(4));
    EXPECT_EQ(carrier.Pages().size(), 1u);

    std::filesystem::remove(Filler());
    EXPECT_TRUE(WaitUntilNoneQueued(server, seconds(60))) << server.Output();
    EXPECT_TRUE(server.WaitForOutput("Updated messages saved; sending resumed", seconds(5)));
    StopServer(server);
    const std::map<std::string, int> deliveries = Deliveries(carrier);
    EXPECT_EQ(deliveries.size(), 30u);
    for (const auto& [text, count] : deliveries) {
        EXPECT_EQ(count, 1) << text;
    }
    for (const MessageState& message : Messages()) {
        EXPECT_EQ(message.status, kStatusSent) << message.text;
    }
}

TEST_F(TolvaneFaultsTest, AStopEndsTheServerWithinTwoSecondsWhenTheCarrierSaysNothing) {
    SnppTestServer carrier;
    carrier.SetGreeting(Action::NoReply());
    PrepareDatabase(kProtocolSnpp, carrier.port());
    ExpectPromptStop([&] { return carrier.Connections() > 0; });
}

TEST_F(TolvaneFaultsTest, AStopEndsTheServerWithinTwoSecondsWhenTheCarrierFallsSilent) {
    SnppTestServer carrier;
    carrier.OnCommand("PAGE", Action::NoReply());
    PrepareDatabase(kProtocolSnpp, carrier.port());
    ExpectPromptStop([&] { return carrier.Received().find("PAGE") != std::string::npos; });
    EXPECT_EQ(carrier.Received().find("MESS"), std::string::npos) << "nothing sent after";
}

TEST_F(TolvaneFaultsTest, AStopEndsTheServerWithinTwoSecondsWhenTheCarrierTricklesItsReplies) {
    SnppTestServer carrier;
    carrier.SplitReplies(1, seconds(1));
    PrepareDatabase(kProtocolSnpp, carrier.port());
    ExpectPromptStop([&] { return carrier.Connections() > 0; });
}

TEST_F(TolvaneFaultsTest, ACarrierAnsweringWordsCostsOneAttemptAVisitAndIsBackedOff) {
    ExpectOneAttemptAgainst("hello there");
}

TEST_F(TolvaneFaultsTest, ACarrierAnsweringLinesOverAKilobyteCostsOneAttemptAVisit) {
    ExpectOneAttemptAgainst(std::string(1500, 'x'));
}

// Where a page of a data file begins, by the name of the index it roots.
int64_t IndexPageOffset(const std::string& path, const std::string& index) {
    sqlite3* db = nullptr;
    int64_t offset = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        const std::string sql =
            "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master "
            "WHERE name = '" +
            index + "'";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr) == SQLITE_OK &&
            sqlite3_step(query) == SQLITE_ROW) {
            offset = (sqlite3_column_int64(query, 0) - 1) * sqlite3_column_int64(query, 1);
        }
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    return offset;
}

TEST_F(TolvaneFaultsTest, ADamagedIndexIsFoundByCheckAndMendedByRepairWithEveryRowKept) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    QueuePages(NumberedTexts(60));
    const std::string file = DataDirectory() + "PAGEMSG.DAT";
    const int64_t index = IndexPageOffset(file, "rec_k1");
    ASSERT_GT(index, 0);
    {
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(index + 4096 - 40);
        bytes.write("\x7f\x01\x02\x03garbage!", 12);
    }

    ProgramResult checked = Tolvane({"check"});
    EXPECT_EQ(checked.exit_status, 1) << checked.out << checked.err;
    EXPECT_NE(checked.out.find("PAGEMSG.DAT: "), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("data files are damaged"), std::string::npos) << checked.out;

    const ProgramResult repaired = Tolvane({"check", "--repair"});
    EXPECT_EQ(repaired.exit_status, 0) << repaired.out << repaired.err;
    EXPECT_NE(repaired.out.find("PAGEMSG.DAT: mended, 60 rows kept; the damaged file is kept as "),
              std::string::npos)
        << repaired.out;
    bool copied = false;
    for (const auto& entry : std::filesystem::directory_iterator(DataDirectory())) {
        const std::string name = entry.path().filename().string();
        copied = copied || (name.rfind("damaged-", 0) == 0 &&
                            std::filesystem::exists(entry.path() / "PAGEMSG.DAT"));
    }
    EXPECT_TRUE(copied);

    checked = Tolvane({"check"});
    EXPECT_EQ(checked.exit_status, 0) << checked.out;
    EXPECT_NE(checked.out.find("PAGEMSG.DAT: sound, 60 rows"), std::string::npos) << checked.out;
    const ProgramResult listed = Tolvane({"list", "messages"});
    EXPECT_EQ(listed.exit_status, 0);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 61);
}

TEST_F(TolvaneFaultsTest, TextsAndPortsTheDatabaseCannotHoldAreRefusedAndNothingIsStored) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    const ProgramResult long_page = Tolvane({"page", "Pager", std::string(10240, 'a')});
    EXPECT_EQ(long_page.exit_status, 1);
    EXPECT_NE(long_page.err.find("The message is 10240 characters long; a page holds at most"),
              std::string::npos)
        << long_page.err;
    EXPECT_TRUE(Messages().empty());

    for (const char* port : {"PORT=-5", "PORT=70000", "PORT=0"}) {
        const ProgramResult added =
            Tolvane({"add", "network", "DESCRIPTION=Other", "PROTOCOL=4", "PHONE=127.0.0.1", port});
        EXPECT_EQ(added.exit_status, 1) << port;
        EXPECT_NE(added.err.find("The port must be a number from 1 to 65535"), std::string::npos)
            << port << ": " << added.err;
    }
    const ProgramResult networks = Tolvane({"list", "networks"});
    EXPECT_EQ(networks.out.find("Other"), std::string::npos) << networks.out;
    EXPECT_EQ(Tolvane({"add", "network", "DESCRIPTION=Other", "PROTOCOL=4", "PHONE=127.0.0.1",
                       "PORT=65535"})
                  .exit_status,
              0);
}

TEST_F(TolvaneFaultsTest, LettersOutsideAsciiArriveInTheirAsciiFormAndListingsEscapeControls) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    ASSERT_EQ(Tolvane({"page", "Pager",
                       "Gr\xC3\xBC\xC3\x9F"
                       "e \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"})
                  .exit_status,
              0);
    // A stored text with a terminal escape is shown escaped, never raw.
    ASSERT_EQ(Tolvane({"page", "Pager", "clear\x1B[2Jscreen"}).exit_status, 0);
    const ProgramResult listed = Tolvane({"list", "messages"});
    ASSERT_EQ(listed.exit_status, 0);
    EXPECT_EQ(listed.out.find('\x1B'), std::string::npos);

    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitUntilNoneQueued(server, seconds(30))) << server.Output();
    StopServer(server);
    const std::vector<SnppTestServer::Page> pages = carrier.Pages();
    ASSERT_EQ(pages.size(), 2u);
    std::string text = pages[0].message;
    text.erase(text.find_last_not_of(' ') + 1);
    EXPECT_EQ(text, "Grusse");
    EXPECT_EQ(pages[1].message, "clear[2Jscreen");
}

TEST_F(TolvaneFaultsTest,
       AServerKilledThreeTimesInABatchLosesNothingAndRepeatsOnlyThePageInFlight) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port(), false);
    QueuePages(NumberedTexts(300));
    std::mt19937 random(std::random_device{}());
    int kills = 0;
    for (int round = 0; round < 3; ++round) {
        ChildProcess server;
        ASSERT_TRUE(server.Start(ServerArguments()));
        const size_t target =
            carrier.Pages().size() + std::uniform_int_distribution<size_t>(5, 60)(random);
        ASSERT_TRUE(WaitWhileServing(
            server, [&] { return carrier.Pages().size() >= target; }, seconds(60)))
            << server.Output() << server.Errors();
        server.Signal(SIGKILL);
        EXPECT_EQ(server.Wait(seconds(10)), -1);
        ++kills;
    }
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    const bool all_sent = WaitUntilNoneQueued(server, seconds(120));
    StopServer(server);
    EXPECT_TRUE(all_sent) << server.Output();

    const std::map<std::string, int> deliveries = Deliveries(carrier);
    EXPECT_EQ(deliveries.size(), 300u) << "every page delivered";
    int repeats = 0;
    for (const auto& [text, count] : deliveries) {
        repeats += count - 1;
    }
    EXPECT_LE(repeats, kills);
    RecordProperty("pages_sent_twice", repeats);
    std::printf("pages delivered twice after %d kills: %d\n", kills, repeats);
}

TEST_F(TolvaneFaultsTest, UnlockServerClearsADeadComputersLockOnlyWhenToldAndNeverARunningOnes) {
    SnppTestServer carrier;
    PrepareDatabase(kProtocolSnpp, carrier.port());
    ASSERT_EQ(Tolvane({"unlock-server"}).exit_status, 0) << "a free lock is no error";
    // What another computer's crash leaves.
    SetLockHolder(12345);
    const ProgramResult asked = Tolvane({"unlock-server"});
    EXPECT_EQ(asked.exit_status, 1);
    EXPECT_NE(asked.err.find("Two servers must never run on one database"), std::string::npos)
        << asked.err;
    EXPECT_EQ(LockHolder(), 12345) << "the question's default is No";

    const ProgramResult cleared = Tolvane({"--yes", "unlock-server"});
    EXPECT_EQ(cleared.exit_status, 0) << cleared.err;
    EXPECT_NE(cleared.out.find("The server lock of computer 12345 was cleared"), std::string::npos)
        << cleared.out;
    EXPECT_EQ(LockHolder(), 0);

    // A server of this computer running on the database keeps its lock.
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(server.WaitForOutput("Status: Server Ready", seconds(20))) << server.Errors();
    const int32_t running = LockHolder();
    EXPECT_NE(running, 0);
    const ProgramResult refused = Tolvane({"--yes", "unlock-server"});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_NE(refused.err.find("A server is running on this database on this computer"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(LockHolder(), running);
    // Nor may a repair run under it.
    const ProgramResult repair = Tolvane({"check", "--repair"});
    EXPECT_EQ(repair.exit_status, 1);
    EXPECT_NE(repair.err.find("stop it before repairing"), std::string::npos) << repair.err;
    StopServer(server);
}

}  // namespace
