#include "transport/clinesocket.h"

#include <algorithm>
#include <array>

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string_view LastLine(std::string_view gathered) {
    // The last complete line: from after the previous LF up to the final LF.
    std::string_view body = gathered.substr(0, gathered.size() - 1);
    const size_t previous = body.rfind('\n');
    return previous == std::string_view::npos ? body : body.substr(previous + 1);
}

}  // namespace

bool LineComplete(std::string_view gathered) {
    return gathered.find('\n') != std::string_view::npos;
}

bool CodedReplyComplete(std::string_view gathered) {
    if (gathered.empty() || gathered.back() != '\n') {
        return false;
    }
    const std::string_view line = LastLine(gathered);
    return line.size() < 4 || line[3] != '-';
}

bool DotTerminatedComplete(std::string_view gathered) {
    if (!gathered.empty() && gathered.front() == '-') {
        return LineComplete(gathered);
    }
    constexpr std::string_view kEnd = "\r\n.\r\n";
    return gathered.size() >= kEnd.size() && gathered.substr(gathered.size() - kEnd.size()) == kEnd;
}

CLineSocket::CLineSocket(tvTransportHost& host) : host_(host) {}

CLineSocket::~CLineSocket() = default;

bool CLineSocket::Create() {
    return socket_.Create();
}

bool CLineSocket::SetBlocking() {
    return socket_.SetBlocking(true);
}

platform::ConnectResult CLineSocket::Connect(const std::string& host, int port,
                                             std::chrono::milliseconds timeout) {
    return socket_.Connect(
        host, port, timeout, [this] { host_.PumpWhileWaiting(); },
        [this] { return host_.StopRequested(); });
}

void CLineSocket::Close() {
    tls_.Shutdown();
    socket_.Close();
}

platform::WaitHooks CLineSocket::Hooks() {
    return {[this] { host_.PumpWhileWaiting(); }, [this] { return host_.StopRequested(); }};
}

platform::TlsStatus CLineSocket::StartTls(const std::string& host,
                                          std::chrono::milliseconds timeout) {
    return tls_.Handshake(socket_, host, timeout, Hooks());
}

long CLineSocket::Transmit(std::string_view bytes) {
    if (!tls_.Active()) {
        return socket_.Send(bytes);
    }
    platform::TlsIo io = platform::TlsIo::kDone;
    const size_t written = tls_.Write(bytes, send_timeout_, Hooks(), &io);
    if (io != platform::TlsIo::kDone && written == 0) {
        return -1;
    }
    return static_cast<long>(written);
}

LineSend CLineSocket::SendBytes(std::string_view bytes) {
    LineSend result;
    if (bytes.empty()) {
        return result;
    }
    const long sent = Transmit(bytes);
    if (sent < 0) {
        result.status = SendStatus::kFailed;
    } else if (sent == 0) {
        result.status = SendStatus::kNothingSent;
    } else {
        result.status = SendStatus::kSent;
        result.bytes = static_cast<size_t>(sent);
    }
    return result;
}

LineSend CLineSocket::SendLine(std::string_view command, bool confidential) {
    LineSend result;
    if (command.empty()) {
        return result;
    }
    std::string line(command);
    line += "\r\n";
    const long sent = Transmit(line);
    if (sent < 0) {
        result.status = SendStatus::kFailed;
        return result;
    }
    if (sent == 0) {
        result.status = SendStatus::kNothingSent;
        return result;
    }
    result.status = SendStatus::kSent;
    result.bytes = static_cast<size_t>(sent);
    if (log_traffic_) {
        host_.LogComm(std::to_string(sent) + kCommSent,
                      confidential ? std::string("Confidential") : std::string(command));
    }
    return result;
}

long CLineSocket::ReceiveSome(char* buffer, size_t room) {
    if (!tls_.Active()) {
        return socket_.Receive(buffer, room);
    }
    platform::TlsIo io = platform::TlsIo::kDone;
    const size_t got = tls_.Read(buffer, room, &io);
    switch (io) {
        case platform::TlsIo::kDone:
            return static_cast<long>(got);
        case platform::TlsIo::kWouldBlock:
            return kNothingYet;
        case platform::TlsIo::kClosed:
            return 0;
        default:
            return -1;
    }
}

