#include "transport/dnsmessage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dnstestserver.h"

namespace {

using List = std::vector<tvMailExchanger>;

std::vector<tvMailExchanger> Parse(const std::string& answer) {
    return ParseMxAnswer(reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
}

const std::string kQuery = BuildDnsQuery("pager.example.net", kDnsTypeMx);

TEST(DnsQueryTest, TheQueryCarriesItsIdentifierRecursionAndOneMxQuestion) {
    const std::string expected =
        std::string("\x11\xDF\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12) +
        std::string(
            "\x05pager\x07"
            "example\x03net\x00",
            19) +
        std::string("\x00\x0f\x00\x01", 4);
    EXPECT_EQ(kQuery, expected);
    // One trailing dot names the same domain.
    EXPECT_EQ(BuildDnsQuery("pager.example.net.", kDnsTypeMx), expected);
}

TEST(DnsQueryTest, NamesThatCannotBeWrittenGiveNoQuery) {
    const std::string long_label(64, 'a');
    std::string long_name;
    for (int i = 0; i < 5; ++i) {
        long_name += std::string(60, 'b') + ".";
    }
    long_name += "net";
    for (const std::string& domain :
         {std::string(), std::string("."), std::string("pager..example.net"),
          std::string(".example.net"), long_label + ".net", long_name}) {
        EXPECT_EQ(BuildDnsQuery(domain, kDnsTypeMx), "") << domain;
    }
    EXPECT_FALSE(BuildDnsQuery(std::string(63, 'a') + ".net", kDnsTypeMx).empty());
}

TEST(DnsAnswerTest, AddressRecordsFillTheEntriesByPositionNotByOwner) {
    // The address records name other hosts (and come in another order), yet the
    // first fills the first entry and the second the second.
    const std::string answer = DnsAnswer(kQuery)
                                   .Mx(10, "mx1.example.net")
                                   .Mx(20, "mx2.example.net")
                                   .Ns("ns.example.net")
                                   .A("mx2.example.net", "192.0.2.2")
                                   .A("unrelated.example.org", "192.0.2.1")
                                   .Build();
    const List expected = {{10, "mx1.example.net", "192.0.2.2"},
                           {20, "mx2.example.net", "192.0.2.1"}};
    EXPECT_EQ(Parse(answer), expected);
}

TEST(DnsAnswerTest, EqualPreferencesKeepTheirOrderWhenSorted) {
    const std::string answer = DnsAnswer(kQuery)
                                   .Mx(20, "c.example.net")
                                   .Mx(10, "a.example.net")
                                   .Mx(10, "b.example.net")
                                   .Build();
    const List list = Parse(answer);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].host, "a.example.net");
    EXPECT_EQ(list[1].host, "b.example.net");
    EXPECT_EQ(list[2].host, "c.example.net");
    EXPECT_EQ(list[0].preference, 10);
    EXPECT_EQ(list[2].preference, 20);
    EXPECT_EQ(list[0].address, "");
}

TEST(DnsAnswerTest, TheAnswersThatGiveNothingOrFewerEntries) {
    struct Case {
        const char* name;
        std::string answer;
        List expected;
    };
    const Case cases[] = {
        {"answer count 0, even with records elsewhere",
         DnsAnswer(kQuery).Ns("ns.example.net").A("mx.example.net", "192.0.2.1").Build(),
         {}},
        {"an alias first: one entry fewer, the alias not an entry",
         DnsAnswer(kQuery)
             .Cname("mail.example.com")
             .Mx(5, "mx.example.com")
             .A("mx.example.com", "192.0.2.5")
             .Build(),
         {{5, "mx.example.com", "192.0.2.5"}}},
        {"an alias alone", DnsAnswer(kQuery).Cname("mail.example.com").Build(), {}},
        {"an unknown record ends the walk: later addresses are not read",
         DnsAnswer(kQuery)
             .Mx(10, "mx.example.net")
             .Other(16, std::string("\x03txt", 4), DnsAnswer::kAuthority)
             .A("mx.example.net", "192.0.2.1")
             .Build(),
         {{10, "mx.example.net", ""}}},
        {"more mail exchangers than the answer count: the extra ones are ignored",
         DnsAnswer(kQuery)
             .Mx(10, "mx1.example.net")
             .Mx(5, "mx2.example.net", DnsAnswer::kAdditional)
             .Build(),
         {{10, "mx1.example.net", ""}}},
        {"an address record among the mail exchangers takes an entry's place",
         DnsAnswer(kQuery)
             .Mx(10, "mx1.example.net")
             .Ns("ns.example.net", DnsAnswer::kAnswer)
             .A("mx1.example.net", "192.0.2.1")
             .Mx(5, "mx2.example.net", DnsAnswer::kAdditional)
             .Build(),
         {{10, "mx1.example.net", ""}}},
        {"an answer record that is not a mail exchanger leaves no empty entry",
         DnsAnswer(kQuery)
             .Mx(10, "mx1.example.net")
             .Ns("ns.example.net", DnsAnswer::kAnswer)
             .Build(),
         {{10, "mx1.example.net", ""}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.answer), c.expected) << c.name;
    }
}

TEST(DnsAnswerTest, CompressedExchangeNamesAreFollowed) {
    // The exchange "mx" followed by a pointer to "example.net" inside the question.
    std::string answer = DnsAnswer(kQuery).Build();
    answer[7] = 1;  // one answer
    std::string data = std::string("\x00\x0a\x02mx\xC0\x12", 7);
    answer += std::string("\xC0\x0C\x00\x0f\x00\x01\x00\x00\x0e\x10\x00", 11);
    answer.push_back(static_cast<char>(data.size()));
    answer += data;
    const List expected = {{10, "mx.example.net", ""}};
    EXPECT_EQ(Parse(answer), expected);
}

TEST(DnsAnswerTest, UnreadableAnswersGiveNothingAndNeverReadPastTheEnd) {
    const std::string good = DnsAnswer(kQuery)
                                 .Mx(10, "mx1.example.net")
                                 .Mx(20, "mx2.example.net")
                                 .A("mx1.example.net", "192.0.2.1")
                                 .Build();
    ASSERT_EQ(Parse(good).size(), 2u);
    // Every shorter datagram (read from a buffer of exactly its size, so that the
    // sanitizers catch any read beyond it) gives nothing.
    for (size_t size = 0; size < good.size(); ++size) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(size));
        EXPECT_TRUE(ParseMxAnswer(cut.data(), cut.size()).empty()) << size;
    }

    auto with_exchange = [&](const std::string& data) {
        std::string answer = DnsAnswer(kQuery).Build();
        answer[7] = 1;
        answer += std::string("\xC0\x0C\x00\x0f\x00\x01\x00\x00\x0e\x10", 10);
        answer.push_back(static_cast<char>(data.size() >> 8));
        answer.push_back(static_cast<char>(data.size() & 0xFF));
        return answer + data;
    };
    // A pointer to itself, and two pointers to each other.
    const size_t exchange_at = with_exchange("").size() + 2;
    std::string self = std::string("\x00\x0a", 2);
    self.push_back(static_cast<char>(0xC0 | (exchange_at >> 8)));
    self.push_back(static_cast<char>(exchange_at & 0xFF));
    EXPECT_TRUE(Parse(with_exchange(self)).empty());
    std::string pair = std::string("\x00\x0a\x01x", 4);
    pair.push_back(static_cast<char>(0xC0 | (exchange_at >> 8)));
    pair.push_back(static_cast<char>(exchange_at & 0xFF));
    EXPECT_TRUE(Parse(with_exchange(pair)).empty());
    // A pointer past the end of the datagram.
    EXPECT_TRUE(Parse(with_exchange(std::string("\x00\x0a\xFF\xFF", 4))).empty());
    // A name of more than 255 characters, made of pointers into repeated labels.
    std::string labels = std::string("\x00\x0a", 2);
    for (int i = 0; i < 5; ++i) {
        labels += std::string(1, '\x3f') + std::string(63, 'a');
    }
    labels.push_back('\0');
    EXPECT_TRUE(Parse(with_exchange(labels)).empty());
    // A data length running past the end.
    std::string long_data = with_exchange(std::string("\x00\x0a\x00", 3));
    long_data[long_data.size() - 4] = 0x7F;
    EXPECT_TRUE(Parse(long_data).empty());
}

}  // namespace
