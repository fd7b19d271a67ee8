#include "app/tvheadless.h"

#include <chrono>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>

#include "app/tvapp.h"
#include "app/tvcarriers.h"
#include "engine/cvlogbox.h"
#include "engine/cvstatusstatic.h"
#include "engine/tvserver.h"
#include "log/cveventlog.h"
#include "log/messagebox.h"
#include "storage/cvrec.h"

const char* const kConfigureServerFirst = "You must configure the server before starting.";

namespace {

constexpr std::chrono::milliseconds kPollPause{10};
// How often the stopping texts alternate (one tick of the main window's timer).
constexpr std::chrono::milliseconds kStoppingTick{1000};
constexpr size_t kLogRows = 500;

std::atomic<bool> g_signalled{false};

void OnStopSignal(int) {
    g_signalled.store(true);
}

// SIGINT and SIGTERM set g_signalled while the object lives.
class StopSignals {
  public:
    StopSignals() {
        g_signalled.store(false);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_int_);
        sigaction(SIGTERM, &action, &previous_term_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &previous_int_, nullptr);
        sigaction(SIGTERM, &previous_term_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction previous_int_ {};
    struct sigaction previous_term_ {};
};

// Writes the lines of the status line and the logs to one stream.
class Printer {
  public:
    explicit Printer(std::FILE* out) : out_(out) {}

    void Status(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        Line("Status: " + text);
    }
    // The timestamp, then the non-empty cells between " | ".
    void Row(const std::vector<std::string>& cells) {
        std::string line;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i == 0) {
                line = cells[i] + " ";
            } else if (!cells[i].empty()) {
                line += (line.back() == ' ' ? " " : " | ") + cells[i];
            }
        }
        Line(line);
    }

  private:
    void Line(const std::string& line) {
        std::lock_guard lock(mutex_);
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }

    std::FILE* out_;
    std::mutex mutex_;  // one line at a time
};

bool StopWanted(const tvHeadlessOptions& options) {
    return options.stop ? options.stop->load() : g_signalled.load();
}

}  // namespace

int RunHeadless(tvApp& app, const tvHeadlessOptions& options) {
    StopSignals signals;
    cvRec* machine = app.MachineRecord();
    if (app.OptionsRecord() == nullptr || machine == nullptr ||
        machine->GetInt("PORT") == tvSettings::kNoModemPort) {
        static_cast<void>(EventLog().MessageBox(kConfigureServerFirst, kMbOk | kMbIconWarning));
        // Without the options sheet, the command that chooses the port.
        std::fprintf(stderr,
                     "tolvane: \"tolvane set machine PORT=COM1\" (or another port) "
                     "configures it\n");
        return 1;
    }

    Printer printer(options.out);
    cvStatusStatic status_line;
    cvLogBox message_log(cvLogOrder::kNewestFirst);
    cvLogBox comm_log(cvLogOrder::kOldestFirst);
    message_log.SetCap(kLogRows);
    comm_log.SetCap(kLogRows);
    status_line.SetListener([&printer](const std::string& text) { printer.Status(text); });
    message_log.SetListener([&printer](const cvLogBoxUpdate& update) { printer.Row(update.row); });
    comm_log.SetListener([&printer](const cvLogBoxUpdate& update) { printer.Row(update.row); });
    static_cast<void>(status_line.SetText("Ready"));

    int exit_status = 0;
    {
        tvCarrierRegistry carriers;
        RegisterCarriers(carriers);
        tvServerConfig config;
        config.carriers = &carriers;
        config.resolver = MakeNameResolver();
        config.settings = &app.Settings();
        config.dictionary = &app.Dictionary();
        config.data_directory = app.DataDirectory();
        tvServer engine(std::move(config));
        if (!engine.Start(&status_line, &message_log, &comm_log)) {
            static_cast<void>(status_line.SetText("Unable to Start"));
            return 1;
        }
        while (!StopWanted(options) && !engine.IsStopped()) {
            std::this_thread::sleep_for(kPollPause);
        }
        if (engine.IsStopped()) {
            exit_status = 1;  // stopped by itself: the server lock was refused
        } else {
            engine.RequestStop();
            bool stopping_text = true;
            auto next_tick = std::chrono::steady_clock::now();
            while (!engine.IsStopped()) {
                if (std::chrono::steady_clock::now() >= next_tick) {
                    static_cast<void>(status_line.SetText(stopping_text ? "Stopping Server..."
                                                                        : "Please Wait..."));
                    stopping_text = !stopping_text;
                    next_tick += kStoppingTick;
                }
                std::this_thread::sleep_for(kPollPause);
            }
        }
    }
    return exit_status;
}
