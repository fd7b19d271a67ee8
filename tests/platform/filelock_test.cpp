#include "platform/core/filelock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "tests/support/tempdir.h"

namespace {

using platform::FileLock;
using platform::FileLockResult;

TEST(FileLockTest, OneHolderAtATimeAndTheLockGoesWithItsHolder) {
    TempDir dir;
    const std::string path = dir.file("SERVER.LCK");
    EXPECT_FALSE(FileLock::IsHeld(path)) << "no file yet";
    {
        FileLock first;
        ASSERT_EQ(first.TryLock(path), FileLockResult::kLocked);
        EXPECT_TRUE(first.Locked());
        EXPECT_TRUE(FileLock::IsHeld(path));
        FileLock second;  // another open, as another server would make
        EXPECT_EQ(second.TryLock(path), FileLockResult::kHeldElsewhere);
        EXPECT_FALSE(second.Locked());
        EXPECT_TRUE(FileLock::IsHeld(path)) << "looking does not take it away";
    }
    EXPECT_FALSE(FileLock::IsHeld(path));
    FileLock again;
    EXPECT_EQ(again.TryLock(path), FileLockResult::kLocked);
}

TEST(FileLockTest, AKilledHolderLeavesNoLockBehind) {
    TempDir dir;
    const std::string path = dir.file("SERVER.LCK");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileLock held;
        const char answer = held.TryLock(path) == FileLockResult::kLocked ? 'y' : 'n';
        static_cast<void>(write(ready[1], &answer, 1));
        pause();
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    FileLock mine;
    EXPECT_EQ(mine.TryLock(path), FileLockResult::kHeldElsewhere);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(mine.TryLock(path), FileLockResult::kLocked);
}

TEST(FileLockTest, AFileThatCannotBeMadeIsAFailureWithItsReason) {
    FileLock lock;
    EXPECT_EQ(lock.TryLock("/nonexistent-directory/SERVER.LCK"), FileLockResult::kFailed);
    EXPECT_EQ(lock.LastError(), ENOENT);
}

}  // namespace
