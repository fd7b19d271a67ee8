// Ending a client: what it had open and uncommitted goes, and a program that makes and
// ends clients over and over holds no more than the clients alive.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/recman/recman.h"
#include "platform/recman/registry.h"
#include "tests/platform/recman/recmantesting.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using namespace recman_testing;

Bytes Numbered(int32_t number) {
    Bytes record(16, 0);
    Put32(record, 0, number);
    return record;
}

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

int Reset(const ClientId& client) {
    uint32_t length = 0;
    return recman_call_id(RECMAN_RESET, nullptr, nullptr, &length, nullptr, 0, 0, client.data());
}

class RecmanResetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CreateFile(path_, SpecLayout(16, {{{1, 4, 0, RECMAN_TYPE_INTEGER}}})), 0);
    }

    TempDir data_;
    TempDir state_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv wait_env_{"TOLVANE_RECMAN_LOCK_WAIT_MS", "300"};
    const std::string path_ = data_.file("NUMBERS.DAT");
};

TEST_F(RecmanResetTest, AnEndedClientLosesItsTransactionAndItsOpenFiles) {
    const ClientId ended = NewClientId();
    const ClientId reader_id = NewClientId();
    RecmanFile file(&ended);
    ASSERT_EQ(file.Open(path_), 0);
    Bytes kept = Numbered(1);
    ASSERT_EQ(file.Insert(kept), 0);
    ASSERT_EQ(file.Begin(), 0);
    Bytes uncommitted = Numbered(2);
    ASSERT_EQ(file.Insert(uncommitted), 0);

    ASSERT_EQ(Reset(ended), 0);
    // The block is open no more, and the write lock of the transaction is gone: another
    // client writes at once and sees only what was committed.
    Bytes record(16);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), RECMAN_FILE_NOT_OPEN);
    RecmanFile reader(&reader_id);
    ASSERT_EQ(reader.Open(path_), 0);
    Bytes other = Numbered(3);
    EXPECT_EQ(reader.Insert(other), 0);
    std::vector<int64_t> numbers;
    for (int status = reader.Step(RECMAN_GET_FIRST, 0, record); status == 0;
         status = reader.Step(RECMAN_GET_NEXT, 0, record)) {
        numbers.push_back(Get32(record, 0));
    }
    EXPECT_EQ(numbers, (std::vector<int64_t>{1, 3}));

    // The same id afterwards is a fresh client that works as any other.
    ASSERT_EQ(file.Open(path_), 0);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), 0);
    // Ending a client that has nothing, or never existed, is no error.
    EXPECT_EQ(Reset(NewClientId()), 0);
}

TEST_F(RecmanResetTest, AThousandClientsMadeAndEndedLeaveNothingBehind) {
    recman::Registry& registry = recman::Registry::Current();
    const auto cycle = [this] {
        const ClientId client = NewClientId();
        RecmanFile file(&client);
        ASSERT_EQ(file.Open(path_), 0);
        Bytes record(16);
        static_cast<void>(file.Step(RECMAN_GET_FIRST, 0, record));
        ASSERT_EQ(file.Close(), 0);
        ASSERT_EQ(Reset(client), 0);
    };
    cycle();  // whatever the first use sets up for the process
    const size_t clients = registry.ClientCount();
    const size_t descriptors = OpenDescriptors();
    for (int i = 0; i < 1000; ++i) {
        cycle();
    }
    EXPECT_EQ(registry.ClientCount(), clients);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
