#include "transport/tvsmtpcarrier.h"

#include "transport/tvresolver.h"

namespace {

constexpr const char* kBlanks = " \t\r\n\f\v";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(kBlanks) == std::string::npos;
}

}  // namespace

SmtpDestination ParseSmtpPhone(const std::string& phone) {
    SmtpDestination destination;
    destination.domain = Trim(phone);
    const size_t blank = destination.domain.find(' ');
    if (blank != std::string::npos && blank > 0) {
        destination.relay = destination.domain.substr(0, blank);
        destination.domain = Trim(destination.domain.substr(blank + 1));
    }
    return destination;
}

std::string SmtpSubject(const std::string& text, int32_t message_number) {
    std::string lead;
    for (const char c : text) {
        if (lead.size() == 15 || c < ' ' || c > 'z') {
            break;
        }
        lead.push_back(c);
    }
    return lead + "  TV#" + std::to_string(message_number) + "#";
}

tvSmtpCarrier::tvSmtpCarrier(tvTransportHost& host, SmtpTimeouts timeouts)
    : host_(host), timeouts_(timeouts) {}

tvSmtpCarrier::~tvSmtpCarrier() {
    Disconnect();
}

tvCarrierTraits tvSmtpCarrier::Traits() const {
    tvCarrierTraits traits;
    traits.needs_sockets = true;
    traits.needs_resolver = true;
    traits.queries_status = false;
    traits.can_cancel = false;
    traits.one_page_per_visit = true;
    traits.cleans_text = false;
    traits.checks_inbound = false;
    return traits;
}

int tvSmtpCarrier::Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                           std::string* error) {
    return ConnectSmtp(network, site, error);
}

int tvSmtpCarrier::ConnectSmtp(const tvCarrierNetwork& network, const tvCarrierSite& site,
                               std::string* error) {
    std::string local_error;
    if (error == nullptr) {
        error = &local_error;
    }
    error->clear();
    if (!host_.SocketsAvailable() || site.resolver == nullptr || !site.resolver->IsAvailable()) {
        *error = kDisabledError;
        return 1;
    }
    Disconnect();
    connection_ = std::make_unique<CSMTPConnection>(host_, timeouts_);

    std::string relay = Trim(site.smtp_relay);
    const std::string user = site.smtp_auth ? site.smtp_user : std::string();
    const std::string password = site.smtp_auth ? site.smtp_password : std::string();

    const SmtpDestination destination = ParseSmtpPhone(network.phone);
    if (!destination.relay.empty()) {
        relay = destination.relay;
        host_.LogComm(kCommReceived, "Using host name = " + relay);
        host_.LogComm(kCommReceived, "Using domain name = " + destination.domain);
    }

    if (relay.empty()) {
        host_.LogComm(kCommSent, "Get Mail Server for " + destination.domain);
        const std::vector<tvMailExchanger> servers =
            site.resolver->GetMailServer(destination.domain, &host_);
        if (!servers.empty()) {
            relay = servers.front().host;
            host_.LogComm(kCommReceived, "Found Mail Server: " + relay);
        } else {
            *error = "Unable to obtain MX record for " + destination.domain;
            host_.LogComm(kCommReceived, *error);
        }
    }

    if (!relay.empty()) {
        std::string label = site.smtp_auth ? "(" + user + ")" : std::string();
        if (site.smtp_port != 25) {
            label += " on port " + std::to_string(site.smtp_port);
        }
        host_.LogComm(kCommSent, "SMTP Connect " + relay + label);
        SmtpSecurity security;
        security.implicit_tls = site.smtp_port == kImplicitTlsPort;
        security.require_tls = site.smtp_require_tls;
        if (connection_->Connect(relay, site.smtp_port, site.smtp_auth ? &user : nullptr, password,
                                 security)) {
            host_.LogComm(kCommReceived, "Connected: " + relay + label);
            connected_ = true;
        } else {
            host_.LogComm(kCommReceived, "Connection Failed: " + relay);
            *error = "SMTP connection to " + relay + " failed";
            // A failure on TLS says why in a row and in the response, so that a
            // refused certificate or a server without STARTTLS can be told from a
            // server that is down.
            const std::string& failure = connection_->FailureText();
            if (connection_->FailedOnTls() && !failure.empty()) {
                host_.LogComm(kCommReceived, failure.rfind("TLS: ", 0) == 0
                                                 ? "TLS Failed: " + failure.substr(5)
                                                 : failure);
                *error += ": " + failure;
            }
        }
    }

    if (!connected_) {
        connection_.reset();
        return 1;
    }
    return 0;
}

void tvSmtpCarrier::SendSmtpPage(SendItem& item) {
    if (connection_ == nullptr || !connected_ || !host_.SocketsAvailable()) {
        return;
    }
    CSMTPMessage message;
    message.from.address = item.reply_to;
    CSMTPAddress recipient;
    recipient.address = item.pin + "@" + ParseSmtpPhone(item.phone).domain;
    recipient.name = item.device_name;
    message.AddRecipient(recipient, CSMTPMessage::kTo);
    if (!IsBlank(item.reply_to) && item.host_reference != 0) {
        message.subject = SmtpSubject(item.text, item.message_number);
    }
    message.SetBody(item.text);

    host_.LogComm(kCommSent, "Sending To:" + recipient.address + " From:" + message.from.address);
    if (connection_->SendMessage(message)) {
        host_.LogComm(kCommReceived, "OK");
        item.status = kStatusSent;
        item.carrier_message_number = item.message_number;
    } else {
        host_.LogComm(kCommReceived, "Send Failed");
        item.response = connection_->GetLastCommandResponse();
        CountFailedAttempt(item, false);
    }
}

tvHandOver tvSmtpCarrier::Send(SendItem& item) {
    SendSmtpPage(item);
    return item.status == kStatusSent ? tvHandOver::kDone : tvHandOver::kFailed;
}

tvHandOver tvSmtpCarrier::Query(SendItem& item) {
    item.status = kStatusSent;
    return tvHandOver::kDone;
}

tvHandOver tvSmtpCarrier::Cancel(SendItem& item) {
    static_cast<void>(item);
    return tvHandOver::kRefused;
}

void tvSmtpCarrier::Disconnect() {
    // Destroying the connection sends QUIT when it is still up.
    connection_.reset();
    connected_ = false;
}
