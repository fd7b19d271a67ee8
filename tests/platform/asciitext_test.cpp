#include "platform/core/asciitext.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(AsciiTextTest, LettersKeepTheirAsciiFormAndWhatHasNoneIsDropped) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"plain text, ? and ~ stay", "plain text, ? and ~ stay"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Grusse"},
        {"caf\xC3\xA9 na\xC3\xAFve \xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "cafe naive Lodz"},
        {"\xE2\x82\xAC"
         "5 \xE2\x80\x9Cquoted\xE2\x80\x9D",
         "EUR5 \"quoted\""},
        {"ok \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC", "ok  "},  // check mark, CJK: no form
        {"\xF0\x9F\x98\x80smile", "smile"},                    // four-byte emoji
        {"tab\tand\x1B[2J", "tab\tand\x1B[2J"},                // ASCII controls untouched
        {"latin1 \xE9t\xE9", "latin1 t"},                      // not UTF-8: bytes dropped
        {"cut \xC3", "cut "},                                  // sequence cut at the end
        {"\xE2\x82"
         "A",
         "A"},                               // sequence broken midway
        {"\xC0\xAF overlong", " overlong"},  // overlong slash refused
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::TransliterateToAscii(c.in), c.out) << c.in;
    }
}

TEST(AsciiTextTest, ThreadsTransliterateAtTheSameTimeWithoutTouchingTheProcessLocale) {
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, t] {
            for (int i = 0; i < 200; ++i) {
                results[t] = platform::TransliterateToAscii(
                    "Gr\xC3\xBC\xC3\x9F"
                    "e");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& result : results) {
        EXPECT_EQ(result, "Grusse");
    }
    // The process stays in the locale it started in.
    EXPECT_STREQ(setlocale(LC_CTYPE, nullptr), "C");
}

}  // namespace
