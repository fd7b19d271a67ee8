// The engine's life: construction, Start, the stop request, the settings and the work
// the timer drives. The send cycle is in tvserversend.cpp, the purge and the server
// lock in tvserverlock.cpp.

#include "engine/tvserver.h"

#include <utility>

#include "engine/receiveplan.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvsettings.h"
#include "model/tvvaluelists.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/packeddatetime.h"

namespace {

tvEngineThreadOptions ThreadOptions(const tvServerConfig& config, tvEngineHost& host) {
    tvEngineThreadOptions options;
    options.handshake_timeout = config.handshake_timeout;
    // Socket support is the engine thread's to bring up, first thing. POSIX sockets
    // need no start-up call, so it is there as soon as the thread runs.
    options.on_thread_start = [&host] { host.SetSocketsAvailable(true); };
    return options;
}

}  // namespace

tvServer::tvServer(tvServerConfig config)
    : settings_(*config.settings),
      config_(std::move(config)),
      reporter_(MessageStatusValues()),
      timer_(*this, reporter_),
      host_(reporter_, timer_, config_.beep),
      files_(std::make_unique<cvFileMgr>(
          config_.data_directory.empty() ? settings_.DataDirectory() : config_.data_directory,
          config_.dictionary)),
      thread_(timer_, ThreadOptions(config_, host_)) {
    if (!config_.resolver) {
        config_.resolver = std::make_unique<NoNameResolver>();
    }
    site_.resolver = config_.resolver.get();
}

std::string tvServer::DataDirectory() const {
    return files_->DataDirectory();
}

tvServer::~tvServer() {
    RequestStop();
    thread_.Shutdown();
    host_interface_.Unload();
    // The thread is gone: the carriers close what they hold on this thread.
    carriers_.clear();
    net_blocks_.Clear();
    files_.reset();
}

bool tvServer::Start(cvStatusStatic* status_line, cvLogBox* message_log, cvLogBox* comm_log) {
    reporter_.Attach(status_line, message_log, comm_log);
    if (!thread_.Start()) {
        return false;
    }

    if (host_.SocketsAvailable()) {
        const cvRec* options = settings_.OptionsRecord();
        const uint32_t dns = options != nullptr ? OptionsDnsAddress(*options) : 0;
        if (dns != 0) {
            config_.resolver->SetNameServer(dns);
        }
        resolver_working_ = config_.resolver->Initialise();
        if (!resolver_working_) {
            reporter_.LogInfo(kNoDns);
            reporter_.LogInfo(kSmtpDisabled);
        }
    } else {
        reporter_.LogInfo(kNoInternet);
        reporter_.LogInfo(kPop3Disabled);
        reporter_.LogInfo(kInternetDisabled);
    }

    // The send and receive work become due when the timer is marked initialised.
    next_purge_date_ = TodayDate();

    // This computer's record and number, read once for the host library and the lock.
    const cvRec* machine = settings_.MachineRecord();
    machine_number_ = settings_.MachineNumber();
    if (machine != nullptr) {
        machine_key_ = machine->GetInt("NUMKEY");
    }
    site_.smtp_port = settings_.SmtpPort();
    site_.smtp_require_tls = settings_.SmtpRequireTls();

    LoadHostInterface();
    if (settings_.AlarmWatch()) {
        reporter_.LogInfo(kAlarmWatchEnabled);
    }
    if (settings_.FileGateway()) {
        reporter_.LogInfo(kFileGatewayEnabled);
    }

    LoadSettings(true);
    AcquireServerLock();
    timer_.MarkInitialised();
    return true;
}

void tvServer::RequestStop() {
    ReleaseServerLock();
    timer_.RequestStop();
}

void tvServer::LoadHostInterface() {
    HostInterfaceSettings host;
    host.no_host_mode = settings_.NoHostMode() != 0;
    host.machine_number = machine_number_;
    host.dictionary_directory = settings_.DictionaryDirectory();
    host.data_directory = settings_.DataDirectory();
    host.reports_directory = settings_.ReportsDirectory();
    host.program_directory = settings_.ProgramDirectory();
    static_cast<void>(host_interface_.LoadHostInterface(
        host, [this](const std::string& text) { reporter_.LogInfo(text); }));
}

