#pragma once
// The rules of the server options ("System Options"): the ranges of the intervals, the
// checks each page makes before the options are stored, and what opening the options
// does to stored values that no page could show. The options sheet of the user
// interface and the command line's `set options` and `set machine` both apply them.
//
// Pages and their checks, in the order they are made:
//   General  SENDINTERVAL 10..28800, STATUSINTERVAL 60..28800 and not below the send
//            interval, RECVINTERVAL 30..28800, PURGEAGE 1..365 ("Value out of range",
//            "Status Interval cannot be shorter than Send Interval")
//   Modem    a port from the list COM1..COM8 ("Selection required")
//   SMTP     with authentication: server, user and password
//   Pop3     with inbound mail: server, user and password
//   Gateway  (shown with Alarm Watch or the File Gateway) an import directory while the
//            import is on

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class cvRec;

struct tvIntervalRange {
    const char* field;
    int32_t minimum;
    int32_t maximum;
};

// Why the options cannot be stored: the message, its box style and the field.
struct tvOptionsRefusal {
    std::string text;
    unsigned style = 0;
    std::string field;
};

// The interval fields of the General page, in check order.
std::span<const tvIntervalRange> OptionIntervalRanges();

// As the options open: an interval outside its range takes its minimum (the spin
// control cannot show it), and a DNSADDRESS of four blanks becomes 0.
void PrepareOptionsForEditing(cvRec& options);

// The General, SMTP and Pop3 checks of an edited "OPTIONS" record, in page order; the
// first that fails.
std::optional<tvOptionsRefusal> CheckOptions(const cvRec& options);

// The Gateway page's import directory, `entry` as edited: a non-empty entry is stored
// with a trailing "/"; an empty entry refuses while QENABLEIMPORT is "Y" and otherwise
// leaves IMPORTDIR as it is.
std::optional<tvOptionsRefusal> ApplyImportDirectory(cvRec& options, const std::string& entry);
bool GatewayPageShown(bool alarm_watch, bool file_gateway);

// The Modem page: the port must be one of the list (0 = COM1 ... 7 = COM8).
std::optional<tvOptionsRefusal> CheckModemPort(int32_t port);
// The longest modem initialisation string and dialling prefix the page takes.
inline constexpr int kModemInitLimit = 250;
inline constexpr int kDialPrefixLimit = 10;
