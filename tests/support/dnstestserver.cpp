#include "tests/support/dnstestserver.h"

#include <arpa/inet.h>

#include <chrono>
#include <stdexcept>

namespace {

void PutU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

}  // namespace

std::string DnsName(const std::string& dotted) {
    std::string name;
    size_t start = 0;
    while (start < dotted.size()) {
        size_t dot = dotted.find('.', start);
        if (dot == std::string::npos) {
            dot = dotted.size();
        }
        name.push_back(static_cast<char>(dot - start));
        name.append(dotted, start, dot - start);
        start = dot + 1;
    }
    name.push_back('\0');
    return name;
}

DnsAnswer::DnsAnswer(const std::string& query) {
    header_ = query.substr(0, 2);
    header_.resize(2);
    header_.push_back(static_cast<char>(0x81));  // response, recursion desired
    header_.push_back(static_cast<char>(0x80));  // recursion available
    // The question: from byte 12 to the end of its name, then type and class.
    size_t position = 12;
    while (position < query.size() && query[position] != '\0') {
        position += 1 + static_cast<unsigned char>(query[position]);
    }
    question_ = query.size() > 12 ? query.substr(12, position + 5 - 12) : std::string();
}

void DnsAnswer::Add(Section section, const std::string& owner, uint16_t type,
                    const std::string& data) {
    std::string record = owner;
    PutU16(record, type);
    PutU16(record, 1);                 // IN
    record.append("\0\0\x0e\x10", 4);  // TTL 3600
    PutU16(record, static_cast<uint16_t>(data.size()));
    record += data;
    records_[section].push_back(record);
}

DnsAnswer& DnsAnswer::Mx(uint16_t preference, const std::string& exchange, Section section) {
    std::string data;
    PutU16(data, preference);
    data += DnsName(exchange);
    Add(section, std::string("\xC0\x0C", 2), 15, data);
    return *this;
}

DnsAnswer& DnsAnswer::Cname(const std::string& target, Section section) {
    Add(section, std::string("\xC0\x0C", 2), 5, DnsName(target));
    return *this;
}

DnsAnswer& DnsAnswer::Ns(const std::string& server, Section section) {
    Add(section, std::string("\xC0\x0C", 2), 2, DnsName(server));
    return *this;
}

DnsAnswer& DnsAnswer::A(const std::string& owner, const std::string& dotted, Section section) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1) {
        throw std::invalid_argument("not an address: " + dotted);
    }
    Add(section, DnsName(owner), 1, std::string(reinterpret_cast<const char*>(&address), 4));
    return *this;
}

DnsAnswer& DnsAnswer::Other(uint16_t type, const std::string& data, Section section) {
    Add(section, std::string("\xC0\x0C", 2), type, data);
    return *this;
}

std::string DnsAnswer::Build() const {
    std::string message = header_;
    PutU16(message, 1);
    for (const auto& section : records_) {
        PutU16(message, static_cast<uint16_t>(section.size()));
    }
    message += question_;
    for (const auto& section : records_) {
        for (const std::string& record : section) {
            message += record;
        }
    }
    return message;
}

DnsTestServer::DnsTestServer() {
    if (!socket_.Open() || !socket_.Bind("127.0.0.1", 0)) {
        throw std::runtime_error("DNS test server cannot bind");
    }
    port_ = socket_.LocalPort();
    thread_ = std::thread([this] { Run(); });
}

DnsTestServer::~DnsTestServer() {
    stopping_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DnsTestServer::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::string> DnsTestServer::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void DnsTestServer::Run() {
    char buffer[4096];
    while (!stopping_.load()) {
        if (socket_.WaitReadable(std::chrono::milliseconds(20)) != platform::WaitResult::kReady) {
            continue;
        }
        std::string from;
        int from_port = 0;
        const long count = socket_.ReceiveFrom(buffer, sizeof(buffer), &from, &from_port);
        if (count < 0) {
            continue;
        }
        const std::string query(buffer, static_cast<size_t>(count));
        std::optional<std::string> answer;
        {
            std::lock_guard lock(mutex_);
            queries_.push_back(query);
            if (responder_) {
                answer = responder_(query);
            }
        }
        if (answer) {
            static_cast<void>(socket_.SendTo(*answer, from, from_port));
        }
    }
}
