#include "app/tvcommands.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "app/consolepresenter.h"
#include "app/formattext.h"
#include "app/tvapp.h"
#include "app/tvheadless.h"
#include "app/tvimport.h"
#include "app/tvoptionsrules.h"
#include "app/tvprogress.h"
#include "app/tvsingleinstance.h"
#include "log/cveventlog.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvvaluelists.h"
#include "platform/recman/recman.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/dberror.h"
#include "storage/dbstatus.h"
#include "storage/packeddatetime.h"

namespace {

constexpr int kNumberKey = 0;
constexpr int kDescriptionKey = 1;

// The "OPTIONS" fields `set options` edits; AUTOSTART, SMTPPORT and SMTPREQUIRETLS are
// the user's profile values "AUTOSTART", "SmtpPort" and "SmtpRequireTls".
constexpr std::string_view kOptionFields[] = {
    "SENDINTERVAL", "STATUSINTERVAL", "RECVINTERVAL",   "PURGEAGE",      "DNSADDRESS",
    "QENABLERECV",  "MAILSERVER",     "USERID",         "PASSWORD",      "SMTPMAILSERVER",
    "SMTPQAUTH",    "SMTPUSERID",     "SMTPPASSWORD",   "QENABLEIMPORT", "IMPORTDIR",
    "AUTOSTART",    "SMTPPORT",       "SMTPREQUIRETLS",
};

bool IsOptionField(std::string_view name) {
    return std::find(std::begin(kOptionFields), std::end(kOptionFields), name) !=
           std::end(kOptionFields);
}

// A column value on one line and safe for a terminal: tabs and line breaks become
// blanks, and every other control character (a carrier's reply may hold escape
// sequences) is shown as \xHH, the C1 controls of UTF-8 included.
std::string Cell(const std::string& text) {
    std::string cell;
    cell.reserve(text.size());
    const auto escaped = [&cell](unsigned char byte) {
        char code[8];
        std::snprintf(code, sizeof code, "\\x%02X", byte);
        cell += code;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\t' || byte == '\n' || byte == '\r') {
            cell.push_back(' ');
        } else if (byte < 0x20 || byte == 0x7F) {
            escaped(byte);
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            escaped(byte);
            escaped(static_cast<unsigned char>(text[++i]));
        } else {
            cell.push_back(static_cast<char>(byte));
        }
    }
    return cell;
}

std::string Number(int32_t value) {
    return std::to_string(value);
}

std::string Flag(const cvFile& file, std::string_view name) {
    return file.GetText(name, 1) == "Y" ? "Y" : "N";
}

// A scan along a key ends at the end of the file (9), or at once when a seek finds no
// row (4); any other status is a failure of the record manager in the middle of it.
bool ScanEnded(int status) {
    return status == RECMAN_END_OF_FILE || status == RECMAN_KEY_NOT_FOUND;
}

// Number -> DESCRIPTION of every row of a table, into `names`. Returns the status that
// ended the scan when it failed, else 0 (also when the table cannot be opened: the
// names are then missing, and the file layer has said why).
int Descriptions(tvApp& app, std::string_view table, std::string_view number_field,
                 std::map<int32_t, std::string>* names) {
    cvFile* file = app.OpenTable(table);
    if (!file) {
        return 0;
    }
    int status = file->GetFirst(kNumberKey);
    for (; status == 0; status = file->GetNext()) {
        names->emplace(file->GetInt(number_field), file->GetText("DESCRIPTION"));
    }
    return ScanEnded(status) ? 0 : status;
}

std::string NameOf(const std::map<int32_t, std::string>& names, int32_t number) {
    if (number == 0) {
        return {};
    }
    const auto found = names.find(number);
    return found != names.end() ? found->second : "#" + Number(number);
}

// "ASAP" for a message due at once, else its date and time of day.
std::string ScheduleText(const cvFile& messages) {
    const uint32_t date = messages.GetDate("SCHEDDATE");
    if (date == 0) {
        return "ASAP";
    }
    if (!IsValidDate(date)) {
        return "?";
    }
    return DateText(date, LocaleDateFormat()) + " " + TimeText(messages.GetTime("SCHEDTIME"));
}

// "COM1" ... "COM8" as the port number the list stores, or a whole number.
std::optional<int32_t> ParsePort(const std::string& text) {
    return ParseListValue(text, ModemPortValues());
}

}  // namespace

tvCommands::tvCommands(tvApp& app, std::FILE* out, std::FILE* err)
    : app_(app), out_(out), err_(err) {}

