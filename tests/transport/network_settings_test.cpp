// Connection and network settings against a simulated module: the exact
// requests on the wire, the range checks that send nothing, answer types.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/clock.h"
#include "sim_segment.h"
#include "transport/zel_comm.h"

namespace {

class NetworkSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        segment.addModule(10);
        segment.addModule(11);
        ASSERT_TRUE(segment.start());
        module = "127." + std::to_string(segment.subnet()) + ".0.10";
        ASSERT_TRUE(comm.initializeComm(module.c_str()));
    }
    zelsim::Bytes lastRequest() {
        const auto seen = segment.requests(0);
        return seen.empty() ? zelsim::Bytes{} : seen.back().bytes;
    }

    zelsim::Segment segment;
    std::string module;
    ZelComm comm;
};

TEST_F(NetworkSettings, OpenConnectionSendsTheConnectRequestAndDecodesTheAnswer) {
    ZELBUSConnectResponse record{};
    ZelResults r = comm.openConnection(module.c_str(), &record, true);
    ASSERT_EQ(r.getCode(), ZEL_OK);
    EXPECT_STREQ(comm.getConnectionIp(), module.c_str());
    EXPECT_STREQ(record.ipAddress, module.c_str());
    EXPECT_EQ(record.port, 27015);
    EXPECT_STREQ(record.serialNumber, "AB 123 456");
    // Current and static settings differ on the simulated module: a swap of
    // the two in the record is seen.
    EXPECT_STREQ(record.netmask, "255.255.0.0");
    EXPECT_STREQ(record.ipStatic, ("127." + std::to_string(segment.subnet()) + ".200.10").c_str());
    EXPECT_STREQ(record.netmaskStatic, "255.255.255.0");
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{0, 3, 9, 0, 0, 0, 0, 0, 0, 0, 0, 1}));

    zelsim::Fault wrong;
    wrong.type = 7;
    segment.setFault(0, 0, wrong);
    EXPECT_EQ(comm.openConnection(module.c_str(), &record, false).getCode(),
              ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(lastRequest()[11], 0);
    EXPECT_EQ(comm.openConnection(nullptr, &record, false).getCode(), ZEL_NULL_POINTER);
}

TEST_F(NetworkSettings, AsyncPortRangeAndBigEndianPort) {
    for (unsigned short bad : {1023, 49152, 0, 65535}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(comm.setAsyncPort(&bad).getCode(), ZEL_OUT_OF_RANGE);
    }
    EXPECT_EQ(comm.setAsyncPort(nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());

    unsigned short low = 1024, high = 49151;
    ASSERT_EQ(comm.setAsyncPort(&low).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{13, 2, 3, 0, 0x04, 0x00}));
    ASSERT_EQ(comm.setAsyncPort(&high).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{13, 2, 3, 0, 0xBF, 0xFF}));

    zelsim::Fault refused;
    refused.type = 17;
    segment.setFault(0, 13, refused);
    EXPECT_EQ(comm.setAsyncPort(&low).getCode(), ZEL_OK);
    refused.type = 12;
    segment.setFault(0, 13, refused);
    EXPECT_EQ(comm.setAsyncPort(&low).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST_F(NetworkSettings, SetIpRefusesOnlyTheNullAddress) {
    EXPECT_EQ(comm.setIp("0.0.0.0", "255.255.0.0").getCode(), ZEL_IP_MALFORMED);
    EXPECT_EQ(comm.setIp(nullptr, "255.255.0.0").getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());

    ASSERT_EQ(comm.setIp("172.31.46.1", "255.255.0.0").getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{4, 3, 12, 0x01, 0x2E, 0x1F, 0xAC, 0x00, 0x00, 0xFF,
                                            0xFF, 0, 0, 0, 0}));
    ASSERT_EQ(comm.setIp("not an address", nullptr).getCode(), ZEL_OK);  // sent as converted
    EXPECT_EQ(lastRequest().size(), 15u);

    ASSERT_EQ(comm.setDhcp(1).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{5, 1, 1, 1}));
    ASSERT_EQ(comm.forceFirmwareReinstall().getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{6, 0, 0}));
    zelsim::Fault wrong;
    wrong.type = 9;
    segment.setFault(0, 5, wrong);
    EXPECT_EQ(comm.setDhcp(0).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST_F(NetworkSettings, FactoryDefaultsReachEveryModuleByDirectedBroadcast) {
    // What the factory defaults undo on module 0: its asynchronous port and
    // mode, a FRAM field, DHCP.
    ZELBUSConnectResponse record{};
    ASSERT_EQ(comm.openConnection(module.c_str(), &record, false).getCode(), ZEL_OK);
    unsigned short port = 30000;
    ASSERT_EQ(comm.setAsyncPort(&port).getCode(), ZEL_OK);
    const unsigned char field[4] = {9, 8, 7, 6};
    ASSERT_EQ(comm.setFram(6, 4, field).getCode(), ZEL_OK);
    ASSERT_EQ(comm.setDhcp(1).getCode(), ZEL_OK);
    zelsim::ModuleState changed;
    segment.withState(0, [&](zelsim::ModuleState& s) {
        s.asyncMode = true;
        changed = s;
    });
    ASSERT_EQ(changed.asyncPort, 30000);
    ASSERT_NE(changed.fram.at(6), zelsim::Bytes(4, 0));
    segment.clearRequests(0);

    ZelComm host;
    host.setBroadcastingNetmask(zelsim::Segment::kNetmask);
    ASSERT_EQ(host.broadcastFactoryDefaults(segment.hostAddress().c_str(), 0).getCode(), ZEL_OK);
    for (std::size_t m = 0; m < 2; ++m) {
        SCOPED_TRACE(m);
        for (int i = 0; i < 200 && segment.requests(m).empty(); ++i) {
            zel::platform::Clock::system().sleepMs(5);
        }
        const auto seen = segment.requests(m);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_TRUE(seen[0].broadcast);
        EXPECT_EQ(seen[0].bytes, (zelsim::Bytes{34, 0, 0}));
    }
    segment.withState(0, [&](zelsim::ModuleState& s) {
        EXPECT_EQ(s.asyncPort, 0);
        EXPECT_FALSE(s.asyncMode);
        EXPECT_EQ(s.fram.at(6), zelsim::Bytes(4, 0));
        EXPECT_FALSE(s.dhcp);
        EXPECT_EQ(s.address, s.ipStatic) << "without DHCP the module takes its static address";
    });
    EXPECT_EQ(host.broadcastFactoryDefaults(nullptr, 0).getCode(), ZEL_NULL_POINTER);
    // An address this machine does not have cannot be bound.
    EXPECT_EQ(host.broadcastFactoryDefaults("192.0.2.1", 0).getCode(), ZEL_UDP_BIND_FAILED);
}

}  // namespace

