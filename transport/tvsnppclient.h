#pragma once
// The SNPP carrier: connecting to a network's SNPP server, one-way and two-way pages,
// and two-way status queries, on one CSNPPSocket at a time. One object serves the
// one-way protocol or the two-way one (SNPP w/Ack), as made.
//
// As a carrier (tvCarrier) the engine calls Connect when a visit first needs the
// connection, Send or Query for each message, and Disconnect at the end of the visit;
// the operations below it (ConnectSnpp, SendSnppPage, SendSnppTwoWay, QuerySnppStatus)
// are also callable on their own. Results land in the SendItem (status, attempts,
// response, carrier message number) and in the client's connected flag; the log rows
// go to the host's communications log.
//
// After each operation the connection is reset with "RESET"; a reset that is not
// accepted drops the connection. A step the server does not accept ends the
// operation: some replies drop the connection, some mark the message as an error,
// and in every case the failed attempt is counted. A server that breaks the protocol
// (a reply that is no reply line, or bytes nobody asked for) is out of step: the
// connection ends, the page counts one attempt unless the server had already taken
// it, and the hand-over fails so that the network backs off instead of being called
// again at once.
//
// Once the engine is asked to stop, no operation starts and no further command of a
// running one goes out; the connection is closed without "QUIT".
//
// Engine thread only.

#include <chrono>
#include <memory>
#include <string>

#include "transport/csnppsocket.h"
#include "transport/senditem.h"
#include "transport/tvcarrier.h"
#include "transport/tvtransporthost.h"

// What the SNPP client needs of a paging network (fields of PAGENET).
struct SnppNetwork {
    std::string phone;          // PHONE: host name or dotted address of the server
    int port = 0;               // PORT: no default is applied
    std::string security_code;  // SECURITYCODE: login identifier; blank sends no LOGI
    std::string password;       // PASSWORD: optional
};

struct SnppTimeouts {
    std::chrono::milliseconds reply{CSNPPSocket::kDefaultTimeoutMs};  // every reply wait
    std::chrono::milliseconds connect{30000};                         // TCP connection set-up
};

class tvSnppClient final : public tvCarrier {
  public:
    // The host must outlive the client. `two_way`: the SNPP w/Ack protocol (pages ask
    // for delivery reports, which status queries follow).
    explicit tvSnppClient(tvTransportHost& host, bool two_way = false,
                          const SnppTimeouts& timeouts = {});
    // Destroys any socket (sending "QUIT").
    ~tvSnppClient() override;
    tvSnppClient(const tvSnppClient&) = delete;
    tvSnppClient& operator=(const tvSnppClient&) = delete;

    // --- tvCarrier ---

    // Needs sockets; one page per visit; status queries only when two-way; no cancel.
    tvCarrierTraits Traits() const override;
    // ConnectSnpp with the network's PHONE, PORT, SECURITYCODE and PASSWORD.
    [[nodiscard]] int Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                              std::string* error) override;
    // SendSnppTwoWay (two-way) or SendSnppPage; kFailed when the server was out of
    // step, kConnectionOver when it dropped the connection, else kDone.
    [[nodiscard]] tvHandOver Send(SendItem& item) override;
    // QuerySnppStatus (two-way only; else kRefused), with the outcomes of Send.
    [[nodiscard]] tvHandOver Query(SendItem& item) override;
    // SNPP cannot recall a page: kRefused.
    [[nodiscard]] tvHandOver Cancel(SendItem& item) override;
    // Destroys the socket (sending "QUIT") and clears the connected flag.
    void Disconnect() override;
    [[nodiscard]] bool Connected() const override { return connected_; }

    // --- the SNPP operations ---

    // Opens a new connection to the network's server, replacing any open one: reads
    // the "220" greeting and logs in when a security code is set. Returns 0 with the
    // connected flag set, or 1 with the flag clear, no socket and *error saying why.
    [[nodiscard]] int ConnectSnpp(const SnppNetwork& network, std::string* error);

    // One-way page (send mode). Accepted: status Sent.
    void SendSnppPage(SendItem* item);
    // Two-way page (send mode), with the caller id and the multiple-choice responses
    // of the text when the item's reply-to (the network's REPLYTO) is not blank. Accepted: the
    // carrier's message number, and status Sent, Sent/Pending or Delivered as the reply says.
    void SendSnppTwoWay(SendItem* item);
    // Two-way status query (status mode): Delivered or Sent/Pending as the reply says.
    void QuerySnppStatus(SendItem* item);
    // Each of the three does nothing unless a socket exists, the connected flag is
    // set, the item is given and sockets are available.

    bool HasSocket() const { return socket_ != nullptr; }

    void SetTimeouts(const SnppTimeouts& timeouts) { timeouts_ = timeouts; }

  private:
    struct Step;
    struct RejectRule;

    bool Ready(const SendItem* item) const;
    // Runs the steps in order. Returns true when all were accepted (steps whose
    // outcome is ignored always pass); *last_reply holds the reply of the last step
    // run. A step that is not accepted gets the reply handling of its rule.
    bool RunSteps(SendItem& item, const std::vector<Step>& steps, std::string* last_reply);
    void Reject(SendItem& item, const std::string& reply, const RejectRule& rule);
    // Resets the connection after an operation; a reset not accepted drops it.
    void ResetAfterOperation();
    int ReplyTimeoutMs() const;

    // The outcome of a hand-over that ran: the server may have been out of step or
    // have dropped the connection.
    tvHandOver Outcome() const;
    // Ends the connection when the server was out of step during an operation that
    // found the item with `status_before` and `attempts_before`.
    void EndIfOutOfStep(SendItem& item, int status_before, int attempts_before);

    tvTransportHost& host_;
    const bool two_way_;
    std::unique_ptr<CSNPPSocket> socket_;
    SnppTimeouts timeouts_;
    bool connected_ = false;    // set by a connect, cleared when the connection goes
    bool out_of_step_ = false;  // the last operation ended the connection for it
};