std::optional<cvRec> tvServer::ReadConfigRecord(std::string_view kind, int32_t number) {
    cvFile* config = files_->OpenTable(kTolvaneTable);
    if (config == nullptr) {
        return std::nullopt;
    }
    if (PutConfigText(*config, "STRKEY", kind) == 0 || config->PutInt("NUMKEY", number) == 0) {
        return std::nullopt;
    }
    if (config->GetEqual(0) != 0) {
        return std::nullopt;
    }
    return CopyOfCurrentRow(*config);
}

void tvServer::LoadSettings(bool force) {
    // Read (and cleared) first, so that a change marked while reading is read next time.
    const bool changed = timer_.ConsumeSettingsChanged();
    if (!changed && !force) {
        return;
    }
    if (std::optional<cvRec> options = ReadConfigRecord(kOptionsKind, 0)) {
        send_interval_ = std::chrono::seconds(options->GetInt("SENDINTERVAL"));
        receive_interval_ = std::chrono::seconds(options->GetInt("RECVINTERVAL"));
        options_.present = true;
        options_.status_interval = std::chrono::seconds(options->GetInt("STATUSINTERVAL"));
        options_.purge_age = options->GetInt("PURGEAGE");
        options_.enable_receive = options->GetText("QENABLERECV") == "Y";
        options_.enable_import = options->GetText("QENABLEIMPORT") == "Y";
        site_.smtp_relay = options->GetText("SMTPMAILSERVER");
        site_.smtp_auth = options->GetText("SMTPQAUTH") == "Y";
        site_.smtp_user = site_.smtp_auth ? options->GetText("SMTPUSERID") : std::string();
        site_.smtp_password = site_.smtp_auth ? options->GetText("SMTPPASSWORD") : std::string();
    } else {
        // The intervals stay as they were; purge, status times and the receive side
        // wait for the record.
        options_.present = false;
    }
    // The modem link follows the port of this computer's record; it opens the port
    // only when a visit dials.
    site_.modem_port.reset();
    site_.dial_prefix.clear();
    site_.modem_init.clear();
    if (machine_key_) {
        if (std::optional<cvRec> machine = ReadConfigRecord(kMachineKind, *machine_key_)) {
            site_.modem_port = machine->GetInt("PORT");
            site_.dial_prefix = machine->GetText("DIALPREFIX");
            site_.modem_init = machine->GetText("MODEMINIT");
        }
    }
}

std::optional<std::chrono::seconds> tvServer::StatusInterval() const {
    if (!options_.present) {
        return std::nullopt;
    }
    return options_.status_interval;
}

void tvServer::SendWork() {
    Purge();
    ProcessQueue();
}

void tvServer::ReceiveWork() {
    tvReceiveSettings receive;
    receive.enable_receive = options_.enable_receive;
    receive.enable_import = options_.enable_import;
    receive.sockets_available = host_.SocketsAvailable();
    receive.alarm_watch_switch = settings_.AlarmWatch();
    receive.file_gateway_switch = settings_.FileGateway();
    last_receive_plan_ = PlanReceiveWork(receive);
    ++receive_cycles_;
    if (last_receive_plan_.pop3_intake) {
        Pop3Intake();
    }
    if (last_receive_plan_.alarm_watch) {
        AlarmWatch();
    }
    if (last_receive_plan_.file_gateway) {
        FileGateway();
    }
}

// The receive-side features are not part of the engine yet: each call is where its
// work will run.
void tvServer::Pop3Intake() {}
void tvServer::AlarmWatch() {}
void tvServer::FileGateway() {}

void tvServer::PollHost() {
    host_interface_.PollHost();
}

bool tvServer::OpenTables(tvEngineTables* tables) {
    if (tables_.messages == nullptr || !tables_.messages->IsOpen()) {
        tables_.messages = files_->OpenTable(kPageMsgTable);
        tables_.devices = files_->OpenTable(kPageDevTable);
        tables_.networks = files_->OpenTable(kPageNetTable);
    }
    if (tables_.messages == nullptr || tables_.devices == nullptr || tables_.networks == nullptr) {
        tables_ = {};
        return false;
    }
    *tables = tables_;
    return true;
}
