// The profile half of the settings: directories, switches and single values.

#include "model/tvsettings.h"

#include <unistd.h>

#include <climits>

#include "storage/cvrec.h"

namespace {

using platform::ProfileResult;
using platform::ProfileScope;

// Read as the default of a directory so that a missing value can be told from any
// value a user might store.
constexpr std::string_view kUnsetDirectory = "*";
// Read as the default of the values the engine stores at once.
constexpr int32_t kUnsetNumber = 999;
constexpr int32_t kDefaultNoHostMode = 0;
constexpr int32_t kDefaultSmtpPort = 25;

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

bool IsUnset(const std::string& directory) {
    return directory.empty() || directory == kUnsetDirectory;
}

}  // namespace

tvSettings::tvSettings(platform::Profile& profile, std::string program_directory)
    : profile_(profile),
      program_directory_(WithSlash(std::move(program_directory))),
      computer_name_(HostName()) {}

tvSettings::~tvSettings() = default;

std::string tvSettings::HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

void tvSettings::LoadStartupSettings() {
    const auto directory = [this](std::string_view value, const std::string& fallback) {
        std::string found =
            profile_.ReadText(ProfileScope::kUser, kSettingsSection, value, kUnsetDirectory);
        if (IsUnset(found)) {
            found =
                profile_.ReadText(ProfileScope::kMachine, kSettingsSection, value, kUnsetDirectory);
        }
        return WithSlash(IsUnset(found) ? fallback : found);
    };
    dictionary_directory_ = directory(kDictionaryDirectoryValue, program_directory_);
    data_directory_ = directory(kDataDirectoryValue, program_directory_ + "Data");
    reports_directory_ = directory(kReportsDirectoryValue, program_directory_ + "Reports");
    log_startup_events_ = profile_.ReadNumberWritten(ProfileScope::kUser, kSettingsSection,
                                                     kLogStartupEventsValue, 0) != 0;
    alarm_watch_ =
        profile_.ReadNumber(ProfileScope::kMachine, kSettingsSection, kAlarmWatchValue, 0) != 0;
    file_gateway_ =
        profile_.ReadNumber(ProfileScope::kMachine, kSettingsSection, kFileGatewayValue, 0) != 0;
}

void tvSettings::SetDataDirectory(std::string_view directory) {
    data_directory_ = WithSlash(std::string(directory));
}

ProfileResult tvSettings::SaveDataDirectory() {
    return profile_.WriteText(ProfileScope::kUser, kSettingsSection, kDataDirectoryValue,
                              data_directory_);
}

int32_t tvSettings::ReadWithSentinel(std::string_view name, int32_t real_default) {
    const int32_t value =
        profile_.ReadNumber(ProfileScope::kUser, kSettingsSection, name, kUnsetNumber);
    if (value != kUnsetNumber) {
        return value;
    }
    // A failed store has been reported by the profile; the default still applies.
    static_cast<void>(
        profile_.WriteNumber(ProfileScope::kUser, kSettingsSection, name, real_default));
    return real_default;
}

int32_t tvSettings::NoHostMode() {
    return ReadWithSentinel(kNoHostModeValue, kDefaultNoHostMode);
}

int32_t tvSettings::SmtpPort() {
    return ReadWithSentinel(kSmtpPortValue, kDefaultSmtpPort);
}

bool tvSettings::SmtpRequireTls() const {
    return profile_.ReadNumber(ProfileScope::kUser, kSettingsSection, kSmtpRequireTlsValue, 0) != 0;
}

bool tvSettings::AutoStart() const {
    return profile_.ReadNumber(ProfileScope::kUser, kCommSection, kAutoStartValue, 0) != 0;
}

ProfileResult tvSettings::SetAutoStart(bool on) {
    return profile_.WriteNumber(ProfileScope::kUser, kCommSection, kAutoStartValue, on ? 1 : 0);
}

int32_t tvSettings::LegacyModemPort() const {
    return profile_.ReadNumber(ProfileScope::kMachine, kCommSection, kPortValue, kNoModemPort);
}

int32_t tvSettings::ReadProfileNumber(ProfileScope scope, std::string_view section,
                                      std::string_view name, int32_t default_value) const {
    return profile_.ReadNumber(scope, section, name, default_value);
}

ProfileResult tvSettings::WriteProfileNumber(ProfileScope scope, std::string_view section,
                                             std::string_view name, int32_t number) {
    return profile_.WriteNumber(scope, section, name, number);
}

std::string tvSettings::ReadProfileText(ProfileScope scope, std::string_view section,
                                        std::string_view name,
                                        std::string_view default_value) const {
    return profile_.ReadText(scope, section, name, default_value);
}

ProfileResult tvSettings::WriteProfileText(ProfileScope scope, std::string_view section,
                                           std::optional<std::string_view> name,
                                           std::optional<std::string_view> text) {
    if (!name) {
        return profile_.DeleteSection(scope, section);
    }
    if (!text) {
        return profile_.DeleteValue(scope, section, *name);
    }
    return profile_.WriteText(scope, section, *name, *text);
}
