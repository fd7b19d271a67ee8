#include "tests/support/snpptestserver.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{20};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

SnppTestServer::Action SnppTestServer::Action::ThenClose() const {
    Action action = *this;
    action.then_close = true;
    return action;
}

SnppTestServer::Action SnppTestServer::Action::Reply(std::string line,
                                                     std::chrono::milliseconds delay) {
    return Action{Kind::kReply, std::move(line), delay, false};
}

SnppTestServer::Action SnppTestServer::Action::Raw(std::string bytes,
                                                   std::chrono::milliseconds delay) {
    return Action{Kind::kRaw, std::move(bytes), delay, false};
}

SnppTestServer::Action SnppTestServer::Action::NoReply() {
    return Action{Kind::kNoReply, {}, {}, false};
}

SnppTestServer::Action SnppTestServer::Action::Close(std::chrono::milliseconds delay) {
    return Action{Kind::kClose, {}, delay, false};
}

SnppTestServer::Action SnppTestServer::Action::Reset() {
    return Action{Kind::kReset, {}, {}, false};
}

SnppTestServer::SnppTestServer() : greeting_(Action::Reply("220 Tolvane test SNPP server")) {
    if (!listener_.Listen("127.0.0.1", 0)) {
        throw std::runtime_error("SNPP test server cannot listen");
    }
    port_ = listener_.Port();
    thread_ = std::thread([this] { Run(); });
}

SnppTestServer::~SnppTestServer() {
    stopping_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SnppTestServer::SetGreeting(Action action) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = std::move(action);
}

void SnppTestServer::OnCommand(const std::string& verb, Action action, int occurrence) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_.push_back(Script{Upper(verb), occurrence, std::move(action)});
}

void SnppTestServer::SplitReplies(size_t chunk, std::chrono::milliseconds gap) {
    std::lock_guard<std::mutex> lock(mutex_);
    chunk_ = chunk;
    gap_ = gap;
}

void SnppTestServer::SetAutoDeliver(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto_deliver_ = on;
}

void SnppTestServer::DeliverAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Page& page : pages_) {
        page.delivered = true;
    }
}

int SnppTestServer::Connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(transcripts_.size());
}

int SnppTestServer::ClosedConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

bool SnppTestServer::WaitForClosedConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return closed_changed_.wait_for(lock, timeout, [&] { return closed_ >= count; });
}

std::vector<std::string> SnppTestServer::Transcripts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transcripts_;
}

std::string SnppTestServer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const std::string& transcript : transcripts_) {
        all += transcript;
    }
    return all;
}

std::vector<std::string> SnppTestServer::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<SnppTestServer::Page> SnppTestServer::Pages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pages_;
}

void SnppTestServer::Run() {
    while (!stopping_.load()) {
        platform::TcpSocket socket = listener_.Accept(kSlice);
        if (!socket.IsOpen()) {
            continue;
        }
        size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            transcripts_.emplace_back();
            index = transcripts_.size() - 1;
        }
        Serve(socket, index);
        socket.Close();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++closed_;
        }
        closed_changed_.notify_all();
    }
}

void SnppTestServer::Serve(platform::TcpSocket& socket, size_t index) {
    Action greeting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_;
    }
    if (!Perform(socket, greeting)) {
        return;
    }
    Session session;
    std::string pending;
    while (!stopping_.load()) {
        const platform::WaitResult waited = socket.WaitReadable(kSlice);
        if (waited == platform::WaitResult::kTimedOut) {
            continue;
        }
        char buffer[1024];
        const long count =
            waited == platform::WaitResult::kReady ? socket.Receive(buffer, sizeof(buffer)) : -1;
        if (count <= 0) {
            return;
        }
        pending.append(buffer, static_cast<size_t>(count));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            transcripts_[index].append(buffer, static_cast<size_t>(count));
        }
        size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const size_t space = line.find(' ');
            const std::string verb = Upper(line.substr(0, space));
            const std::string argument =
                space == std::string::npos ? std::string() : line.substr(space + 1);

            Action action;
            bool scripted = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(line);
                auto seen = std::find_if(seen_.begin(), seen_.end(),
                                         [&](const auto& entry) { return entry.first == verb; });
                if (seen == seen_.end()) {
                    seen_.emplace_back(verb, 0);
                    seen = seen_.end() - 1;
                }
                const int occurrence = ++seen->second;
                for (auto script = scripts_.rbegin(); script != scripts_.rend(); ++script) {
                    if (script->verb == verb &&
                        (script->occurrence == 0 || script->occurrence == occurrence)) {
                        action = script->action;
                        scripted = true;
                        break;
                    }
                }
                if (!scripted) {
                    action = ModelReply(verb, argument, session);
                }
            }
            if (!Perform(socket, action)) {
                return;
            }
            if (!scripted && verb == "QUIT") {
                return;
            }
        }
    }
}

