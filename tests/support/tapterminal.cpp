#include "tests/support/tapterminal.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

using std::chrono::milliseconds;

constexpr char kEot = '\x04';
constexpr char kEsc = '\x1b';
constexpr char kCr = '\r';
constexpr char kLf = '\n';

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trim(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) {
        return {};
    }
    const size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

}  // namespace

TapTerminal::TapTerminal() {
    if (pty_.ok()) {
        thread_ = std::thread([this] { Serve(); });
    }
}

TapTerminal::~TapTerminal() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TapTerminal::Serve() {
    while (!stop_) {
        bool hung_up = false;
        const std::string bytes = pty_.ReadSome(milliseconds(20), &hung_up);
        std::lock_guard<std::mutex> lock(mutex_);
        if (hung_up) {
            LineDropped();
            continue;
        }
        line_open_ = line_open_ || !bytes.empty();
        for (const char byte : bytes) {
            Handle(byte);
        }
    }
}

void TapTerminal::Send(const std::string& bytes) {
    if (!bytes.empty()) {
        static_cast<void>(pty_.Write(bytes));
    }
}

void TapTerminal::Answer(const std::string& result) {
    if (verbose_) {
        Send("\r\n" + result + "\r\n");
        return;
    }
    static const std::pair<const char*, const char*> kCodes[] = {
        {"OK", "0"},          {"CONNECT", "1"}, {"NO CARRIER", "3"}, {"ERROR", "4"},
        {"NO DIALTONE", "6"}, {"BUSY", "7"},    {"NO ANSWER", "8"},
    };
    for (const auto& [word, code] : kCodes) {
        if (result.rfind(word, 0) == 0) {
            Send(std::string(code) + "\r");
            return;
        }
    }
    Send(result + "\r");
}

void TapTerminal::Handle(char byte) {
    received_.push_back(byte);
    if (mode_ == Mode::kOnline) {
        HandleOnlineByte(byte);
    } else {
        HandleCommandByte(byte);
    }
}

void TapTerminal::HandleCommandByte(char byte) {
    if (echo_) {
        Send(std::string(1, byte));
    }
    if (byte == kLf) {
        return;
    }
    if (byte != kCr) {
        if (command_line_.size() < 512) {
            command_line_.push_back(byte);
        }
        return;
    }
    const std::string line = std::exchange(command_line_, {});
    HandleCommandLine(line);
}

void TapTerminal::HandleCommandLine(const std::string& line) {
    // Anything before "AT" (the "+++" of a hang-up string sent in command mode) is
    // line noise to a modem.
    const size_t at = Upper(line).find("AT");
    if (at == std::string::npos) {
        return;
    }
    const std::string command = Trim(line.substr(at + 2));
    const std::string upper = Upper(command);
    commands_.push_back(line.substr(at));
    if (refused_.count(upper) != 0) {
        Answer("ERROR");
        return;
    }
    if (!upper.empty() && upper[0] == 'D') {
        std::string number = command.substr(1);
        if (!number.empty() && (std::toupper(static_cast<unsigned char>(number[0])) == 'T' ||
                                std::toupper(static_cast<unsigned char>(number[0])) == 'P')) {
            number.erase(0, 1);
        }
        dialled_.push_back(number);
        if (dial_delay_.count() > 0) {
            // The test thread may script meanwhile; the line is not read while dialling.
            mutex_.unlock();
            std::this_thread::sleep_for(dial_delay_);
            mutex_.lock();
        }
        switch (dial_result_) {
            case DialResult::kConnect:
                Answer("CONNECT 2400");
                mode_ = Mode::kOnline;
                call_up_ = true;
                ++calls_;
                tap_state_ = TapState::kWaitLogon;
                collecting_logon_ = false;
                logon_.clear();
                collector_.Reset();
                pluses_ = 0;
                return;
            case DialResult::kBusy:
                Answer("BUSY");
                return;
            case DialResult::kNoCarrier:
                Answer("NO CARRIER");
                return;
            case DialResult::kNoAnswer:
                Answer("NO ANSWER");
                return;
            case DialResult::kNoDialtone:
                Answer("NO DIALTONE");
                return;
            case DialResult::kError:
                Answer("ERROR");
                return;
            case DialResult::kSilent:
                return;
        }
    }
    if (upper.rfind("Z", 0) == 0) {
        echo_ = true;
        verbose_ = true;
    }
    if (upper.find("E0") != std::string::npos) {
        echo_ = false;
    } else if (upper.find("E1") != std::string::npos) {
        echo_ = true;
    }
    if (upper.find("V0") != std::string::npos) {
        verbose_ = false;
    } else if (upper.find("V1") != std::string::npos) {
        verbose_ = true;
    }
    if ((upper == "H" || upper.rfind("H0", 0) == 0) && call_up_) {
        EndCall(true);
    }
    if (upper == "O" && call_up_) {
        Answer("CONNECT 2400");
        mode_ = Mode::kOnline;
        return;
    }
    Answer("OK");
}

