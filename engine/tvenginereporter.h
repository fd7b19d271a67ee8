#pragma once
// The engine's reporting operations: the status line, the message log and the
// communications log of the Server view, any of which may be absent.
//
// Attach hands the reporter the three controls and names the logs' columns:
// "Device", "Service", "Status", "Attempts" for the message log, "I/O" for the
// communications log (each log adds "Timestamp" before and "Info" after them). The
// controls must outlive the reporter, or be detached (Attach with nulls, or other
// controls) first; once Attach has returned, the controls it replaced may be destroyed
// at once, even while another thread is reporting.
//
// Threads: any thread may report. `attach_mutex_` guards the attachment and is held by
// every report for as long as it uses a control, and by Attach, so Attach waits for
// the report in flight. (Reports are serialised by it; the controls serialise their
// own updates anyway.) The controls are thread-safe themselves. A
// control's listener runs inside a report, so it must not call Attach, and must not
// wait for a thread that may be calling Attach (a window closing its Server view).

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "engine/cvlogbox.h"
#include "engine/cvstatusstatic.h"
#include "objects/cvvaluetable.h"

// What the message log shows of one page message.
struct MessageRowFacts {
    int32_t device_number = 0;           // PAGEDEVNBR of the message
    std::optional<std::string> device;   // DESCRIPTION of the device; none when missing
    int32_t network_number = 0;          // PAGENETNBR of the device
    std::optional<std::string> network;  // DESCRIPTION of the network; none when missing
    int status = 0;                      // STATUS of the message
    int attempts = 0;                    // ATTEMPTS of the message
};

// The device, service, status and attempts cells of a message's row. A missing device
// reads "Unknown (%d)" with the message's device number and leaves the service empty;
// a missing network reads "Unknown (%d)" with the device's network number. The status
// is its text in `status_texts`.
std::array<std::string, 4> MessageRowTexts(const MessageRowFacts& facts, cvValueTable status_texts);

class tvEngineReporter {
  public:
    // The message log's own columns, and the communications log's.
    static constexpr std::array<const char*, 4> kMessageLogColumns = {"Device", "Service", "Status",
                                                                      "Attempts"};
    static constexpr const char* kCommLogColumn = "I/O";

    // `status_texts` turns a message's STATUS into its word; the table must outlive
    // the reporter.
    explicit tvEngineReporter(cvValueTable status_texts = {});
    tvEngineReporter(const tvEngineReporter&) = delete;
    tvEngineReporter& operator=(const tvEngineReporter&) = delete;

    // Stores the controls (nulls allowed) and names the columns of the two logs.
    void Attach(cvStatusStatic* status_line, cvLogBox* message_log, cvLogBox* comm_log);

    // Each does nothing when its control is absent.
    void SetStatusLine(const std::string& text);
    void LogRow(const std::string& device, const std::string& service, const std::string& status,
                const std::string& attempts, const std::string& info);
    // A message-log row with only an info text.
    void LogInfo(const std::string& info);
    // The row of a page message (see MessageRowTexts) with an info text.
    void LogMessageRow(const MessageRowFacts& facts, const std::string& info);
    // A communications-log row: a direction mark and a text.
    void LogComm(const std::string& direction, const std::string& text);

  private:
    const cvValueTable status_texts_;
    mutable std::mutex attach_mutex_;
    cvStatusStatic* status_line_ = nullptr;  // guarded by attach_mutex_
    cvLogBox* message_log_ = nullptr;        // guarded by attach_mutex_
    cvLogBox* comm_log_ = nullptr;           // guarded by attach_mutex_
};
