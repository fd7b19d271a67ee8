#pragma once
// The paging engine: a thread of its own that, once a second, runs a work cycle over
// the database. The send side purges old messages and runs the send cycle, network by
// network: status queries of two-way pages, one queued page per visit for internet
// networks (all due pages on one call for modem networks), and cancel requests. The
// receive side runs the POP3 intake, Alarm Watch and the file gateway. The engine
// takes the one-engine-per-database lock when it starts and gives it back when asked
// to stop, tells the host library of every status change and polls it once a minute,
// and reports into a status line and two log boxes.
//
// Life: created (nothing runs), Start (the thread comes up, the engine reads its
// settings, loads the host library and takes the lock), running (the timer drives the
// cycles), stopped (the timer saw the stop request and wrote "Server Stopped"),
// destroyed (the thread is joined before anything it uses goes).
//
// Threads and ownership:
// - The user-interface thread creates the engine, calls Start, RequestStop,
//   IsStopped, MarkSettingsChanged and destroys it. The server lock is read and
//   written there, through the application's cached "SERVER" record (tvSettings), as
//   are the machine record and the profile values Start needs.
// - The engine thread runs everything the timer drives. It reads the paging tables and
//   the "OPTIONS" and "MACHINE" records through a file manager of its own, never
//   through the application's files.
// - Start uses the engine's file manager and engine-side state on the user-interface
//   thread before the engine is marked initialised; the timer does nothing until then,
//   and the initialised flag (release on store, acquire on load) hands everything over
//   to the engine thread. After Start only the engine thread touches them, until the
//   destructor has joined the thread.
//
// The steps of the cycles are public so that tests can name what they check; they are
// engine-thread operations (or the test's own thread while no engine thread runs).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "engine/dispatchaction.h"
#include "engine/netblocks.h"
#include "engine/receiveplan.h"
#include "engine/tvenginehost.h"
#include "engine/tvenginemessage.h"
#include "engine/tvenginereporter.h"
#include "engine/tvenginethread.h"
#include "engine/tvenginetimer.h"
#include "engine/tvenginework.h"
#include "inbound/tvhostinterface.h"
#include "platform/core/filelock.h"
#include "transport/senditem.h"
#include "transport/tvcarrier.h"
#include "transport/tvcarrierregistry.h"
#include "transport/tvresolver.h"

class cvDataDict;
class cvFileMgr;
class cvLogBox;
class cvStatusStatic;
class tvSettings;

struct tvServerConfig {
    // The application's settings: profile values, directories, switches, and the
    // cached "SERVER" and "MACHINE" records (user-interface thread). Required.
    tvSettings* settings = nullptr;
    // The dictionary and data directory the engine opens its own tables with; null or
    // empty: the application's (StorageApp()), respectively the settings' directory.
    cvDataDict* dictionary = nullptr;
    std::string data_directory;
    // How long Start waits for the engine thread to come up.
    std::chrono::milliseconds handshake_timeout{10000};
    // The carriers by protocol (filled by the application; must outlive the engine).
    // Null, or a protocol without a carrier: its networks cannot be reached.
    const tvCarrierRegistry* carriers = nullptr;
    // The name resolver; null: none (NoNameResolver).
    std::unique_ptr<tvResolver> resolver;
};

