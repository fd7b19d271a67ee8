#pragma once
// What a transport needs from the paging engine that drives it.
//
// The engine implements this interface; transports run on the engine thread and
// call it from there only. Reporting goes to the Server view's status line, message
// log and communications log (each call does nothing when the engine has no such
// control attached). Each transport keeps its own connection state.
//
// PumpWhileWaiting is the engine's nested-timer hook: every transport wait (for a
// reply, a connection, a name-server answer) calls it at least every 100 ms so that
// the engine's timer procedure keeps running (stop check, host poll) while a work
// cycle is blocked in the transport. It may run the timer procedure, but never a
// second work cycle, so it must not re-enter the transport.

#include <string>

// Direction marks of the communications log.
inline constexpr const char* kCommSent = "->";
inline constexpr const char* kCommReceived = "<-";
inline constexpr const char* kCommNote = "--";

class tvTransportHost {
  public:
    virtual ~tvTransportHost() = default;

    // Writes the text into the status line.
    virtual void SetStatusLine(const std::string& text) = 0;
    // Adds one row to the message log; a row with only an info text passes four empty
    // strings first.
    virtual void LogRow(const std::string& device, const std::string& service,
                        const std::string& status, const std::string& attempts,
                        const std::string& info) = 0;
    // Adds one row to the communications log: a direction mark (kCommSent,
    // kCommReceived, kCommNote, or a byte count with a mark such as "12->") and a text.
    virtual void LogComm(const std::string& direction, const std::string& text) = 0;

    // True once the platform's socket support is up; while false no SNPP, SMTP or
    // POP3 work is done.
    virtual bool SocketsAvailable() const = 0;
    // True once the engine has been asked to stop.
    virtual bool StopRequested() const = 0;

    // The nested-timer hook; see the file comment.
    virtual void PumpWhileWaiting() = 0;

    // The exclamation beep of a failed modem link (the application's sound hook;
    // nothing when there is none, as in a headless run).
    virtual void Beep() {}
};