int tvCommands::Refuse(const std::string& text, unsigned style) {
    static_cast<void>(app_.MessageBox(text, style));
    return kExitRefused;
}

int tvCommands::Usage(const std::string& reason) {
    std::fprintf(err_, "tolvane: %s\n%s", reason.c_str(), UsageText());
    return kExitUsage;
}

void tvCommands::Row(const std::vector<std::string>& columns) {
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i) {
        line += (i == 0 ? "" : "\t") + Cell(columns[i]);
    }
    std::fprintf(out_, "%s\n", line.c_str());
}

bool tvCommands::ParseAssignments(const std::vector<std::string>& arguments, size_t first,
                                  std::vector<tvFieldAssignment>* assignments) {
    for (size_t i = first; i < arguments.size(); ++i) {
        std::optional<tvFieldAssignment> assignment = ParseAssignment(arguments[i]);
        if (!assignment) {
            static_cast<void>(Usage("expected FIELD=VALUE, not " + arguments[i]));
            return false;
        }
        assignment->name = UpperCase(assignment->name);
        assignments->push_back(std::move(*assignment));
    }
    return true;
}

int tvCommands::Run(const tvCommandLine& line) {
    const std::vector<std::string>& arguments = line.arguments;
    if (line.command == "list") {
        return List(arguments[0]);
    }
    if (line.command == "set") {
        return arguments[0] == "options" ? SetOptions(arguments) : SetMachine(arguments);
    }
    if (line.command == "import") {
        return Import(arguments[0]);
    }
    if (line.command == "add") {
        return Add(arguments, line.assume_yes);
    }
    if (line.command == "page") {
        return Page(arguments);
    }
    if (line.command == "check") {
        return Check(!arguments.empty());
    }
    if (line.command == "unlock-server") {
        return UnlockServer();
    }
    // init: the start-up has created what was missing; the options complete it.
    if (!app_.OptionsRecord()) {
        return kExitRefused;
    }
    std::fprintf(out_, "Tolvane database ready in %s\n", app_.DataDirectory().c_str());
    return kExitOk;
}

int tvCommands::List(const std::string& what) {
    if (what == "networks") {
        return ListNetworks();
    }
    if (what == "devices") {
        return ListDevices();
    }
    if (what == "groups") {
        return ListGroups();
    }
    if (what == "equipment") {
        return ListEquipment();
    }
    return ListMessages();
}

int tvCommands::ScanFailed(std::string_view table, int status) {
    std::fprintf(err_, "tolvane: reading %s stopped at a record-manager error: %s\n",
                 std::string(table).c_str(), StatusText(status).c_str());
    return kExitRefused;
}

int tvCommands::ListNetworks() {
    cvFile* networks = app_.OpenTable(kPageNetTable);
    if (!networks) {
        return kExitRefused;
    }
    Row({"NUMBER", "DESCRIPTION", "PROTOCOL", "PHONE", "PORT", "MAXMSGLEN", "INACTIVE"});
    int status = networks->GetFirst(kDescriptionKey);
    for (; status == 0; status = networks->GetNext()) {
        Row({Number(networks->GetInt("PAGENETNBR")), networks->GetText("DESCRIPTION"),
             ValueText(networks->GetInt("PROTOCOL"), ProtocolValues()), networks->GetText("PHONE"),
             Number(networks->GetInt("PORT")), Number(networks->GetInt("MAXMSGLEN")),
             Flag(*networks, "QINACTIVE")});
    }
    return ScanEnded(status) ? kExitOk : ScanFailed(kPageNetTable, status);
}

int tvCommands::ListDevices() {
    std::map<int32_t, std::string> networks;
    if (const int failed = Descriptions(app_, kPageNetTable, "PAGENETNBR", &networks)) {
        return ScanFailed(kPageNetTable, failed);
    }
    cvFile* devices = app_.OpenTable(kPageDevTable);
    if (!devices) {
        return kExitRefused;
    }
    Row({"NUMBER", "DESCRIPTION", "NETWORK", "PIN", "MAXMSGLEN", "INACTIVE"});
    int status = devices->GetFirst(kDescriptionKey);
    for (; status == 0; status = devices->GetNext()) {
        if (devices->GetText("QGROUP", 1) == "Y") {
            continue;
        }
        Row({Number(devices->GetInt("PAGEDEVNBR")), devices->GetText("DESCRIPTION"),
             NameOf(networks, devices->GetInt("PAGENETNBR")), devices->GetText("PIN"),
             Number(devices->GetInt("MAXMSGLEN")), Flag(*devices, "QINACTIVE")});
    }
    return ScanEnded(status) ? kExitOk : ScanFailed(kPageDevTable, status);
}

