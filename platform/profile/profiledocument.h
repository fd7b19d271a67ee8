#pragma once
// The text of one profile file, parsed into sections and typed values, and edited in a
// way that leaves every line it does not change exactly as it was.
//
// File format (one line each; line feeds end lines, a carriage return before one is
// ignored, and kept on lines that are not rewritten):
//
//   ; a comment (also "#"), kept as written
//   [Settings]
//   Data Directory = "/srv/tolvane/Data/"
//   SmtpPort = 25
//
// - A section starts with "[name]"; its values follow until the next section. The same
//   section may appear more than once; its blocks count as one section.
// - A value is "name = value". Blanks around the name and the value are ignored; the
//   name runs up to the first "=". Section and value names compare without regard to
//   ASCII case (a later write keeps the spelling already in the file).
// - A number is written bare in decimal: a 32-bit value, -2147483648 to 4294967295
//   (values above 2147483647 are the same 32 bits read as negative: 4294967295 is -1).
// - A text is written in double quotes. Inside them "\\", "\"", "\n", "\r", "\t" and
//   "\xHH" (two hex digits, any byte) stand for themselves; every other byte is taken as
//   it is. Anything may therefore be stored: "=", "[", blanks at either end, backslashes,
//   line feeds, NUL bytes.
// - For hand edits, a bare value that is not a number is a text, taken as written
//   without its surrounding blanks (so "COM1 = /dev/ttyUSB0" works). Texts written by
//   the program are always quoted.
//
// A file is unparsable, and Parse fails with the line and the reason, when a line is
// none of the above (no "="), a section header lacks its "]" or its name, a value
// comes before the first section, a value name is empty, a bare number does not fit in
// 32 bits, a quoted text is not closed, has an unknown escape or is followed by more
// than blanks, or a value name appears twice in one section.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ProfileValue {
    enum class Type { kNumber, kText };

    static ProfileValue Number(int32_t number) { return {Type::kNumber, number, {}}; }
    static ProfileValue Text(std::string text) { return {Type::kText, 0, std::move(text)}; }

    bool operator==(const ProfileValue&) const = default;

    Type type = Type::kNumber;
    int32_t number = 0;  // when type is kNumber
    std::string text;    // when type is kText
};

class ProfileDocument {
  public:
    struct ParseError {
        int line = 0;  // 1-based
        std::string reason;
    };

    // An empty document (a missing file).
    ProfileDocument() = default;

    // Parses a whole file. Returns nothing and fills `error` when it is unparsable.
    static std::optional<ProfileDocument> Parse(std::string_view content, ParseError* error);

    // Names a file can hold: not empty, no control characters, no blanks at either end;
    // a section name without "]", a value name without "=" and not starting with "[",
    // ";" or "#".
    static bool IsValidSectionName(std::string_view name);
    static bool IsValidValueName(std::string_view name);

    // The value, or null when missing. The pointer lives until the next edit.
    const ProfileValue* Find(std::string_view section, std::string_view name) const;

    // Each edit returns true when it changed the document. Names must be valid.
    // Set replaces a value of either type in place, or adds it at the end of its
    // section (the section is appended when missing).
    bool Set(std::string_view section, std::string_view name, const ProfileValue& value);
    bool Remove(std::string_view section, std::string_view name);
    // Removes every block of the section: its header, its values and the lines between
    // them, except comments and blank lines directly before the next section's header.
    bool RemoveSection(std::string_view section);

    // The file text: every line followed by a line feed.
    std::string Serialize() const;

    // How a value is written after "name = ".
    static std::string EncodeValue(const ProfileValue& value);

  private:
    struct Line {
        enum class Kind { kOther, kSection, kValue };
        Kind kind = Kind::kOther;
        std::string raw;      // the line as it is written, without its line feed
        std::string section;  // kSection: its name; kValue: the section it belongs to
        std::string name;     // kValue: the value name
        ProfileValue value;   // kValue
    };

    std::optional<size_t> FindLine(std::string_view section, std::string_view name) const;

    std::vector<Line> lines_;
};

}  // namespace platform
