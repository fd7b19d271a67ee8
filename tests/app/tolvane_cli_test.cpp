// The `tolvane` program run as a process on a database in a temporary directory: what
// each command prints, what it stores, and the exit statuses of refusals (1, with the
// system's text on the error stream) and of usage errors (2, with the usage text).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/pagingcodes.h"
#include "model/tvdatadict.h"
#include "platform/recman/recman.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/dbstatus.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace {

using testing_support::BuiltProgram;
using testing_support::ProgramResult;
using testing_support::RunProgram;

class TolvaneCliTest : public ::testing::Test {
  protected:
    // Runs `tolvane --data DIR WORDS...`.
    ProgramResult Tolvane(std::vector<std::string> words) {
        std::vector<std::string> arguments = {BuiltProgram("tolvane"), "--data", data_.dir()};
        arguments.insert(arguments.end(), words.begin(), words.end());
        return RunProgram(arguments);
    }

    void Init() {
        const ProgramResult init = Tolvane({"init"});
        ASSERT_EQ(init.exit_status, 0) << init.err;
    }

    // The lines of a listing after its header.
    static std::vector<std::string> Rows(const std::string& listing) {
        std::vector<std::string> rows;
        size_t start = listing.find('\n');
        while (start != std::string::npos && start + 1 < listing.size()) {
            const size_t end = listing.find('\n', start + 1);
            rows.push_back(listing.substr(start + 1, end - start - 1));
            start = end;
        }
        return rows;
    }

    // The dictionary the program loads, the one beside it.
    static std::unique_ptr<tvDataDict> ProgramDictionary() {
        auto dictionary = std::make_unique<tvDataDict>();
        const std::string directory =
            std::filesystem::path(BuiltProgram("tolvane")).parent_path().string() + "/";
        EXPECT_EQ(dictionary->Load(directory, "TV"), 0);
        return dictionary;
    }

    // An older installation's files: one network, a device on it, a device on a
    // network the files lack, a group with the first device in it.
    static void WriteOlderFiles(const std::string& directory) {
        auto dictionary = ProgramDictionary();
        cvFileMgr manager(directory, dictionary.get());
        cvFile* networks = manager.OpenTable("OLDNET");
        cvFile* devices = manager.OpenTable("OLDDEV");
        cvFile* groups = manager.OpenTable("OLDGROUP");
        ASSERT_TRUE(networks && devices && groups);
        cvRec network(*networks);
        ASSERT_NE(network.PutString("DESCRIPTION", "Metro"), 0);
        ASSERT_NE(network.PutString("PHONE", "5551000"), 0);
        ASSERT_EQ(network.Save(), 0);
        for (const auto& [name, on] :
             {std::pair{"Alice", "Metro"}, std::pair{"Bob", "Nowhere"}, std::pair{"*Team", ""}}) {
            cvRec device(*devices);
            ASSERT_NE(device.PutString("DESCRIPTION", name), 0);
            ASSERT_NE(device.PutString("PAGENETNBR", on), 0);
            ASSERT_NE(device.PutString("PIN", "1001"), 0);
            ASSERT_EQ(device.Save(), 0);
        }
        cvRec member(*groups);
        ASSERT_NE(member.PutString("PAGEGRPNBR", "*Team"), 0);
        ASSERT_NE(member.PutString("PAGEDEVNBR", "Alice"), 0);
        ASSERT_EQ(member.Save(), 0);
    }

    // The programs wait for locks as they would in use: they share the database.
    testing_support::TestEnvironment env_{{.lock_wait_ms = std::nullopt}};
    TempDir& data_ = env_.Directory("data");
};