platform::WaitResult CLineSocket::WaitReadable(std::chrono::milliseconds timeout) {
    // Bytes TLS has already decrypted do not show on the socket.
    if (tls_.HasBuffered()) {
        return platform::WaitResult::kReady;
    }
    return socket_.WaitReadable(timeout);
}

LineReply CLineSocket::ReadLineReply(const ReplyRules& rules) {
    LineReply reply;
    std::string gathered;
    const size_t limit = std::max<size_t>(rules.max_bytes, 1);
    bool discarding = false;  // past the limit, reading on to the line end
    auto deadline = SteadyClock::now() + rules.timeout;
    auto last_pump = SteadyClock::now();
    std::array<char, 4096> buffer;
    for (;;) {
        const auto now = SteadyClock::now();
        const auto left =
            deadline > now ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                           : std::chrono::milliseconds(0);
        const platform::WaitResult waited = WaitReadable(std::min(left, platform::kWaitSlice));
        if (waited == platform::WaitResult::kFailed) {
            reply.status = ReplyStatus::kFailed;
            break;
        }
        long count = kNothingYet;
        if (waited == platform::WaitResult::kReady) {
            const size_t room =
                discarding ? buffer.size() : std::min(buffer.size(), limit - gathered.size());
            count = ReceiveSome(buffer.data(), room);
            if (count == -1) {
                reply.status = ReplyStatus::kFailed;
                break;
            }
            if (count == 0) {
                reply.status = ReplyStatus::kClosed;
                break;
            }
        }
        if (count > 0) {
            const std::string_view got(buffer.data(), static_cast<size_t>(count));
            if (discarding) {
                reply.dropped += got.size();
                if (got.find('\n') != std::string_view::npos) {
                    reply.status = ReplyStatus::kComplete;
                    break;
                }
            } else {
                gathered.append(got);
                if (rules.complete(gathered)) {
                    reply.status = ReplyStatus::kComplete;
                    break;
                }
                if (gathered.size() >= limit) {
                    if (!rules.discard_excess) {
                        reply.status = ReplyStatus::kComplete;
                        break;
                    }
                    discarding = true;
                }
            }
            if (rules.restart_on_data) {
                deadline = SteadyClock::now() + rules.timeout;
            }
        } else if (host_.StopRequested()) {
            reply.status = ReplyStatus::kStopped;
            break;
        } else if (SteadyClock::now() >= deadline) {
            reply.status = ReplyStatus::kTimedOut;
            break;
        }
        // Part of a reply, or nothing yet: let the engine's timer run when it is due.
        if (waited == platform::WaitResult::kTimedOut ||
            SteadyClock::now() - last_pump >= platform::kWaitSlice) {
            host_.PumpWhileWaiting();
            last_pump = SteadyClock::now();
        }
    }
    reply.bytes = gathered.size();
    reply.text = gathered.substr(0, gathered.find('\0'));
    if (reply.bytes > 0 && log_traffic_) {
        host_.LogComm(kCommReceived + std::to_string(reply.bytes + reply.dropped), reply.text);
    }
    return reply;
}

size_t CLineSocket::DrainUnasked() {
    std::string unasked;
    std::array<char, 4096> buffer;
    while (WaitReadable(std::chrono::milliseconds(0)) == platform::WaitResult::kReady) {
        const long count = ReceiveSome(buffer.data(), buffer.size());
        if (count <= 0) {
            break;
        }
        unasked.append(buffer.data(), static_cast<size_t>(count));
    }
    if (!unasked.empty() && log_traffic_) {
        host_.LogComm(kCommReceived + std::to_string(unasked.size()),
                      unasked.substr(0, unasked.find('\0')));
    }
    return unasked.size();
}
