#include "platform/serial/serialport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/profile/profile.h"

namespace platform {

namespace {

struct RateEntry {
    int rate;
    speed_t speed;
};

constexpr RateEntry kRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
};

std::optional<speed_t> SpeedOf(int rate) {
    for (const RateEntry& entry : kRates) {
        if (entry.rate == rate) {
            return entry.speed;
        }
    }
    return std::nullopt;
}

// The parity bits of c_cflag for a parity letter; none for an unknown letter.
std::optional<tcflag_t> ParityFlags(char letter) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
        case 'N':
            return tcflag_t{0};
        case 'O':
            return tcflag_t{PARENB | PARODD};
        case 'E':
            return tcflag_t{PARENB};
        case 'M':
            return tcflag_t{PARENB | PARODD | CMSPAR};
        case 'S':
            return tcflag_t{PARENB | CMSPAR};
        default:
            return std::nullopt;
    }
}

std::optional<tcflag_t> SizeFlags(int data_bits) {
    switch (data_bits) {
        case 5:
            return tcflag_t{CS5};
        case 6:
            return tcflag_t{CS6};
        case 7:
            return tcflag_t{CS7};
        case 8:
            return tcflag_t{CS8};
        default:
            return std::nullopt;
    }
}

constexpr tcflag_t kFormatBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// True for the error numbers a line without modem-status lines gives for modem-line
// and format calls.
bool IsNotSupported(int error_number) {
    return error_number == ENOTTY || error_number == EINVAL || error_number == EOPNOTSUPP;
}

std::string ErrnoText(int error_number) {
    return std::strerror(error_number);
}

}  // namespace

std::string SerialDevicePath(int port_number) {
    if (port_number < 0 || port_number >= kSerialPortCount) {
        return {};
    }
    const std::string name = "COM" + std::to_string(port_number + 1);
    const Profile profile;
    std::string device = profile.ReadText(ProfileScope::kMachine, "COMM", name, "");
    if (device.empty()) {
        device = "/dev/ttyS" + std::to_string(port_number);
    }
    return device;
}

std::unique_ptr<SerialPort> SerialPort::Create(int port_number, size_t receive_size,
                                               size_t transmit_size) {
    const std::string device = SerialDevicePath(port_number);
    if (device.empty() || receive_size == 0 || transmit_size == 0) {
        return nullptr;
    }
    return std::unique_ptr<SerialPort>(
        new SerialPort(port_number, device, receive_size, transmit_size));
}

SerialPort::SerialPort(std::string device, size_t receive_size, size_t transmit_size)
    : SerialPort(-1, std::move(device), receive_size, transmit_size) {}

SerialPort::SerialPort(int number, std::string device, size_t receive_size, size_t transmit_size)
    : number_(number),
      device_(std::move(device)),
      receive_size_(std::max<size_t>(receive_size, 1)),
      transmit_size_(std::max<size_t>(transmit_size, 1)) {}

SerialPort::~SerialPort() {
    Close();
}

int SerialPort::Fail(int code) {
    last_error_ = code;
    return code;
}

int SerialPort::FailErrno() {
    last_errno_ = errno;
    return Fail(SerialErrorFromErrno(last_errno_));
}

std::string SerialPort::LastErrorText() const {
    std::string text = SerialErrorText(last_error_);
    if (!device_.empty()) {
        text += " (" + device_;
        if (last_errno_ != 0 && last_error_ != kSerialOk) {
            text += ": " + ErrnoText(last_errno_);
        }
        text += ")";
    }
    return text;
}

void SerialPort::Note(const std::string& kind, const std::string& text) {
    if (noted_.insert(kind).second) {
        notes_.push_back(text);
    }
}

std::vector<std::string> SerialPort::TakeNotes() {
    return std::exchange(notes_, {});
}

