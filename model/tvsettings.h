#pragma once
// The application's settings: the configuration records of the database, which it
// caches and hands out, and the values of the settings profile.
//
// Records. The application keeps one record of each kind of the TOLVANE table: the
// server options ("OPTIONS", 0), the server lock ("SERVER", 0), this computer's
// record ("MACHINE", n) and the version record ("VERSION", 0). Each is read on first
// use through the TOLVANE table of the file manager given with SetFileManager, created
// with its defaults when missing (which also creates TOLVANE.DAT when it is missing),
// and kept until dropped. The records stay owned by this object; a pointer handed out
// is valid until the record is dropped. Every record is dropped when the file manager
// is replaced, when its data directory changes and when its TOLVANE file is closed,
// so a record never outlives its file nor serves another database.
//
// Profile. Values live in sections of the user's or the machine's profile (see
// platform/profile/profile.h). Section "Settings": "Data Directory", "DDF Directory" and
// "Reports Directory" (texts, user then machine scope), "Log Startup Events" (user),
// "Alarm Watch" and "File Gateway" (machine), "NoHostMode", "SmtpPort" and
// "SmtpRequireTls" (user);
// section "COMM": "AUTOSTART" (user) and "PORT" (machine). Numbers are 32-bit.
//
// Threads: the record operations and the records belong to the thread of the file
// manager (the user-interface thread). The profile operations and MachineNumber, once
// the machine record has been read, may be called from any thread. The directories are
// set at start-up, before other threads run, and only read afterwards; the feature
// switches are atomics that any thread may read and change.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/tvversion.h"
#include "platform/profile/profile.h"

class cvDataDict;
class cvFile;
class cvFileMgr;
class cvRec;

class tvSettings {
  public:
    static constexpr std::string_view kSettingsSection = "Settings";
    static constexpr std::string_view kCommSection = "COMM";
    static constexpr std::string_view kDataDirectoryValue = "Data Directory";
    static constexpr std::string_view kDictionaryDirectoryValue = "DDF Directory";
    static constexpr std::string_view kReportsDirectoryValue = "Reports Directory";
    static constexpr std::string_view kLogStartupEventsValue = "Log Startup Events";
    static constexpr std::string_view kAlarmWatchValue = "Alarm Watch";
    static constexpr std::string_view kFileGatewayValue = "File Gateway";
    static constexpr std::string_view kNoHostModeValue = "NoHostMode";
    static constexpr std::string_view kSmtpPortValue = "SmtpPort";
    static constexpr std::string_view kSmtpRequireTlsValue = "SmtpRequireTls";
    static constexpr std::string_view kAutoStartValue = "AUTOSTART";
    static constexpr std::string_view kPortValue = "PORT";

    // Creation defaults of the "OPTIONS" record.
    static constexpr int32_t kDefaultSendInterval = 30;     // seconds
    static constexpr int32_t kDefaultStatusInterval = 300;  // seconds
    static constexpr int32_t kDefaultPurgeAge = 7;          // days
    // PORT of a "MACHINE" record without a modem port.
    static constexpr int32_t kNoModemPort = -1;

    // `program_directory` is the directory the program runs from (a "/" is added when
    // missing); the directories default to it. The computer's name is the host name.
    tvSettings(platform::Profile& profile, std::string program_directory);
    ~tvSettings();
    tvSettings(const tvSettings&) = delete;
    tvSettings& operator=(const tvSettings&) = delete;

    const std::string& ProgramDirectory() const { return program_directory_; }
    // The name this computer's "MACHINE" record is found by.
    const std::string& ComputerName() const { return computer_name_; }
    // Replaces the host name, so that tests can be several computers on one database.
    void SetComputerName(std::string name) { computer_name_ = std::move(name); }
    // The operating system's host name; empty when it cannot be had.
    static std::string HostName();

    // Start-up values of the profile.
    //
    // Reads the three directories, "Log Startup Events" (storing 0 when it is missing),
    // "Alarm Watch" and "File Gateway". A directory is the user's value, else the
    // machine's, else its default: the program directory followed by "Data/" (data),
    // by nothing (dictionary) or by "Reports/" (reports). A scope whose value is "*" or
    // empty passes to the next; each directory ends with "/".
    void LoadStartupSettings();
    const std::string& DataDirectory() const { return data_directory_; }
    const std::string& DictionaryDirectory() const { return dictionary_directory_; }
    const std::string& ReportsDirectory() const { return reports_directory_; }
    // The data directory chosen by the operator; a "/" is added when missing.
    void SetDataDirectory(std::string_view directory);
    // Stores the data directory as the user's "Data Directory".
    [[nodiscard]] platform::ProfileResult SaveDataDirectory();
    bool LogStartupEvents() const { return log_startup_events_; }
    // The feature switches may be changed while an engine runs (the options window, a
    // reload of the profile) and are read by the engine thread at every receive cycle,
    // so they are atomics.
    bool AlarmWatch() const { return alarm_watch_.load(); }
    bool FileGateway() const { return file_gateway_.load(); }
    void SetAlarmWatch(bool on) { alarm_watch_.store(on); }
    void SetFileGateway(bool on) { file_gateway_.store(on); }

