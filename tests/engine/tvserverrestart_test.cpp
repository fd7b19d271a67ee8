// The window starts and stops the engine each time its Server tab opens and closes: an
// engine that has stopped leaves nothing behind, however often that happens.

#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>

#include "platform/recman/registry.h"
#include "tests/engine/serverfixture.h"

namespace {

using engine_testing::ServerFixture;

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

class tvServerRestartTest : public ServerFixture {
  protected:
    void Restart() {
        main_->engine.reset();
        StartEngine();
        // What the fixture records of each start is not the engine's to keep.
        std::lock_guard lock(mutex_);
        status_texts_.clear();
        status_texts_.shrink_to_fit();
        boxes_.clear();
        boxes_.shrink_to_fit();
    }
};

TEST_F(tvServerRestartTest, AThousandStartsAndStopsKeepDescriptorsClientsAndMemoryFlat) {
    recman::Registry& registry = recman::Registry::Current();
    for (int i = 0; i < 20; ++i) {
        Restart();  // what the first runs set up once for the process
    }
    const size_t descriptors = OpenDescriptors();
    const size_t clients = registry.ClientCount();
    const size_t heap = mallinfo2().uordblks;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
        Restart();
    }
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(registry.ClientCount(), clients);
    const size_t heap_after = mallinfo2().uordblks;
    // A few hundred bytes a start would show as hundreds of kilobytes here.
    EXPECT_LT(heap_after, heap + 64 * 1024) << "heap grew by " << (heap_after - heap) << " bytes";
    RecordProperty("ms_per_restart",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took)
                                        .count() /
                                    1000));
}

}  // namespace
