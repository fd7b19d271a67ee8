// The paging engine on a loaded database: 100,000 finished messages and 1,000 queued
// ones for one SNPP network whose carrier is a loopback server. Two figures:
//   send_queued: the send cycle that takes all 1,000 queued pages to Sent, one visit
//     and one connection per page (pages_per_second as a counter);
//   idle_cycle: a work cycle with nothing to send, over the same 100,000 rows.
// The engine runs on its own thread under a manual clock, so firings come as fast as
// the benchmark asks for them; the carrier and the database work in real time.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/cvlogbox.h"
#include "engine/cvstatusstatic.h"
#include "engine/tvserver.h"
#include "model/pagingcodes.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "model/tvsettings.h"
#include "platform/core/clock.h"
#include "platform/profile/profile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/packeddatetime.h"
#include "tests/support/snpptestserver.h"

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

constexpr int kFinished = 100000;
constexpr int kQueued = 1000;
constexpr int kBatch = 1000;

// Everything the two benchmarks share, made once.
class Bench {
  public:
    Bench()
        : directory_(MakeDirectory()),
          clock_(std::chrono::system_clock::now()),
          settings_(ProfileFor(directory_), TOLVANE_PROGRAM_DIR),
          files_(directory_ + "data/", &dictionary_) {
        platform::SetClock(&clock_);
        if (dictionary_.Load(TOLVANE_PROGRAM_DIR, "TV") != 0 ||
            dictionary_.AddDefinition(TolvaneTableDef()) != 0) {
            std::fprintf(stderr, "engine_bench: no dictionary in %s\n", TOLVANE_PROGRAM_DIR);
            std::exit(1);
        }
        settings_.SetComputerName("bench");
        settings_.SetDataDirectory(directory_ + "data/");
        settings_.SetFileManager(&files_);
        cvRec* options = settings_.OptionsRecord();
        static_cast<void>(options->PutInt("SENDINTERVAL", 0));
        static_cast<void>(options->Save());
        static_cast<void>(settings_.MachineRecord());
        static_cast<void>(settings_.ServerRecord());
        Seed();
        status_line_.SetListener([this](const std::string& text) { Note(text); });
    }
    ~Bench() {
        engine_.reset();
        settings_.SetFileManager(nullptr);
        files_.CloseFiles();
        platform::SetClock(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    bool Started() const { return engine_ != nullptr; }
    void StartEngine() {
        tvServerConfig config;
        config.settings = &settings_;
        config.dictionary = &dictionary_;
        config.data_directory = directory_ + "data/";
        engine_ = std::make_unique<tvServer>(std::move(config));
        if (!engine_->Start(&status_line_, &message_log_, &comm_log_)) {
            std::fprintf(stderr, "engine_bench: the engine did not start\n");
            std::exit(1);
        }
    }
    // One firing; returns the real time its send work took (purge to ready).
    std::chrono::duration<double> Cycle() {
        const uint64_t before = engine_->Firings();
        clock_.Advance(std::chrono::seconds(1));
        engine_->Kick();
        static_cast<void>(engine_->WaitForFirings(before + 1, std::chrono::minutes(5)));
        std::lock_guard lock(mutex_);
        return ready_ - purging_;
    }
    int CountStatus(int status) {
        cvFile* messages = files_.OpenTable(kPageMsgTable);
        int count = 0;
        static_cast<void>(messages->PutInt("STATUS", status));
        static_cast<void>(messages->PutDate("SCHEDDATE", 0));
        static_cast<void>(messages->PutTime("SCHEDTIME", 0));
        for (int read = messages->GetGreaterOrEqual(1);
             read == 0 && messages->GetInt("STATUS") == status; read = messages->GetNext()) {
            ++count;
        }
        return count;
    }
    size_t CarrierPages() const { return carrier_.Pages().size(); }

  private:
    static std::string MakeDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "engine_bench.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        const std::string directory = pattern + "/";
        setenv("TOLVANE_RECMAN_DIR", (directory + "state").c_str(), 1);
        setenv("TOLVANE_USER_PROFILE", (directory + "user.ini").c_str(), 1);
        setenv("TOLVANE_MACHINE_PROFILE", (directory + "machine.ini").c_str(), 1);
        std::filesystem::create_directories(directory + "data");
        return directory;
    }
    static platform::Profile& ProfileFor(const std::string&) {
        static platform::Profile profile;
        return profile;
    }

    void Note(const std::string& text) {
        std::lock_guard lock(mutex_);
        if (text == tvServer::kPurging) {
            purging_ = std::chrono::steady_clock::now();
        } else if (text == tvEngineTimer::kServerReady) {
            ready_ = std::chrono::steady_clock::now();
        }
    }

    void Seed() {
        cvRec network(*files_.OpenTable(kPageNetTable));
        static_cast<void>(network.PutInt("PAGENETNBR", 0));
        static_cast<void>(network.PutString("DESCRIPTION", "Loopback"));
        static_cast<void>(network.PutInt("PROTOCOL", kProtocolSnpp));
        static_cast<void>(network.PutString("PHONE", "127.0.0.1"));
        static_cast<void>(network.PutInt("PORT", carrier_.port()));
        static_cast<void>(network.Save());
        cvRec device(*files_.OpenTable(kPageDevTable));
        static_cast<void>(device.PutInt("PAGEDEVNBR", 0));
        static_cast<void>(device.PutString("DESCRIPTION", "Pager"));
        static_cast<void>(device.PutInt("PAGENETNBR", network.GetInt("PAGENETNBR")));
        static_cast<void>(device.PutString("PIN", "5551234"));
        static_cast<void>(device.Save());

        cvFile& messages = *files_.OpenTable(kPageMsgTable);
        const uint32_t today = TodayDate();
        for (int i = 0; i < kFinished + kQueued; ++i) {
            if (i % kBatch == 0 && messages.BeginTransaction() != 0) {
                std::exit(1);
            }
            const bool finished = i < kFinished;
            cvRec message(messages);
            static_cast<void>(message.PutInt("PAGEMSGNBR", 0));
            static_cast<void>(message.PutInt("PAGEDEVNBR", device.GetInt("PAGEDEVNBR")));
            static_cast<void>(message.PutString("TEXT", "Benchmark page " + std::to_string(i)));
            static_cast<void>(message.PutInt(
                "STATUS", finished ? (i % 2 ? kStatusSent : kStatusDelivered) : kStatusQueued));
            static_cast<void>(message.PutDate("SCHEDDATE", finished ? today : 0));
            static_cast<void>(message.PutTime("SCHEDTIME", finished ? NowTime() : 0));
            if (message.Save() != 0) {
                std::exit(1);
            }
            if (i % kBatch == kBatch - 1 && messages.EndTransaction() != 0) {
                std::exit(1);
            }
        }
    }

    std::string directory_;
    platform::ManualClock clock_;
    SnppTestServer carrier_;
    tvDataDict dictionary_;
    tvSettings settings_;
    cvFileMgr files_;
    cvStatusStatic status_line_;
    cvLogBox message_log_;
    cvLogBox comm_log_;
    std::mutex mutex_;
    SteadyTime purging_{};  // guarded by mutex_
    SteadyTime ready_{};    // guarded by mutex_
    std::unique_ptr<tvServer> engine_;
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

void send_queued(benchmark::State& state) {
    Bench& bench = TheBench();
    for (auto _ : state) {
        bench.StartEngine();
        const std::chrono::duration<double> took = bench.Cycle();
        state.SetIterationTime(took.count());
        state.counters["pages_per_second"] = kQueued / took.count();
    }
    state.counters["sent"] = bench.CountStatus(kStatusSent) - kFinished / 2;
    state.counters["still_queued"] = bench.CountStatus(kStatusQueued);
    state.counters["carrier_pages"] = static_cast<double>(bench.CarrierPages());
}
BENCHMARK(send_queued)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void idle_cycle(benchmark::State& state) {
    Bench& bench = TheBench();
    if (!bench.Started()) {
        bench.StartEngine();
        static_cast<void>(bench.Cycle());  // the queued pages go first
    }
    for (auto _ : state) {
        state.SetIterationTime(bench.Cycle().count());
    }
}
BENCHMARK(idle_cycle)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
