#pragma once
// One carrier's way of taking pages: the interface the engine's send cycle drives.
//
// Each protocol of a paging network (TAP and ETAP over the modem, the Skytel two-way
// service, SNPP, SMTP) is one implementation of tvCarrier in files of its own; the
// application registers a factory per protocol number (tvCarrierRegistry) and the
// engine makes one carrier object per protocol when it starts. The engine names none
// of them: it asks a carrier for its traits, opens the visit's connection with
// Connect, hands each message to Send, Query or Cancel, acts on the outcome, and ends
// the visit with Disconnect.
//
// A visit: Connect (when the first message of the visit needs the connection), any
// number of hand-overs while the outcomes say the visit may go on, then Disconnect
// (whenever Connected() is true at the end of the visit, however it ended). A carrier
// keeps its own connection state; the engine never guesses it.
//
// What the hand-overs change is the SendItem (status, attempts, response, carrier
// message number): the carrier applies the failed-attempt rule (CountFailedAttempt)
// itself where its protocol says so. The outcome tells the engine what happens to the
// visit and the network.
//
// Threads: a carrier lives on the engine thread (it is made, used and destroyed
// there, or on the user-interface thread before and after the engine thread runs).
// Every wait inside a carrier calls the host's PumpWhileWaiting at least every 100 ms
// and gives up when the host's StopRequested turns true.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "transport/senditem.h"
#include "transport/tvtransporthost.h"

class tvResolver;

// What a carrier needs of a paging network (fields of its PAGENET row).
struct tvCarrierNetwork {
    int32_t number = 0;         // PAGENETNBR
    std::string description;    // DESCRIPTION
    int protocol = 0;           // PROTOCOL
    std::string phone;          // PHONE: access number, server host, or mail domain
    int port = 0;               // PORT: TCP port of an SNPP server
    std::string reply_to;       // REPLYTO
    std::string password;       // PASSWORD
    std::string server_pin;     // SERVERPIN
    std::string security_code;  // SECURITYCODE
    int rate = 0;               // RATE (bits per second)
    int data_bits = 0;          // DATABITS
    int parity = 0;             // PARITY (value-list code of the parity letter)
    int stop_bits = 0;          // STOPBITS
};

// What carriers need of this computer and of the server options. The engine rebuilds
// it whenever it rereads its settings; Connect gets the current one.
struct tvCarrierSite {
    // PORT of this computer's "MACHINE" record (0 = COM1 ... 7 = COM8); none without
    // the record.
    std::optional<int32_t> modem_port;
    std::string dial_prefix;  // DIALPREFIX of the "MACHINE" record
    std::string modem_init;   // MODEMINIT of the "MACHINE" record
    // "OPTIONS": the mail relay and its authentication.
    std::string smtp_relay;         // SMTPMAILSERVER
    bool smtp_auth = false;         // SMTPQAUTH is "Y"
    std::string smtp_user;          // SMTPUSERID
    std::string smtp_password;      // SMTPPASSWORD
    int smtp_port = 25;             // profile "SmtpPort"
    bool smtp_require_tls = false;  // profile "SmtpRequireTls": no mail in clear text
    // The engine's name resolver (owned by the engine; null when there is none).
    tvResolver* resolver = nullptr;
};

// What the engine may expect of a carrier.
struct tvCarrierTraits {
    // Refused (nothing sent, nothing counted) while the platform has no sockets.
    bool needs_sockets = false;
    // Refused while the name resolver has no name server.
    bool needs_resolver = false;
    // Status mode asks the carrier; without it a Sent/Pending message becomes Sent
    // without traffic (a one-way network has nothing to report).
    bool queries_status = false;
    // Cancel mode is carried out; without it a cancel is refused.
    bool can_cancel = false;
    // One queued message per visit (internet carriers); else every due message of the
    // network goes on the one call.
    bool one_page_per_visit = false;
    // The text is cleaned to printable characters and single blanks before sending.
    bool cleans_text = true;
    // The visit ends with an inbound check (CheckInbound).
    bool checks_inbound = false;
};

// What one hand-over meant for the visit.
enum class tvHandOver {
    // The carrier handled the item (taken, refused by the carrier, or not answered):
    // the item says how. The visit may go on.
    kDone,
    // Nothing was done and nothing counted (the mode is not one this carrier does, or
    // it cannot work now): the visit ends.
    kRefused,
    // The exchange failed: the network backs off and the visit ends.
    kFailed,
    // The connection is over (the carrier hung up or asked to): the visit ends without
    // backing the network off.
    kConnectionOver,
};

// One message the carrier delivered to us during an inbound check (replies and
// messages sent from pagers).
struct tvInboundMessage {
    int32_t carrier_message_number = 0;  // the carrier's number of the inbound message
    std::string text;                    // its text ("BINARY MESSAGE" when not text)
    // A reply to one of our messages: its carrier message number (NETMSGNBR of the
    // message answered); none for a message that answers nothing of ours.
    std::optional<int32_t> answers;
    std::string response;  // what the carrier says of the message (the sender)
};

// Where an inbound check hands what it found; returns false when it could not be
// stored (the carrier then leaves the message with the carrier).
using tvInboundSink = std::function<bool(const tvInboundMessage& message)>;

class tvCarrier {
  public:
    virtual ~tvCarrier() = default;

    virtual tvCarrierTraits Traits() const = 0;

    // Opens the visit's connection to the network. 0 with Connected() true, or
    // non-zero with *error saying why (the engine stores it in the message's
    // response). Any connection left open by an earlier visit is closed first.
    [[nodiscard]] virtual int Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                                      std::string* error) = 0;
    // The hand-overs, one per mode; each is called only while Connected() is true.
    [[nodiscard]] virtual tvHandOver Send(SendItem& item) = 0;
    [[nodiscard]] virtual tvHandOver Query(SendItem& item) = 0;
    [[nodiscard]] virtual tvHandOver Cancel(SendItem& item) = 0;
    // Ends the visit's connection (hang-up, QUIT, logoff); harmless when none is open.
    virtual void Disconnect() = 0;
    // True while the connection this carrier opened is usable.
    [[nodiscard]] virtual bool Connected() const = 0;

    // The inbound check at the end of a visit (traits().checks_inbound): connects as
    // needed, hands every inbound message to `sink`. Returns 0, or non-zero with
    // *error when the carrier could not be reached.
    [[nodiscard]] virtual int CheckInbound(const tvCarrierNetwork& network,
                                           const tvCarrierSite& site, const tvInboundSink& sink,
                                           std::string* error) {
        static_cast<void>(network);
        static_cast<void>(site);
        static_cast<void>(sink);
        static_cast<void>(error);
        return 0;
    }
};
