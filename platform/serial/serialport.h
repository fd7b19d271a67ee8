#pragma once
// A serial port over a POSIX terminal device: the one place where the modem link
// touches the operating system.
//
// Ports are numbered from 0 (COM1) to 7 (COM8). COMn is the device /dev/ttyS(n-1)
// unless the machine profile has a text value "COMn" in the section "COMM" naming
// another device (a pseudo-terminal in tests, a USB adapter such as /dev/ttyUSB0).
//
// States: created (nothing open) -> open (descriptor held, raw 8N1 line, exclusive
// lock taken) -> closed again by Close or the destructor. While open the port keeps a
// receive buffer of its own (at most the receive size is read ahead from the device)
// and writes in pieces of at most the transmit size.
//
// Lines without modem-status lines: a pseudo-terminal has no DTR, RTS or carrier
// detect, and may not take every data format. The port finds out at Open; on such a
// line a refused line-control call or data format is not a failure but a note (see
// TakeNotes), and carrier presence is unknown. Each kind of note is given once per
// opening.
//
// Not thread-safe: one thread uses a port at a time.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/serialerror.h"

namespace platform {

inline constexpr int kSerialPortCount = 8;

// Longest single wait inside a serial operation that waits for a caller with a
// wait hook: the hook runs at least this often.
inline constexpr std::chrono::milliseconds kSerialWaitSlice{100};

// Run during every wait of the modem object and of line reads; returns false to give
// up the wait (the engine is stopping).
using SerialWaitHook = std::function<bool()>;

// The device of a port number (0 = COM1): the machine profile's "COMM" value
// "COM<number + 1>" when it is a non-empty text, else /dev/ttyS<number>. Empty for a
// number outside 0..7.
std::string SerialDevicePath(int port_number);

enum class SerialRead {
    kByte,            // one byte was taken
    kNothingWaiting,  // nothing has arrived
    kFailed,          // the line failed; LastError says how
};

class SerialPort {
  public:
    // The port object for a port number with the given buffer sizes; null when the
    // number is not one of COM1..COM8 or a size is 0. Nothing is opened yet.
    static std::unique_ptr<SerialPort> Create(int port_number, size_t receive_size,
                                              size_t transmit_size);
    // A port over a named device (port number -1).
    SerialPort(std::string device, size_t receive_size, size_t transmit_size);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int number() const { return number_; }
    const std::string& device() const { return device_; }

    // Opens the device: non-blocking, no controlling terminal, an exclusive lock, raw
    // 8 data bits, no parity, 1 stop bit, receiver on, modem lines ignored for reads
    // and DTR dropped at close. Returns kSerialOk or the code of the failure (the
    // port then stays closed). Opening an open port closes it first.
    [[nodiscard]] int Open();
    // Closes the device (dropping DTR) and forgets unread input; harmless when closed.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // The code of the last failure, and its text with the device named.
    int LastError() const { return last_error_; }
    std::string LastErrorText() const;

    // Discards everything received and not yet read.
    [[nodiscard]] int PurgeInput();
    // Takes one received byte, if one is waiting.
    [[nodiscard]] SerialRead ReadByte(char* byte);
    // Looks at the next received byte without taking it.
    [[nodiscard]] SerialRead PeekByte(char* byte);
    // Waits at most `timeout` for a byte to arrive: kSerialOk when one is waiting,
    // kSerialTimedOut when none came, or the failure (a line whose other end has hung
    // up, with nothing left to read, is kSerialIoError).
    [[nodiscard]] int WaitReadable(std::chrono::milliseconds timeout);

    // Writes all of `bytes` (each piece at most the transmit size), waiting at most
    // the write time-out for room. Returns kSerialOk or the failure.
    [[nodiscard]] int Write(std::string_view bytes);
    [[nodiscard]] int WriteByte(char byte);
    // The text followed by the terminator byte.
    [[nodiscard]] int WriteText(std::string_view text, char terminator);
    void SetWriteTimeout(std::chrono::milliseconds timeout) { write_timeout_ = timeout; }

    // Handshake: hardware (RTS/CTS) or none.
    [[nodiscard]] int SetHandshake(bool hardware);
    // Line speed in bits per second (a standard rate), parity letter ('N', 'O', 'E',
    // 'M', 'S'), data bits (5..8) and stop bits (1 or 2). kSerialBadFormat for values
    // outside these; a format the line does not take is kSerialUnsupported, or a note
    // on a line without modem-status lines.
    [[nodiscard]] int SetDataFormat(int rate, char parity, int data_bits, int stop_bits);

    // Line control. On a line without modem-status lines a refused call is a note and
    // succeeds.
    [[nodiscard]] int SetDtr(bool on);
    [[nodiscard]] int SetRts(bool on);
    [[nodiscard]] int SetBreak(bool on);
    bool InBreak() const { return in_break_; }
    // Reads the modem-status lines again.
    [[nodiscard]] int RefreshLineState();
    // Data carrier detect as last refreshed; none when the line cannot tell.
    std::optional<bool> CarrierPresent() const { return carrier_; }
    // False for a line without modem-status lines (found at Open).
    bool HasModemLines() const { return has_modem_lines_; }

    // The notes gathered since the last call (each kind once per opening), for the
    // caller's communications log.
    std::vector<std::string> TakeNotes();

  private:
    SerialPort(int number, std::string device, size_t receive_size, size_t transmit_size);
    int Fail(int code);
    int FailErrno();
    // Records a refused line-control call: a note on a line without modem lines
    // (returns kSerialOk), else a failure.
    int Refused(const std::string& kind, const std::string& what, int error_number);
    void Note(const std::string& kind, const std::string& text);
    int ModemLines(unsigned long request, int bits, const char* what);
    // Fills the receive buffer with what is waiting; false when the line failed.
    bool Fill();

    int number_ = -1;
    std::string device_;
    size_t receive_size_;
    size_t transmit_size_;
    std::chrono::milliseconds write_timeout_{2000};
    int fd_ = -1;
    int last_error_ = kSerialOk;
    int last_errno_ = 0;
    std::string received_;  // bytes read ahead from the device, oldest first
    size_t next_ = 0;       // the next unread byte of received_
    bool in_break_ = false;
    bool has_modem_lines_ = false;
    std::optional<bool> carrier_;
    std::set<std::string> noted_;
    std::vector<std::string> notes_;
};

}  // namespace platform
