#pragma once
// The work that the engine's timer drives, supplied by the engine. Every call runs on
// the engine thread, inside a work cycle (tvEngineTimer::Tick) or, for PollHost, in
// the timer procedure before it.

#include <chrono>

class tvEngineWork {
  public:
    virtual ~tvEngineWork() = default;

    // First step of every work cycle: rereads the settings when they were marked
    // changed since they were last read.
    virtual void ReloadChangedSettings() = 0;

    // The send side of a cycle (purge, then the send cycle), run when the send time
    // has come. The next send time is this interval after the work ended.
    virtual void SendWork() = 0;
    virtual std::chrono::seconds SendInterval() const = 0;

    // Whether the receive side may run at all (the options record exists); while
    // false its due time stays as it is.
    virtual bool ReceiveWorkAllowed() = 0;
    // The receive side (POP3 intake, Alarm Watch, file gateway), run when the
    // receive time has come and it is allowed. The next receive time is this
    // interval after the work ended.
    virtual void ReceiveWork() = 0;
    virtual std::chrono::seconds ReceiveInterval() const = 0;

    // Polls the host library, when one is loaded and can be polled; called at the
    // first timer firing of each clock minute.
    virtual void PollHost() = 0;
};
