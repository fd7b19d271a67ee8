#pragma once
// The checks the property pages of networks, devices, groups and equipment make when
// they are left (OK, Finish, another page), as plain functions: required entries,
// unique descriptions, required selections and the PIN question. The texts are the
// ones the pages show.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class cvBob;
class cvFileMgr;

inline constexpr std::string_view kEntryRequiredText = "An entry is required";
inline constexpr std::string_view kUniqueEntryText = "This entry requires a unique value.";
inline constexpr std::string_view kSelectionRequiredText = "Selection required";
inline constexpr std::string_view kPinNonNumericText =
    "This PIN contains non-numeric characters which are generally not allowed.\n";
inline constexpr std::string_view kContinueQuestionText = "Do you want to continue?";
inline constexpr std::string_view kPortRangeText = "The port must be a number from 1 to 65535";

// The question asked about a PIN with other characters than digits (Yes and No, No the
// default).
std::string PinQuestion();
// True when the PIN must be asked about: it holds a character that is not a decimal
// digit and the device's network is known and is not an e-mail network. `protocol` 0
// means the device has no network.
bool PinNeedsQuestion(std::string_view pin, int32_t protocol);

// True when a required text control stops the page: empty while enabled and writable.
bool MissingRequiredEntry(std::string_view text, bool enabled = true, bool writable = true);
// True unless another row of `table` (one whose `number_field` is not `own_number`)
// has this DESCRIPTION.
bool IsUniqueDescription(cvFileMgr& manager, std::string_view table, std::string_view number_field,
                         std::string_view description, int32_t own_number);

// Why the pages refuse an object: the field and the text shown; no text when accepted.
struct tvPageRefusal {
    std::string field;
    std::string text;
    bool Accepted() const { return text.empty(); }
};

// Asks a Yes/No question; true for Yes.
using tvYesNoQuestion = std::function<bool(const std::string& question)>;

// Checks a network, device, group or equipment object (tvPageNet, tvPageDev,
// tvMonEquip) as its pages do, in page order: DESCRIPTION required and unique; a
// device's network selected and its PIN entered, then the PIN question (No refuses with
// the question's first line); equipment's paging device naming a stored row; the port
// of a network whose protocol uses one within 1..65535. The first
// refusal, or an accepted result. Other objects are accepted.
tvPageRefusal CheckPageRules(cvBob& object, const tvYesNoQuestion& ask);
