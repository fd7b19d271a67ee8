#pragma once
// Which controls of a network's property pages each paging protocol uses: the rules the
// pages apply when they open and whenever the protocol changes, without the widgets.

#include <cstdint>
#include <string_view>

struct tvNetworkPageRules {
    // General page. The label of the PHONE edit; Port and Reply to (with their labels)
    // are shown and enabled together, or hidden and disabled together.
    std::string_view access_label;
    bool port = false;
    bool reply_to = false;
    // Comm Port page: line speed, data bits, parity and stop bits.
    bool comm_port = false;
    // Access Codes page.
    bool password = false;
    bool server_pin = false;
    bool security_code = false;

    bool operator==(const tvNetworkPageRules&) const = default;
};

// The rules for a PROTOCOL value; values outside the list are treated as the modem
// protocols on the General page and enable no access code.
tvNetworkPageRules NetworkPageRules(int32_t protocol);
