#pragma once
// The program's settings profile: named sections of typed values (32-bit numbers and
// texts) in two scopes, the current user's and the machine's.
//
// Files (format in profiledocument.h, sharing and failure rules in profilefile.h):
// - user scope: $TOLVANE_USER_PROFILE, else $XDG_CONFIG_HOME/tolvane/profile.ini, else
//   ~/.config/tolvane/profile.ini;
// - machine scope: $TOLVANE_MACHINE_PROFILE, else /etc/tolvane/profile.ini. It is
//   usually not writable by the user: writes then fail with kNotWritable, reads work.
//
// Types: a value keeps the type it was last written with. Reading it as the other type
// gives the default, as if it were missing (a number is never read from a text, nor a
// text from a number). Writing either type replaces the value whatever its type was.
//
// Failures: reads never fail; a missing, unreadable or unparsable file reads as empty.
// Writes return a ProfileResult and report every failure through ReportDiagnostic.
//
// Thread safety: every member may be called from any thread at the same time.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/profile/profilefile.h"
#include "platform/profile/profileresult.h"

namespace platform {

enum class ProfileScope { kUser, kMachine };

class Profile {
  public:
    // The files the environment names now (see the file comment).
    Profile();
    Profile(std::string user_path, std::string machine_path);
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // Where a scope's file lives according to the environment at the time of the call.
    // Empty for the user scope when neither the variables nor a home directory exist.
    static std::string DefaultPath(ProfileScope scope);
    const std::string& Path(ProfileScope scope) const;

    // The stored number, or `default_value` when missing or a text.
    int32_t ReadNumber(ProfileScope scope, std::string_view section, std::string_view name,
                       int32_t default_value) const;
    // The stored text, or `default_value` when missing or a number.
    std::string ReadText(ProfileScope scope, std::string_view section, std::string_view name,
                         std::string_view default_value) const;

    // Read with a written default: when the value is missing, `default_value` is stored
    // (in the same locked step, so a value another process writes meanwhile is kept)
    // and returned. A value of the other type is left alone and the default returned.
    // A failed store is reported and the default still returned.
    int32_t ReadNumberWritten(ProfileScope scope, std::string_view section, std::string_view name,
                              int32_t default_value);
    std::string ReadTextWritten(ProfileScope scope, std::string_view section, std::string_view name,
                                std::string_view default_value);

    [[nodiscard]] ProfileResult WriteNumber(ProfileScope scope, std::string_view section,
                                            std::string_view name, int32_t number);
    [[nodiscard]] ProfileResult WriteText(ProfileScope scope, std::string_view section,
                                          std::string_view name, std::string_view text);
    // Deleting what does not exist succeeds and writes nothing.
    [[nodiscard]] ProfileResult DeleteValue(ProfileScope scope, std::string_view section,
                                            std::string_view name);
    [[nodiscard]] ProfileResult DeleteSection(ProfileScope scope, std::string_view section);

  private:
    const ProfileFile& File(ProfileScope scope) const;
    ProfileFile& File(ProfileScope scope);
    // Stores `value` when the value is missing; returns what the file holds afterwards
    // (nothing when the store failed).
    std::optional<ProfileValue> ReadWritten(ProfileScope scope, std::string_view section,
                                            std::string_view name, const ProfileValue& value);
    ProfileResult Write(ProfileScope scope, std::string_view section, std::string_view name,
                        const ProfileValue& value);

    ProfileFile user_;
    ProfileFile machine_;
};

}  // namespace platform