class tvServer final : public tvEngineWork {
  public:
    // Status-line and info texts.
    static constexpr const char* kLookingForMessages = "Looking for Messages";
    static constexpr const char* kProcessing = "Processing: ";
    static constexpr const char* kConnectingTo = "Connecting to ";
    static constexpr const char* kSendingMessage = "Sending Message";
    static constexpr const char* kPurging = "Purging Old Messages";
    static constexpr const char* kLockRefused =
        "Server unable to start.  Already running on different computer!";
    static constexpr const char* kNoServerLockFile = "Unable to lock ";
    // The file a running server keeps locked, in the data directory.
    static constexpr const char* kServerLockFile = "SERVER.LCK";
    static constexpr const char* kEmptyMessage = "Empty Message";
    static constexpr const char* kSaveFailed = "Unable to save updated message!";
    // While outcomes the carriers gave cannot be stored, nothing new is sent; said once
    // a minute, and once more when the outcomes are stored and sending goes on.
    static constexpr const char* kSendingPaused =
        "Sending paused: updated messages cannot be saved";
    static constexpr const char* kSendingResumed = "Updated messages saved; sending resumed";
    static constexpr const char* kNoDns = "Unable to Locate DNS";
    static constexpr const char* kSmtpDisabled = "EMail (SMTP) Networks Disabled";
    static constexpr const char* kNoInternet = "Unable to Initialize Internet Access";
    static constexpr const char* kPop3Disabled = "Inbound EMail (POP3) Disabled";
    static constexpr const char* kInternetDisabled =
        "Internet (SNPP) and EMail (SMTP) Networks Disabled";
    static constexpr const char* kAlarmWatchEnabled = "Alarmwatch Enabled";
    static constexpr const char* kFileGatewayEnabled = "File Gateway Enabled";
    // What a message whose cancel its network's protocol cannot do gets as response.
    static constexpr const char* kCancelRefused = "Cancel Not Supported by Service";
    // The connect error of a protocol for which the program has no carrier ("%d").
    static constexpr const char* kNoCarrier = "No Transport for Protocol ";
    // The message-log status of an inbound check that could not reach its carrier.
    static constexpr const char* kInboundFailedStatus = "Error";

    explicit tvServer(tvServerConfig config);
    // RequestStop, the thread joined (the stop acknowledged), then the host library
    // closed and unloaded, the connections closed and the network blocks dropped.
    ~tvServer() override;
    tvServer(const tvServer&) = delete;
    tvServer& operator=(const tvServer&) = delete;

    // --- user-interface thread ---

    // Attaches the controls (any may be null), starts the thread and waits for it,
    // then runs the start-up steps. False when the thread did not come up in time
    // ("Initialization Error"); the engine then stays idle. Called once.
    [[nodiscard]] bool Start(cvStatusStatic* status_line, cvLogBox* message_log,
                             cvLogBox* comm_log);
    // Gives the server lock back (when this computer holds it or nobody does) and
    // raises the stop request; returns at once. Harmless when repeated.
    void RequestStop();
    // True once the timer has acknowledged the stop.
    bool IsStopped() const { return timer_.IsStopped(); }
    // The server options changed: the engine rereads its settings at the next chance.
    void MarkSettingsChanged() { timer_.MarkSettingsChanged(); }

    // Wakes the engine thread to look at the clock again (a test that moved a manual
    // clock), and waits for the thread's firings.
    void Kick() { thread_.Kick(); }
    uint64_t Firings() const { return thread_.Firings(); }
    bool WaitForFirings(uint64_t count, std::chrono::milliseconds timeout) {
        return thread_.WaitForFirings(count, timeout);
    }

    // --- engine thread: the work of the timer (tvEngineWork) ---

    void ReloadChangedSettings() override { LoadSettings(false); }
    void SendWork() override;
    std::chrono::seconds SendInterval() const override { return send_interval_; }
    bool ReceiveWorkAllowed() override { return options_.present; }
    void ReceiveWork() override;
    std::chrono::seconds ReceiveInterval() const override { return receive_interval_; }
    void PollHost() override;

    // --- engine thread: the steps ---

