// The day's message lists, cancel, cancel all and resend, and the report selection.

#include "model/messagelists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/messagecommands.h"
#include "model/messagereport.h"
#include "model/tvpagemsg.h"
#include "model/tvpagenet.h"
#include "objects/cvbobmonitor.h"
#include "storage/cvrecset.h"
#include "tests/model/pagingfixture.h"

namespace {

using model_testing::PagingFixture;

// The message numbers of the saves announced, in order.
class SaveOrder : public cvBobMonitor {
  public:
    void ObjectSaved(cvBob& object) override {
        if (object.IsKindOf("tvPageMsg")) {
            numbers.push_back(object.GetInt("PAGEMSGNBR"));
        }
    }
    std::vector<int> numbers;
};

class MessageListsTest : public PagingFixture {
  protected:
    void SetUp() override {
        PagingFixture::SetUp();
        device_ = AddDevice("Ann", AddNetwork("Net"));
        const uint32_t yesterday = PackDate(2026, 3, 9);
        const uint32_t tomorrow = PackDate(2026, 3, 11);
        queued_today_ = AddMessage(device_, 0, Today(), PackTime(9, 0, 0));
        queued_asap_ = AddMessage(device_, 0, 0, 0);
        queued_yesterday_ = AddMessage(device_, 0, yesterday, PackTime(23, 0, 0));
        AddMessage(device_, 0, tomorrow, PackTime(1, 0, 0));    // not due yet
        AddMessage(device_, 2, yesterday, PackTime(10, 0, 0));  // sent, not today
        sent_ = AddMessage(device_, 2, Today(), PackTime(8, 0, 0));
        error_ = AddMessage(device_, 1, Today(), PackTime(10, 0, 0));
        cancelled_ = AddMessage(device_, 6, Today(), PackTime(11, 0, 0));
        holder_ = tvPageNet::Create(manager());
    }

    static std::vector<int> Numbers(const cvBobSet& list) {
        std::vector<int> numbers;
        for (int i = 0; i < list.GetCount(); ++i) {
            numbers.push_back(list.GetAt(i)->GetInt("PAGEMSGNBR"));
        }
        return numbers;
    }
    cvRec Stored(int number) {
        cvFile& file = Table(kPageMsgTable);
        file.ClearKey(0);
        EXPECT_NE(file.PutInt("PAGEMSGNBR", number), 0);
        EXPECT_EQ(file.GetEqual(0), 0);
        return cvRec(file, cvRec::kFromFile);
    }

