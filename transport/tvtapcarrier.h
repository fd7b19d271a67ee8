#pragma once
// The carrier of modem networks: TAP (protocol 1), TAP with the ETAP acknowledgement
// extension (protocol 2), and every protocol number no other carrier claims, spoken
// over a dial-up call through the modem link (tvComm).
//
// A visit: Connect dials and logs on (ID prompt, "PG1" logon, go-ahead); each message
// or piece of one is one block and one response exchange on that call; Disconnect
// (TapLogoff) sends EOT and hangs up. The exchange sets the item's status, response,
// carrier message number, last response code and exchange result (0 accepted, 1
// rejected with RS, 2 failed, 3 the carrier asked to disconnect), and applies the
// failed-attempt rule where the exchange failed. Exchange results 0 and 1 let the
// visit go on; 2 backs the network off and ends the visit; 3 ends it.
//
// Protocol 2 asks for a confirmation with every page; the carrier answers with a
// "Message" line before its ACK, which decides between Delivered and Sent/Pending and
// carries the carrier's message number for later status queries and cancels.
//
// A page whose PIN is too long to leave room for any text in the 256-byte block is
// not sent: it fails at once with the response "PIN Too Long for Page Block" (final,
// so it goes to Error) and the call goes on.
//
// Stopping: every wait gives up as soon as the host's StopRequested turns true; after
// that no block is sent (a hand-over leaves the item as it is and says the connection
// is over) and the logoff only sends EOT and hangs up briefly.
//
// Engine thread only; the host must outlive the carrier.

#include <chrono>
#include <memory>
#include <string>

#include "transport/tvcarrier.h"
#include "transport/tvcomm.h"

// The exchange's budgets and pauses; tests shorten them.
struct tvTapTimings {
    tvCommTimings comm;
    int id_tries = 10;                          // CRs sent for the ID prompt
    std::chrono::milliseconds id_pause{500};    // after each CR
    std::chrono::milliseconds id_budget{2000};  // reading after each CR
    std::chrono::milliseconds logon{15000};     // for the logon answer, again after a NAK
    std::chrono::milliseconds go_ahead{15000};
    std::chrono::milliseconds tap_block{15000};    // first answer to a TAP block
    std::chrono::milliseconds etap_block{30000};   // first answer to an ETAP block
    std::chrono::milliseconds next_answer{15000};  // after a NAK or a "Message" line
    std::chrono::milliseconds logoff{15000};
};

// The response of a page the block cannot carry.
inline constexpr const char* kPinTooLong = "PIN Too Long for Page Block";

class tvTapCarrier final : public tvCarrier {
  public:
    explicit tvTapCarrier(tvTransportHost& host);
    ~tvTapCarrier() override;
    tvTapCarrier(const tvTapCarrier&) = delete;
    tvTapCarrier& operator=(const tvTapCarrier&) = delete;

    void SetTimings(const tvTapTimings& timings);
    // The link's own status texts go to the status line too (the engine's link has
    // none; tests and diagnostics may want them).
    void ShowLinkStatus(bool on) { link_status_ = on; }

    tvCarrierTraits Traits() const override;
    [[nodiscard]] int Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                              std::string* error) override;
    [[nodiscard]] tvHandOver Send(SendItem& item) override;
    [[nodiscard]] tvHandOver Query(SendItem& item) override;
    [[nodiscard]] tvHandOver Cancel(SendItem& item) override;
    // TapLogoff.
    void Disconnect() override;
    [[nodiscard]] bool Connected() const override { return connected_; }

  private:
    enum class Block { kPage, kQuery, kCancel };

    // The logon after a successful dial: ID prompt, PG1, go-ahead. 0, or 1 with
    // *error (the call is then logged off).
    int Logon(const tvCarrierNetwork& network, std::string* error);
    // The ID prompt step; true once "ID=" came.
    bool AwaitIdPrompt();
    void SendLogon(const std::string& password);
    // One block and its response exchange, turned into the hand-over outcome.
    tvHandOver Exchange(SendItem& item, Block block);
    // Builds the block for the item; false (with the item failed) when the PIN is too
    // long for it.
    bool BuildBlock(SendItem& item, Block block);
    void SendPageBlock(const SendItem& item);
    void SendQueryBlock(const SendItem& item);
    void AwaitBlockResponse(SendItem& item);
    void ApplyEtapResult(SendItem& item, int previous_code);
    // Reads and classifies one line; *budget becomes the time left (0 when used up).
    int ReadResponse(std::string* line, std::chrono::milliseconds* budget);
    void TapLogoff();
    void Status(const std::string& text) { host_.SetStatusLine(text); }

    tvTransportHost& host_;
    tvTapTimings timings_;
    bool link_status_ = false;
    std::unique_ptr<tvComm> comm_;
    bool connected_ = false;
    std::string block_;  // the block last built, sent again on NAK (empty: none)
};
