// The program's way into the record manager: the version text, calls on behalf of a
// named client, and a message box that aborts the transaction a save holds open.

#include "storage/recordmanagercall.h"

#include <gtest/gtest.h>

#include "log/cveventlog.h"
#include "platform/recman/recman.h"
#include "tests/platform/recman/recmantesting.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace {

using recman_testing::Bytes;

// A one-key file of 8-byte records: a 4-byte number and 4 bytes of payload.
class RecordManagerCallTest : public ::testing::Test {
  protected:
    RecordManagerCallTest() {
        const Bytes layout = recman_testing::SpecLayout(8, {{{1, 4, 0, RECMAN_TYPE_INTEGER}}});
        EXPECT_EQ(recman_testing::CreateFile(path_, layout), 0);
    }

    int Call(uint16_t operation, uint8_t* block, Bytes* record, const RecordManagerClientId* client,
             int8_t key_number = 0) {
        uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
        uint32_t length = record ? static_cast<uint32_t>(record->size()) : 0;
        void* data = record ? record->data() : nullptr;
        if (operation == RECMAN_OPEN) {
            std::copy(path_.begin(), path_.end(), key);
        }
        return RecordManagerCall(operation, block, data, &length, key, key_number, client);
    }

    testing_support::TestEnvironment env_{{.lock_wait_ms = std::nullopt}};
    TempDir& data_ = env_.Directory("data");
    std::string path_ = data_.file("ROWS.DAT");
};

TEST_F(RecordManagerCallTest, VersionTextComesFromTheRecordManager) {
    EXPECT_EQ(RecordManagerVersion(), "Btrieve version 1.0T");
}

TEST_F(RecordManagerCallTest, NamedClientsKeepTheirTransactionsApart) {
    const RecordManagerClientId writer = NewRecordManagerClientId();
    const RecordManagerClientId reader = NewRecordManagerClientId();
    ASSERT_NE(writer, reader);
    alignas(8) uint8_t writer_block[RECMAN_POSITION_BLOCK_SIZE] = {};
    alignas(8) uint8_t reader_block[RECMAN_POSITION_BLOCK_SIZE] = {};
    ASSERT_EQ(Call(RECMAN_OPEN, writer_block, nullptr, &writer), 0);
    ASSERT_EQ(Call(RECMAN_OPEN, reader_block, nullptr, &reader), 0);

    Bytes row = {7, 0, 0, 0, 'a', 'b', 'c', 'd'};
    ASSERT_EQ(
        Call(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS, writer_block, nullptr, &writer), 0);
    ASSERT_EQ(Call(RECMAN_INSERT, writer_block, &row, &writer), 0);
    Bytes seen(8);
    EXPECT_EQ(Call(RECMAN_GET_FIRST, reader_block, &seen, &reader), RECMAN_END_OF_FILE)
        << "another client's uncommitted row is invisible";
    ASSERT_EQ(Call(RECMAN_END_TRANSACTION, writer_block, nullptr, &writer), 0);
    EXPECT_EQ(Call(RECMAN_GET_FIRST, reader_block, &seen, &reader), 0);
    EXPECT_EQ(seen, row);

    EXPECT_EQ(Call(RECMAN_CLOSE, writer_block, nullptr, &writer), 0);
    EXPECT_EQ(Call(RECMAN_CLOSE, reader_block, nullptr, &reader), 0);
}

TEST_F(RecordManagerCallTest, MessageBoxOnTheInterfaceThreadAbortsTheOpenTransaction) {
    const RecordManagerClientId ui = NewRecordManagerClientId();
    SetUserInterfaceClient(ui);
    cvEventLog& log = EventLog();
    std::string shown;
    env_.Presenter().AnswerAllWith(kIdOk);
    env_.Presenter().OnShown([&](const std::string& text, unsigned) { shown = text; });

    alignas(8) uint8_t block[RECMAN_POSITION_BLOCK_SIZE] = {};
    ASSERT_EQ(Call(RECMAN_OPEN, block, nullptr, &ui), 0);
    ASSERT_EQ(Call(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS, block, nullptr, &ui), 0);
    Bytes row = {9, 0, 0, 0, 'w', 'x', 'y', 'z'};
    ASSERT_EQ(Call(RECMAN_INSERT, block, &row, &ui), 0);
    log.SetTransactionOpen(true);

    EXPECT_EQ(log.MessageBox("Update Failed"), kIdOk);
    EXPECT_EQ(shown, "<Transaction Aborted>\n\nUpdate Failed");
    EXPECT_FALSE(log.TransactionOpen());
    EXPECT_EQ(Call(RECMAN_END_TRANSACTION, block, nullptr, &ui), RECMAN_NO_TRANSACTION)
        << "the message box ended the transaction";
    Bytes seen(8);
    EXPECT_EQ(Call(RECMAN_GET_FIRST, block, &seen, &ui), RECMAN_END_OF_FILE)
        << "the aborted insert left nothing";

    EXPECT_EQ(Call(RECMAN_CLOSE, block, nullptr, &ui), 0);
}

}  // namespace
