#include "transport/tvcomm.h"

#include <utility>

#include "transport/tapresponse.h"

namespace {

using std::chrono::milliseconds;
using namespace platform;

// Dial answers that end the call attempt.
constexpr const char* kDialFailures[] = {"NO CARRIER", "BUSY", "NO DIALTONE", "ERROR", "NO ANSWER"};
// Longest dial answer line, plus one.
constexpr size_t kDialLineSize = 127;

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

tvComm::tvComm(tvModemSettings settings, tvTransportHost& host, bool status_line)
    : settings_(std::move(settings)), host_(host), status_line_(status_line) {}

tvComm::~tvComm() {
    Close();
}

void tvComm::Status(const std::string& text) {
    if (status_line_) {
        host_.SetStatusLine(text);
    }
}

void tvComm::LogIo(std::string_view text, int direction) {
    const char* mark = direction == kIoReceived ? kCommReceived
                       : direction == kIoSent   ? kCommSent
                                                : kCommNote;
    host_.LogComm(mark, ShowControls(text));
}

void tvComm::ReportError(const std::string& text) {
    host_.LogRow("", "", "", "", text);
    LogIo(text, kIoNote);
}

void tvComm::LogNotes() {
    if (port_ == nullptr) {
        return;
    }
    for (const std::string& note : port_->TakeNotes()) {
        LogIo(note, kIoNote);
    }
}

bool tvComm::WhileWaiting() {
    host_.PumpWhileWaiting();
    return stopping_ || !host_.StopRequested();
}

void tvComm::Close() {
    modem_.reset();
    port_.reset();
}

int tvComm::OpenFailed(const std::string& text) {
    LogNotes();
    host_.Beep();
    ReportError(text);
    // Nothing half-open stays behind: the port is free for the next call, whichever
    // carrier makes it.
    Close();
    return 1;
}

int tvComm::OpenPort(int rate, char parity, int data_bits, int stop_bits, int handshake) {
    Close();
    Status("Initializing Port " + std::to_string(settings_.port + 1) + "\n");

    port_ = SerialPort::Create(settings_.port, kReceiveBuffer, kTransmitBuffer);
    if (port_ == nullptr) {
        return OpenFailed("Unable to Open Communications Port");
    }
    const int opened = port_->Open();
    if (opened == kSerialNotATerminal) {
        return OpenFailed("Unable to Initialize Serial Port");
    }
    if (opened != kSerialOk) {
        return OpenFailed("Error Opening Serial Port: " + port_->LastErrorText());
    }
    LogNotes();

    // Line control: drop and raise DTR and RTS, so that a modem left in a call by
    // someone else hangs up, and clear a break left on the line.
    bool line_ok = port_->SetDtr(false) == kSerialOk && port_->SetRts(false) == kSerialOk &&
                   port_->RefreshLineState() == kSerialOk && port_->SetDtr(true) == kSerialOk &&
                   port_->SetRts(true) == kSerialOk && port_->RefreshLineState() == kSerialOk;
    if (line_ok && port_->InBreak()) {
        line_ok = port_->SetBreak(false) == kSerialOk && port_->SetDtr(true) == kSerialOk &&
                  port_->SetRts(true) == kSerialOk;
    }
    if (!line_ok) {
        return OpenFailed("Unable to Detect Line Status");
    }

    const int handshake_set = port_->SetHandshake(handshake == 1);
    if (handshake_set != kSerialOk) {
        return OpenFailed("Error Setting Handshake Mode: " + std::to_string(handshake_set));
    }
    LogNotes();

    const int format = port_->SetDataFormat(rate, parity, data_bits, stop_bits);
    if (format == kSerialNotOpen || format == kSerialNotATerminal) {
        return OpenFailed("Unable to Detect Data Format");
    }
    if (format != kSerialOk) {
        return OpenFailed("Error Setting Data Format");
    }
    LogNotes();

    Status("Initializing Modem");
    modem_ = std::make_unique<HayesModem>(*port_);
    modem_->SetAnswer(timings_.answer, "OK");
    modem_->SetPause(timings_.pause);
    modem_->SetResetSettle(timings_.reset_settle);
    modem_->SetWaitHook([this] { return WhileWaiting(); });
    profile_ = HayesProfile{};
    modem_->SetProfile(profile_);

    const int initialised = modem_->Initialise();
    if (initialised != kSerialOk) {
        return OpenFailed("Error Initializing Modem: " + std::to_string(initialised));
    }

    // The standard commands; a modem that refuses them is used all the same.
    static_cast<void>(modem_->Command(profile_.auto_answer_off));
    static_cast<void>(modem_->Command(profile_.echo_off));
    static_cast<void>(modem_->Command(profile_.verbose_codes));
    for (int set = 4; set >= 0; --set) {
        if (modem_->Command(profile_.result_sets[static_cast<size_t>(set)]) == kSerialOk) {
            break;
        }
    }

    if (!settings_.modem_init.empty()) {
        profile_.init = settings_.modem_init.substr(0, kHayesInitLimit);
        modem_->SetProfile(profile_);
        LogIo(profile_.init, kIoSent);
        const int custom = modem_->Command(profile_.init);
        if (custom != kSerialOk) {
            return OpenFailed("Error Using Custom Initialization String: " +
                              std::to_string(custom));
        }
    }
    Status("Modem Initialized");
    return 0;
}

int tvComm::Dial(int rate, std::string_view phone, char parity, int data_bits, int stop_bits,
                 int handshake) {
    stopping_ = false;
    if (OpenPort(rate, parity, data_bits, stop_bits, handshake) != 0) {
        return 1;
    }
    Status("Dialing Service");
    const std::string number = settings_.dial_prefix + std::string(phone);
    if (modem_->Dial(true, number) != kSerialOk) {
        Close();
        return 1;
    }
    LogIo(profile_.prefix + profile_.tone_dial + number + " - " + std::to_string(data_bits) +
              parity + std::to_string(stop_bits),
          kIoSent);

    milliseconds budget = timings_.dial;
    for (;;) {
        std::string line;
        const long left = modem_->ReadLine(&line, kDialLineSize, budget);
        if (!line.empty()) {
            LogIo(line, kIoReceived);
        }
        if (Contains(line, "CONNECT")) {
            Status("Connected");
            return 0;
        }
        bool failed = left <= 0;
        for (const char* answer : kDialFailures) {
            failed = failed || Contains(line, answer);
        }
        if (failed) {
            // Closing drops DTR, which also stops a modem still dialling.
            Close();
            return 1;
        }
        budget = milliseconds(left);
    }
}

void tvComm::HangUp() {
    Status("Hangup and Reset Modem");
    if (!IsOpen()) {
        Close();
        return;
    }
    stopping_ = host_.StopRequested();
    const int hang_up_tries = stopping_ ? 1 : timings_.hang_up_tries;
    const int reset_tries = stopping_ ? 1 : timings_.reset_tries;
    modem_->SetPause(stopping_ ? timings_.stop_pause : timings_.pause);
    modem_->SetAnswer(stopping_ ? timings_.stop_answer : timings_.answer, "OK");

    for (int attempt = 0; attempt < hang_up_tries; ++attempt) {
        if (modem_->SendHangUp() != kSerialOk) {
            break;
        }
        static_cast<void>(modem_->DiscardFor(timings_.hang_up_settle));
        const std::optional<bool> carrier = modem_->CarrierPresent();
        // A line that cannot tell is taken as hung up: trying again would not tell.
        if (!carrier.value_or(false)) {
            break;
        }
    }
    for (int attempt = 0; attempt < reset_tries; ++attempt) {
        const int reset = modem_->Command(profile_.reset);
        if (reset == kSerialOk || reset == kSerialIoError || reset == kSerialNotOpen ||
            reset == kSerialAbandoned) {
            break;
        }
    }
    LogNotes();
    Close();
    stopping_ = false;
}

long tvComm::ReadLine(std::string* buffer, size_t size, milliseconds timeout) {
    buffer->clear();
    if (!IsOpen()) {
        return -1;
    }
    return modem_->ReadLine(buffer, size, timeout);
}

void tvComm::PurgeInput() {
    if (IsOpen()) {
        static_cast<void>(port_->PurgeInput());
    }
}

bool tvComm::Wait(milliseconds length) {
    if (!IsOpen()) {
        return !host_.StopRequested();
    }
    return modem_->Pause(length);
}

int tvComm::WriteChar(char byte) {
    return IsOpen() ? port_->WriteByte(byte) : kSerialNotOpen;
}

int tvComm::WriteBlock(std::string_view bytes) {
    return IsOpen() ? port_->Write(bytes) : kSerialNotOpen;
}

int tvComm::WriteLine(std::string_view text, char terminator) {
    return IsOpen() ? port_->WriteText(text, terminator) : kSerialNotOpen;
}
