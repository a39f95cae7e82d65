#include <gtest/gtest.h>

#include <cstring>

#include "transport/zel_comm.h"

namespace {

// A connect message as a module sends it.
void connectMessage(char* m) {
    std::memset(m, 0, 262);
    const unsigned char bytes[] = {18,   11,   37,   172,  31,   46,   7,  // IP address
                                   0x00, 0x00, 0x6A, 0xA7,                 // port 27303, big-endian
                                   5,                                      // connect flag
                                   1,                                      // DHCP
                                   0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 255, 255, 255,
                                   0,    'A',  'B',  '1',  '2',  '3',  '4', '5', '6',
                                   10,   0,    0,    9,    255,  0,    0,   0,   'C'};
    std::memcpy(m, bytes, sizeof(bytes));
}

}  // namespace

TEST(DecodeConnectMsg, FillsEveryField) {
    char m[262];
    connectMessage(m);
    ZELBUSConnectResponse r{};
    ASSERT_EQ(ZelComm::decodeConnectMsg(m, &r).getCode(), ZEL_OK);
    EXPECT_STREQ(r.ipAddress, "172.31.46.7");
    EXPECT_EQ(r.port, 27303);
    EXPECT_TRUE(r.connectFlag);
    EXPECT_TRUE(r.usingDhcp);
    EXPECT_STREQ(r.macAddress, "0A:1B:2C:3D:4E:5F");
    EXPECT_STREQ(r.netmask, "255.255.255.0");
    EXPECT_STREQ(r.serialNumber, "AB 123 456");
    EXPECT_STREQ(r.ipStatic, "10.0.0.9");
    EXPECT_STREQ(r.netmaskStatic, "255.0.0.0");
    EXPECT_EQ(r.revisionChar, 'C');

    m[11] = 0;
    m[12] = 0;
    ASSERT_EQ(ZelComm::decodeConnectMsg(m, &r).getCode(), ZEL_OK);
    EXPECT_FALSE(r.connectFlag);
    EXPECT_FALSE(r.usingDhcp);
}

TEST(Decoders, WrongTypeGivesCode4AndWritesNothing) {
    char latchMsg[262] = {22, 2, 5, 1, 2, 3, 4, 5};
    ZELBUSConnectResponse r;
    std::memset(&r, 0x5A, sizeof(r));
    ZelResults result = ZelComm::decodeConnectMsg(latchMsg, &r);
    EXPECT_EQ(result.getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_STREQ(result.getMethod(), "ZelComm::decodeConnectMsg");
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&r)[0], 0x5A);

    unsigned short channel = 77, status = 77;
    EXPECT_EQ(ZelComm::decodeChannelStatusMsg(latchMsg, &channel, &status).getCode(),
              ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(channel, 77);
    EXPECT_EQ(status, 77);

    char statusMsg[262] = {33, 2, 2, '7', 2};
    unsigned char latch[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(ZelComm::decodeLatchMsg(statusMsg, latch).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(latch[0], 9);
}

TEST(Decoders, LatchAndChannelStatus) {
    char latchMsg[262] = {22, 2, 5, 1, 2, 3, 4, 5};
    unsigned char latch[5] = {};
    ASSERT_EQ(ZelComm::decodeLatchMsg(latchMsg, latch).getCode(), ZEL_OK);
    EXPECT_EQ(latch[0], 1);
    EXPECT_EQ(latch[4], 5);

    char statusMsg[262] = {33, 2, 2, '7', 2};
    unsigned short channel = 0, status = 0;
    ASSERT_EQ(ZelComm::decodeChannelStatusMsg(statusMsg, &channel, &status).getCode(), ZEL_OK);
    EXPECT_EQ(channel, 7);
    EXPECT_EQ(status, 2);
    statusMsg[3] = ' ';  // below '0': 16-bit wrap, no range check
    ASSERT_EQ(ZelComm::decodeChannelStatusMsg(statusMsg, &channel, &status).getCode(), ZEL_OK);
    EXPECT_EQ(channel, static_cast<unsigned short>(' ' - '0'));

    EXPECT_EQ(ZelComm::getAsyncMsgType(statusMsg), UDP_CMD_CHANNEL_STATUS);
    char high[1] = {static_cast<char>(0xF0)};
    EXPECT_EQ(static_cast<int>(ZelComm::getAsyncMsgType(high)), 240);
}

TEST(Decoders, NullPointersGiveCode32) {
    char m[262] = {18};
    ZELBUSConnectResponse r;
    unsigned char latch[5];
    unsigned short a, b;
    EXPECT_EQ(ZelComm::decodeConnectMsg(nullptr, &r).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelComm::decodeConnectMsg(m, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelComm::decodeLatchMsg(nullptr, latch).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelComm::decodeLatchMsg(m, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelComm::decodeChannelStatusMsg(m, &a, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelComm::decodeChannelStatusMsg(m, nullptr, &b).getCode(), ZEL_NULL_POINTER);
}