int SerialPort::Open() {
    Close();
    last_error_ = kSerialOk;
    last_errno_ = 0;
    noted_.clear();
    notes_.clear();

    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FailErrno();
    }
    // Two programs on one modem would garble each other's calls.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        last_errno_ = errno;
        ::close(fd);
        return Fail(last_errno_ == EWOULDBLOCK ? kSerialPortBusy
                                               : SerialErrorFromErrno(last_errno_));
    }
    termios line{};
    if (::tcgetattr(fd, &line) != 0) {
        last_errno_ = errno;
        ::close(fd);
        return Fail(kSerialNotATerminal);
    }
    ::cfmakeraw(&line);
    line.c_cflag &= ~(kFormatBits | CRTSCTS);
    line.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &line) != 0) {
        last_errno_ = errno;
        ::close(fd);
        return Fail(SerialErrorFromErrno(last_errno_));
    }
    fd_ = fd;

    int status = 0;
    if (::ioctl(fd_, TIOCMGET, &status) == 0) {
        has_modem_lines_ = true;
        carrier_ = (status & TIOCM_CD) != 0;
    } else {
        const int error_number = errno;
        has_modem_lines_ = false;
        carrier_.reset();
        Note("modem-lines", device_ + " has no modem-status lines (" + ErrnoText(error_number) +
                                "): carrier presence unknown");
    }
    return kSerialOk;
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    received_.clear();
    next_ = 0;
    in_break_ = false;
    has_modem_lines_ = false;
    carrier_.reset();
}

int SerialPort::PurgeInput() {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    received_.clear();
    next_ = 0;
    if (::tcflush(fd_, TCIFLUSH) != 0) {
        return FailErrno();
    }
    // Bytes already on their way through a pseudo-terminal are not flushed by the
    // call above; take them off the line as well.
    if (!Fill()) {
        return last_error_;
    }
    received_.clear();
    next_ = 0;
    return kSerialOk;
}

bool SerialPort::Fill() {
    if (next_ >= received_.size()) {
        received_.clear();
        next_ = 0;
    }
    while (received_.size() - next_ < receive_size_) {
        char buffer[512];
        const size_t room = std::min(sizeof buffer, receive_size_ - (received_.size() - next_));
        const ssize_t count = ::read(fd_, buffer, room);
        if (count > 0) {
            received_.append(buffer, static_cast<size_t>(count));
            continue;
        }
        if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        FailErrno();
        return false;
    }
    return true;
}

SerialRead SerialPort::PeekByte(char* byte) {
    if (fd_ < 0) {
        Fail(kSerialNotOpen);
        return SerialRead::kFailed;
    }
    if (next_ >= received_.size() && !Fill()) {
        return SerialRead::kFailed;
    }
    if (next_ >= received_.size()) {
        return SerialRead::kNothingWaiting;
    }
    *byte = received_[next_];
    return SerialRead::kByte;
}

SerialRead SerialPort::ReadByte(char* byte) {
    const SerialRead read = PeekByte(byte);
    if (read == SerialRead::kByte) {
        ++next_;
    }
    return read;
}

int SerialPort::WaitReadable(std::chrono::milliseconds timeout) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    if (next_ < received_.size()) {
        return kSerialOk;
    }
    pollfd entry{fd_, POLLIN, 0};
    const int wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, wait);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return FailErrno();
    }
    if (ready == 0) {
        return kSerialTimedOut;
    }
    if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        return kSerialOk;
    }
    // Hung up (the other end of a pseudo-terminal went away) or in error: what is
    // still buffered may be read, then the line has failed.
    if (!Fill()) {
        return last_error_;
    }
    if (next_ < received_.size()) {
        return kSerialOk;
    }
    last_errno_ = EIO;
    return Fail(kSerialIoError);
}

int SerialPort::Write(std::string_view bytes) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    const auto give_up = std::chrono::steady_clock::now() + write_timeout_;
    while (!bytes.empty()) {
        const size_t piece = std::min(bytes.size(), transmit_size_);
        const ssize_t count = ::write(fd_, bytes.data(), piece);
        if (count > 0) {
            bytes.remove_prefix(static_cast<size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return FailErrno();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            give_up - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            last_errno_ = ETIMEDOUT;
            return Fail(kSerialTimedOut);
        }
        pollfd entry{fd_, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return FailErrno();
        }
        if (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0) {
            last_errno_ = EIO;
            return Fail(kSerialIoError);
        }
    }
    return kSerialOk;
}

int SerialPort::WriteByte(char byte) {
    return Write(std::string_view(&byte, 1));
}

