// Broadcast collection: every module of the segment answers the connect
// broadcast; the collection ends after 5 s without an answer. Slow by
// nature (5 s each), so only these two cases.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

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
    EXPECT_EQ(socket.broadcastSend(27015, nullptr, "x", &length), UdpSocket::BROADCAST_NULL_POINTER);
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
    unsigned short port = 0;
    ZELBUSConnectResponse records[64];
    short count = -1;
    ZelResults r = host.broadcastOpenConnection(segment.hostAddress().c_str(), &port, records,
                                                &count);
    ASSERT_EQ(r.getCode(), ZEL_OK);
    ASSERT_EQ(count, 3);
    std::vector<std::string> found;
    for (int i = 0; i < count; ++i) found.push_back(records[i].ipAddress);
    const std::string prefix = "127." + std::to_string(segment.subnet()) + ".0.";
    EXPECT_EQ(found, (std::vector<std::string>{prefix + "32", prefix + "31", prefix + "30"}))
        << "records in arrival order";
    EXPECT_EQ(records[2].port, 27015);
    EXPECT_STREQ(records[2].serialNumber, "AB 123 456");
    // The request carries the host's address (without its last octet) and port.
    const auto seen = segment.requests(0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].bytes.size(), 12u);
    EXPECT_EQ(seen[0].bytes[3], 1);
    EXPECT_EQ(seen[0].bytes[6], 127);
    EXPECT_EQ(seen[0].bytes[5], segment.subnet());
}
