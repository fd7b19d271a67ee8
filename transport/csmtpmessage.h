#pragma once
// One e-mail: its sender, recipients, subject and body, and the header composed from
// them.
//
// The header lines, each ending in CR LF, in this order: "From:", "To:" (the To list
// joined by ","), "Cc:" only with Cc recipients (Bcc recipients are never written),
// "Subject:" only with a subject, "Date:" (local time in English,
// "Tue, 05 Mar 2024 10:42:07 -0500"), "Reply-To:" only with a reply-to address,
// "MIME-Version: 1.0", "Content-type: <type>; charset=US-ASCII", then an empty line.
// A line end inside a header value would start a header line of its own, so CR and
// LF in values become blanks.
//
// The body is kept in SMTP transparent form: SetBody doubles every "." that begins a
// line (the first character, or one right after a line feed), so that the server
// takes no line of the text for the end of the data; line ends go as they are.
//
// Not thread-safe; a plain value.

#include <ctime>
#include <string>
#include <vector>

#include "transport/csmtpaddress.h"

class CSMTPMessage {
  public:
    enum RecipientList { kTo = 0, kCc = 1, kBcc = 2 };

    CSMTPMessage() = default;
    virtual ~CSMTPMessage() = default;
    CSMTPMessage(const CSMTPMessage&) = default;
    CSMTPMessage& operator=(const CSMTPMessage&) = default;

    // Adds a recipient to a list; returns its index in that list (-1 for a list
    // number outside 0..2, which adds nothing).
    int AddRecipient(const CSMTPAddress& recipient, int list = kTo);
    const std::vector<CSMTPAddress>& Recipients(int list) const;

    // Stores the body in transparent form (see the file comment).
    void SetBody(const std::string& text);
    const std::string& Body() const { return body_; }

    // The header for the current local time.
    virtual std::string GetHeader() const;
    // The header for the time `now` in the local time zone.
    std::string HeaderAt(std::time_t now) const;

    CSMTPAddress from;
    std::string subject;
    CSMTPAddress reply_to;
    std::string content_type = "text/plain";

  private:
    std::string body_;
    std::vector<CSMTPAddress> lists_[3];
};

// "%a, %d %b %Y %H:%M:%S " of the local time `now`, English names, then the zone
// offset of that moment (daylight time included).
std::string SmtpDate(std::time_t now);
// The zone offset "+hhmm"/"-hhmm" for a bias in minutes (UTC = local time + bias, so a
// bias of 300 is "-0500" and -330 is "+0530").
std::string ZoneOffset(int bias_minutes);
