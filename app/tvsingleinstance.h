#pragma once
// One running Tolvane per user: the window program or the headless server. The first
// instance holds a lock file and listens on a local socket beside it; a later one finds
// the lock taken, asks the first through the socket to come to the front, and ends.
// The command-line subcommands do not take part.
//
// The files live in $XDG_RUNTIME_DIR/tolvane/, else /tmp/tolvane-<uid>/ (created with
// mode 0700): "instance.lock" (locked with flock while the first instance runs, so a
// crashed instance leaves no stale claim) and "instance.sock" (a Unix-domain stream
// socket; nothing listens on the network). A caller writes "RAISE\n" and reads "OK\n"
// once the first instance has been told.
//
// Threads: the "come to the front" callback runs on the listener thread; a user
// interface hands it on to its own thread. Claim and Release belong to one thread.

#include <functional>
#include <string>
#include <thread>

class tvSingleInstance {
  public:
    using RaiseCallback = std::function<void()>;

    enum class Claim {
        kFirst,           // this process is the running instance
        kAlreadyRunning,  // another one runs and has been asked to come to the front
        kError,           // neither could be established (see the event log)
    };

    // `directory` empty: the per-user directory named above.
    explicit tvSingleInstance(std::string directory = {});
    ~tvSingleInstance();  // Release()
    tvSingleInstance(const tvSingleInstance&) = delete;
    tvSingleInstance& operator=(const tvSingleInstance&) = delete;

    // Claims the instance for this process. As the first instance, `on_raise` is called
    // for each later start until Release.
    [[nodiscard]] Claim TryClaim(RaiseCallback on_raise);
    // Stops listening and gives the claim up.
    void Release();

    const std::string& Directory() const { return directory_; }
    static std::string DefaultDirectory();

  private:
    bool AskRunningInstance() const;
    void Listen();

    std::string directory_;
    int lock_fd_ = -1;
    int listen_fd_ = -1;
    int wake_pipe_[2] = {-1, -1};
    RaiseCallback on_raise_;
    std::thread listener_;
};
