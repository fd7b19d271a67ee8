#pragma once
// Reading the texts of an SNPP exchange: reply prefixes, the carrier's message
// number in a two-way SEND reply, and the multiple-choice responses carried in a
// two-way message text. Pure functions; any input is safe.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// True when `reply` begins with one of `prefixes` (tried in order). An empty list
// matches nothing; an empty prefix matches everything.
bool StartsWithAny(std::string_view reply, const std::vector<std::string>& prefixes);

// True when `reply` reads as a reply line of the protocol: three digits, then a
// blank, a hyphen (a continued reply) or the end of the line.
bool IsSnppReplyLine(std::string_view reply);

// The carrier's message number in a SEND reply such as "960 1234 5678 Queued": the
// word between the second and the third space, read as its leading decimal digits
// (none gives 0; a number too large for a 32-bit message number also gives 0).
// Empty when the reply has fewer than three spaces or that word is empty.
std::optional<int32_t> CarrierMessageNumber(std::string_view reply);

// Separator between the question and the responses of a two-way message.
inline constexpr std::string_view kResponseSeparator = "~~";

struct MultipleChoice {
    std::string question;                // the text to send with MESS
    std::vector<std::string> responses;  // one MCRE each, in order
};

// Splits "question~~answer~~answer" into the question and its responses. The text
// is split only when a separator comes after its first character; the question is
// the text before the first separator, unchanged. The rest is cut at each further
// separator; a remainder without one, or one that begins with one, is the last
// piece as it is. Pieces are trimmed of white space and empty pieces dropped.
// Otherwise the whole text is the question and there are no responses.
MultipleChoice SplitMultipleChoice(const std::string& text);