int tvCommands::ListGroups() {
    std::map<int32_t, std::string> names;
    if (const int failed = Descriptions(app_, kPageDevTable, "PAGEDEVNBR", &names)) {
        return ScanFailed(kPageDevTable, failed);
    }
    cvFile* devices = app_.OpenTable(kPageDevTable);
    cvFile* members = app_.OpenTable(kPageGrpTable);
    if (!devices || !members) {
        return kExitRefused;
    }
    Row({"NUMBER", "DESCRIPTION", "MEMBERS", "INACTIVE"});
    int status = devices->GetFirst(kDescriptionKey);
    for (; status == 0; status = devices->GetNext()) {
        if (devices->GetText("QGROUP", 1) != "Y") {
            continue;
        }
        const int32_t group = devices->GetInt("PAGEDEVNBR");
        std::string list;
        static_cast<void>(members->PutInt("PAGEGRPNBR", group));
        static_cast<void>(members->PutInt("PAGEDEVNBR", 0));
        int found = members->GetGreaterOrEqual(0);
        for (; found == 0 && members->GetInt("PAGEGRPNBR") == group; found = members->GetNext()) {
            list += (list.empty() ? "" : ",") + NameOf(names, members->GetInt("PAGEDEVNBR"));
        }
        if (found != 0 && !ScanEnded(found)) {
            return ScanFailed(kPageGrpTable, found);
        }
        Row({Number(group), devices->GetText("DESCRIPTION"), list, Flag(*devices, "QINACTIVE")});
    }
    return ScanEnded(status) ? kExitOk : ScanFailed(kPageDevTable, status);
}

int tvCommands::ListEquipment() {
    std::map<int32_t, std::string> names;
    if (const int failed = Descriptions(app_, kPageDevTable, "PAGEDEVNBR", &names)) {
        return ScanFailed(kPageDevTable, failed);
    }
    cvFile* equipment = app_.OpenTable(kMonEquipTable);
    if (!equipment) {
        return kExitRefused;
    }
    Row({"NUMBER", "DESCRIPTION", "CONTACT", "PHONE", "DEVICE", "INACTIVE"});
    int status = equipment->GetFirst(kDescriptionKey);
    for (; status == 0; status = equipment->GetNext()) {
        Row({Number(equipment->GetInt("EQUIPNBR")), equipment->GetText("DESCRIPTION"),
             equipment->GetText("CONTACT"), equipment->GetText("PHONE"),
             NameOf(names, equipment->GetInt("PAGEDEVNBR")), Flag(*equipment, "QINACTIVE")});
    }
    return ScanEnded(status) ? kExitOk : ScanFailed(kMonEquipTable, status);
}

int tvCommands::ListMessages() {
    std::map<int32_t, std::string> names;
    if (const int failed = Descriptions(app_, kPageDevTable, "PAGEDEVNBR", &names)) {
        return ScanFailed(kPageDevTable, failed);
    }
    cvFile* messages = app_.OpenTable(kPageMsgTable);
    if (!messages) {
        return kExitRefused;
    }
    Row({"NUMBER", "RECIPIENT", "STATUS", "ATTEMPTS", "SCHEDULE", "RESPONSE"});
    int status = messages->GetFirst(kNumberKey);
    for (; status == 0; status = messages->GetNext()) {
        Row({Number(messages->GetInt("PAGEMSGNBR")), NameOf(names, messages->GetInt("PAGEDEVNBR")),
             ValueText(messages->GetInt("STATUS"), MessageStatusValues()),
             Number(messages->GetInt("ATTEMPTS")), ScheduleText(*messages),
             messages->GetText("RESPONSE")});
    }
    return ScanEnded(status) ? kExitOk : ScanFailed(kPageMsgTable, status);
}

