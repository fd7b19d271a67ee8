#pragma once
// Reading SMTP replies: when the bytes gathered so far hold a whole reply, and what
// the reply says. The bytes come from the mail server, so nothing here assumes they
// are well formed.
//
// A reply is one or more lines, each beginning with the three-digit code; every line
// but the last has "-" after the code ("250-first", "250 last"). The reply is whole
// when its last line has arrived; its text is everything gathered, up to the first
// NUL byte, without the final CR LF; its code is read from its first three
// characters.

#include <string>
#include <string_view>

// True when `gathered` ends with a complete reply (the line-protocol core's rule for
// coded replies).
bool SmtpReplyComplete(std::string_view gathered);
// The reply text: up to the first NUL byte, without one final CR LF (or LF).
std::string SmtpReplyText(std::string_view gathered);
// The number its first three characters make (leading blanks and a sign allowed, as
// a decimal conversion reads them); 0 when they make none.
int SmtpReplyCode(std::string_view text);
// True when a line of an EHLO reply after the first (which names the server) has
// `keyword` (case-insensitive) as its first word after the code: the server offers
// that extension ("250-STARTTLS").
bool SmtpReplyOffers(std::string_view reply, std::string_view keyword);