int SerialPort::WriteText(std::string_view text, char terminator) {
    std::string line(text);
    line.push_back(terminator);
    return Write(line);
}

int SerialPort::SetHandshake(bool hardware) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    termios line{};
    if (::tcgetattr(fd_, &line) != 0) {
        return FailErrno();
    }
    if (hardware) {
        line.c_cflag |= CRTSCTS;
    } else {
        line.c_cflag &= ~CRTSCTS;
    }
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (::tcsetattr(fd_, TCSANOW, &line) != 0) {
        return Refused("handshake", "the handshake mode", errno);
    }
    return kSerialOk;
}

int SerialPort::SetDataFormat(int rate, char parity, int data_bits, int stop_bits) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    const std::optional<speed_t> speed = SpeedOf(rate);
    const std::optional<tcflag_t> parity_flags = ParityFlags(parity);
    const std::optional<tcflag_t> size_flags = SizeFlags(data_bits);
    if (!speed || !parity_flags || !size_flags || (stop_bits != 1 && stop_bits != 2)) {
        last_errno_ = 0;
        return Fail(kSerialBadFormat);
    }
    termios line{};
    if (::tcgetattr(fd_, &line) != 0) {
        return FailErrno();
    }
    line.c_cflag &= ~kFormatBits;
    line.c_cflag |= *size_flags | *parity_flags | (stop_bits == 2 ? CSTOPB : 0);
    if (::cfsetispeed(&line, *speed) != 0 || ::cfsetospeed(&line, *speed) != 0) {
        last_errno_ = errno;
        return Fail(kSerialBadFormat);
    }
    const termios wanted = line;
    int error_number = 0;
    if (::tcsetattr(fd_, TCSANOW, &line) != 0) {
        error_number = errno;
    } else if (::tcgetattr(fd_, &line) != 0) {
        return FailErrno();
    } else if ((line.c_cflag & kFormatBits) != (wanted.c_cflag & kFormatBits) ||
               ::cfgetospeed(&line) != *speed) {
        // Taken only in part: the driver kept its own format.
        error_number = EINVAL;
    }
    if (error_number == 0) {
        return kSerialOk;
    }
    const std::string format = std::to_string(data_bits) +
                               static_cast<char>(std::toupper(static_cast<unsigned char>(parity))) +
                               std::to_string(stop_bits) + " at " + std::to_string(rate) + " bit/s";
    return Refused("data-format", "the line format " + format, error_number);
}

int SerialPort::Refused(const std::string& kind, const std::string& what, int error_number) {
    if (!has_modem_lines_ && IsNotSupported(error_number)) {
        Note(kind, device_ + " did not take " + what + " (" + ErrnoText(error_number) +
                       "); the line carries on as it is");
        return kSerialOk;
    }
    last_errno_ = error_number;
    return Fail(IsNotSupported(error_number) ? kSerialUnsupported
                                             : SerialErrorFromErrno(error_number));
}

int SerialPort::ModemLines(unsigned long request, int bits, const char* what) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    if (!has_modem_lines_) {
        // Already noted at Open: there are no lines to set.
        return kSerialOk;
    }
    if (::ioctl(fd_, request, &bits) != 0) {
        return Refused("modem-lines", what, errno);
    }
    return kSerialOk;
}

int SerialPort::SetDtr(bool on) {
    return ModemLines(on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR, "DTR");
}

int SerialPort::SetRts(bool on) {
    return ModemLines(on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS, "RTS");
}

int SerialPort::SetBreak(bool on) {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) {
        const int result = Refused("break", "a break change", errno);
        if (result != kSerialOk) {
            return result;
        }
    }
    in_break_ = on;
    return kSerialOk;
}

int SerialPort::RefreshLineState() {
    if (fd_ < 0) {
        return Fail(kSerialNotOpen);
    }
    if (!has_modem_lines_) {
        carrier_.reset();
        return kSerialOk;
    }
    int status = 0;
    if (::ioctl(fd_, TIOCMGET, &status) != 0) {
        return Refused("modem-lines", "a modem-status read", errno);
    }
    carrier_ = (status & TIOCM_CD) != 0;
    return kSerialOk;
}

}  // namespace platform
