#include "model/networkpagerules.h"

#include "model/pagingcodes.h"

tvNetworkPageRules NetworkPageRules(int32_t protocol) {
    tvNetworkPageRules rules;
    switch (protocol) {
        case kProtocolSnpp:
            rules.access_label = "Server URL";
            rules.port = true;
            break;
        case kProtocolSnppAck:
            rules.access_label = "Server URL";
            rules.port = true;
            rules.reply_to = true;
            break;
        case kProtocolSmtp:
            rules.access_label = "Email Domain";
            rules.reply_to = true;
            break;
        default:
            rules.access_label = "Modem Access Number";
            break;
    }
    switch (protocol) {
        case kProtocolTap:
        case kProtocolEtap:
            rules.comm_port = true;
            rules.password = true;
            break;
        case kProtocolSkytel:
            rules.comm_port = true;
            rules.server_pin = true;
            rules.security_code = true;
            break;
        case kProtocolSnpp:
        case kProtocolSnppAck:
            rules.password = true;
            rules.security_code = true;
            break;
        default:
            break;
    }
    return rules;
}