void TapTerminal::HandleOnlineByte(char byte) {
    if (byte == '+') {
        if (++pluses_ == 3) {
            pluses_ = 0;
            mode_ = Mode::kCommand;
            command_line_.clear();
            Answer("OK");
        }
        return;
    }
    pluses_ = 0;

    if (tap_state_ == TapState::kWaitLogon) {
        if (collecting_logon_) {
            if (byte == kCr) {
                collecting_logon_ = false;
                HandleLogon();
            } else if (logon_.size() < 64) {
                logon_.push_back(byte);
            }
            return;
        }
        if (byte == kEsc) {
            collecting_logon_ = true;
            logon_.assign(1, byte);
            return;
        }
        if (byte == kCr) {
            ++id_requests_;
            if (ignore_id_ > 0) {
                --ignore_id_;
                return;
            }
            Send(id_with_cr_ ? "ID=\r" : "ID=");
        } else if (byte == kEot) {
            HandleEot();
        }
        return;
    }

    if (byte == kEot && !collector_.InBlock()) {
        HandleEot();
        return;
    }
    if (std::optional<TapParsedBlock> block = collector_.Feed(byte)) {
        HandleBlock(*block);
    }
}

void TapTerminal::HandleLogon() {
    logons_.push_back(logon_);
    Reply reply = Reply::Ack();
    if (!logon_replies_.empty()) {
        reply = logon_replies_.front();
        logon_replies_.pop_front();
    }
    Send(reply.bytes);
    if (reply.drop_carrier) {
        DropCarrier();
        return;
    }
    if (reply.accept) {
        tap_state_ = TapState::kReady;
        collector_.Reset();
        if (go_ahead_) {
            Send("\x1b[p\r");
        }
    }
}

TapTerminal::Page* TapTerminal::FindPage(int64_t number) {
    for (Page& page : pages_) {
        if (page.etap && page.number == number) {
            return &page;
        }
    }
    return nullptr;
}

std::string TapTerminal::DefaultBlockAnswer(const TapParsedBlock& block) {
    if (!block.framed || !block.checksum_ok) {
        return "\x15\r";
    }
    const std::string ack = "\x06\r";
    switch (block.kind) {
        case TapParsedBlock::Kind::kPage:
            pages_.push_back({block.pin, block.text, false, 0, false, false});
            return ack;
        case TapParsedBlock::Kind::kConfirmedPage: {
            const int number = next_number_++;
            pages_.push_back({block.pin, block.text, true, number, auto_deliver_, false});
            return "Message " + std::to_string(number) + " successful" +
                   (auto_deliver_ ? "" : " - not yet delivered") + "\r" + ack;
        }
        case TapParsedBlock::Kind::kQuery: {
            const Page* page = FindPage(block.number);
            const std::string head = "Message " + std::to_string(block.number);
            if (page == nullptr) {
                return head + " failed - unknown message\r" + ack;
            }
            if (page->cancelled) {
                return head + " failed - cancelled\r" + ack;
            }
            return head +
                   (page->delivered ? " successful - delivered"
                                    : " successful - not yet delivered") +
                   "\r" + ack;
        }
        case TapParsedBlock::Kind::kCancel: {
            Page* page = FindPage(block.number);
            const std::string head = "Message " + std::to_string(block.number);
            if (page == nullptr) {
                return head + " failed - unknown message\r" + ack;
            }
            if (page->delivered) {
                return head + " failed - already delivered\r" + ack;
            }
            page->cancelled = true;
            return head + " successful - cancelled\r" + ack;
        }
    }
    return ack;
}

