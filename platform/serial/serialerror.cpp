#include "platform/serial/serialerror.h"

#include <cerrno>

namespace platform {

std::string SerialErrorText(int code) {
    switch (code) {
        case kSerialOk:
            return "no error";
        case kSerialBadPortNumber:
            return "no such communications port";
        case kSerialNoDevice:
            return "device not found";
        case kSerialAccessDenied:
            return "access denied";
        case kSerialPortBusy:
            return "port in use by another program";
        case kSerialNotATerminal:
            return "device is not a serial line";
        case kSerialIoError:
            return "input/output error on the line";
        case kSerialTimedOut:
            return "timed out";
        case kSerialNotOpen:
            return "port not open";
        case kSerialUnsupported:
            return "operation not supported by the line";
        case kSerialBadFormat:
            return "invalid line format";
        case kSerialModemRefused:
            return "modem answered ERROR";
        case kSerialAbandoned:
            return "wait abandoned";
        case kSerialSystemError:
            return "system error";
        default:
            return "unknown serial error " + std::to_string(code);
    }
}

SerialError SerialErrorFromErrno(int error_number) {
    switch (error_number) {
        case 0:
            return kSerialOk;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kSerialNoDevice;
        case EACCES:
        case EPERM:
        case EROFS:
            return kSerialAccessDenied;
        case EBUSY:
        case EWOULDBLOCK:
            return kSerialPortBusy;
        case ENOTTY:
            return kSerialNotATerminal;
        case EIO:
        case EPIPE:
        case ECONNRESET:
            return kSerialIoError;
        case ETIMEDOUT:
            return kSerialTimedOut;
        case EBADF:
            return kSerialNotOpen;
        case EINVAL:
        case EOPNOTSUPP:
            return kSerialUnsupported;
        default:
            return kSerialSystemError;
    }
}

}  // namespace platform