SnppTestServer::Action SnppTestServer::ModelReply(const std::string& verb,
                                                  const std::string& argument, Session& session) {
    if (verb == "LOGI") {
        return Action::Reply("250 Login Accepted");
    }
    if (verb == "2WAY") {
        session.two_way = true;
        return Action::Reply("250 Two-Way Mode Enabled");
    }
    if (verb == "PAGE") {
        if (argument.empty()) {
            return Action::Reply("550 Error, Invalid Pager ID");
        }
        session.pin = argument;
        return Action::Reply("250 Pager ID Accepted");
    }
    if (verb == "MESS") {
        if (argument.empty()) {
            return Action::Reply("550 Error, Invalid Message");
        }
        session.message = argument;
        return Action::Reply("250 Message OK");
    }
    if (verb == "MCRE") {
        if (!session.two_way) {
            return Action::Reply("503 Error, Two-Way Mode Not Enabled");
        }
        session.responses.push_back(argument);
        return Action::Reply("250 Response Added");
    }
    if (verb == "CALL") {
        session.caller = argument;
        return Action::Reply("250 Caller ID Accepted");
    }
    if (verb == "SEND") {
        if (session.pin.empty() || session.message.empty()) {
            return Action::Reply("503 Error, Pager ID or Message Incomplete");
        }
        Page page;
        page.pin = session.pin;
        page.message = session.message;
        page.responses = session.responses;
        page.caller = session.caller;
        page.two_way = session.two_way;
        if (page.two_way) {
            page.number = next_number_++;
            page.delivered = auto_deliver_;
        }
        pages_.push_back(page);
        const bool two_way = session.two_way;
        session = Session();
        session.two_way = two_way;
        if (!two_way) {
            return Action::Reply("250 Message Sent Successfully");
        }
        return Action::Reply("960 " + std::to_string(pages_.size()) + " " +
                             std::to_string(page.number) + " Queued");
    }
    if (verb == "MSTA") {
        const size_t space = argument.find(' ');
        const int number = space == std::string::npos ? 0 : std::atoi(argument.c_str() + space + 1);
        for (const Page& page : pages_) {
            if (page.two_way && page.number == number && number != 0) {
                return Action::Reply((page.delivered ? "860 " : "960 ") + std::to_string(number) +
                                     (page.delivered ? " Delivered" : " Queued"));
            }
        }
        return Action::Reply("550 Error, Message Not Found");
    }
    if (verb == "RESET" || verb == "RESE") {
        session = Session();
        return Action::Reply("250 RESET OK");
    }
    if (verb == "QUIT") {
        return Action::Reply("221 OK, Goodbye");
    }
    return Action::Reply("500 Command Not Implemented");
}

bool SnppTestServer::Perform(platform::TcpSocket& socket, const Action& action) {
    if (action.delay.count() > 0 && !Pause(action.delay)) {
        return false;
    }
    bool open = true;
    switch (action.kind) {
        case Action::Kind::kReply:
            open = Write(socket, action.text + "\r\n");
            break;
        case Action::Kind::kRaw:
            open = Write(socket, action.text);
            break;
        case Action::Kind::kNoReply:
            break;
        case Action::Kind::kClose:
            socket.Close();
            return false;
        case Action::Kind::kReset:
            socket.CloseWithReset();
            return false;
    }
    if (open && action.then_close) {
        socket.Close();
        open = false;
    }
    return open;
}

bool SnppTestServer::Write(platform::TcpSocket& socket, const std::string& bytes) {
    size_t chunk = 0;
    std::chrono::milliseconds gap{0};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        chunk = chunk_;
        gap = gap_;
    }
    if (chunk == 0) {
        chunk = bytes.size();
    }
    for (size_t start = 0; start < bytes.size(); start += chunk) {
        if (start > 0 && !Pause(gap)) {
            return false;
        }
        const std::string piece = bytes.substr(start, chunk);
        if (socket.Send(piece) != static_cast<long>(piece.size())) {
            return false;
        }
    }
    return true;
}

bool SnppTestServer::Pause(std::chrono::milliseconds duration) const {
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline) {
        if (stopping_.load()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, deadline - Clock::now()));
    }
    return !stopping_.load();
}
