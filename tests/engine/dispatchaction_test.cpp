#include "engine/dispatchaction.h"

#include <gtest/gtest.h>

#include "model/pagingcodes.h"
#include "transport/senditem.h"

namespace {

using A = DispatchAction;

TEST(ChooseDispatchTest, FollowsProtocolModeAndWhatTheMachineCanDo) {
    struct Case {
        int protocol;
        int mode;
        bool sockets;
        bool resolver;
        A want;
    };
    const Case cases[] = {
        {kProtocolSnpp, kModeSend, true, false, A::kSnppPage},
        {kProtocolSnpp, kModeStatus, true, false, A::kMarkSent},
        {kProtocolSnpp, kModeCancel, true, true, A::kRefuse},
        {kProtocolSnpp, kModeSend, false, true, A::kRefuse},
        {kProtocolSnpp, kModeStatus, false, true, A::kRefuse},
        {kProtocolSnppAck, kModeSend, true, false, A::kSnppTwoWay},
        {kProtocolSnppAck, kModeStatus, true, false, A::kSnppQuery},
        {kProtocolSnppAck, kModeCancel, true, true, A::kRefuse},
        {kProtocolSnppAck, kModeSend, false, true, A::kRefuse},
        {kProtocolSmtp, kModeSend, true, true, A::kSmtpPage},
        {kProtocolSmtp, kModeStatus, true, true, A::kMarkSent},
        {kProtocolSmtp, kModeSend, true, false, A::kRefuse},
        {kProtocolSmtp, kModeStatus, true, false, A::kRefuse},
        {kProtocolSmtp, kModeSend, false, true, A::kRefuse},
        {kProtocolSmtp, kModeCancel, true, true, A::kRefuse},
        // Skytel and the modem protocols need no sockets.
        {kProtocolSkytel, kModeSend, false, false, A::kSkytelPage},
        {kProtocolSkytel, kModeStatus, false, false, A::kSkytelQuery},
        {kProtocolSkytel, kModeCancel, false, false, A::kRefuse},
        {kProtocolTap, kModeSend, false, false, A::kTapPage},
        {kProtocolEtap, kModeStatus, false, false, A::kTapQuery},
        {kProtocolEtap, kModeCancel, false, false, A::kTapCancel},
        {0, kModeSend, true, true, A::kTapPage},
        {42, kModeCancel, true, true, A::kTapCancel},
        {kProtocolTap, 3, true, true, A::kRefuse},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseDispatch(c.protocol, c.mode, c.sockets, c.resolver), c.want)
            << "protocol " << c.protocol << " mode " << c.mode << " sockets " << c.sockets
            << " resolver " << c.resolver;
    }
}

}  // namespace
