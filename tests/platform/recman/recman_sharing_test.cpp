// Transactions, and files shared by several clients of one process and by several
// processes (a helper program, or a forked child).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/diagnostics.h"
#include "platform/recman/recman.h"
#include "platform/recman/statedirectory.h"
#include "tests/platform/recman/recmantesting.h"
#include "tests/support/recmanstate.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using namespace recman_testing;
using Clock = std::chrono::steady_clock;

// Files of 16-byte records keyed by the integer in their first 4 bytes, as the helper
// program writes them.
Bytes NumbersLayout() {
    return SpecLayout(16, {{{1, 4, 0, RECMAN_TYPE_INTEGER}}});
}

Bytes Numbered(int32_t number) {
    Bytes record(16, 0);
    Put32(record, 0, number);
    return record;
}

std::vector<int32_t> AllNumbers(RecmanFile& file) {
    std::vector<int32_t> numbers;
    Bytes record(16);
    int status = file.Step(RECMAN_GET_FIRST, 0, record);
    while (status == 0) {
        numbers.push_back(static_cast<int32_t>(Get32(record, 0)));
        status = file.Step(RECMAN_GET_NEXT, 0, record);
    }
    EXPECT_EQ(status, RECMAN_END_OF_FILE);
    return numbers;
}

int GetEqual(RecmanFile& file, int32_t number) {
    Bytes key(4);
    Put32(key, 0, number);
    Bytes record(16);
    return file.Get(RECMAN_GET_EQUAL, 0, key, record);
}

