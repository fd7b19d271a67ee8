#pragma once
// A TAP paging terminal behind a Hayes modem, on the master end of a pseudo-terminal,
// for tests of the modem link, the TAP carrier and whole-program runs. The code under
// test opens device() as its serial port.
//
// The modem: in command mode it answers "AT" command lines with OK (ERROR for
// commands the test lists as refused), echoes while echo is on (E1, the default after
// Z), and dials with the result the test chose (CONNECT 2400, BUSY, NO CARRIER, NO
// ANSWER, NO DIALTONE, ERROR, or silence). Online, "+++" returns it to command mode
// with the call still up; ATH hangs up; closing the port (DTR dropped) hangs up too.
//
// The terminal, once connected: each CR gets "ID=" (with or without a CR); the logon
// ESC "PG1" [password] CR gets ACK CR and the go-ahead ESC "[p" CR; each block gets
// its checksum checked: a bad one is answered NAK CR, a good page ACK CR. A page with
// the ETAP confirmation request gets a new message number and the line "Message <n>
// successful" (or "Message <n> successful - not yet delivered" until the test
// delivers it) before the ACK; status queries and cancels get "Message <n> ..." lines
// for the page they name. EOT CR is answered ESC EOT CR and the terminal hangs up
// (NO CARRIER). Tests replace any logon or block answer with their own bytes, one
// per logon or block in order.
//
// Thread-safe: a thread of its own serves the line; the test scripts and inspects
// from its thread (all state is guarded by mutex_). Destruction stops the thread and
// closes the pseudo-terminal.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ptypair.h"
#include "tests/support/tapblockparser.h"

class TapTerminal {
  public:
    enum class DialResult { kConnect, kBusy, kNoCarrier, kNoAnswer, kNoDialtone, kError, kSilent };

    // An answer to a logon or a block.
    struct Reply {
        std::string bytes;          // sent as they are
        bool accept = false;        // a logon: logged on; a page: filed
        bool drop_carrier = false;  // then "NO CARRIER" and the call is over

        static Reply Ack() { return {"\x06\r", true, false}; }
        static Reply Nak() { return {"\x15\r", false, false}; }
        static Reply Rs() { return {"\x1e\r", false, false}; }
        static Reply Disconnect() { return {"\x1b\x04\r", false, false}; }
        static Reply NoCarrier() { return {"", false, true}; }
        static Reply Silence() { return {"", false, false}; }
        static Reply Raw(std::string bytes, bool accept = false) {
            return {std::move(bytes), accept, false};
        }
    };

    // A page the terminal filed.
    struct Page {
        std::string pin;
        std::string text;
        bool etap = false;
        int number = 0;  // ETAP message number, 0 for TAP
        bool delivered = false;
        bool cancelled = false;
    };

    TapTerminal();
    ~TapTerminal();
    TapTerminal(const TapTerminal&) = delete;
    TapTerminal& operator=(const TapTerminal&) = delete;

    bool ok() const { return pty_.ok(); }
    // The slave device the code under test opens as its port.
    const std::string& device() const { return pty_.slave_path(); }

    // The modem.
    void SetDialResult(DialResult result, std::chrono::milliseconds delay = {});
    // Command texts (after "AT", such as "X4") answered ERROR.
    void RefuseCommands(std::set<std::string> commands);
    // The terminal.
    void SetIdPromptCr(bool with_cr);
    void IgnoreIdRequests(int count);
    void SetLogonReplies(std::vector<Reply> replies);
    void SetGoAhead(bool send);
    void SetBlockReplies(std::vector<Reply> replies);
    // ETAP pages are delivered as soon as they are filed (default off).
    void SetAutoDeliver(bool on);
    void DeliverAll();
    // The first page number handed out (default 1001).
    void SetNextNumber(int number);

    // What happened, in order.
    std::vector<std::string> Commands() const;  // "AT..." lines as received
    std::vector<std::string> Dialled() const;   // the numbers after ATDT/ATDP/ATD
    std::vector<std::string> Logons() const;    // ESC "PG1..." as received, without CR
    std::vector<TapParsedBlock> Blocks() const;
    std::vector<Page> Pages() const;
    std::string Received() const;  // every byte received, in order
    int Calls() const;             // calls connected
    int HangUps() const;           // calls ended by the caller (ATH or DTR dropped)
    int IdRequests() const;        // CRs received while waiting for the logon
    bool OnCall() const;

    // Waits until `condition` holds, asking it every 10 ms; false after `timeout`. The
    // condition runs without the lock, so it may use the accessors above.
    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const;
    bool WaitForHangUps(int count, std::chrono::milliseconds timeout) const;

  private:
    enum class Mode { kCommand, kOnline };
    enum class TapState { kWaitLogon, kReady };

    void Serve();
    void Handle(char byte);
    void HandleCommandByte(char byte);
    void HandleCommandLine(const std::string& line);
    void HandleOnlineByte(char byte);
    void HandleLogon();
    void HandleBlock(const TapParsedBlock& block);
    void HandleEot();
    std::string DefaultBlockAnswer(const TapParsedBlock& block);
    Page* FindPage(int64_t number);
    void Answer(const std::string& result);  // a modem result in its current form
    void Send(const std::string& bytes);
    // The terminal (or the line) dropped the call.
    void DropCarrier();
    void EndCall(bool by_caller);
    void LineDropped();

    PtyPair pty_;
    mutable std::mutex mutex_;
    std::atomic<bool> stop_{false};

    // Modem state.
    Mode mode_ = Mode::kCommand;
    bool call_up_ = false;
    bool echo_ = true;
    bool verbose_ = true;
    std::string command_line_;
    int pluses_ = 0;
    bool line_open_ = false;
    DialResult dial_result_ = DialResult::kConnect;
    std::chrono::milliseconds dial_delay_{0};
    std::set<std::string> refused_;

    // Terminal state.
    TapState tap_state_ = TapState::kWaitLogon;
    bool collecting_logon_ = false;
    std::string logon_;
    bool id_with_cr_ = true;
    int ignore_id_ = 0;
    bool go_ahead_ = true;
    std::deque<Reply> logon_replies_;
    std::deque<Reply> block_replies_;
    bool auto_deliver_ = false;
    int next_number_ = 1001;
    TapBlockCollector collector_;

    // Records.
    std::vector<std::string> commands_;
    std::vector<std::string> dialled_;
    std::vector<std::string> logons_;
    std::vector<TapParsedBlock> blocks_;
    std::vector<Page> pages_;
    std::string received_;
    int calls_ = 0;
    int hang_ups_ = 0;
    int id_requests_ = 0;

    std::thread thread_;  // last: starts after everything above exists
};