    // Rereads the options and this computer's machine record when they were marked
    // changed, or always with `force`.
    void LoadSettings(bool force);
    // The send loop: visits one network with work after the other until none has any.
    void ProcessQueue();
    // The network of the first message that can be worked on now, or none. Messages
    // whose device or network is gone are set to Error on the way.
    std::optional<cvRec> NextStatusNetwork();
    std::optional<cvRec> NextQueuedNetwork();
    std::optional<cvRec> NextCancelNetwork();
    // One visit to a network (a PAGENET record).
    void ProcessNetwork(const cvRec& network);
    // Hands one message to its network in `mode` and writes the outcome back. 0 when
    // the visit may go on.
    [[nodiscard]] int SendPageMessage(tvEngineMessage& message, int mode);
    // Carries out the decision for the item on the visit's carrier: 0, or 1 when
    // refused, when the exchange failed (the network then backs off) or when the
    // connection is over.
    [[nodiscard]] int DispatchItem(SendItem& item, DispatchAction action);
    // Opens the visit's connection to the network unless it is open: 0, or non-zero
    // with *error saying why.
    [[nodiscard]] int ConnectToNetwork(const cvRec& network, std::string* error);
    // Stores one message an inbound check brought: a reply linked to the message it
    // answers, or a received message. False when it could not be saved.
    [[nodiscard]] bool StoreInboundMessage(const tvInboundMessage& inbound);
    // Deletes the finished messages older than PURGEAGE days, once a day.
    void Purge();
    // Takes the server lock for this computer, or raises the stop request when another
    // computer holds it (user-interface thread, during Start).
    void AcquireServerLock();

    // Reporting into the attached controls (any thread).
    tvEngineReporter& Reporter() { return reporter_; }
    const tvNetBlocks& NetBlocks() const { return net_blocks_; }
    // The next day a purge is due (a packed date).
    uint32_t NextPurgeDate() const { return next_purge_date_; }
    bool ResolverWorking() const { return resolver_working_; }
    // The receive-side work of the last cycle that ran it, and how many cycles ran it.
    const tvReceivePlan& LastReceivePlan() const { return last_receive_plan_; }
    uint64_t ReceiveCycles() const { return receive_cycles_; }
    // The send loops run so far (ProcessQueue calls).
    uint64_t SendLoops() const { return send_loop_; }

  private:
    // What the engine uses of the "OPTIONS" record, as last read.
    struct Options {
        bool present = false;
        std::chrono::seconds status_interval{0};
        int purge_age = 0;
        bool enable_receive = false;
        bool enable_import = false;
    };

    // The engine's open paging tables; false (after the file layer's report) when one
    // cannot be opened.
    bool OpenTables(tvEngineTables* tables);
    // Reads a TOLVANE record of the engine's own through its file manager.
    std::optional<cvRec> ReadConfigRecord(std::string_view kind, int32_t number);
    // The first network a scan of `status` answers (see the scans above).
    std::optional<cvRec> NextNetwork(int status);
    // Sets a message without device or network to Error, tells the host, logs it.
    // False when the message could not be saved.
    bool MarkOrphan(tvEngineMessage& message);
    // What the send cycle writes back to a message after handing it to its carrier.
    struct Outcome {
        int status = 0;
        std::string response;
        int attempts = 0;
        int32_t carrier_message_number = 0;
        uint32_t date = 0;
        uint32_t time = 0;
        bool status_changed = false;
    };
    static bool PutOutcome(cvRec& record, const Outcome& outcome);
    // Stores the outcomes kept from failed write-backs, oldest message number first;
    // true when none is left. An outcome whose message is gone is dropped.
    bool SaveKeptOutcomes();
    // Status line and server log while sending is paused (at most once a minute).
    void SaySendingPaused();
    // The phase steps of a visit; each returns the next phase.
    int StatusStep(int phase, int32_t network_number);
    int QueuedStep(int phase, int32_t network_number);
    int CancelStep(int phase, int32_t network_number);
    // Positions the messages table on the first row of `status` ordered by schedule:
    // 0 there, else the read status.
    int SeekFirst(int status);
    // The message of the current row, when the row has `status`.
    std::optional<tvEngineMessage> CurrentMessage(int status);
    // Whether a cancel of this message was refused earlier and is not to be tried again
    // yet (see cancel_refused_).
    bool CancelLeftOut(int32_t message_number);
    void NoteCancelRefused(int32_t message_number);
    // The send loop of SendPageMessage once connected: the text whole or in pieces,
    // shorter limits while the carrier does not take it.
    int SendText(SendItem& item, DispatchAction action, const std::string& text, int max_length);
    // The carrier of a protocol, made from the registry at its first use (one object
    // per protocol number for the life of the engine).
    tvCarrier& CarrierFor(int protocol);
    // The inbound check that ends a visit of a carrier that has one.
    void CheckInbound(const cvRec& network);
    void FillItem(const tvEngineMessage& message, int mode, SendItem* item) const;
    void LogMessageRow(const tvEngineMessage& message, const std::string& info);
    void NotifyHost(int32_t message_number) { host_interface_.NotifyHost(message_number); }
    void LoadHostInterface();
    void ReleaseServerLock();
    // The data directory the engine's files are in, with its trailing slash.
    std::string DataDirectory() const;
    // The receive-side work of a cycle, in the order it runs.
    void Pop3Intake();
    void AlarmWatch();
    void FileGateway();
    // Closes whatever connection the visit's carrier left open.
    void EndVisitConnection();
    std::optional<std::chrono::seconds> StatusInterval() const;

