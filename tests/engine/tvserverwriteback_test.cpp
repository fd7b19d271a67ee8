// The send cycle when the database cannot store what a carrier answered: the outcome is
// kept and stored first, nothing is sent meanwhile, and sending goes on by itself.
// Writes to the messages file fail through a SQLite file layer that fails on demand,
// as a full disk or a failing one would.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/pagingcodes.h"
#include "tests/engine/serverfixture.h"
#include "tests/platform/recman/faultvfs.h"
#include "tests/support/snpptestserver.h"

namespace {

using engine_testing::ServerFixture;

// Before any test opens a file, so that every connection goes through the layer.
const bool kFaultLayer = [] {
    fault_vfs::Install();
    fault_vfs::FaultyNamesContain("PAGEMSG");
    return true;
}();

class tvServerWriteBackTest : public ServerFixture {
  protected:
    void TearDown() override {
        fault_vfs::FailWrites(fault_vfs::Fault::kNone);
        ServerFixture::TearDown();
    }
    void SendWhileWritesFail(fault_vfs::Fault fault);

    size_t CountInfo(const std::string& text) const {
        const std::vector<std::string> infos = InfoTexts();
        return static_cast<size_t>(std::count(infos.begin(), infos.end(), text));
    }
};

std::vector<std::string> Texts(const SnppTestServer& carrier) {
    std::vector<std::string> texts;
    for (const std::string& command : carrier.Commands()) {
        if (command.rfind("MESS ", 0) == 0) {
            texts.push_back(command.substr(5));
        }
    }
    return texts;
}

// Three queued pages; writes fail with `fault` from the first cycle on.
void tvServerWriteBackTest::SendWhileWritesFail(fault_vfs::Fault fault) {
    ASSERT_TRUE(kFaultLayer);
    {
        SnppTestServer carrier;
        const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
        const int32_t device = AddDevice("Pager", network, "1234");
        const std::vector<int32_t> messages = {
            AddMessage(device, "first"), AddMessage(device, "second"), AddMessage(device, "third")};
        StartEngine();

        fault_vfs::FailWrites(fault);
        Fire();
        // The carrier took the first page; its outcome could not be stored.
        EXPECT_EQ(Texts(carrier), std::vector<std::string>{"first"});
        EXPECT_EQ(CountInfo("Unable to save updated message!"), 1u);
        EXPECT_EQ(CountInfo("Sending paused: updated messages cannot be saved"), 1u);

        // Cycles while the writes still fail send nothing, and say so once a minute.
        for (int cycle = 0; cycle < 5; ++cycle) {
            Fire(std::chrono::seconds(10));
        }
        EXPECT_EQ(Texts(carrier).size(), 1u);
        EXPECT_EQ(CountInfo("Sending paused: updated messages cannot be saved"), 1u);
        Fire(std::chrono::seconds(15));
        EXPECT_EQ(CountInfo("Sending paused: updated messages cannot be saved"), 2u);
        EXPECT_EQ(CountStatus("Sending paused: updated messages cannot be saved"), 2u);
        for (const int32_t message : messages) {
            EXPECT_EQ(StatusOf(message), kStatusQueued);
        }

        // Once writes work again the kept outcome is stored first, then the rest go,
        // each exactly once.
        fault_vfs::FailWrites(fault_vfs::Fault::kNone);
        for (int cycle = 0; cycle < 4; ++cycle) {
            Fire();
        }
        EXPECT_EQ(Texts(carrier), (std::vector<std::string>{"first", "second", "third"}));
        EXPECT_EQ(CountInfo("Updated messages saved; sending resumed"), 1u);
        for (const int32_t message : messages) {
            EXPECT_EQ(StatusOf(message), kStatusSent);
        }
    }
}

TEST_F(tvServerWriteBackTest,
       OnAFullDiskTheAcknowledgedPageIsKeptAndSendingPausesUntilSpaceReturns) {
    SendWhileWritesFail(fault_vfs::Fault::kDiskFull);
}

TEST_F(tvServerWriteBackTest, OnAnyWriteErrorTheAcknowledgedPageIsKeptAndSendingPausesUntilItEnds) {
    SendWhileWritesFail(fault_vfs::Fault::kIoError);
}

}  // namespace
