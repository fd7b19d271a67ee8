#include "transport/csmtpmessage.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "tests/support/scopedenv.h"

namespace {

// 2024-07-15 14:30:05 UTC (a Monday) and 2024-01-15 14:30:05 UTC (a Monday).
constexpr std::time_t kSummer = 1721053805;
constexpr std::time_t kWinter = 1705329005;

// Runs with the local time zone set to `zone` for the life of the object.
class ZoneGuard {
  public:
    explicit ZoneGuard(const char* zone) : env_("TZ", std::string(zone)) { ::tzset(); }
    ~ZoneGuard() { ::tzset(); }

  private:
    ScopedEnv env_;
};

TEST(SmtpAddressTest, TheDisplayFormNamesTheMailboxAfterTheFriendlyName) {
    EXPECT_EQ((CSMTPAddress{"Pager 12", "5551234@pager.example.net"}).DisplayForm(),
              "Pager 12 <5551234@pager.example.net>");
    EXPECT_EQ((CSMTPAddress{"", "ops@example.com"}).DisplayForm(), "ops@example.com");
}

TEST(SmtpMessageTest, TheHeaderHasTheLinesInOrderAndOnlyThoseThatAreSet) {
    const ZoneGuard zone("EST5EDT,M3.2.0,M11.1.0");
    CSMTPMessage message;
    message.from = {"", "ops@example.com"};
    message.AddRecipient({"Pager 12", "5551234@pager.example.net"});
    // The header of now has the same lines around its date.
    const std::string now = message.GetHeader();
    EXPECT_EQ(now.rfind("From: ops@example.com\r\nTo: Pager 12 <5551234@pager.example.net>\r\n"
                        "Date: ",
                        0),
              0u)
        << now;
    EXPECT_EQ(message.HeaderAt(kWinter),
              "From: ops@example.com\r\n"
              "To: Pager 12 <5551234@pager.example.net>\r\n"
              "Date: Mon, 15 Jan 2024 09:30:05 -0500\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-type: text/plain; charset=US-ASCII\r\n"
              "\r\n");

    EXPECT_EQ(message.AddRecipient({"", "second@pager.example.net"}, CSMTPMessage::kTo), 1);
    EXPECT_EQ(message.AddRecipient({"Desk", "desk@example.com"}, CSMTPMessage::kCc), 0);
    EXPECT_EQ(message.AddRecipient({"", "hidden@example.com"}, CSMTPMessage::kBcc), 0);
    EXPECT_EQ(message.AddRecipient({"", "nowhere@example.com"}, 3), -1);
    message.subject = "Server down  TV#57#";
    message.reply_to = {"Operations", "reply@example.com"};
    message.content_type = "text/html";
    EXPECT_EQ(message.HeaderAt(kSummer),
              "From: ops@example.com\r\n"
              "To: Pager 12 <5551234@pager.example.net>,second@pager.example.net\r\n"
              "Cc: Desk <desk@example.com>\r\n"
              "Subject: Server down  TV#57#\r\n"
              "Date: Mon, 15 Jul 2024 10:30:05 -0400\r\n"
              "Reply-To: Operations <reply@example.com>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-type: text/html; charset=US-ASCII\r\n"
              "\r\n");
}

TEST(SmtpMessageTest, LineBreaksInHeaderValuesCannotStartHeaderLines) {
    const ZoneGuard zone("UTC0");
    CSMTPMessage message;
    message.from = {"", "ops@example.com"};
    message.AddRecipient({"Pager\r\nBcc: victim@example.com", "5551234@pager.example.net"});
    message.subject = "one\ntwo";
    const std::string header = message.HeaderAt(kWinter);
    EXPECT_NE(header.find("To: Pager  Bcc: victim@example.com <5551234@pager.example.net>\r\n"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find("Subject: one two\r\n"), std::string::npos) << header;
}

TEST(SmtpMessageTest, TheDateCarriesTheZoneOffsetOfThatMomentDaylightTimeIncluded) {
    struct Case {
        const char* zone;
        std::time_t when;
        std::string date;
    };
    const Case cases[] = {
        {"UTC0", kWinter, "Mon, 15 Jan 2024 14:30:05 +0000"},
        {"EST5EDT,M3.2.0,M11.1.0", kWinter, "Mon, 15 Jan 2024 09:30:05 -0500"},
        {"EST5EDT,M3.2.0,M11.1.0", kSummer, "Mon, 15 Jul 2024 10:30:05 -0400"},
        {"IST-5:30", kWinter, "Mon, 15 Jan 2024 20:00:05 +0530"},
        {"NST3:30NDT,M3.2.0,M11.1.0", kSummer, "Mon, 15 Jul 2024 12:00:05 -0230"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", kSummer, "Mon, 15 Jul 2024 16:30:05 +0200"},
    };
    for (const Case& c : cases) {
        const ZoneGuard zone(c.zone);
        EXPECT_EQ(SmtpDate(c.when), c.date) << c.zone;
    }
}

TEST(SmtpMessageTest, ZoneOffsetsFromTheBias) {
    EXPECT_EQ(ZoneOffset(300), "-0500");
    EXPECT_EQ(ZoneOffset(-330), "+0530");
    EXPECT_EQ(ZoneOffset(0), "+0000");
    EXPECT_EQ(ZoneOffset(210), "-0330");
    EXPECT_EQ(ZoneOffset(30), "-0030");  // under an hour: the sign stays
    EXPECT_EQ(ZoneOffset(-45), "+0045");
}

TEST(SmtpMessageTest, SetBodyDoublesEveryDotThatBeginsALine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {".starts with a dot", "..starts with a dot"},
        {"line one\r\n.\r\nline three", "line one\r\n..\r\nline three"},
        {"a\n.b\n..c", "a\n..b\n...c"},
        {"mid.dle. dots.", "mid.dle. dots."},
        {"\n.", "\n.."},
        {"x\r.y", "x\r.y"},  // a CR alone does not start a line
    };
    for (const auto& [text, stored] : cases) {
        CSMTPMessage message;
        message.SetBody(text);
        EXPECT_EQ(message.Body(), stored) << text;
    }
}

}  // namespace
