// One running instance per user: a second claim in the same directory tells the first
// to come to the front; a released or crashed first instance leaves nothing behind.

#include "app/tvsingleinstance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

TEST(SingleInstanceTest, ASecondStartRaisesTheFirstAndEnds) {
    TempDir runtime;
    std::atomic<int> raised{0};
    tvSingleInstance first(runtime.file("tolvane"));
    ASSERT_EQ(first.TryClaim([&] { ++raised; }), tvSingleInstance::Claim::kFirst);

    for (int start = 1; start <= 2; ++start) {
        tvSingleInstance second(runtime.file("tolvane"));
        EXPECT_EQ(second.TryClaim([] { ADD_FAILURE() << "the second instance was raised"; }),
                  tvSingleInstance::Claim::kAlreadyRunning);
        // The first was told before the second got its answer.
        EXPECT_EQ(raised.load(), start);
    }

    first.Release();
    tvSingleInstance next(runtime.file("tolvane"));
    EXPECT_EQ(next.TryClaim({}), tvSingleInstance::Claim::kFirst);
}

TEST(SingleInstanceTest, AnInstanceThatDiedLeavesNoClaim) {
    TempDir runtime;
    const std::string directory = runtime.file("tolvane");
    // A child claims and dies without releasing: its lock goes with it, and the
    // socket file it leaves is taken over.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tvSingleInstance claim(directory);
        const bool first = claim.TryClaim({}) == tvSingleInstance::Claim::kFirst;
        _exit(first ? 0 : 1);  // no destructor: nothing is cleaned up
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(std::filesystem::exists(directory + "/instance.sock"));

    tvSingleInstance after(directory);
    EXPECT_EQ(after.TryClaim({}), tvSingleInstance::Claim::kFirst);
}

TEST(SingleInstanceTest, TheDirectoryFollowsTheRuntimeDirectoryAndMustBeTheUsers) {
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/4242");
        EXPECT_EQ(tvSingleInstance::DefaultDirectory(), "/run/user/4242/tolvane");
    }
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(tvSingleInstance::DefaultDirectory(), "/tmp/tolvane-" + std::to_string(getuid()));
    }
    // A plain file where the directory should be is refused, not followed.
    TempDir runtime;
    std::ofstream(runtime.file("tolvane")) << "not a directory";
    tvSingleInstance claim(runtime.file("tolvane"));
    EXPECT_EQ(claim.TryClaim({}), tvSingleInstance::Claim::kError);
}

}  // namespace
