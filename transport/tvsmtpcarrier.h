#pragma once
// The SMTP (e-mail) carrier: pages as short plain-text mails to the carrier's e-mail
// gateway, PIN "@" the network's mail domain, one mail per connection.
//
// Connect (ConnectSmtp) finds the mail server: the relay of the options
// (SMTPMAILSERVER), or a relay host written in the network's PHONE before its domain
// ("relay.example.com pager.example.net"), or else the most preferred mail exchanger
// of the domain from the resolver. It then connects on the port of the profile
// ("SmtpPort"; 465 means TLS from the first byte), with AUTH LOGIN when the options
// ask for authentication (STARTTLS first when the server offers it; with
// "SmtpRequireTls" a server without it fails the visit). Send (SendSmtpPage) mails
// the item's text; the connection stays open whatever the outcome, and Disconnect
// ends it with QUIT.
//
// The communications log gets the rows below ("->" going out, "<-" coming back):
//   "<-" "Using host name = %s", "<-" "Using domain name = %s" (relay in PHONE);
//   "->" "Get Mail Server for %s"; "<-" "Found Mail Server: %s" or
//   "<-" "Unable to obtain MX record for %s";
//   "->" "SMTP Connect %s%s"; "<-" "Connected: %s%s" or "<-" "Connection Failed: %s",
//   followed, when the connection failed on TLS, by "<-" "TLS Failed: %s" (the
//   handshake or the certificate) or "<-" with the refusal to go on in clear text;
//   the error text is then "SMTP connection to %s failed: " and the same reason;
//   "->" "Sending To:%s From:%s"; "<-" "OK" or "<-" "Send Failed".
// The label of the connect rows is "(user)" when authenticating, then " on port %d"
// for any port other than 25.
//
// Status queries have nothing to ask (one-way: the engine sets Sent itself) and
// cancels are refused. Engine thread only.

#include <memory>
#include <string>

#include "transport/csmtpconnection.h"
#include "transport/tvcarrier.h"

// A network's PHONE read as the SMTP carrier reads it: trimmed; a blank after its
// first character separates a relay host (before the first blank) from the domain
// (the rest, trimmed).
struct SmtpDestination {
    std::string relay;  // empty when PHONE holds the domain alone
    std::string domain;
};
SmtpDestination ParseSmtpPhone(const std::string& phone);

// The subject of a page whose reply tag is on: the text's first characters (at most
// 15, stopping before the first character outside " " to "z"), two blanks and the
// tag "TV#<message number>#".
std::string SmtpSubject(const std::string& text, int32_t message_number);

class tvSmtpCarrier final : public tvCarrier {
  public:
    static constexpr const char* kDisabledError =
        "SMTP Disabled: Socket or DNS Initialization Failed";
    static constexpr int kImplicitTlsPort = 465;

    // The host must outlive the carrier.
    explicit tvSmtpCarrier(tvTransportHost& host, SmtpTimeouts timeouts = {});
    ~tvSmtpCarrier() override;

    tvCarrierTraits Traits() const override;
    [[nodiscard]] int Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                              std::string* error) override;
    // SendSmtpPage; kDone when the item is then Sent, kFailed otherwise.
    [[nodiscard]] tvHandOver Send(SendItem& item) override;
    // Nothing to ask: Sent.
    [[nodiscard]] tvHandOver Query(SendItem& item) override;
    [[nodiscard]] tvHandOver Cancel(SendItem& item) override;
    void Disconnect() override;
    [[nodiscard]] bool Connected() const override { return connected_; }

    // Opens the connection for `network` (see the file comment), replacing any open
    // one. 0 when connected; otherwise non-zero, no connection, and *error holds the
    // reason (possibly empty when no mail server was found at all).
    [[nodiscard]] int ConnectSmtp(const tvCarrierNetwork& network, const tvCarrierSite& site,
                                  std::string* error);
    // Mails the item (send mode) on the open connection: accepted, status Sent and the
    // carrier message number = the message number; refused, the server's reply in the
    // response and the failed attempt counted. Does nothing without a connection or
    // socket support.
    void SendSmtpPage(SendItem& item);

  private:
    tvTransportHost& host_;
    SmtpTimeouts timeouts_;
    std::unique_ptr<CSMTPConnection> connection_;
    bool connected_ = false;
};
