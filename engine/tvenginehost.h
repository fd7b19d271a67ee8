#pragma once
// The engine's side of the transport interface: reporting goes to the engine's
// reporter, the stop request is the timer's, the waits of a transport run the timer's
// nested firing, and the sockets-available flag lives here.
//
// Threads: the transports call it on the engine thread. The sockets-available flag is
// set on the engine thread when it starts and read by the user-interface thread after
// the start-up handshake, so it is an atomic.

#include <atomic>
#include <string>

#include "engine/tvenginereporter.h"
#include "engine/tvenginetimer.h"
#include "transport/tvtransporthost.h"

class tvEngineHost final : public tvTransportHost {
  public:
    // The reporter and the timer must outlive the host.
    tvEngineHost(tvEngineReporter& reporter, tvEngineTimer& timer);

    void SetStatusLine(const std::string& text) override;
    void LogRow(const std::string& device, const std::string& service, const std::string& status,
                const std::string& attempts, const std::string& info) override;
    void LogComm(const std::string& direction, const std::string& text) override;

    bool SocketsAvailable() const override { return sockets_available_.load(); }
    void SetSocketsAvailable(bool available) { sockets_available_.store(available); }
    bool StopRequested() const override;

    // Runs a timer firing when one is due (stop check and host poll; the work cycle
    // itself is busy and returns at once).
    void PumpWhileWaiting() override;

  private:
    tvEngineReporter& reporter_;
    tvEngineTimer& timer_;
    std::atomic<bool> sockets_available_{false};
};
