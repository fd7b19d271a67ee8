#pragma once
// Result codes of the serial communications library. Every call that can fail returns
// one of these (0 = success); system error numbers are turned into them in one place
// (SerialErrorFromErrno), and SerialErrorText gives the words an operator sees.

#include <string>

namespace platform {

enum SerialError : int {
    kSerialOk = 0,
    kSerialBadPortNumber = 1,  // not one of COM1..COM8
    kSerialNoDevice = 2,       // the device does not exist (or has no hardware behind it)
    kSerialAccessDenied = 3,   // no permission to open the device
    kSerialPortBusy = 4,       // another program holds the port
    kSerialNotATerminal = 5,   // the device is not a serial line
    kSerialIoError = 6,        // the line failed while reading or writing
    kSerialTimedOut = 7,       // a write or an answer did not complete in time
    kSerialNotOpen = 8,        // the port is not open
    kSerialUnsupported = 9,    // the line does not support the operation
    kSerialBadFormat = 10,     // a line speed, parity, data-bit or stop-bit value is invalid
    kSerialModemRefused = 11,  // the modem answered ERROR
    kSerialAbandoned = 12,     // the caller's wait hook asked to give up
    kSerialSystemError = 13,   // any other failure of the operating system
};

// The operator's words for a code ("unknown serial error 99" for codes not listed).
std::string SerialErrorText(int code);

// The code for a system error number of an open, read, write or line-control call.
SerialError SerialErrorFromErrno(int error_number);

}  // namespace platform
