#pragma once
// The engine's modem link: this computer's serial port with a Hayes-compatible modem
// behind it, opened at each dial and closed at each hang-up, so the port is held only
// during a call.
//
// Dial opens the port (line control, handshake, the network's line format), resets
// and initialises the modem (the default profile, the standard commands, then this
// computer's MODEMINIT), dials DIALPREFIX + the number and waits for CONNECT. Every
// failure while opening gives exactly one error text, as an info row in the message
// log and a "--" row in the communications log, with the exclamation beep. The TAP
// exchange then moves bytes and lines over the call; HangUp ends it.
//
// Waits: every read, pause and answer wait runs the host's PumpWhileWaiting at least
// every 100 ms and gives up when the host's StopRequested turns true. Once the engine
// is stopping, HangUp makes one brief attempt (short pauses, a short answer wait)
// before the port is closed, which drops DTR.
//
// The link's own status texts ("Initializing Port %d\n" ... "Hangup and Reset Modem")
// go to the host's status line only when the link was made with one.
//
// Engine thread only; the host must outlive the link.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/serial/hayesmodem.h"
#include "platform/serial/serialport.h"
#include "transport/tvtransporthost.h"

// What the link needs of this computer ("MACHINE" record).
struct tvModemSettings {
    int32_t port = 0;         // PORT: 0 = COM1 ... 7 = COM8
    std::string dial_prefix;  // DIALPREFIX
    std::string modem_init;   // MODEMINIT: replaces the profile's initialisation string
};

// The link's budgets and pauses; tests shorten them.
struct tvCommTimings {
    std::chrono::milliseconds answer{5000};         // the modem's answer to a command
    std::chrono::milliseconds pause{500};           // one "~" of a command string
    std::chrono::milliseconds reset_settle{250};    // after the reset, before the init
    std::chrono::milliseconds dial{45000};          // from the dial command to CONNECT
    std::chrono::milliseconds hang_up_settle{100};  // after the hang-up string
    int hang_up_tries = 10;
    int reset_tries = 10;
    // While the engine is stopping: the "~" pause and the answer wait of the one
    // hang-up attempt.
    std::chrono::milliseconds stop_pause{100};
    std::chrono::milliseconds stop_answer{300};
};

// Directions of LogIo.
enum tvIoDirection : int {
    kIoReceived = 0,  // "<-"
    kIoSent = 1,      // "->"
    kIoNote = 2,      // "--"
};

class tvComm {
  public:
    // Receive and transmit buffer sizes of the port.
    static constexpr size_t kReceiveBuffer = 4096;
    static constexpr size_t kTransmitBuffer = 2048;

    // Nothing is opened. With `status_line` the link's own texts go to the host's
    // status line.
    tvComm(tvModemSettings settings, tvTransportHost& host, bool status_line = false);
    ~tvComm();
    tvComm(const tvComm&) = delete;
    tvComm& operator=(const tvComm&) = delete;

    void SetTimings(const tvCommTimings& timings) { timings_ = timings; }
    const tvModemSettings& settings() const { return settings_; }

    // Opens the port, initialises the modem and dials; 0 when connected, 1 on any
    // failure. `parity` is the letter ('N', 'O', 'E', 'M', 'S'); handshake 1 selects
    // RTS/CTS, 0 and 2 none. Any failure closes the port again.
    [[nodiscard]] int Dial(int rate, std::string_view phone, char parity, int data_bits,
                           int stop_bits, int handshake);
    // Hangs up (the hang-up string up to ten times until the carrier is gone), resets
    // the modem (up to ten times) and closes the port. Failures are not reported.
    void HangUp();
    // Releases the modem and closes the port; harmless when nothing is open.
    void Close();
    bool IsOpen() const { return port_ != nullptr && port_->IsOpen() && modem_ != nullptr; }

    // Collects one line (see HayesModem::ReadLine) into *buffer, at most size - 1
    // characters. Returns the time left in ms, 0 when the time ran out (or the
    // engine is stopping), negative on a line failure or when nothing is open.
    long ReadLine(std::string* buffer, size_t size, std::chrono::milliseconds timeout);
    // Discards everything received and not yet read.
    void PurgeInput();
    // Waits `length`, pumping; false when the engine is stopping.
    bool Wait(std::chrono::milliseconds length);

    // Writes; 0 on success, else the serial library's code.
    [[nodiscard]] int WriteChar(char byte);
    [[nodiscard]] int WriteBlock(std::string_view bytes);
    [[nodiscard]] int WriteLine(std::string_view text, char terminator);

    // A communications-log row: "<-", "->" or "--" and the text with its control
    // characters shown by name.
    void LogIo(std::string_view text, int direction);
    // An info row in the message log and a "--" row in the communications log.
    void ReportError(const std::string& text);

    // The modem profile in use (the default with MODEMINIT as the initialisation
    // string once a dial has used it).
    const platform::HayesProfile& profile() const { return profile_; }

  private:
    // Opens the port and initialises the modem; 0, or 1 after reporting the failure.
    int OpenPort(int rate, char parity, int data_bits, int stop_bits, int handshake);
    int OpenFailed(const std::string& text);
    void Status(const std::string& text);
    // Writes the serial library's notes as "--" rows.
    void LogNotes();
    // The wait hook: pumps, and gives up once the engine is stopping (unless
    // `stopping_` says the wait belongs to the brief hang-up of a stop).
    bool WhileWaiting();

    tvModemSettings settings_;
    tvTransportHost& host_;
    bool status_line_;
    tvCommTimings timings_;
    platform::HayesProfile profile_;
    std::unique_ptr<platform::SerialPort> port_;
    std::unique_ptr<platform::HayesModem> modem_;
    bool stopping_ = false;  // HangUp of a stopping engine: waits are not given up
};