    // Values read when asked.
    //
    // "NoHostMode" and "SmtpPort" of the user's "Settings", read with the default 999:
    // when 999 comes back, the real default (0, respectively 25) is stored and returned,
    // so the value is present afterwards.
    int32_t NoHostMode();
    int32_t SmtpPort();
    // The user's "Settings"/"SmtpRequireTls": non-zero when mail may only go over TLS
    // (a server without STARTTLS then fails the visit). Default off, not written.
    bool SmtpRequireTls() const;
    // The user's "COMM"/"AUTOSTART" (default off).
    bool AutoStart() const;
    [[nodiscard]] platform::ProfileResult SetAutoStart(bool on);
    // The machine's "COMM"/"PORT", the modem port of older releases; -1 when missing.
    int32_t LegacyModemPort() const;

    // Any profile value. A number or text missing (or stored as the other type) reads
    // as the default. WriteProfileText without a text deletes the value, without a
    // value name the whole section.
    int32_t ReadProfileNumber(platform::ProfileScope scope, std::string_view section,
                              std::string_view name, int32_t default_value) const;
    [[nodiscard]] platform::ProfileResult WriteProfileNumber(platform::ProfileScope scope,
                                                             std::string_view section,
                                                             std::string_view name, int32_t number);
    std::string ReadProfileText(platform::ProfileScope scope, std::string_view section,
                                std::string_view name, std::string_view default_value) const;
    [[nodiscard]] platform::ProfileResult WriteProfileText(platform::ProfileScope scope,
                                                           std::string_view section,
                                                           std::optional<std::string_view> name,
                                                           std::optional<std::string_view> text);

    // Records.
    //
    // The file manager the records are read through (not owned; null: none). Setting
    // another one drops every cached record.
    void SetFileManager(cvFileMgr* manager);
    cvFileMgr* FileManager() const { return manager_; }
    // The versions a new version record is stamped with.
    void SetProgramVersions(const tvVersion& file_version, const tvVersion& product_version);
    const tvVersion& ProgramFileVersion() const { return program_file_version_; }
    const tvVersion& ProgramProductVersion() const { return program_product_version_; }

    // The "OPTIONS" record, or null when it can be neither read nor created. A missing
    // one is created with SENDINTERVAL 30, STATUSINTERVAL 300 and PURGEAGE 7. When a
    // stored one carries a user id in OLDUSERID (older releases kept it there), the id
    // moves to USERID, OLDUSERID is emptied and the record is saved.
    cvRec* OptionsRecord();
    // The "SERVER" record, or null; a missing one is created (MACHINENBR 0).
    cvRec* ServerRecord();
    // This computer's "MACHINE" record, or null. The "MACHINE" records are searched in
    // key order for this computer's name (as far as COMPUTERNAME holds it). Without
    // one a record is created: NUMKEY one above the highest (1 for the first),
    // COMPUTERNAME this computer's name, MACHINENBR the seconds from 1 January 1998
    // 12:00:00 local time (raised past any number another computer has, and never 0),
    // PORT the machine's legacy "COMM"/"PORT" value or -1, empty MODEMINIT and
    // DIALPREFIX. The record's MACHINENBR becomes the machine number unless one is set.
    cvRec* MachineRecord();
    // The version record, or null; a missing one is created with the program's versions.
    cvRec* VersionRecord();
    // The machine number, reading the machine record when none is known yet; 0 when
    // there is no machine record.
    int32_t MachineNumber();
    // Rereads the "SERVER" record: true when an engine holds the lock (MACHINENBR not 0).
    bool IsServerRunning();
    void DropVersionRecord();
    void DropRecords();

    // Makes sure a new database has its "SERVER" record: opens TOLVANE of
    // `data_directory` exclusively through a file manager of its own (creating the
    // data file when missing) and inserts ("SERVER", 0) with MACHINENBR 0 when it is
    // not there. Returns 0, -1 when TOLVANE cannot be opened, otherwise the status of
    // the failing read or insert.
    [[nodiscard]] static int EnsureServerRecord(cvDataDict& dictionary,
                                                const std::string& data_directory);

  private:
    // The record slots, in the order the kinds are listed above.
    enum Slot { kOptions, kServer, kMachine, kVersion, kSlotCount };

    // Drops records whose file or database is no longer the file manager's.
    void DropStaleRecords();
    // TOLVANE through the file manager, or null.
    cvFile* ConfigFile();
    int32_t ReadWithSentinel(std::string_view name, int32_t real_default);

    platform::Profile& profile_;
    std::string program_directory_;
    std::string computer_name_;

    std::string data_directory_;
    std::string dictionary_directory_;
    std::string reports_directory_;
    bool log_startup_events_ = false;
    std::atomic<bool> alarm_watch_{false};
    std::atomic<bool> file_gateway_{false};

    cvFileMgr* manager_ = nullptr;
    std::string records_directory_;  // the data directory the cached records came from
    std::unique_ptr<cvRec> records_[kSlotCount];
    tvVersion program_file_version_;
    tvVersion program_product_version_;
    std::atomic<int32_t> machine_number_{0};
};

// DNSADDRESS of an "OPTIONS" record, first octet in the most significant byte; 0 when
// none is set, also when the stored bytes are four blanks.
uint32_t OptionsDnsAddress(const cvRec& options);