int tvCommands::SetOptions(const std::vector<std::string>& arguments) {
    std::vector<tvFieldAssignment> assignments;
    if (!ParseAssignments(arguments, 1, &assignments)) {
        return kExitUsage;
    }
    cvRec* cached = app_.OptionsRecord();
    if (!cached) {
        return kExitRefused;
    }
    // Edited as the options sheet edits them: a copy, prepared as for showing.
    cvRec edited(*cached);
    PrepareOptionsForEditing(edited);
    std::optional<bool> auto_start;
    std::optional<int32_t> smtp_port;
    std::optional<bool> smtp_require_tls;
    std::optional<std::string> import_entry;
    for (const tvFieldAssignment& assignment : assignments) {
        const std::string& name = assignment.name;
        if (!IsOptionField(name)) {
            return Usage(name + " is not one of the server options");
        }
        if (name == "AUTOSTART") {
            const std::optional<int32_t> number = ParseWholeNumber(assignment.value);
            const std::optional<std::string> flag = ParseFlag(assignment.value);
            if (!number && !flag) {
                return Usage("AUTOSTART takes 1 or 0");
            }
            auto_start = number ? *number != 0 : *flag == "Y";
        } else if (name == "SMTPPORT") {
            smtp_port = ParseWholeNumber(assignment.value);
            if (!smtp_port || *smtp_port < 1 || *smtp_port > 65535) {
                return Usage("SMTPPORT takes a port from 1 to 65535");
            }
        } else if (name == "SMTPREQUIRETLS") {
            const std::optional<int32_t> number = ParseWholeNumber(assignment.value);
            const std::optional<std::string> flag = ParseFlag(assignment.value);
            if (!number && !flag) {
                return Usage("SMTPREQUIRETLS takes 1 or 0");
            }
            smtp_require_tls = number ? *number != 0 : *flag == "Y";
        } else if (name == "DNSADDRESS") {
            const std::optional<uint32_t> address = ParseIpv4Address(assignment.value);
            if (!address) {
                return Usage("DNSADDRESS takes an address such as 192.168.1.10");
            }
            static_cast<void>(edited.PutInt(name, static_cast<int32_t>(*address)));
        } else if (name == "IMPORTDIR") {
            import_entry = assignment.value;
        } else if (std::string why = PutFieldValue(edited, assignment, tvTextPadding::kZeros);
                   !why.empty()) {
            return Usage(why);
        }
    }
    if (std::optional<tvOptionsRefusal> refusal = CheckOptions(edited)) {
        return Refuse(refusal->text, refusal->style);
    }
    const bool import_touched = import_entry || std::any_of(assignments.begin(), assignments.end(),
                                                            [](const tvFieldAssignment& a) {
                                                                return a.name == "QENABLEIMPORT";
                                                            });
    if (import_touched || GatewayPageShown(app_.AlarmWatch(), app_.FileGateway())) {
        const std::string entry = import_entry ? *import_entry : edited.GetText("IMPORTDIR");
        const int capacity = TextCapacity(edited, "IMPORTDIR");
        if (static_cast<int>(entry.size()) + (entry.empty() || entry.back() == '/' ? 0 : 1) >
            capacity) {
            return Usage(FormatText("IMPORTDIR holds at most %d characters", capacity));
        }
        if (std::optional<tvOptionsRefusal> refusal = ApplyImportDirectory(edited, entry)) {
            return Refuse(refusal->text, refusal->style);
        }
    }
    if (edited.Save() != 0) {
        return kExitRefused;  // reported by the record layer
    }
    cached->Assign(edited);
    // The profile values, each reported by name when it cannot be stored.
    const auto stored = [this](const char* label, std::string_view section,
                               std::string_view value_name, int32_t number) {
        const platform::ProfileResult written = app_.Settings().WriteProfileNumber(
            platform::ProfileScope::kUser, section, value_name, number);
        if (written != platform::ProfileResult::kOk) {
            std::fprintf(err_, "tolvane: %s not stored: %s\n", label,
                         platform::ProfileResultText(written));
            return false;
        }
        return true;
    };
    if (auto_start && !stored("AUTOSTART", tvSettings::kCommSection, tvSettings::kAutoStartValue,
                              *auto_start ? 1 : 0)) {
        return kExitRefused;
    }
    if (smtp_port &&
        !stored("SMTPPORT", tvSettings::kSettingsSection, tvSettings::kSmtpPortValue, *smtp_port)) {
        return kExitRefused;
    }
    if (smtp_require_tls && !stored("SMTPREQUIRETLS", tvSettings::kSettingsSection,
                                    tvSettings::kSmtpRequireTlsValue, *smtp_require_tls ? 1 : 0)) {
        return kExitRefused;
    }
    return kExitOk;
}

