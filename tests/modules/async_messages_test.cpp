// Messages a module sends on its own: the host gives the module a port,
// switches asynchronous mode on, listens on that port and hands what comes
// to the static decoders.
#include <gtest/gtest.h>

#include <string>

#include "modules/zel_module.h"
#include "platform/net.h"
#include "sim_segment.h"

namespace net = zel::platform;

namespace {

TEST(AsyncMessages, LatchAndChannelStatusReachTheHostsPortAndDecode) {
    zelsim::Segment segment;
    segment.addModule(10);
    ASSERT_TRUE(segment.start());
    const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";

    // The host listens on every address (the module sends to the address
    // the host's commands came from); a port made from the test's own subnet
    // keeps parallel tests apart.
    unsigned short port = static_cast<unsigned short>(20000 + segment.subnet());
    const net::SocketHandle listener = net::openUdpSocket();
    ASSERT_TRUE(net::bindSocket(listener, 0, port));

    ZelModule module;
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.withState(0, [](zelsim::ModuleState& s) { s.latch = {1, 0, 1, 0, 1}; });
    EXPECT_FALSE(segment.sendAsync(0, zelsim::latchMessage({}))) << "mode still off";
    ASSERT_EQ(module.setAsyncPort(&port).getCode(), ZEL_OK);
    ASSERT_EQ(module.setAsyncMode(true).getCode(), ZEL_OK);
    unsigned short reported = 0;
    ASSERT_EQ(module.getAsyncPort(&reported).getCode(), ZEL_OK);
    EXPECT_EQ(reported, port);

    // The module sends on its own: a latch input edge, then a change of a
    // channel's status, each as it happens.
    segment.withState(0, [](zelsim::ModuleState& s) { s.latch = {1, 1, 1, 0, 1}; });
    segment.withState(0, [](zelsim::ModuleState& s) { s.channelStatus[3] = 0x42; });

    char message[zelbus::kFrameSize] = {};
    ASSERT_EQ(net::waitReadable(listener, 2, 0), net::Readiness::Ready);
    ASSERT_GT(net::receiveFrom(listener, message, sizeof(message), nullptr), 0);
    ASSERT_EQ(ZelComm::getAsyncMsgType(message), UDP_CMD_LATCH);
    unsigned char latch[5] = {};
    ASSERT_EQ(ZelComm::decodeLatchMsg(message, latch).getCode(), ZEL_OK);
    EXPECT_EQ(zelsim::Bytes(latch, latch + 5), (zelsim::Bytes{1, 1, 1, 0, 1}));

    ASSERT_EQ(net::waitReadable(listener, 2, 0), net::Readiness::Ready);
    ASSERT_GT(net::receiveFrom(listener, message, sizeof(message), nullptr), 0);
    ASSERT_EQ(ZelComm::getAsyncMsgType(message), UDP_CMD_CHANNEL_STATUS);
    unsigned short channel = 0, status = 0;
    ASSERT_EQ(ZelComm::decodeChannelStatusMsg(message, &channel, &status).getCode(), ZEL_OK);
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(status, 0x42);

    // On a period (zelsim --async-period): the latch message and one status
    // message per channel, again and again, without any change.
    segment.withState(0, [](zelsim::ModuleState& s) { s.asyncPeriodMs = 20; });
    int latches = 0;
    int statuses = 0;
    while (latches < 3 && net::waitReadable(listener, 2, 0) == net::Readiness::Ready) {
        ASSERT_GT(net::receiveFrom(listener, message, sizeof(message), nullptr), 0);
        if (ZelComm::getAsyncMsgType(message) == UDP_CMD_LATCH) ++latches;
        if (ZelComm::getAsyncMsgType(message) == UDP_CMD_CHANNEL_STATUS) ++statuses;
    }
    EXPECT_EQ(latches, 3);
    EXPECT_GE(statuses, 2 * 2) << "two channels, at least two periods";

    // Mode off: nothing more, on a change or a period.
    ASSERT_EQ(module.setAsyncMode(false).getCode(), ZEL_OK);
    while (net::waitReadable(listener, 0, 50000) == net::Readiness::Ready) {
        net::receiveFrom(listener, message, sizeof(message), nullptr);
    }
    segment.withState(0, [](zelsim::ModuleState& s) { s.latch = {0, 0, 0, 0, 0}; });
    EXPECT_EQ(net::waitReadable(listener, 0, 100000), net::Readiness::Timeout);
    net::closeSocket(listener);
}

}  // namespace
