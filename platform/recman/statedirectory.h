#pragma once
// Where clients keep their main databases. A client's transaction commits atomically
// across the data files attached to its connection only when the connection's main
// database is a named file, and SQLite writes the super-journal of such a commit beside
// it; so the directory must be on a durable disk. It is $TOLVANE_RECMAN_DIR, else
// $XDG_STATE_HOME/tolvane/recman, else ~/.local/state/tolvane/recman.
//
// Files of one process share a tag ("p<pid>-<random>"): "<tag>.lock", which the process
// holds locked for its life, and "<tag>-c<n>.db" per client connection, with SQLite's
// "-mj..." super-journals beside them. The first use of a directory in a process sweeps
// the files of processes that are gone (their lock file can be locked): client
// databases always, a super-journal only when no journal it names exists any more
// (while one does, SQLite still needs it to decide that journal's fate).

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace recman {

class StateDirectory {
  public:
    StateDirectory();
    ~StateDirectory();
    StateDirectory(const StateDirectory&) = delete;
    StateDirectory& operator=(const StateDirectory&) = delete;

    // A path for a new client database in the current directory, preparing the
    // directory on its first use in this process. Returns 0, or the status of the
    // failure (with a diagnostic line). Thread-safe.
    [[nodiscard]] int NewClientDatabase(std::string* path);

    // In a forked child: closes the inherited lock descriptors (the parent keeps its
    // locks) and touches no file.
    void Abandon();

  private:
    [[nodiscard]] int Prepare(const std::string& directory);

    std::mutex mutex_;
    std::string tag_;
    uint64_t counter_ = 0;                   // guarded by mutex_
    std::map<std::string, int> lock_files_;  // directory -> our lock descriptor; guarded by mutex_
};

// The directory the environment names now.
std::string CurrentStateDirectory();

// Removes what dead processes left in `directory`, never files of the tag `own_tag`.
void SweepStateDirectory(const std::string& directory, const std::string& own_tag);

}  // namespace recman