void TapTerminal::HandleBlock(const TapParsedBlock& block) {
    blocks_.push_back(block);
    if (block_replies_.empty()) {
        Send(DefaultBlockAnswer(block));
        return;
    }
    const Reply reply = block_replies_.front();
    block_replies_.pop_front();
    if (reply.accept && block.framed) {
        pages_.push_back({block.pin, block.text, block.kind == TapParsedBlock::Kind::kConfirmedPage,
                          0, false, false});
    }
    Send(reply.bytes);
    if (reply.drop_carrier) {
        DropCarrier();
    }
}

void TapTerminal::HandleEot() {
    Send("\x1b\x04\r");
    DropCarrier();
}

void TapTerminal::DropCarrier() {
    Answer("NO CARRIER");
    EndCall(false);
}

void TapTerminal::EndCall(bool by_caller) {
    if (call_up_ && by_caller) {
        ++hang_ups_;
    }
    call_up_ = false;
    mode_ = Mode::kCommand;
    command_line_.clear();
    pluses_ = 0;
    collecting_logon_ = false;
    collector_.Reset();
}

void TapTerminal::LineDropped() {
    if (!line_open_) {
        return;
    }
    // The port was closed: DTR dropped, so the modem hangs up and resets.
    line_open_ = false;
    EndCall(true);
    echo_ = true;
    verbose_ = true;
}

void TapTerminal::SetDialResult(DialResult result, milliseconds delay) {
    std::lock_guard<std::mutex> lock(mutex_);
    dial_result_ = result;
    dial_delay_ = delay;
}

void TapTerminal::RefuseCommands(std::set<std::string> commands) {
    std::lock_guard<std::mutex> lock(mutex_);
    refused_.clear();
    for (const std::string& command : commands) {
        refused_.insert(Upper(command));
    }
}

void TapTerminal::SetIdPromptCr(bool with_cr) {
    std::lock_guard<std::mutex> lock(mutex_);
    id_with_cr_ = with_cr;
}

void TapTerminal::IgnoreIdRequests(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    ignore_id_ = count;
}

void TapTerminal::SetLogonReplies(std::vector<Reply> replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    logon_replies_.assign(replies.begin(), replies.end());
}

void TapTerminal::SetGoAhead(bool send) {
    std::lock_guard<std::mutex> lock(mutex_);
    go_ahead_ = send;
}

void TapTerminal::SetBlockReplies(std::vector<Reply> replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    block_replies_.assign(replies.begin(), replies.end());
}

void TapTerminal::SetAutoDeliver(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto_deliver_ = on;
}

void TapTerminal::DeliverAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Page& page : pages_) {
        if (!page.cancelled) {
            page.delivered = true;
        }
    }
}

void TapTerminal::SetNextNumber(int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_number_ = number;
}

std::vector<std::string> TapTerminal::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<std::string> TapTerminal::Dialled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dialled_;
}

std::vector<std::string> TapTerminal::Logons() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logons_;
}

std::vector<TapParsedBlock> TapTerminal::Blocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_;
}

std::vector<TapTerminal::Page> TapTerminal::Pages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pages_;
}

std::string TapTerminal::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

int TapTerminal::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int TapTerminal::HangUps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hang_ups_;
}

int TapTerminal::IdRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return id_requests_;
}

bool TapTerminal::OnCall() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return call_up_;
}

bool TapTerminal::WaitUntil(const std::function<bool()>& condition, milliseconds timeout) const {
    const auto give_up = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= give_up) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}

bool TapTerminal::WaitForHangUps(int count, milliseconds timeout) const {
    return WaitUntil([this, count] { return HangUps() >= count; }, timeout);
}