    tvSettings& settings_;
    tvServerConfig config_;

    tvEngineReporter reporter_;
    tvEngineTimer timer_;
    tvEngineHost host_;
    tvHostInterface host_interface_;
    std::unique_ptr<cvFileMgr> files_;
    tvNetBlocks net_blocks_;
    // The carriers made so far, by protocol (engine-side state).
    std::map<int, std::unique_ptr<tvCarrier>> carriers_;

    // Engine-side state (see the file comment for who touches it when).
    Options options_;
    std::chrono::seconds send_interval_{0};
    std::chrono::seconds receive_interval_{0};
    uint32_t next_purge_date_ = 0;
    bool resolver_working_ = false;
    int32_t machine_number_ = 0;
    // NUMKEY of this computer's "MACHINE" record; none without one.
    std::optional<int32_t> machine_key_;
    // What the carriers need of this computer and the options, as last read; its
    // modem port is none without this computer's "MACHINE" record.
    tvCarrierSite site_;
    // Messages queried in status mode during the current send loop: each is queried at
    // most once per loop.
    std::set<int32_t> queried_;
    // Messages passed over by every scan and step for the rest of the current send
    // loop: those whose write-back failed (a page whose outcome could not be stored is
    // not handed to the carrier again at once), and those their carrier refused
    // without trying (which would otherwise be visited again and again).
    std::set<int32_t> passed_over_;
    // Outcomes (by message number) that a carrier gave but the database could not
    // store. They are stored first on every send loop; until they all are, nothing is
    // handed to a carrier, so a page the carrier took is never sent again meanwhile.
    std::map<int32_t, Outcome> kept_outcomes_;
    // When the pause was last said; none while sending is not paused.
    std::optional<std::chrono::steady_clock::time_point> pause_said_;
    // Messages whose cancel their network's protocol refused: left out of the cancel
    // scans for the rest of that send loop, and after it until the network's next
    // status time (one status interval after the refusal).
    struct CancelRefusal {
        uint64_t loop = 0;
        std::chrono::sys_seconds until{};
    };
    std::map<int32_t, CancelRefusal> cancel_refused_;
    uint64_t send_loop_ = 0;  // counts the send loops
    tvEngineTables tables_;
    // Reference of the status steps of a visit (phase 0 takes it).
    uint32_t reference_date_ = 0;
    uint32_t reference_time_ = 0;
    // The carrier of the network being visited, and what it can do.
    tvCarrier* visit_carrier_ = nullptr;
    tvCarrierTraits visit_traits_;
    tvReceivePlan last_receive_plan_;
    uint64_t receive_cycles_ = 0;

    // Held from a successful start until the engine is destroyed (see AcquireServerLock).
    platform::FileLock running_lock_;
    // Whether this engine wrote itself into the lock record (set on the engine thread,
    // taken back by whichever thread stops it first).
    std::atomic<bool> lock_taken_{false};
    // Declared last: the thread goes first, before anything its work uses.
    tvEngineThread thread_;
};