// The helper program as a child process, talking over pipes.
class Helper {
  public:
    explicit Helper(const std::vector<std::string>& arguments) {
        std::vector<std::string> words = {RECMAN_HELPER_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        int to_child[2];
        int from_child[2];
        if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(to_child[0], STDIN_FILENO);
            dup2(from_child[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        input_ = to_child[1];
        output_ = from_child[0];
    }

    ~Helper() {
        Kill();
        close(input_);
        close(output_);
    }

    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // The next line the helper prints, or "" after `timeout` or at its end.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return {};
            }
            pollfd ready = {output_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char chunk[4096];
            const ssize_t got = read(output_, chunk, sizeof chunk);
            if (got <= 0) {
                return {};
            }
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }

    void WriteLine(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Kills the helper (when still running) and waits for it.
    void Kill() {
        if (pid_ <= 0) {
            return;
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // Waits for the helper to exit by itself; its exit status.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
};

class RecmanSharingTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return data_.file(name); }

    std::string NewNumbersFile(const std::string& name) {
        const std::string path = Path(name);
        EXPECT_EQ(CreateFile(path, NumbersLayout()), 0);
        return path;
    }

    TempDir data_;
    RecordManagerState recman_state_;
    const TempDir& state_ = recman_state_.Directory();
    const ClientId engine_ = NewClientId();
    const ClientId interface_ = NewClientId();
};

TEST_F(RecmanSharingTest, TransactionStatusesFollowItsState) {
    RecmanFile file(&engine_);
    EXPECT_EQ(file.End(), RECMAN_NO_TRANSACTION);
    EXPECT_EQ(file.Abort(), RECMAN_NO_TRANSACTION);
    ASSERT_EQ(file.Begin(), 0);
    EXPECT_EQ(file.Begin(), RECMAN_TRANSACTION_ACTIVE);
    uint32_t length = 0;
    EXPECT_EQ(file.Call(RECMAN_BEGIN_TRANSACTION, nullptr, &length, nullptr, 0),
              RECMAN_TRANSACTION_ACTIVE);
    EXPECT_EQ(file.End(), 0);  // an empty transaction; the block never was open
    EXPECT_EQ(file.End(), RECMAN_NO_TRANSACTION);
    // Each client has its own transaction.
    RecmanFile other(&interface_);
    ASSERT_EQ(file.Begin(), 0);
    EXPECT_EQ(other.Begin(), 0);
    EXPECT_EQ(other.Abort(), 0);
    EXPECT_EQ(file.Abort(), 0);
}

TEST_F(RecmanSharingTest, ATransactionOverTwoFilesCommitsBothOrUndoesBoth) {
    RecmanFile messages(&engine_);
    RecmanFile devices(&engine_);
    ASSERT_EQ(messages.Open(NewNumbersFile("MSG.DAT")), 0);
    ASSERT_EQ(devices.Open(NewNumbersFile("DEV.DAT")), 0);
    RecmanFile reader(&interface_);
    ASSERT_EQ(reader.Open(Path("MSG.DAT")), 0);
    Bytes committed = Numbered(1);
    ASSERT_EQ(messages.Insert(committed), 0);

    ASSERT_EQ(messages.Begin(), 0);
    Bytes a = Numbered(10);
    Bytes b = Numbered(20);
    ASSERT_EQ(messages.Insert(a), 0);
    ASSERT_EQ(devices.Insert(b), 0);
    ASSERT_EQ(GetEqual(messages, 1), 0);
    ASSERT_EQ(messages.Delete(), 0);
    // Inside: the transaction sees its own rows and counts them.
    EXPECT_EQ(AllNumbers(messages), (std::vector<int32_t>{10}));
    Bytes stat;
    ASSERT_EQ(messages.Stat(stat), 0);
    EXPECT_EQ(Get32(stat, 6), 1);
    // Outside: another client sees only what was committed.
    EXPECT_EQ(AllNumbers(reader), (std::vector<int32_t>{1}));
    ASSERT_EQ(reader.Stat(stat), 0);
    EXPECT_EQ(Get32(stat, 6), 1);
    ASSERT_EQ(messages.End(), 0);
    EXPECT_EQ(AllNumbers(reader), (std::vector<int32_t>{10}));
    EXPECT_EQ(AllNumbers(devices), (std::vector<int32_t>{20}));

    ASSERT_EQ(devices.Begin(), 0);  // any block of the client serves as the channel
    Bytes c = Numbered(11);
    Bytes d = Numbered(21);
    ASSERT_EQ(messages.Insert(c), 0);
    ASSERT_EQ(devices.Insert(d), 0);
    ASSERT_EQ(GetEqual(messages, 10), 0);
    ASSERT_EQ(messages.Delete(), 0);
    ASSERT_EQ(messages.Abort(), 0);
    EXPECT_EQ(AllNumbers(messages), (std::vector<int32_t>{10}));
    EXPECT_EQ(AllNumbers(devices), (std::vector<int32_t>{20}));
    ASSERT_EQ(messages.Stat(stat), 0);
    EXPECT_EQ(Get32(stat, 6), 1);

    // A failing insert inside a transaction leaves the rest of it alone.
    ASSERT_EQ(messages.Begin(), 0);
    Bytes e = Numbered(12);
    Bytes again = Numbered(12);
    ASSERT_EQ(messages.Insert(e), 0);
    EXPECT_EQ(messages.Insert(again), RECMAN_DUPLICATE_KEY);
    ASSERT_EQ(messages.End(), 0);
    EXPECT_EQ(AllNumbers(reader), (std::vector<int32_t>{10, 12}));
    ASSERT_EQ(reader.Stat(stat), 0);
    EXPECT_EQ(Get32(stat, 6), 2);
}

TEST_F(RecmanSharingTest, AKilledProcessLeavesWholeTransactionsOnly) {
    for (const int commits_before_kill : {3, 12, 25}) {
        SCOPED_TRACE(commits_before_kill);
        const std::string tag = std::to_string(commits_before_kill);
        const std::string first = NewNumbersFile("A" + tag + ".DAT");
        const std::string second = NewNumbersFile("B" + tag + ".DAT");
        {
            RecmanFile file(&engine_);
            ASSERT_EQ(file.Open(first), 0);
            Bytes earlier = Numbered(-1);
            ASSERT_EQ(file.Insert(earlier), 0);
        }
        int32_t reported = 0;
        {
            Helper helper({"txn-loop", first, second});
            while (reported < commits_before_kill) {
                const std::string line = helper.ReadLine();
                ASSERT_FALSE(line.empty()) << "the helper stopped";
                reported = std::stoi(line);
            }
            // Land somewhere inside the next transactions' work.
            std::this_thread::sleep_for(std::chrono::microseconds(700 * commits_before_kill));
            helper.Kill();
        }
        RecmanFile a(&engine_);
        RecmanFile b(&engine_);
        ASSERT_EQ(a.Open(first), 0);
        ASSERT_EQ(b.Open(second), 0);
        std::vector<int32_t> in_a = AllNumbers(a);
        const std::vector<int32_t> in_b = AllNumbers(b);
        ASSERT_FALSE(in_a.empty());
        EXPECT_EQ(in_a.front(), -1);  // committed before the helper ran
        in_a.erase(in_a.begin());
        EXPECT_EQ(in_a, in_b);  // each transaction is in both files or in neither
        ASSERT_GE(in_a.size(), static_cast<size_t>(reported));
        for (size_t i = 0; i < in_a.size(); ++i) {
            EXPECT_EQ(in_a[i], static_cast<int32_t>(i + 1));  // none lost, none half there
        }
        // The files go on working.
        Bytes next = Numbered(100000);
        EXPECT_EQ(a.Insert(next), 0);
    }
}

TEST_F(RecmanSharingTest, AnotherProcessSeesCommittedRows) {
    const std::string path = NewNumbersFile("SHARED.DAT");
    RecmanFile file;
    ASSERT_EQ(file.Open(path), 0);
    Bytes mine = Numbered(42);
    ASSERT_EQ(file.Insert(mine), 0);
    {
        Helper reader({"get", path, "42"});
        EXPECT_EQ(reader.ReadLine(), "0");
    }
    {
        Helper writer({"insert", path, "43"});
        EXPECT_EQ(writer.ReadLine(), "0");
    }
    EXPECT_EQ(GetEqual(file, 43), 0);  // while this file stayed open all along
    // Not visible to the other process while inside a transaction, visible after.
    ASSERT_EQ(file.Begin(), 0);
    Bytes pending = Numbered(44);
    ASSERT_EQ(file.Insert(pending), 0);
    {
        Helper reader({"get", path, "44"});
        EXPECT_EQ(reader.ReadLine(), std::to_string(RECMAN_KEY_NOT_FOUND));
    }
    ASSERT_EQ(file.End(), 0);
    Helper reader({"get", path, "44"});
    EXPECT_EQ(reader.ReadLine(), "0");
}

TEST_F(RecmanSharingTest, AScanSeesEveryCommitMadeWhileItRuns) {
    const std::string path = NewNumbersFile("SCAN.DAT");
    RecmanFile scanner(&engine_);
    RecmanFile other(&interface_);
    ASSERT_EQ(scanner.Open(path), 0);
    ASSERT_EQ(other.Open(path), 0);
    ASSERT_EQ(other.Begin(), 0);
    for (int32_t n = 10; n <= 200; n += 10) {
        Bytes record = Numbered(n);
        ASSERT_EQ(other.Insert(record), 0);
    }
    ASSERT_EQ(other.End(), 0);

    Bytes record(16);
    auto next = [&](uint16_t operation = RECMAN_GET_NEXT) {
        const int status = scanner.Step(operation, 0, record);
        return status == 0 ? static_cast<int32_t>(Get32(record, 0)) : -status;
    };
    EXPECT_EQ(next(RECMAN_GET_FIRST), 10);
    EXPECT_EQ(next(), 20);
    EXPECT_EQ(next(), 30);  // a scan: the following rows are read ahead now
    // Another client changes what lies ahead.
    Bytes inserted = Numbered(35);
    ASSERT_EQ(other.Insert(inserted), 0);
    ASSERT_EQ(GetEqual(other, 40), 0);
    ASSERT_EQ(other.Delete(), 0);
    EXPECT_EQ(next(), 35);
    EXPECT_EQ(next(), 50);
    EXPECT_EQ(next(), 60);
    // Another process does.
    {
        Helper writer({"insert", path, "65"});
        ASSERT_EQ(writer.ReadLine(), "0");
    }
    EXPECT_EQ(next(), 65);
    EXPECT_EQ(next(), 70);
    // This client does, inside a transaction and outside one.
    ASSERT_EQ(scanner.Begin(), 0);
    Bytes own = Numbered(75);
    ASSERT_EQ(scanner.Insert(own, -1), 0);
    EXPECT_EQ(next(), 75);
    EXPECT_EQ(next(), 80);
    ASSERT_EQ(scanner.Abort(), 0);
    Bytes later = Numbered(85);
    ASSERT_EQ(scanner.Insert(later, -1), 0);
    EXPECT_EQ(next(), 85);
    // Backwards as well, and to the ends.
    EXPECT_EQ(next(RECMAN_GET_PREVIOUS), 80);
    EXPECT_EQ(next(RECMAN_GET_PREVIOUS), 70);
    ASSERT_EQ(GetEqual(other, 60), 0);
    ASSERT_EQ(other.Delete(), 0);
    EXPECT_EQ(next(RECMAN_GET_PREVIOUS), 65);
    EXPECT_EQ(next(RECMAN_GET_PREVIOUS), 50);
    std::vector<int32_t> rest;
    for (int32_t n = next(RECMAN_GET_NEXT); n > 0; n = next()) {
        rest.push_back(n);
    }
    EXPECT_EQ(rest, (std::vector<int32_t>{65, 70, 80, 85, 90, 100, 110, 120, 130, 140, 150, 160,
                                          170, 180, 190, 200}));
}

TEST_F(RecmanSharingTest, AnExclusiveOpenKeepsOtherProcessesAndClientsOut) {
    const std::string path = NewNumbersFile("EXCL.DAT");
    auto refused = [](int status) {
        return status == RECMAN_FILE_LOCKED || status == RECMAN_INCOMPATIBLE_MODE;
    };
    {
        Helper holder({"hold", path, std::to_string(RECMAN_MODE_EXCLUSIVE)});
        ASSERT_EQ(holder.ReadLine(), "open 0");
        RecmanFile file(&engine_);
        EXPECT_TRUE(refused(file.Open(path)));
        EXPECT_TRUE(refused(file.Open(path, RECMAN_MODE_READ_ONLY)));
        EXPECT_TRUE(refused(file.Open(path, RECMAN_MODE_EXCLUSIVE)));
        holder.WriteLine("close");
        ASSERT_EQ(holder.ReadLine(), "closed");
        EXPECT_EQ(holder.Wait(), 0);
        EXPECT_EQ(file.Open(path), 0);

        // And the other way: open here, an exclusive open elsewhere is refused.
        Helper exclusive({"hold", path, std::to_string(RECMAN_MODE_EXCLUSIVE)});
        const std::string answer = exclusive.ReadLine();
        EXPECT_TRUE(answer == "open 85" || answer == "open 88") << answer;
        exclusive.WriteLine("");
    }
    // Between clients of one process.
    RecmanFile first(&engine_);
    RecmanFile second(&interface_);
    ASSERT_EQ(first.Open(path, RECMAN_MODE_EXCLUSIVE), 0);
    EXPECT_EQ(second.Open(path), RECMAN_FILE_LOCKED);
    EXPECT_EQ(CreateFile(path, NumbersLayout(), RECMAN_CREATE_REPLACE), RECMAN_FILE_LOCKED);
    ASSERT_EQ(first.Close(), 0);
    ASSERT_EQ(second.Open(path), 0);
    EXPECT_EQ(first.Open(path, RECMAN_MODE_EXCLUSIVE), RECMAN_INCOMPATIBLE_MODE);
}

TEST_F(RecmanSharingTest, AWriterWaitsForAnotherClientsTransaction) {
    ScopedEnv wait("TOLVANE_RECMAN_LOCK_WAIT_MS", "5000");
    const std::string path = NewNumbersFile("WAIT.DAT");
    RecmanFile holder(&engine_);
    RecmanFile waiter(&interface_);
    ASSERT_EQ(holder.Open(path), 0);
    ASSERT_EQ(waiter.Open(path), 0);
    ASSERT_EQ(holder.Begin(), 0);
    Bytes held = Numbered(1);
    ASSERT_EQ(holder.Insert(held), 0);

    int status = -1;
    Clock::duration waited{};
    std::thread writer([&] {
        const auto start = Clock::now();
        Bytes record = Numbered(2);
        status = waiter.Insert(record);
        waited = Clock::now() - start;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(holder.End(), 0);
    writer.join();
    EXPECT_EQ(status, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_EQ(AllNumbers(holder), (std::vector<int32_t>{1, 2}));

    // A reader inside a transaction also waits, then sees the committed row.
    ASSERT_EQ(holder.Begin(), 0);
    Bytes more = Numbered(3);
    ASSERT_EQ(holder.Insert(more), 0);
    std::thread reader([&] {
        ASSERT_EQ(waiter.Begin(), 0);
        status = GetEqual(waiter, 3);
        EXPECT_EQ(waiter.End(), 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(holder.End(), 0);
    reader.join();
    EXPECT_EQ(status, 0);
}

TEST_F(RecmanSharingTest, ClientsOnSeveralThreadsWorkAtOnce) {
    ScopedEnv wait("TOLVANE_RECMAN_LOCK_WAIT_MS", "20000");
    constexpr int kThreads = 4;
    constexpr int kRounds = 10;
    const std::string shared = NewNumbersFile("SHARED.DAT");
    std::vector<std::string> own;
    for (int t = 0; t < kThreads; ++t) {
        own.push_back(NewNumbersFile("OWN" + std::to_string(t) + ".DAT"));
    }
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const ClientId id = NewClientId();
            RecmanFile common(&id);
            RecmanFile mine(&id);
            failures[t] += common.Open(shared) != 0;
            failures[t] += mine.Open(own[t]) != 0;
            for (int32_t round = 0; round < kRounds; ++round) {
                Bytes a = Numbered(t * 1000 + round);
                Bytes b = Numbered(round);
                failures[t] += mine.Begin() != 0;
                failures[t] += common.Insert(a) != 0;
                failures[t] += mine.Insert(b) != 0;
                failures[t] += mine.End() != 0;
                failures[t] += GetEqual(common, t * 1000 + round) != 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    RecmanFile check(&engine_);
    ASSERT_EQ(check.Open(shared), 0);
    EXPECT_EQ(AllNumbers(check).size(), static_cast<size_t>(kThreads * kRounds));
}

TEST_F(RecmanSharingTest, TwoClientsDeadlockingGetLockStatusesWithinTheBoundedWait) {
    const std::string first_path = NewNumbersFile("DL1.DAT");
    const std::string second_path = NewNumbersFile("DL2.DAT");
    RecmanFile a1(&engine_);
    RecmanFile a2(&engine_);
    RecmanFile b1(&interface_);
    RecmanFile b2(&interface_);
    ASSERT_EQ(a1.Open(first_path), 0);
    ASSERT_EQ(a2.Open(second_path), 0);
    ASSERT_EQ(b1.Open(first_path), 0);
    ASSERT_EQ(b2.Open(second_path), 0);
    ASSERT_EQ(a1.Begin(), 0);
    ASSERT_EQ(b1.Begin(), 0);
    Bytes ra = Numbered(1);
    Bytes rb = Numbered(2);
    ASSERT_EQ(a1.Insert(ra), 0);
    ASSERT_EQ(b2.Insert(rb), 0);

    int a_status = -1;
    int b_status = -1;
    const auto start = Clock::now();
    std::thread a([&] {
        Bytes record = Numbered(3);
        a_status = a2.Insert(record);
    });
    std::thread b([&] {
        Bytes record = Numbered(4);
        b_status = b1.Insert(record);
    });
    a.join();
    b.join();
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(a_status, RECMAN_RECORD_LOCKED);
    EXPECT_EQ(b_status, RECMAN_RECORD_LOCKED);
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    ASSERT_EQ(a1.Abort(), 0);
    ASSERT_EQ(b1.End(), 0);  // B's first insert survives; A's is gone
    EXPECT_EQ(AllNumbers(a1), (std::vector<int32_t>{}));
    EXPECT_EQ(AllNumbers(a2), (std::vector<int32_t>{2}));
}

TEST_F(RecmanSharingTest, PastTheAttachLimitOpenSays86AndLogsALine) {
    std::vector<std::string> diagnostics;
    std::mutex diagnostics_mutex;
    platform::SetDiagnosticSink([&](uint32_t category, const std::string& text) {
        std::lock_guard lock(diagnostics_mutex);
        diagnostics.push_back(std::to_string(category) + " " + text);
    });
    std::vector<std::unique_ptr<RecmanFile>> files;
    for (int n = 0; n < 10; ++n) {
        files.push_back(std::make_unique<RecmanFile>(&engine_));
        ASSERT_EQ(files.back()->Open(NewNumbersFile("F" + std::to_string(n) + ".DAT")), 0) << n;
    }
    // The same file again shares its attachment.
    RecmanFile again(&engine_);
    EXPECT_EQ(again.Open(Path("F0.DAT")), 0);
    RecmanFile eleventh(&engine_);
    const std::string path = NewNumbersFile("F10.DAT");
    EXPECT_EQ(eleventh.Open(path), RECMAN_FILE_TABLE_FULL);
    {
        std::lock_guard lock(diagnostics_mutex);
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_EQ(diagnostics[0].rfind("128 Record manager: cannot open ", 0), 0u)
            << diagnostics[0];
    }
    // Read-only opens are not attached; another client has its own limit.
    EXPECT_EQ(eleventh.Open(path, RECMAN_MODE_READ_ONLY), 0);
    ASSERT_EQ(eleventh.Close(), 0);
    RecmanFile other(&interface_);
    EXPECT_EQ(other.Open(path), 0);
    // Closing one makes room.
    ASSERT_EQ(files[3]->Close(), 0);
    EXPECT_EQ(eleventh.Open(path), 0);
    platform::SetDiagnosticSink({});
}

TEST_F(RecmanSharingTest, FilesOpenedInsideATransactionJoinItOrWaitForItsEnd) {
    std::vector<std::string> diagnostics;
    platform::SetDiagnosticSink(
        [&](uint32_t, const std::string& text) { diagnostics.push_back(text); });
    const std::string first_path = NewNumbersFile("T1.DAT");
    const std::string second_path = NewNumbersFile("T2.DAT");
    const std::string third_path = NewNumbersFile("T3.DAT");
    RecmanFile first(&engine_);
    ASSERT_EQ(first.Open(first_path), 0);

    // Only read so far: the new file joins the transaction.
    ASSERT_EQ(first.Begin(), 0);
    EXPECT_EQ(GetEqual(first, 1), RECMAN_KEY_NOT_FOUND);
    RecmanFile second(&engine_);
    ASSERT_EQ(second.Open(second_path), 0);
    Bytes a = Numbered(1);
    Bytes b = Numbered(2);
    ASSERT_EQ(first.Insert(a), 0);
    ASSERT_EQ(second.Insert(b), 0);
    ASSERT_EQ(first.Abort(), 0);
    EXPECT_EQ(AllNumbers(first), (std::vector<int32_t>{}));
    EXPECT_EQ(AllNumbers(second), (std::vector<int32_t>{}));

    // After a write: readable at once, writable once the transaction is over.
    RecmanFile seeded(&interface_);
    ASSERT_EQ(seeded.Open(third_path), 0);
    Bytes seed = Numbered(7);
    ASSERT_EQ(seeded.Insert(seed), 0);
    ASSERT_EQ(seeded.Close(), 0);
    ASSERT_EQ(first.Begin(), 0);
    ASSERT_EQ(first.Insert(a), 0);
    RecmanFile third(&engine_);
    ASSERT_EQ(third.Open(third_path), 0);
    EXPECT_EQ(GetEqual(third, 7), 0);
    Bytes c = Numbered(3);
    EXPECT_EQ(third.Insert(c), RECMAN_NOT_ALLOWED);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("T3.DAT"), std::string::npos);
    ASSERT_EQ(first.End(), 0);
    EXPECT_EQ(third.Insert(c), 0);
    // It takes part in the next transaction.
    ASSERT_EQ(first.Begin(), 0);
    Bytes d = Numbered(4);
    Bytes e = Numbered(5);
    ASSERT_EQ(third.Insert(d), 0);
    ASSERT_EQ(first.Insert(e), 0);
    ASSERT_EQ(first.Abort(), 0);
    EXPECT_EQ(AllNumbers(third), (std::vector<int32_t>{3, 7}));
    EXPECT_EQ(AllNumbers(first), (std::vector<int32_t>{1}));
    platform::SetDiagnosticSink({});
}

TEST_F(RecmanSharingTest, ClosingAFileInsideATransactionKeepsItsChanges) {
    const std::string path = NewNumbersFile("CLOSE.DAT");
    RecmanFile keeper(&engine_);
    ASSERT_EQ(keeper.Begin(), 0);
    {
        RecmanFile file(&engine_);
        ASSERT_EQ(file.Open(path), 0);
        Bytes record = Numbered(5);
        ASSERT_EQ(file.Insert(record), 0);
        ASSERT_EQ(file.Close(), 0);
    }
    // Still held by the transaction: not replaceable meanwhile.
    EXPECT_EQ(CreateFile(path, NumbersLayout(), RECMAN_CREATE_REPLACE), RECMAN_FILE_LOCKED);
    ASSERT_EQ(keeper.End(), 0);
    RecmanFile file(&interface_);
    ASSERT_EQ(file.Open(path), 0);
    EXPECT_EQ(AllNumbers(file), (std::vector<int32_t>{5}));
}

TEST_F(RecmanSharingTest, AForkedChildStartsAfreshInsteadOfUsingInheritedState) {
    const std::string path = NewNumbersFile("FORK.DAT");
    RecmanFile file;
    ASSERT_EQ(file.Open(path), 0);
    Bytes record = Numbered(9);
    ASSERT_EQ(file.Insert(record), 0);
    const pid_t child = fork();
    if (child == 0) {
        int failures = 0;
        Bytes found(16);
        failures += file.Step(RECMAN_GET_FIRST, 0, found) != RECMAN_FILE_NOT_OPEN;
        RecmanFile fresh;
        failures += fresh.Open(path) != 0;
        failures += GetEqual(fresh, 9) != 0;
        Bytes mine = Numbered(10);
        failures += fresh.Insert(mine) != 0;
        failures += fresh.Close() != 0;
        _exit(failures);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(AllNumbers(file), (std::vector<int32_t>{9, 10}));
}

std::vector<std::string> NamesStartingWith(const std::filesystem::path& directory,
                                           const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RecmanSharingTest, FilesOfDeadProcessesAreSwept) {
    const std::string path = NewNumbersFile("SWEEP.DAT");
    std::string dead_prefix;
    {
        Helper idle({"idle", path});
        ASSERT_EQ(idle.ReadLine(), "ready");
        dead_prefix = "p" + std::to_string(idle.pid()) + "-";
        const auto names = NamesStartingWith(state_.path(), dead_prefix);
        ASSERT_EQ(names.size(), 2u);  // its lock file and its client database
        idle.Kill();
    }
    EXPECT_EQ(NamesStartingWith(state_.path(), dead_prefix).size(), 2u);
    Helper next({"get", path, "1"});
    EXPECT_EQ(next.ReadLine(), std::to_string(RECMAN_KEY_NOT_FOUND));
    EXPECT_EQ(NamesStartingWith(state_.path(), dead_prefix), std::vector<std::string>{});
}

TEST_F(RecmanSharingTest, SweepingKeepsSuperJournalsThatJournalsStillName) {
    const std::filesystem::path dir = state_.path() / "sweep";
    std::filesystem::create_directories(dir);
    auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
    };
    const std::string hot_journal = data_.file("X.DAT-journal");
    std::ofstream(hot_journal) << "journal";
    write("pdead-1.lock", "");
    write("pdead-1-c1.db", "");
    write("pdead-1-c1.db-mj0001", hot_journal + std::string(1, '\0'));
    write("pdead-1-c2.db", "");
    write("pdead-1-c2.db-mj0002", data_.file("GONE.DAT-journal") + std::string(1, '\0'));
    write("palive-2.lock", "");
    write("palive-2-c1.db", "");
    const int alive = open((dir / "palive-2.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(alive, 0);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(alive, F_OFD_SETLK, &lock), 0);

    recman::SweepStateDirectory(dir.string(), "pself-3");
    EXPECT_EQ(NamesStartingWith(dir, "pdead-1"),
              (std::vector<std::string>{"pdead-1-c1.db-mj0001", "pdead-1.lock"}));
    EXPECT_EQ(NamesStartingWith(dir, "palive-2").size(), 2u);

    // Once SQLite has dealt with the journal, the super-journal goes too.
    std::filesystem::remove(hot_journal);
    recman::SweepStateDirectory(dir.string(), "pself-3");
    EXPECT_EQ(NamesStartingWith(dir, "pdead-1"), std::vector<std::string>{});
    close(alive);
}

}  // namespace
