// Messages that carriers bring in during a visit: replies to our pages and messages
// sent from pagers, stored as PAGEMSG rows of their own.

#include <string>

#include "engine/tvserver.h"
#include "model/pagingcodes.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/packeddatetime.h"

namespace {

// The PAGEMSG key over NETMSGNBR.
constexpr int kCarrierNumberKey = 5;

}  // namespace

bool tvServer::StoreInboundMessage(const tvInboundMessage& inbound) {
    if (!OpenTables(&tables_)) {
        return false;
    }
    cvFile& messages = *tables_.messages;
    int32_t device = 0;
    int32_t host_reference = 0;
    int status = kStatusReceived;
    if (inbound.answers && messages.PutInt("NETMSGNBR", *inbound.answers) != 0 &&
        messages.GetEqual(kCarrierNumberKey) == 0) {
        // A reply: it goes with the device and the originator of the page it answers.
        device = messages.GetInt("PAGEDEVNBR");
        host_reference = messages.GetInt("HOSTREFNBR");
        status = kStatusReply;
    }

    cvRec record(messages);
    const bool filled =
        record.PutInt("PAGEMSGNBR", 0) != 0 && record.PutInt("PAGEDEVNBR", device) != 0 &&
        record.PutInt("HOSTREFNBR", host_reference) != 0 &&
        record.PutString("TEXT", inbound.text) != 0 && record.PutInt("STATUS", status) != 0 &&
        record.PutInt("NETMSGNBR", inbound.carrier_message_number) != 0 &&
        record.PutDate("SCHEDDATE", TodayDate()) != 0 &&
        record.PutTime("SCHEDTIME", NowTime()) != 0 &&
        (status == kStatusReply || record.PutString("RESPONSE", inbound.response) != 0);
    if (!filled || record.Save() != 0) {
        return false;
    }
    NotifyHost(record.GetInt("PAGEMSGNBR"));
    return true;
}
