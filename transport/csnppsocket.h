#pragma once
// The SNPP connection: sends SNPP command lines and reads their replies on the
// line-protocol core, with the SNPP client's error texts.
//
// Every failure of an exchange leaves its text in the caller's error text: the
// server's reply, "No SNPP Response" (the server closed), "Send Failed" (nothing was
// sent), or "Socket Error %d from %s" with "Send" or "Receive". A reply that does not
// come in time leaves the error text as it was. Replies are read until their line
// end; a reply line longer than 1024 bytes is cut there and the rest of the line
// dropped, never taken for the next reply. A reply that stops short of its line end
// is taken as it is when the time-out passes or the server closes.
//
// The connection notes when the server breaks the protocol: a reply that is not a
// reply line (three digits first), or bytes that arrived when no reply was awaited
// (found, logged and dropped before each command). Such a server is out of step with
// us, so nothing it says can be trusted for the rest of the connection.
//
// Once the engine is asked to stop, no command goes out and every wait ends at once.
// Destruction sends "QUIT" (unless the engine is stopping) without waiting for the
// answer, then closes. Engine thread only.

#include <string>
#include <vector>

#include "transport/clinesocket.h"

class CSNPPSocket : public CLineSocket {
  public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr size_t kMaxReplyBytes = 1024;

    // No connection yet; command and reply rows go to the host's communications log.
    explicit CSNPPSocket(tvTransportHost& host);
    ~CSNPPSocket() override;

    // Sends the command and CR LF; returns the bytes sent, 0 when the command is
    // empty or nothing could be sent (the error text, when given, says why). The log
    // row shows "Confidential" instead of the command when `confidential` is set.
    [[nodiscard]] int SendCommand(const std::string& command, bool confidential,
                                  std::string* error);
    // Waits up to `timeout_ms` for a reply. True when one arrived that begins with one
    // of `expected` (in order). When a reply arrived, it is stored in *reply and in the
    // error text, whatever its prefix. `reply` and `error` may be null.
    [[nodiscard]] bool ReadReply(std::string* reply, const std::vector<std::string>& expected,
                                 std::string* error, int timeout_ms);
    // SendCommand, then ReadReply when at least one byte went out; false when
    // nothing was sent. `reply` and `error` may be null.
    [[nodiscard]] bool Transact(const std::string& command, std::string* reply, bool confidential,
                                const std::vector<std::string>& expected, std::string* error,
                                int timeout_ms);
    // "RESET", accepted with "250" or "500"; its reply is kept nowhere.
    [[nodiscard]] bool Reset();
    // Formats "Socket Error %d from %s" with the last socket error and `context`
    // ("Create", "IOCtl", "Connect", "Send", "Receive"); stores it in *error when
    // given and returns it.
    std::string SocketErrorText(const std::string& context, std::string* error) const;

    // Time-out of Reset (30000 ms unless changed).
    void SetResetTimeout(int timeout_ms) { reset_timeout_ms_ = timeout_ms; }

    // True once the server broke the protocol on this connection (see the file
    // comment).
    bool OutOfStep() const { return out_of_step_; }

  private:
    int reset_timeout_ms_ = kDefaultTimeoutMs;
    bool out_of_step_ = false;
};