TEST_F(TolvaneCliTest, InitCreatesTheDatabaseAndOtherCommandsRefuseWithoutOne) {
    const ProgramResult before = Tolvane({"list", "networks"});
    EXPECT_EQ(before.exit_status, 1);
    EXPECT_NE(before.err.find("\"tolvane init\" creates one"), std::string::npos) << before.err;

    const ProgramResult init = Tolvane({"init"});
    ASSERT_EQ(init.exit_status, 0) << init.err;
    EXPECT_NE(init.out.find("Tolvane database ready in " + data_.dir()), std::string::npos)
        << init.out;
    for (const char* file : {"PAGEMSG.DAT", "PAGEDEV.DAT", "PAGENET.DAT", "TOLVANE.DAT"}) {
        EXPECT_TRUE(std::filesystem::exists(data_.path() / file)) << file;
    }

    // A second init finds the database complete and leaves it as it is.
    EXPECT_EQ(Tolvane({"init"}).exit_status, 0);
    for (const char* table : {"networks", "devices", "groups", "equipment", "messages"}) {
        const ProgramResult listed = Tolvane({"list", table});
        EXPECT_EQ(listed.exit_status, 0) << table << ": " << listed.err;
        EXPECT_EQ(listed.out.rfind("NUMBER\t", 0), 0u) << table << ": " << listed.out;
        EXPECT_TRUE(Rows(listed.out).empty()) << table << ": " << listed.out;
    }
}

