#include "platform/profile/profile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/core/diagnostics.h"

namespace platform {
namespace {

constexpr uint32_t kProfileDiagnosticCategory = 0x0002;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeDirectory() {
    std::string home = Environment("HOME");
    if (!home.empty()) {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        home = found->pw_dir;
    }
    return home;
}

std::string Describe(std::string_view section, std::string_view name) {
    return "\"" + std::string(section) + "\" / \"" + std::string(name) + "\"";
}

ProfileResult RejectName(const std::string& what) {
    ReportDiagnostic(kProfileDiagnosticCategory,
                     "Profile: " + what + " not written (invalid section or value name)");
    return ProfileResult::kInvalidName;
}

bool ValidNames(std::string_view section, std::string_view name) {
    return ProfileDocument::IsValidSectionName(section) && ProfileDocument::IsValidValueName(name);
}

}  // namespace

Profile::Profile()
    : Profile(DefaultPath(ProfileScope::kUser), DefaultPath(ProfileScope::kMachine)) {}

Profile::Profile(std::string user_path, std::string machine_path)
    : user_(std::move(user_path)), machine_(std::move(machine_path)) {}

std::string Profile::DefaultPath(ProfileScope scope) {
    if (scope == ProfileScope::kMachine) {
        const std::string named = Environment("TOLVANE_MACHINE_PROFILE");
        return named.empty() ? "/etc/tolvane/profile.ini" : named;
    }
    const std::string named = Environment("TOLVANE_USER_PROFILE");
    if (!named.empty()) {
        return named;
    }
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    const std::string config = Environment("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') {
        return config + "/tolvane/profile.ini";
    }
    const std::string home = HomeDirectory();
    if (home.empty()) {
        return {};
    }
    return home + "/.config/tolvane/profile.ini";
}

const std::string& Profile::Path(ProfileScope scope) const {
    return File(scope).Path();
}

const ProfileFile& Profile::File(ProfileScope scope) const {
    return scope == ProfileScope::kMachine ? machine_ : user_;
}

ProfileFile& Profile::File(ProfileScope scope) {
    return scope == ProfileScope::kMachine ? machine_ : user_;
}

int32_t Profile::ReadNumber(ProfileScope scope, std::string_view section, std::string_view name,
                            int32_t default_value) const {
    if (!ValidNames(section, name)) {
        return default_value;
    }
    const std::optional<ProfileValue> value = File(scope).Read(section, name);
    if (!value || value->type != ProfileValue::Type::kNumber) {
        return default_value;
    }
    return value->number;
}

std::string Profile::ReadText(ProfileScope scope, std::string_view section, std::string_view name,
                              std::string_view default_value) const {
    if (!ValidNames(section, name)) {
        return std::string(default_value);
    }
    std::optional<ProfileValue> value = File(scope).Read(section, name);
    if (!value || value->type != ProfileValue::Type::kText) {
        return std::string(default_value);
    }
    return std::move(value->text);
}

std::optional<ProfileValue> Profile::ReadWritten(ProfileScope scope, std::string_view section,
                                                 std::string_view name, const ProfileValue& value) {
    if (!ValidNames(section, name)) {
        static_cast<void>(RejectName(Describe(section, name)));
        return std::nullopt;
    }
    // Most reads find the value and need no lock.
    if (std::optional<ProfileValue> present = File(scope).Read(section, name)) {
        return present;
    }
    std::optional<ProfileValue> result;
    const ProfileResult stored = File(scope).Update(
        [&](ProfileDocument& document) {
            if (const ProfileValue* found = document.Find(section, name)) {
                result = *found;
                return false;
            }
            result = value;
            return document.Set(section, name, value);
        },
        Describe(section, name));
    if (stored != ProfileResult::kOk) {
        return std::nullopt;
    }
    return result;
}

int32_t Profile::ReadNumberWritten(ProfileScope scope, std::string_view section,
                                   std::string_view name, int32_t default_value) {
    const std::optional<ProfileValue> value =
        ReadWritten(scope, section, name, ProfileValue::Number(default_value));
    if (!value || value->type != ProfileValue::Type::kNumber) {
        return default_value;
    }
    return value->number;
}

std::string Profile::ReadTextWritten(ProfileScope scope, std::string_view section,
                                     std::string_view name, std::string_view default_value) {
    std::optional<ProfileValue> value =
        ReadWritten(scope, section, name, ProfileValue::Text(std::string(default_value)));
    if (!value || value->type != ProfileValue::Type::kText) {
        return std::string(default_value);
    }
    return std::move(value->text);
}

ProfileResult Profile::Write(ProfileScope scope, std::string_view section, std::string_view name,
                             const ProfileValue& value) {
    if (!ValidNames(section, name)) {
        return RejectName(Describe(section, name));
    }
    return File(scope).Update(
        [&](ProfileDocument& document) { return document.Set(section, name, value); },
        Describe(section, name));
}

ProfileResult Profile::WriteNumber(ProfileScope scope, std::string_view section,
                                   std::string_view name, int32_t number) {
    return Write(scope, section, name, ProfileValue::Number(number));
}

ProfileResult Profile::WriteText(ProfileScope scope, std::string_view section,
                                 std::string_view name, std::string_view text) {
    return Write(scope, section, name, ProfileValue::Text(std::string(text)));
}

ProfileResult Profile::DeleteValue(ProfileScope scope, std::string_view section,
                                   std::string_view name) {
    if (!ValidNames(section, name)) {
        return RejectName(Describe(section, name));
    }
    return File(scope).Update(
        [&](ProfileDocument& document) { return document.Remove(section, name); },
        "deletion of " + Describe(section, name));
}

ProfileResult Profile::DeleteSection(ProfileScope scope, std::string_view section) {
    if (!ProfileDocument::IsValidSectionName(section)) {
        return RejectName("section \"" + std::string(section) + "\"");
    }
    return File(scope).Update(
        [&](ProfileDocument& document) { return document.RemoveSection(section); },
        "deletion of section \"" + std::string(section) + "\"");
}

}  // namespace platform
