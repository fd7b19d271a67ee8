#pragma once
// The record manager's surroundings for one test: a state directory of the test's own
// (TOLVANE_RECMAN_DIR: the lock and journal files of every client live there) and, when
// asked, a short lock wait (TOLVANE_RECMAN_LOCK_WAIT_MS), so that a test of a locked
// file does not wait the default. Both are put back and the directory removed when the
// object goes. Tests that start programs leave the lock wait alone: a program that
// shares a database with a running server must wait as it would in use.

#include <optional>
#include <string>

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

class RecordManagerState {
  public:
    static constexpr int kTestLockWaitMs = 300;

    explicit RecordManagerState(std::optional<int> lock_wait_ms = kTestLockWaitMs)
        : wait_env_("TOLVANE_RECMAN_LOCK_WAIT_MS", WaitText(lock_wait_ms)) {}
    RecordManagerState(const RecordManagerState&) = delete;
    RecordManagerState& operator=(const RecordManagerState&) = delete;

    const TempDir& Directory() const { return directory_; }

  private:
    // Without a wait of its own the variable keeps the value it had.
    static std::optional<std::string> WaitText(std::optional<int> lock_wait_ms) {
        if (lock_wait_ms) {
            return std::to_string(*lock_wait_ms);
        }
        return ScopedEnv::Current("TOLVANE_RECMAN_LOCK_WAIT_MS");
    }

    TempDir directory_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", directory_.path().string()};
    ScopedEnv wait_env_;
};
