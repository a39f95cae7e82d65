// Broadcast collection: every module of the segment answers the connect
// broadcast; the collection ends after 5 s without an answer. Slow by
// nature (5 s each), so only these cases; and where the netmask sends a
// directed broadcast.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/net.h"
#include "sim_segment.h"
#include "transport/udp_socket.h"
#include "transport/zel_comm.h"
#include "transport/zelbus_frame.h"

namespace {

void collect(zelsim::Segment& segment, int* status, unsigned short* count, char* buffer,
             int capacity) {
    UdpSocket socket;
    ASSERT_TRUE(socket.openServer(segment.hostAddress().c_str(), 0));
    const char request[12] = {0, 3, 9, 1};
    int length = sizeof(request);
    *status = socket.broadcastAndCollect(zelbus::kModulePort, segment.broadcastAddress().c_str(),
                                         request, &length, buffer, capacity, count);
}

}  // namespace

TEST(BroadcastAndCollect, NoModuleGivesStatus1AndCountZero) {
    zelsim::Segment segment;
    ASSERT_TRUE(segment.start());
    char buffer[1024];
    int status = -1;
    unsigned short count = 99;
    collect(segment, &status, &count, buffer, sizeof(buffer));
    EXPECT_EQ(status, UdpSocket::BROADCAST_COLLECTED);
    EXPECT_EQ(count, 0);
}

TEST(BroadcastAndCollect, ThreeModulesAnswerBackToBack) {
    zelsim::Segment segment;
    for (int host : {20, 21, 22}) segment.addModule(host);
    ASSERT_TRUE(segment.start());
    char buffer[16768];
    int status = -1;
    unsigned short count = 0;
    collect(segment, &status, &count, buffer, sizeof(buffer));
    EXPECT_EQ(status, UdpSocket::BROADCAST_COLLECTED);
    ASSERT_EQ(count, 3);
    // Split by each frame's own length: three connect messages.
    int offset = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(buffer[offset]), UDP_CMD_CONNECT_MESSAGE);
        offset += zelbus::frameLength(reinterpret_cast<unsigned char*>(buffer + offset));
    }
    for (std::size_t m = 0; m < 3; ++m) {
        const auto seen = segment.requests(m);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_TRUE(seen[0].broadcast);
    }

    // A buffer too small for the answers ends the collection with 6 and is
    // never written beyond its capacity.
    char small[60];
    small[59] = 0x77;
    collect(segment, &status, &count, small, 59);
    EXPECT_EQ(status, UdpSocket::BROADCAST_BUFFER_FULL);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(small[59], 0x77);
}

TEST(BroadcastSend, NullPointersGiveStatus7) {
    UdpSocket socket;
    int length = 3;
    unsigned short count;
    char buffer[8];
    EXPECT_EQ(socket.broadcastSend(27015, nullptr, "x", &length),
              UdpSocket::BROADCAST_NULL_POINTER);
    EXPECT_EQ(socket.broadcastSend(27015, "127.0.0.1", "x", nullptr),
              UdpSocket::BROADCAST_NULL_POINTER);
    EXPECT_EQ(socket.broadcastAndCollect(27015, "127.0.0.1", "x", &length, buffer, 8, nullptr),
              UdpSocket::BROADCAST_NULL_POINTER);
    EXPECT_EQ(socket.broadcastAndCollect(27015, "127.0.0.1", "x", &length, nullptr, 8, &count),
              UdpSocket::BROADCAST_NULL_POINTER);
    socket.close();  // never opened: nothing happens
}