TEST_F(TolvaneCliTest, UsageErrorsExitWithTwoAndTheUsageText) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", "pagers"},
        {"set", "options", "SENDINTERVAL"},
        {"set", "options", "NOSUCHFIELD=1"},
        {"set", "machine", "PORT=COM9"},
        {"set", "options", "SENDINTERVAL=ten"},
        {"set", "options", "SMTPPORT=0"},
        {"set", "options", "SMTPPORT=65536"},
        {"set", "options", "SMTPREQUIRETLS=maybe"},
    };
    Init();
    for (const std::vector<std::string>& words : wrong) {
        const ProgramResult result = Tolvane(words);
        std::string line;
        for (const std::string& word : words) {
            line += word + " ";
        }
        EXPECT_EQ(result.exit_status, 2) << line << result.err;
        EXPECT_NE(result.err.find("usage: tolvane"), std::string::npos) << line << result.err;
    }
    const ProgramResult help = Tolvane({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_NE(help.out.find("usage: tolvane"), std::string::npos);
}

TEST_F(TolvaneCliTest, SetOptionsAppliesTheRangesAndRulesOfTheOptionsSheet) {
    Init();
    struct Case {
        std::vector<std::string> words;
        int exit_status;
        std::string error;  // the start of the refusal on the error stream
    };
    const Case cases[] = {
        {{"set", "options", "SENDINTERVAL=5"}, 1, "Value out of range"},
        {{"set", "options", "PURGEAGE=366"}, 1, "Value out of range"},
        {{"set", "options", "SENDINTERVAL=120", "STATUSINTERVAL=60"},
         1,
         "Status Interval cannot be shorter than Send Interval"},
        {{"set", "options", "QENABLERECV=Y"},
         1,
         "Mail Server, User ID, and Password are required to enable inbound."},
        {{"set", "options", "SMTPQAUTH=Y", "SMTPMAILSERVER=mail.example.com"},
         1,
         "Mail Server, User ID, and Password are required for authentication."},
        {{"set", "options", "SENDINTERVAL=20", "STATUSINTERVAL=90", "PURGEAGE=14"}, 0, ""},
        {{"set", "machine", "PORT=-1"}, 1, "Selection required"},
        {{"set", "machine", "PORT=COM3", "DIALPREFIX=9,"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ProgramResult result = Tolvane(c.words);
        EXPECT_EQ(result.exit_status, c.exit_status) << c.words[2] << ": " << result.err;
        if (!c.error.empty()) {
            EXPECT_EQ(result.err.rfind(c.error, 0), 0u) << c.words[2] << ": " << result.err;
        }
    }
    // The accepted values are stored: a refusal of a later run sees them.
    const ProgramResult longer = Tolvane({"set", "options", "SENDINTERVAL=100"});
    EXPECT_EQ(longer.exit_status, 1);
    EXPECT_EQ(longer.err.rfind("Status Interval cannot be shorter than Send Interval", 0), 0u);
    EXPECT_EQ(Tolvane({"set", "options", "SENDINTERVAL=90"}).exit_status, 0);
}

TEST_F(TolvaneCliTest, ImportRefusesALocationWithoutOlderFiles) {
    Init();
    TempDir empty;
    const ProgramResult result = Tolvane({"import", empty.dir()});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("Older versions of the network and device files (tvnet.dat, "
                              "tvuser.dat) were not found in"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(Rows(Tolvane({"list", "networks"}).out).empty());
}

TEST_F(TolvaneCliTest, ImportBringsOlderFilesOverOnceAndTheListsShowThem) {
    Init();
    TempDir older;
    WriteOlderFiles(older.dir());

    const ProgramResult imported = Tolvane({"import", older.path().string()});
    EXPECT_EQ(imported.exit_status, 0) << imported.err;
    EXPECT_EQ(imported.out,
              "Imported 1 networks, 1 devices, 1 groups, 1 group members, 0 pieces of "
              "equipment\n");
    EXPECT_EQ(imported.err, "Network Nowhere not found\n");

    EXPECT_EQ(Rows(Tolvane({"list", "networks"}).out),
              std::vector<std::string>{"1\tMetro\tTAP (Modem)\t5551000\t0\t0\tN"});
    // In the older file's key order: the group sorts first.
    EXPECT_EQ(Rows(Tolvane({"list", "devices"}).out),
              std::vector<std::string>{"2\tAlice\tMetro\t1001\t0\tN"});
    EXPECT_EQ(Rows(Tolvane({"list", "groups"}).out),
              std::vector<std::string>{"1\t*Team\tAlice\tN"});

    const ProgramResult again = Tolvane({"import", older.path().string()});
    EXPECT_EQ(again.exit_status, 1);
    EXPECT_EQ(again.err, "The paging device and network files must be empty in order to import\n");
    EXPECT_EQ(Rows(Tolvane({"list", "networks"}).out).size(), 1u);
}

TEST_F(TolvaneCliTest, ListMessagesShowsStatusAttemptsScheduleAndResponse) {
    Init();
    {
        auto dictionary = ProgramDictionary();
        cvFileMgr manager(data_.dir(), dictionary.get());
        cvFile* devices = manager.OpenTable("PAGEDEV");
        cvFile* messages = manager.OpenTable("PAGEMSG");
        ASSERT_TRUE(devices && messages);
        // Numbered on insert.
        cvRec device(*devices);
        ASSERT_NE(device.PutInt("PAGEDEVNBR", 0), 0);
        ASSERT_NE(device.PutString("DESCRIPTION", "Alice"), 0);
        ASSERT_EQ(device.Save(), 0);
        cvRec message(*messages);
        ASSERT_NE(message.PutInt("PAGEMSGNBR", 0), 0);
        ASSERT_NE(message.PutInt("PAGEDEVNBR", device.GetInt("PAGEDEVNBR")), 0);
        ASSERT_NE(message.PutString("TEXT", "call me"), 0);
        ASSERT_NE(message.PutInt("STATUS", kStatusSent), 0);
        ASSERT_NE(message.PutInt("ATTEMPTS", 2), 0);
        ASSERT_NE(message.PutString("RESPONSE", "211 accepted"), 0);
        ASSERT_EQ(message.Save(), 0);
    }
    const ProgramResult listed = Tolvane({"list", "messages"});
    EXPECT_EQ(listed.exit_status, 0) << listed.err;
    EXPECT_EQ(Rows(listed.out), std::vector<std::string>{"1\tAlice\tSent\t2\tASAP\t211 accepted"});
}

TEST_F(TolvaneCliTest, AListCutShortByADamagedFileFailsWithTheStatusText) {
    constexpr int kMessages = 200;
    constexpr int kMarked = 120;  // the message whose page of the file gets damaged
    const std::string marker = "damaged-page-marker";
    Init();
    {
        auto dictionary = ProgramDictionary();
        cvFileMgr manager(data_.dir(), dictionary.get());
        cvFile* messages = manager.OpenTable("PAGEMSG");
        ASSERT_NE(messages, nullptr);
        for (int i = 1; i <= kMessages; ++i) {
            cvRec message(*messages);
            ASSERT_NE(message.PutInt("PAGEMSGNBR", 0), 0);
            ASSERT_NE(
                message.PutString("TEXT", i == kMarked ? marker : "page " + std::to_string(i)), 0);
            ASSERT_EQ(message.Save(), 0);
        }
    }
    const ProgramResult whole = Tolvane({"list", "messages"});
    ASSERT_EQ(whole.exit_status, 0) << whole.err;
    ASSERT_EQ(Rows(whole.out).size(), static_cast<size_t>(kMessages));

    // Bytes overwritten on the page that holds the marked message: the record manager
    // can no longer read the rows stored there.
    const std::string path = data_.file("PAGEMSG.DAT");
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t at = bytes.find(marker);
    ASSERT_NE(at, std::string::npos) << "the marked row is in the file";
    // The page size is stored big-endian at offset 16 of the file's header (1 = 65536).
    ASSERT_GT(bytes.size(), 18u);
    size_t page_size =
        (static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]);
    page_size = page_size == 1 ? 65536 : page_size;
    const size_t page_start = at / page_size * page_size;
    ASSERT_GT(page_start, 0u) << "not the file's header page";
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(page_start));
        const std::string garbage(page_size, '\xff');
        out.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        ASSERT_TRUE(out.good());
    }

    const ProgramResult damaged = Tolvane({"list", "messages"});
    EXPECT_EQ(damaged.exit_status, 1) << damaged.out << damaged.err;
    const std::vector<std::string> rows = Rows(damaged.out);
    EXPECT_GT(rows.size(), 0u) << "the rows before the damage are listed";
    EXPECT_LT(rows.size(), static_cast<size_t>(kMarked)) << damaged.out;
    EXPECT_NE(damaged.err.find("tolvane: reading PAGEMSG stopped at a record-manager error: " +
                               StatusText(RECMAN_IO_ERROR) + "\n"),
              std::string::npos)
        << damaged.err;
}

}  // namespace

