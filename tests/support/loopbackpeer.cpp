#include "tests/support/loopbackpeer.h"

#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{20};

}  // namespace

std::string LoopbackPeer::Connection::ReadUntil(std::string_view terminator,
                                                std::chrono::milliseconds timeout) {
    std::string gathered;
    const auto deadline = Clock::now() + timeout;
    while (!stopping_.load() && Clock::now() < deadline) {
        if (!terminator.empty() && gathered.size() >= terminator.size() &&
            std::string_view(gathered).substr(gathered.size() - terminator.size()) == terminator) {
            break;
        }
        if (socket_.WaitReadable(kSlice) != platform::WaitResult::kReady) {
            if (!socket_.IsOpen()) {
                break;
            }
            continue;
        }
        // One byte at a time so that nothing after the terminator is taken.
        char byte = 0;
        if (socket_.Receive(&byte, 1) <= 0) {
            break;
        }
        gathered.push_back(byte);
    }
    return gathered;
}

std::string LoopbackPeer::Connection::ReadToEnd(std::chrono::milliseconds timeout) {
    return ReadUntil(std::string_view(), timeout);
}

bool LoopbackPeer::Connection::Send(std::string_view bytes) {
    return socket_.Send(bytes) == static_cast<long>(bytes.size());
}

void LoopbackPeer::Connection::Pause(std::chrono::milliseconds duration) {
    const auto deadline = Clock::now() + duration;
    while (!stopping_.load() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, deadline - Clock::now()));
    }
}

LoopbackPeer::LoopbackPeer(Script script) : script_(std::move(script)) {
    if (!listener_.Listen("127.0.0.1", 0)) {
        throw std::runtime_error("loopback peer cannot listen");
    }
    port_ = listener_.Port();
    thread_ = std::thread([this] { Run(); });
}

LoopbackPeer::~LoopbackPeer() {
    stopping_.store(true);
    Join();
}

void LoopbackPeer::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LoopbackPeer::Run() {
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    while (!stopping_.load() && Clock::now() < give_up) {
        platform::TcpSocket socket = listener_.Accept(kSlice);
        if (socket.IsOpen()) {
            Connection connection(socket, stopping_);
            script_(connection);
            return;
        }
    }
}
