#pragma once
// The value lists of the paging tables, each in display order, and the colours the
// message lists draw statuses in. A list is a span of its entries; the span's end is
// the list's end, so no marker entry without text is part of it.

#include <cstdint>
#include <optional>

#include "objects/cvvaluetable.h"

// STATUS of PAGEMSG: 0 "Queued" ... 8 "Received".
cvValueTable MessageStatusValues();
// PROTOCOL of PAGENET: 1 "TAP (Modem)" ... 6 "SMTP (EMail)".
cvValueTable ProtocolValues();
// RATE of PAGENET, bits per second: 300, 1200, 2400, 9600.
cvValueTable LineSpeedValues();
// DATABITS of PAGENET: 5 to 8.
cvValueTable DataBitsValues();
// PARITY of PAGENET, the character code of the letter: "None" 78 ('N'), "Odd" 79,
// "Even" 69, "Mark" 77, "Space" 83.
cvValueTable ParityValues();
// STOPBITS of PAGENET: 1, 2.
cvValueTable StopBitsValues();
// PORT of a "MACHINE" record, zero-based: "COM1" 0 ... "COM8" 7 (-1, no port, is not
// in the list).
cvValueTable ModemPortValues();

struct tvColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const tvColour&) const = default;
};

// The colour a message row of this status is drawn in: dark green for Queued, red for
// Error, dark blue for Sent; none (the system's window-text colour) for the others.
std::optional<tvColour> MessageStatusColour(int32_t status);
