#include "platform/serial/hayesmodem.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace platform {

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string WithoutPauses(std::string_view text) {
    std::string plain;
    for (const char c : text) {
        if (c != '~') {
            plain.push_back(c);
        }
    }
    return plain;
}

milliseconds Since(SteadyClock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start);
}

}  // namespace

HayesModem::HayesModem(SerialPort& port) : port_(port) {}

void HayesModem::SetAnswer(milliseconds timeout, std::string expected) {
    answer_timeout_ = timeout;
    expected_ = std::move(expected);
}

bool HayesModem::RunHook() {
    if (hook_ && !hook_()) {
        abandoned_ = true;
    }
    return !abandoned_;
}

bool HayesModem::Pause(milliseconds length) {
    abandoned_ = false;
    const auto start = SteadyClock::now();
    for (;;) {
        const milliseconds left = length - Since(start);
        if (left.count() <= 0) {
            return true;
        }
        std::this_thread::sleep_for(std::min(left, kSerialWaitSlice));
        if (!RunHook()) {
            return false;
        }
    }
}

bool HayesModem::DiscardFor(milliseconds length) {
    abandoned_ = false;
    const auto start = SteadyClock::now();
    for (;;) {
        char byte = 0;
        SerialRead read = SerialRead::kByte;
        while ((read = port_.ReadByte(&byte)) == SerialRead::kByte) {
        }
        if (read == SerialRead::kFailed) {
            return false;
        }
        const milliseconds left = length - Since(start);
        if (left.count() <= 0) {
            return true;
        }
        const int waited = port_.WaitReadable(std::min(left, kSerialWaitSlice));
        if (waited != kSerialOk && waited != kSerialTimedOut) {
            return false;
        }
        if (!RunHook()) {
            return false;
        }
    }
}

int HayesModem::WriteWithPauses(std::string_view text) {
    while (!text.empty()) {
        const size_t tilde = text.find('~');
        const std::string_view piece = text.substr(0, tilde);
        if (!piece.empty()) {
            const int written = port_.Write(piece);
            if (written != kSerialOk) {
                return written;
            }
        }
        if (tilde == std::string_view::npos) {
            break;
        }
        if (!Pause(pause_)) {
            return kSerialAbandoned;
        }
        text.remove_prefix(tilde + 1);
    }
    return kSerialOk;
}

int HayesModem::SendString(std::string_view text) {
    std::string line(text);
    line.push_back(profile_.terminator);
    return WriteWithPauses(line);
}

int HayesModem::Command(std::string_view text) {
    const std::string command = profile_.prefix + std::string(text);
    const int sent = SendString(command);
    if (sent != kSerialOk) {
        return sent;
    }
    return AwaitAnswer(WithoutPauses(command));
}

int HayesModem::AwaitAnswer(std::string_view sent) {
    milliseconds budget = answer_timeout_;
    for (;;) {
        std::string line;
        const long left = ReadLine(&line, 128, budget);
        if (left < 0) {
            return port_.LastError();
        }
        const std::string_view answer = Trimmed(line);
        if (answer == expected_ || (expected_ == "OK" && answer == "0")) {
            return kSerialOk;
        }
        if (answer == "ERROR" || answer == "4") {
            return kSerialModemRefused;
        }
        if (!answer.empty() && answer == Trimmed(sent)) {
            echoes_ = true;
        }
        if (left == 0) {
            return abandoned_ ? kSerialAbandoned : kSerialTimedOut;
        }
        budget = milliseconds(left);
    }
}

int HayesModem::Initialise() {
    echoes_ = false;
    const int reset = Command(profile_.reset);
    if (reset != kSerialOk) {
        return reset;
    }
    if (!DiscardFor(reset_settle_)) {
        return abandoned_ ? kSerialAbandoned : port_.LastError();
    }
    return Command(profile_.init);
}

int HayesModem::Dial(bool tone, std::string_view number) {
    return SendString(profile_.prefix + (tone ? profile_.tone_dial : profile_.pulse_dial) +
                      std::string(number));
}

long HayesModem::ReadLine(std::string* line, size_t size, milliseconds budget) {
    line->clear();
    abandoned_ = false;
    // Kept in the steady clock's own unit: many short waits must add up exactly.
    SteadyClock::duration left = std::max(budget, milliseconds(0));
    const auto left_ms = [&left] {
        return static_cast<long>(std::chrono::duration_cast<milliseconds>(left).count());
    };
    if (size == 0) {
        return left_ms();
    }
    const size_t limit = size - 1;
    size_t taken = 0;
    auto last_hook = SteadyClock::now();
    for (;;) {
        char byte = 0;
        const SerialRead read = port_.ReadByte(&byte);
        if (read == SerialRead::kFailed) {
            return -1;
        }
        if (read == SerialRead::kByte) {
            if (byte == '\r') {
                return left_ms();
            }
            if (byte != '\n') {
                line->push_back(byte);
            }
            // Dropped line feeds count too, so that a line that never ends cannot hold
            // the reader while the bytes keep coming.
            if (++taken >= limit) {
                // A carriage return right after a full line still belongs to it.
                if (port_.PeekByte(&byte) == SerialRead::kByte && byte == '\r') {
                    static_cast<void>(port_.ReadByte(&byte));
                }
                return left_ms();
            }
            if (SteadyClock::now() - last_hook >= kSerialWaitSlice) {
                last_hook = SteadyClock::now();
                if (!RunHook()) {
                    return 0;
                }
            }
            continue;
        }
        if (left <= SteadyClock::duration::zero()) {
            return 0;
        }
        const auto start = SteadyClock::now();
        const auto wait = std::min<SteadyClock::duration>(left, kSerialWaitSlice);
        const int waited = port_.WaitReadable(std::chrono::ceil<milliseconds>(wait));
        left -= std::min<SteadyClock::duration>(left, SteadyClock::now() - start);
        if (waited != kSerialOk && waited != kSerialTimedOut) {
            return -1;
        }
        if (waited == kSerialTimedOut || SteadyClock::now() - last_hook >= kSerialWaitSlice) {
            last_hook = SteadyClock::now();
            if (!RunHook()) {
                return 0;
            }
        }
    }
}

std::optional<bool> HayesModem::CarrierPresent() {
    if (port_.RefreshLineState() != kSerialOk) {
        return std::nullopt;
    }
    return port_.CarrierPresent();
}

}  // namespace platform