namespace {

TEST_F(NetworkSettings, FramFieldsAsTextsWithTheirSizeConditions) {
    unsigned char text[32] = {};
    ASSERT_EQ(comm.getFram(1, sizeof(text), text).getCode(), ZEL_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "580313-01");
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{24, 2, 2, 0, 1}));

    // The MAC needs 2 x 6 + 5 = 17 < size: a 16-byte buffer stays untouched.
    unsigned char small[16];
    std::memset(small, 0x5A, sizeof(small));
    ASSERT_EQ(comm.getFram(3, sizeof(small), small).getCode(), ZEL_OK);
    EXPECT_EQ(small[0], 0x5A);
    unsigned char mac[18] = {};
    ASSERT_EQ(comm.getFram(3, sizeof(mac), mac).getCode(), ZEL_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(mac), "00:1A:2B:00:00:01");
    // The serial number's eight characters need 8 + 2 = 10 < size.
    unsigned char serial[11];
    std::memset(serial, 0x5A, sizeof(serial));
    ASSERT_EQ(comm.getFram(4, 10, serial).getCode(), ZEL_OK);
    EXPECT_EQ(serial[0], 0x5A);
    ASSERT_EQ(comm.getFram(4, sizeof(serial), serial).getCode(), ZEL_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(serial), "AB 123 456");

    // Field 2 goes reversed on the wire and reads back as the same number.
    const unsigned char number[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(comm.setFram(2, 4, number).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{24, 3, 6, 1, 2, 0x12, 0x34, 0x56, 0x78}));
    ASSERT_EQ(comm.getFram(2, sizeof(text), text).getCode(), ZEL_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "305419896");

    // Field 8 is one byte each way; field 3 goes in its order.
    const unsigned char flag[2] = {7, 9};
    ASSERT_EQ(comm.setFram(8, 2, flag).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{24, 3, 4, 1, 8, 7, 0}));
    unsigned char one = 0;
    ASSERT_EQ(comm.getFram(8, 1, &one).getCode(), ZEL_OK);
    EXPECT_EQ(one, 7);
    const unsigned char newMac[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(comm.setFram(3, 6, newMac).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{24, 3, 8, 1, 3, 1, 2, 3, 4, 5, 6}));

    EXPECT_EQ(comm.getFram(40, sizeof(text), text).getCode(), ZEL_FRAM_ERROR);  // type 17
    EXPECT_EQ(comm.getFram(1, 4, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(comm.setFram(1, 4, nullptr).getCode(), ZEL_NULL_POINTER);
    zelsim::Fault wrong;
    wrong.type = 23;
    segment.setFault(0, 24, wrong);
    EXPECT_EQ(comm.getFram(1, sizeof(text), text).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST_F(NetworkSettings, AModuleLeavesARequestOfTheWrongShapeUnanswered) {
    // A request header the module does not expect for its command is not
    // answered, so a library that built one would see its calls fail.
    ZelbusResponse response{};
    unsigned char request[zelbus::kFrameSize] = {};
    zelbus::writeHeader(request, UDP_CMD_GET_CONFIG, 1, 1);  // configuration takes none
    EXPECT_EQ(comm.sendCommandWait(request, &response, 100, 0).getCode(), ZEL_RESPONSE_TIMEOUT);
    zelbus::writeHeader(request, UDP_CMD_GET_COUNTS, 2, 2);  // counts take 2, 3
    EXPECT_EQ(comm.sendCommandWait(request, &response, 100, 0).getCode(), ZEL_RESPONSE_TIMEOUT);
    zelbus::writeHeader(request, UDP_CMD_GET_CONFIG, 0, 0);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 800, 0).getCode(), ZEL_OK);
    segment.withState(0, [](zelsim::ModuleState& s) { EXPECT_EQ(s.refusedRequests, 2); });
}

}  // namespace