int tvCommands::SetMachine(const std::vector<std::string>& arguments) {
    std::vector<tvFieldAssignment> assignments;
    if (!ParseAssignments(arguments, 1, &assignments)) {
        return kExitUsage;
    }
    cvRec* cached = app_.MachineRecord();
    if (!cached) {
        return kExitRefused;
    }
    cvRec edited(*cached);
    for (const tvFieldAssignment& assignment : assignments) {
        const std::string& name = assignment.name;
        if (name == "PORT") {
            const std::optional<int32_t> port = ParsePort(assignment.value);
            if (!port) {
                return Usage(
                    "PORT takes a port number (0 for COM1 ... 7 for COM8) or COM1 ... COM8");
            }
            static_cast<void>(edited.PutInt(name, *port));
            continue;
        }
        const int limit = name == "MODEMINIT"    ? kModemInitLimit
                          : name == "DIALPREFIX" ? kDialPrefixLimit
                                                 : 0;
        if (limit == 0) {
            return Usage(name + " is not one of this computer's settings");
        }
        const int capacity = std::min(limit, TextCapacity(edited, name));
        if (static_cast<int>(assignment.value.size()) > capacity) {
            return Usage(FormatText("%s holds at most %d characters", name.c_str(), capacity));
        }
        if (std::string why = PutFieldValue(edited, assignment, tvTextPadding::kZeros);
            !why.empty()) {
            return Usage(why);
        }
    }
    if (std::optional<tvOptionsRefusal> refusal = CheckModemPort(edited.GetInt("PORT"))) {
        return Refuse(refusal->text, refusal->style);
    }
    if (edited.Save() != 0) {
        return kExitRefused;
    }
    cached->Assign(edited);
    return kExitOk;
}

int tvCommands::Import(const std::string& location) {
    tvImport import(app_);
    bool given = false;
    const tvImportResult result = import.Run([&]() -> std::optional<std::string> {
        if (given) {
            return std::nullopt;  // asked again: nothing more to offer
        }
        given = true;
        return location;
    });
    if (result != tvImportResult::kImported) {
        return kExitRefused;
    }
    const tvImportCounts& counts = import.Imported();
    std::fprintf(out_,
                 "Imported %d networks, %d devices, %d groups, %d group members, %d pieces of "
                 "equipment\n",
                 counts.networks, counts.devices, counts.groups, counts.memberships,
                 counts.equipment);
    return kExitOk;
}

int RunTolvane(int argc, const char* const* argv, const tvRunOptions& options) {
    tvCommandLine line;
    const std::string wrong = ParseCommandLine(argc, argv, &line);
    if (!wrong.empty()) {
        std::fprintf(options.err, "tolvane: %s\n%s", wrong.c_str(), UsageText());
        return kExitUsage;
    }
    if (line.help) {
        std::fprintf(options.out, "%s", UsageText());
        return kExitOk;
    }

    EventLog().SetPresenter(ConsolePresenter(options.err, line.assume_yes));
    int exit_status = kExitRefused;
    // The server runs once per user; the commands may run beside it.
    std::optional<tvSingleInstance> instance;
    if (line.headless) {
        instance.emplace();
        const tvSingleInstance::Claim claim = instance->TryClaim([&options] {
            std::fprintf(options.out, "Another start of Tolvane found this server running\n");
            std::fflush(options.out);
        });
        if (claim != tvSingleInstance::Claim::kFirst) {
            std::fprintf(options.err, claim == tvSingleInstance::Claim::kAlreadyRunning
                                          ? "tolvane: Tolvane is already running\n"
                                          : "tolvane: cannot claim the single instance\n");
            EventLog().SetPresenter({});
            return kExitRefused;
        }
        // Event-log lines go to the error stream, as a service's log.
        EventLog().SetEchoStream(options.err);
    }
    {
        tvApp app(options.program_directory);
        if (line.data_directory) {
            app.OverrideDataDirectory(*line.data_directory);
        }
        if (line.dictionary_directory) {
            app.OverrideDictionaryDirectory(*line.dictionary_directory);
        }
        tvConsoleProgress progress(options.out, options.cancel);
        // The server, like init, creates the database when it is missing.
        const bool init = line.command == "init" || line.headless;
        const tvStartResult started = app.StartWithoutWindows(
            init ? tvIncompleteAnswer::kYes : tvIncompleteAnswer::kNo, &progress);
        if (started == tvStartResult::kStarted && line.headless) {
            tvHeadlessOptions headless;
            headless.out = options.out;
            exit_status = RunHeadless(app, headless);
        } else if (started == tvStartResult::kStarted) {
            tvCommands commands(app, options.out, options.err);
            exit_status = commands.Run(line);
        } else if (started == tvStartResult::kIncompleteDatabase) {
            std::fprintf(options.err,
                         "tolvane: %s does not hold a complete Tolvane database; "
                         "\"tolvane init\" creates one\n",
                         app.DataDirectory().c_str());
        }
        if (DbExitRequested() && exit_status == kExitOk) {
            exit_status = kExitRefused;
        }
        app.Shutdown();
    }
    EventLog().SetPresenter({});
    if (line.headless) {
        EventLog().SetEchoStream(nullptr);
    }
    std::fflush(options.out);
    return exit_status;
}
