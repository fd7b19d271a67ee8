#include "engine/cvstatusstatic.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(cvStatusStaticTest, SetsAndAnnouncesTextsUntilItsWindowIsGone) {
    cvStatusStatic line("Server Status");
    std::vector<std::string> heard;
    line.SetListener([&](const std::string& text) { heard.push_back(text); });
    EXPECT_EQ(line.Text(), "Server Status");
    EXPECT_TRUE(line.SetText("Ready"));
    EXPECT_TRUE(line.SetText("Server Ready"));
    line.Close();
    EXPECT_FALSE(line.SetText("Server Stopped"));
    EXPECT_EQ(line.Text(), "Server Ready");
    EXPECT_EQ(heard, (std::vector<std::string>{"Ready", "Server Ready"}));
}

TEST(cvStatusStaticTest, ListenersHearEveryTextInTheOrderTheLineTookThem) {
    cvStatusStatic line;
    std::vector<std::string> heard;
    line.SetListener([&](const std::string& text) {
        heard.push_back(text);
        EXPECT_EQ(line.Text(), text);  // reading from the listener is allowed
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&line, w] {
            for (int i = 0; i < 200; ++i) {
                EXPECT_TRUE(line.SetText(std::to_string(w) + "/" + std::to_string(i)));
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    ASSERT_EQ(heard.size(), 600u);
    EXPECT_EQ(heard.back(), line.Text());
}

}  // namespace