    int device_ = 0;
    int queued_today_ = 0, queued_asap_ = 0, queued_yesterday_ = 0;
    int sent_ = 0, error_ = 0, cancelled_ = 0;
    cvBobRoot<tvPageNet> holder_;
};

TEST_F(MessageListsTest, TheDaysQueuedAndSentLists) {
    EXPECT_EQ(Numbers(holder_->QueuedMessages()),
              (std::vector<int>{queued_asap_, queued_yesterday_, queued_today_}));
    EXPECT_EQ(Numbers(holder_->SentMessages()), (std::vector<int>{cancelled_, error_, sent_}));
    EXPECT_TRUE(holder_->QueuedMessages().GetAt(0)->IsKindOf("tvPageMsg"));
}

TEST_F(MessageListsTest, ChangedMessagesStayOnlyWhereTheyBelong) {
    struct Case {
        int status;
        uint32_t date;
        bool queued;
        bool sent;
    };
    const Case cases[] = {{0, 0, true, false},
                          {0, PackDate(2026, 3, 10), true, false},
                          {0, PackDate(2026, 3, 11), false, false},
                          {2, PackDate(2026, 3, 10), false, true},
                          {6, PackDate(2026, 3, 9), false, false}};
    for (const Case& c : cases) {
        cvRec message(Table(kPageMsgTable));
        ASSERT_NE(message.PutInt("STATUS", c.status), 0);
        ASSERT_NE(message.PutDate("SCHEDDATE", c.date), 0);
        EXPECT_EQ(BelongsInQueuedList(message, Today()), c.queued) << c.status << " " << c.date;
        EXPECT_EQ(BelongsInSentList(message, Today()), c.sent) << c.status << " " << c.date;
    }

    // The engine sends the message due today in a graph of its own.
    static_cast<void>(holder_->QueuedMessages());
    static_cast<void>(holder_->SentMessages());
    cvBobRoot<tvPageMsg> sending = tvPageMsg::Load(manager(), queued_today_);
    ASSERT_NE(sending->PutInt("STATUS", 2), 0);
    ASSERT_EQ(sending->Save(), 0);
    holder_->MessageChanged(*sending);
    EXPECT_EQ(Numbers(holder_->QueuedMessages()),
              (std::vector<int>{queued_asap_, queued_yesterday_}));
    EXPECT_EQ(Numbers(holder_->SentMessages()),
              (std::vector<int>{queued_today_, cancelled_, error_, sent_}));
    EXPECT_EQ(holder_->SentMessages().GetAt(0)->GetInt("STATUS"), 2);
}

TEST_F(MessageListsTest, CancelStoresCancelledNowAndMovesTheRow) {
    cvBobSet& queued = holder_->QueuedMessages();
    static_cast<void>(holder_->SentMessages());
    auto* message = static_cast<tvPageMsg*>(queued.GetAt(1));  // yesterday's
    ASSERT_EQ(CancelMessage(*message), 0);
    holder_->MessageChanged(*message);
    const cvRec stored = Stored(queued_yesterday_);
    EXPECT_EQ(stored.GetInt("STATUS"), 6);
    EXPECT_EQ(stored.GetDate("SCHEDDATE"), Today());
    EXPECT_EQ(stored.GetTime("SCHEDTIME"), PackTime(12, 0, 0));
    EXPECT_EQ(Numbers(queued), (std::vector<int>{queued_asap_, queued_today_}));
    EXPECT_EQ(Numbers(holder_->SentMessages()).front(), queued_yesterday_);
}

TEST_F(MessageListsTest, CancelAllGoesFromTheLastRowToTheFirst) {
    SaveOrder order;
    ASSERT_EQ(holder_->CancelAll(), 0);
    EXPECT_EQ(order.numbers, (std::vector<int>{queued_today_, queued_yesterday_, queued_asap_}));
    EXPECT_EQ(holder_->QueuedMessages().GetCount(), 0);
    for (int number : {queued_today_, queued_yesterday_, queued_asap_}) {
        EXPECT_EQ(Stored(number).GetInt("STATUS"), 6) << number;
    }
    // The one not due yet is not in the list and stays queued.
    int still_queued = 0;
    for (const cvRec& row : StoredRows(kPageMsgTable)) {
        still_queued += row.GetInt("STATUS") == 0 ? 1 : 0;
    }
    EXPECT_EQ(still_queued, 1);
}

TEST_F(MessageListsTest, ResendAddsANewQueuedMessageAndLeavesTheOldOne) {
    auto* old = static_cast<tvPageMsg*>(holder_->SentMessages().GetAt(2));
    ASSERT_EQ(old->GetInt("PAGEMSGNBR"), sent_);
    int32_t number = 0;
    ASSERT_EQ(ResendMessage(*old, &number), 0);
    const cvRec copy = Stored(number);
    EXPECT_EQ(copy.GetInt("STATUS"), 0);
    EXPECT_EQ(copy.GetDate("SCHEDDATE"), 0u);
    EXPECT_EQ(copy.GetInt("PAGEDEVNBR"), device_);
    EXPECT_EQ(copy.GetText("TEXT"), "hello");
    EXPECT_EQ(Stored(sent_).GetInt("STATUS"), 2);
    holder_->MessageChanged(copy);
    // Due at once, after the message that was already due at once.
    EXPECT_EQ(Numbers(holder_->QueuedMessages()),
              (std::vector<int>{queued_asap_, number, queued_yesterday_, queued_today_}));
}

TEST_F(MessageListsTest, ReportSelectsByDeviceAndPeriodWithItsTitle) {
    const int bob = AddDevice("Bob", AddNetwork("Other"));
    const int bobs = AddMessage(bob, 2, Today(), PackTime(7, 0, 0));
    cvRecSet rows;
    EXPECT_EQ(SelectMessagesForReport(manager(), Today(), Today(), device_, rows), 4);
    for (int i = 0; i < rows.GetCount(); ++i) {
        EXPECT_EQ(rows.GetAt(i)->GetInt("PAGEDEVNBR"), device_);
    }
    cvRecSet all;
    EXPECT_EQ(SelectMessagesForReport(manager(), PackDate(2026, 3, 9), Today(), 0, all), 7);
    EXPECT_GE(all.FindByPosition(kPageMsgTable, Stored(bobs).Position()), 0);
    cvRecSet none;
    EXPECT_EQ(
        SelectMessagesForReport(manager(), PackDate(2026, 3, 1), PackDate(2026, 3, 2), 0, none), 0);

    const DateTextFormat month_first{};
    EXPECT_EQ(MessageReportTitle("Ann", Today(), Today(), month_first),
              "Messages for Ann during 03/10/2026");
    EXPECT_EQ(MessageReportTitle("", PackDate(2026, 3, 9), Today(), month_first),
              "Messages for All Devices during 03/09/2026 through 03/10/2026");
}

}  // namespace
