#include "transport/cdns.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>

#include "platform/net/udpsocket.h"
#include "transport/dnsmessage.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

bool IsDottedAddress(const std::string& text) {
    in_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// The first IPv4 address of a host name, dotted; empty when it does not resolve.
std::string ResolveName(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 ||
        list == nullptr) {
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text)) != nullptr;
    ::freeaddrinfo(list);
    return ok ? std::string(text) : std::string();
}

}  // namespace

CDNS::CDNS() : CDNS(Config{}) {}

CDNS::CDNS(Config config) : config_(std::move(config)) {
    Discover();
}

CDNS::~CDNS() = default;

void CDNS::Discover() {
    // "nameserver ADDRESS" lines; comments start with "#" or ";". Only IPv4 servers
    // can be asked over this resolver's sockets, so others are passed over.
    std::ifstream file(config_.resolver_file);
    std::string line;
    while (secondary_.empty() && std::getline(file, line)) {
        std::istringstream words(line);
        std::string keyword;
        std::string address;
        if (!(words >> keyword >> address) || keyword != "nameserver" ||
            !IsDottedAddress(address)) {
            continue;
        }
        if (primary_.empty()) {
            primary_ = address;
        } else {
            secondary_ = address;
        }
    }
}

void CDNS::SetServer(uint32_t address) {
    primary_ = std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
               std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool CDNS::IsAvailable() const {
    return !primary_.empty() || !secondary_.empty();
}

int CDNS::Query(const std::string& domain, const std::string& server, int port, uint16_t type,
                Buffer* buffer, tvTransportHost* host) {
    const std::string address = IsDottedAddress(server) ? server : ResolveName(server);
    if (address.empty()) {
        return kServerUnknown;
    }
    platform::UdpSocket socket;
    if (!socket.Open()) {
        return kNoSocket;
    }
    const std::string query = BuildDnsQuery(domain, type);
    const int to_port = port == 0 ? 53 : port;
    if (query.empty() ||
        socket.SendTo(query, address, to_port) != static_cast<long>(query.size())) {
        return kSendFailed;
    }
    ++queries_sent_;

    const auto deadline = SteadyClock::now() + config_.timeout;
    for (;;) {
        if (host != nullptr && host->StopRequested()) {
            return kNoAnswer;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline) {
            return kNoAnswer;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const platform::WaitResult waited =
            socket.WaitReadable(std::min(left, platform::kWaitSlice));
        if (waited == platform::WaitResult::kFailed) {
            return kReceiveFailed;
        }
        if (waited == platform::WaitResult::kReady) {
            std::string from_address;
            int from_port = 0;
            const long count = socket.ReceiveFrom(reinterpret_cast<char*>(buffer->data()),
                                                  buffer->size(), &from_address, &from_port);
            if (count < 0) {
                return kReceiveFailed;
            }
            // Only the server asked may answer.
            if (from_address == address && from_port == to_port) {
                return static_cast<int>(count);
            }
        }
        if (host != nullptr) {
            host->PumpWhileWaiting();
        }
    }
}

std::vector<tvMailExchanger> CDNS::Lookup(const std::string& domain, tvTransportHost* host) {
    if (primary_.empty()) {
        return {};
    }
    Buffer buffer{};
    int received = Query(domain, primary_, config_.port, kDnsTypeMx, &buffer, host);
    if (received > 0) {
        return ParseMxAnswer(buffer.data(), static_cast<size_t>(received));
    }
    if (secondary_.empty() || (host != nullptr && host->StopRequested())) {
        return {};
    }
    buffer.fill(0);
    received = Query(domain, secondary_, config_.port, kDnsTypeMx, &buffer, host);
    if (received > 0) {
        return ParseMxAnswer(buffer.data(), static_cast<size_t>(received));
    }
    return {};
}

std::vector<tvMailExchanger> CDNS::GetMailServer(const std::string& domain, tvTransportHost* host) {
    std::vector<tvMailExchanger> result = Lookup(domain, host);
    for (int retry = 0; retry < 3 && !result.empty(); ++retry) {
        if (!result.front().host.empty() && !result.front().address.empty()) {
            return result;
        }
        if (host != nullptr && host->StopRequested()) {
            break;
        }
        result = Lookup(domain, host);
    }
    return result;
}
