#pragma once
// A transport host for tests: keeps every status line, log row and hook call, and
// lets a test switch socket support and the stop request. Used on one thread, but
// for the stop request, which a test may raise from another.

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "transport/tvtransporthost.h"

class RecordingHost : public tvTransportHost {
  public:
    struct CommRow {
        std::string direction;
        std::string text;
        bool operator==(const CommRow&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const CommRow& row) {
            return out << "{" << row.direction << " | " << row.text << "}";
        }
    };

    void SetStatusLine(const std::string& text) override { status_lines.push_back(text); }
    void LogRow(const std::string& device, const std::string& service, const std::string& status,
                const std::string& attempts, const std::string& info) override {
        log_rows.push_back({device, service, status, attempts, info});
    }
    void LogComm(const std::string& direction, const std::string& text) override {
        comm_rows.push_back({direction, text});
    }
    bool SocketsAvailable() const override { return sockets_available; }
    bool StopRequested() const override { return stop_requested; }
    void PumpWhileWaiting() override { pumps.push_back(std::chrono::steady_clock::now()); }

    // The texts of the rows whose direction is `direction`.
    std::vector<std::string> CommTexts(const std::string& direction) const {
        std::vector<std::string> texts;
        for (const CommRow& row : comm_rows) {
            if (row.direction == direction) {
                texts.push_back(row.text);
            }
        }
        return texts;
    }

    // The texts of the command rows ("%d->"), in order.
    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const CommRow& row : comm_rows) {
            const std::string& mark = row.direction;
            if (mark.size() > 2 && mark.compare(mark.size() - 2, 2, kCommSent) == 0) {
                texts.push_back(row.text);
            }
        }
        return texts;
    }

    // Forgets everything recorded and lowers the stop request, for the next case of a table.
    void Clear() {
        sockets_available = true;
        stop_requested = false;
        status_lines.clear();
        log_rows.clear();
        comm_rows.clear();
        pumps.clear();
    }

    bool sockets_available = true;
    std::atomic<bool> stop_requested{false};  // another thread may raise it
    std::vector<std::string> status_lines;
    std::vector<std::vector<std::string>> log_rows;
    std::vector<CommRow> comm_rows;
    std::vector<std::chrono::steady_clock::time_point> pumps;
};