namespace {

// A refusal: exit status 1 and the system's text first on the error stream.
void ExpectRefused(const ProgramResult& result, const std::string& text, const std::string& what) {
    EXPECT_EQ(result.exit_status, 1) << what << ": " << result.out << result.err;
    EXPECT_EQ(result.err.rfind(text, 0), 0u) << what << ": " << result.err;
}

TEST_F(TolvaneCliTest, AddAppliesTheChecksOfThePropertyPages) {
    Init();
    ASSERT_EQ(Tolvane({"add", "network", "DESCRIPTION=Carrier", "PROTOCOL=4",
                       "PHONE=snpp.example.com", "PORT=444"})
                  .exit_status,
              0);
    ASSERT_EQ(Tolvane({"add", "network", "DESCRIPTION=Mail", "PROTOCOL=SMTP (EMail)",
                       "PHONE=mail.example.com", "REPLYTO=ops@example.com"})
                  .exit_status,
              0);
    ASSERT_EQ(Tolvane({"add", "network", "DESCRIPTION=Old", "QINACTIVE=Y"}).exit_status, 0);

    struct Case {
        std::vector<std::string> words;
        std::string refusal;
    };
    const std::string pin_question =
        "This PIN contains non-numeric characters which are generally not allowed.\n"
        "Do you want to continue? [No]";
    const Case refused[] = {
        {{"add", "network", "DESCRIPTION=Carrier"}, "This entry requires a unique value."},
        {{"add", "network", "PROTOCOL=4"}, "An entry is required"},
        {{"add", "network", "DESCRIPTION=Modem", "PROTOCOL=1", "PORT=444"},
         "PORT does not apply to the protocol TAP (Modem)"},
        {{"add", "network", "DESCRIPTION=Web", "PROTOCOL=4", "REPLYTO=x@example.com"},
         "REPLYTO does not apply to the protocol SNPP (Internet)"},
        {{"add", "device", "DESCRIPTION=Pager", "PIN=1234"}, "Selection required"},
        {{"add", "device", "DESCRIPTION=Pager", "NETWORK=Nowhere", "PIN=1234"},
         "Selection required"},
        {{"add", "device", "DESCRIPTION=Pager", "NETWORK=Old", "PIN=1234"}, "Selection required"},
        {{"add", "device", "DESCRIPTION=Pager", "NETWORK=Carrier"}, "An entry is required"},
        {{"add", "device", "DESCRIPTION=Pager", "NETWORK=Carrier", "PIN=555-1234"}, pin_question},
        {{"add", "group", "DESCRIPTION=Team"},
         "Groups and monitored equipment are available only while the Alarm Watch setting is on"},
    };
    for (const Case& c : refused) {
        ExpectRefused(Tolvane(c.words), c.refusal, c.words[1] + " " + c.words[2]);
    }
    const std::vector<std::string> pages = Rows(Tolvane({"list", "devices"}).out);
    EXPECT_TRUE(pages.empty()) << "nothing refused was stored";

    // The question's Yes (--yes before or after the command), and no question at all
    // on an e-mail network.
    const ProgramResult yes =
        Tolvane({"add", "device", "DESCRIPTION=Pager", "NETWORK=Carrier", "PIN=555-1234", "--yes"});
    EXPECT_EQ(yes.exit_status, 0) << yes.err;
    EXPECT_NE(yes.err.find("Do you want to continue? [Yes]"), std::string::npos) << yes.err;
    const ProgramResult mail =
        Tolvane({"add", "device", "DESCRIPTION=Inbox", "NETWORK=Mail", "PIN=ops.team"});
    EXPECT_EQ(mail.exit_status, 0) << mail.err;
    EXPECT_EQ(mail.err, "");
    EXPECT_EQ(Rows(Tolvane({"list", "devices"}).out),
              (std::vector<std::string>{"2\tInbox\tMail\tops.team\t0\tN",
                                        "1\tPager\tCarrier\t555-1234\t0\tN"}));
    EXPECT_EQ(Rows(Tolvane({"list", "networks"}).out).size(), 3u);
}

TEST_F(TolvaneCliTest, PageQueuesThroughTheMessageAndExpandsAGroup) {
    {
        const std::filesystem::path profile = env_.MachineProfile();
        std::filesystem::create_directories(profile.parent_path());
        std::ofstream machine(profile);
        machine << "[Settings]\nAlarm Watch = 1\n";
    }
    Init();
    ASSERT_EQ(Tolvane({"add", "network", "DESCRIPTION=Carrier", "PROTOCOL=4", "PHONE=127.0.0.1",
                       "PORT=444"})
                  .exit_status,
              0);
    for (const char* device : {"Ann", "Ben", "Cy"}) {
        ASSERT_EQ(Tolvane({"add", "device", std::string("DESCRIPTION=") + device, "NETWORK=Carrier",
                           "PIN=100"})
                      .exit_status,
                  0)
            << device;
    }
    ExpectRefused(Tolvane({"add", "group", "DESCRIPTION=Team", "MEMBERS=Ann,Nobody"}),
                  "Selection required", "unknown member");
    ASSERT_EQ(Tolvane({"add", "group", "DESCRIPTION=Team", "MEMBERS=Ann, Cy"}).exit_status, 0);
    ASSERT_EQ(Tolvane({"add", "group", "DESCRIPTION=Nobody yet"}).exit_status, 0);
    EXPECT_EQ(Rows(Tolvane({"list", "groups"}).out),
              (std::vector<std::string>{"5\tNobody yet\t\tN", "4\tTeam\tAnn,Cy\tN"}));

    ExpectRefused(Tolvane({"page", "Dan", "hello"}), "Selection required", "unknown recipient");
    ExpectRefused(Tolvane({"page", "Ben"}), "An entry is required", "empty text");
    EXPECT_EQ(Tolvane({"page", "Ben", "-5", "degrees"}).exit_status, 0);
    EXPECT_EQ(Tolvane({"page", "Team", "all", "hands"}).exit_status, 0);
    EXPECT_EQ(Tolvane({"page", "Nobody yet", "hi"}).exit_status, 0);
    // The group's message goes to its first member and a copy to the other; which of
    // the two gets the lower number is the order of the inserts.
    std::vector<std::string> messages = Rows(Tolvane({"list", "messages"}).out);
    ASSERT_EQ(messages.size(), 4u);
    std::sort(messages.begin() + 1, messages.begin() + 3,
              [](const std::string& a, const std::string& b) { return a.substr(2) < b.substr(2); });
    EXPECT_EQ(messages[0], "1\tBen\tQueued\t0\tASAP\t");
    EXPECT_EQ(messages[1].substr(1), "\tAnn\tQueued\t0\tASAP\t");
    EXPECT_EQ(messages[2].substr(1), "\tCy\tQueued\t0\tASAP\t");
    EXPECT_EQ(messages[3], "4\tNobody yet\tQueued\t0\tASAP\t");

    ASSERT_EQ(Tolvane({"add", "equipment", "DESCRIPTION=Boiler", "DEVICE=Team"}).exit_status, 0);
    ExpectRefused(Tolvane({"add", "equipment", "DESCRIPTION=Pump", "DEVICE=Nothing"}),
                  "Selection required", "unknown device");
    EXPECT_EQ(Rows(Tolvane({"list", "equipment"}).out).size(), 1u);
}

}  // namespace