TEST(BroadcastOpenConnection, DiscoversEveryModuleOfTheSubnet) {
    zelsim::Segment segment;
    for (int host : {30, 31, 32}) segment.addModule(host);
    // Answers arrive in the reverse of the physical order.
    zelsim::Fault late;
    late.delayMs = 60;
    segment.setFault(0, 0, late);
    late.delayMs = 30;
    segment.setFault(1, 0, late);
    ASSERT_TRUE(segment.start());
    ZelComm host;
    host.setBroadcastingNetmask(zelsim::Segment::kNetmask);  // to 127.N.255.255
    // A host address with a third octet and a port that are not zero, so the
    // request shows where each lands.
    const std::string hostAddress = "127." + std::to_string(segment.subnet()) + ".5.1";
    unsigned short port = static_cast<unsigned short>(0x9A00 + segment.subnet());
    ZELBUSConnectResponse records[64];
    short count = -1;
    ZelResults r = host.broadcastOpenConnection(hostAddress.c_str(), &port, records, &count);
    ASSERT_EQ(r.getCode(), ZEL_OK);
    ASSERT_EQ(count, 3);
    std::vector<std::string> found;
    for (int i = 0; i < count; ++i) found.push_back(records[i].ipAddress);
    const std::string prefix = "127." + std::to_string(segment.subnet()) + ".0.";
    EXPECT_EQ(found, (std::vector<std::string>{prefix + "32", prefix + "31", prefix + "30"}))
        << "records in arrival order";
    EXPECT_EQ(records[2].port, 27015);
    EXPECT_STREQ(records[2].serialNumber, "AB 123 456");
    // The request carries the host's address without its last octet (third,
    // second, first) and its port, low byte first.
    const auto seen = segment.requests(0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].broadcast);
    const auto n = static_cast<std::uint8_t>(segment.subnet());
    EXPECT_EQ(seen[0].bytes,
              (zelsim::Bytes{0, 3, 9, 1, 5, n, 127, static_cast<std::uint8_t>(port & 0xFF),
                             static_cast<std::uint8_t>(port >> 8), 0, 0, 0}));
}

TEST(DirectedBroadcast, TheNetmaskChoosesTheDestination) {
    // Factory defaults go out at once (no answers are collected), to the
    // same destination a discovery would use. A socket of the test's own
    // stands at each destination the netmask can give.
    zelsim::Segment segment;
    ASSERT_TRUE(segment.start());
    const std::string prefix = "127." + std::to_string(segment.subnet());
    const std::string hostAddress = prefix + ".5.1";
    const auto listen = [](const std::string& address) {
        const zel::platform::SocketHandle s = zel::platform::openUdpSocket();
        EXPECT_TRUE(
            zel::platform::bindSocket(s, zel::platform::parseAddress(address.c_str()), 27015));
        return s;
    };
    const auto received = [](zel::platform::SocketHandle s) {
        if (zel::platform::waitReadable(s, 1, 0) != zel::platform::Readiness::Ready) return false;
        char bytes[16];
        return zel::platform::receiveFrom(s, bytes, sizeof(bytes), nullptr) == 3 && bytes[0] == 34;
    };
    const zel::platform::SocketHandle subnet = listen(prefix + ".5.255");
    const zel::platform::SocketHandle self = listen(hostAddress);
    struct Case {
        const char* netmask;  // null: setBroadcastingNetmask(NULL)
        zel::platform::SocketHandle destination;
    } cases[] = {
        {nullptr, subnet},               // falls back to 255.255.255.0
        {"255.255.255.255255", subnet},  // 18 characters: falls back too
        {"255.255.255.0", subnet},
        {"0.0.0.0", self},  // the host's own address
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.netmask == nullptr ? "null" : c.netmask);
        ZelComm host;
        host.setBroadcastingNetmask(c.netmask);
        ASSERT_EQ(host.broadcastFactoryDefaults(hostAddress.c_str(), 0).getCode(), ZEL_OK);
        EXPECT_TRUE(received(c.destination));
        const zel::platform::SocketHandle other = c.destination == subnet ? self : subnet;
        EXPECT_EQ(zel::platform::waitReadable(other, 0, 0), zel::platform::Readiness::Timeout);
    }
    zel::platform::closeSocket(subnet);
    zel::platform::closeSocket(self);
}
