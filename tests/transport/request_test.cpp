// The request frames: each command's builder against the command table
// (type, count, length) and the exact parameter bytes it writes; values a
// frame cannot carry refused, and a refused request never sent.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "modules/zel_module.h"
#include "sim_segment.h"
#include "transport/zel_request.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Built {
    const char* name;
    ZelRequest request;
    UdpCmdType command;
    Bytes params;  // the parameter bytes as sent
    // The header differs from the table's entry (a FRAM write, a data line).
    int count = -1;
    int length = -1;
};

Bytes paramsOf(const ZelRequest& r) {
    return Bytes(r.bytes() + zelbus::kHeaderSize, r.bytes() + r.size());
}

const std::vector<Built>& builtRequests() {
    static const unsigned char field[4] = {0xA1, 0xA2, 0xA3, 0xA4};
    static const char line[] = "S1130000";
    static const std::vector<Built> rows = {
        {"connect", ZelRequest::connect(false), UDP_CMD_CONNECT, Bytes(9, 0)},
        {"connect with option",
         ZelRequest::connect(true),
         UDP_CMD_CONNECT,
         {0, 0, 0, 0, 0, 0, 0, 0, 1}},
        // 10.20.30.40, port 0x1234: the low address byte gives way to the mark.
        {"discovery",
         ZelRequest::discovery(0x281E140AUL, 0x1234),
         UDP_CMD_CONNECT,
         {1, 0x14, 0x1E, 0x28, 0x34, 0x12, 0, 0, 0}},
        {"counts", ZelRequest::counts(1), UDP_CMD_GET_COUNTS, {1, 0, 0}},
        {"set outputs", ZelRequest::setOutputs(3, 1), UDP_CMD_SET_OUTPUTS, {3, 1}},
        {"reset", ZelRequest::reset(), UDP_CMD_RESET, {}},
        {"set IP",
         ZelRequest::setIp(0x0A0B0C0DUL, 0xFFFF0000UL),
         UDP_CMD_SET_IP,
         {0x0D, 0x0C, 0x0B, 0x0A, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0}},
        {"set DHCP", ZelRequest::setDhcp(1), UDP_CMD_SET_DHCP, {1}},
        {"firmware reinstall",
         ZelRequest::forceFirmwareReinstall(),
         UDP_CMD_FORCE_FIRMWARE_REINSTALL,
         {}},
        {"get configuration", ZelRequest::getConfig(), UDP_CMD_GET_CONFIG, {}},
        {"get left", ZelRequest::getLeft(), UDP_CMD_GET_LEFT, {}},
        {"set right", ZelRequest::setRight(true), UDP_CMD_SET_RIGHT, {1}},
        {"get module type", ZelRequest::getModuleType(), UDP_CMD_GET_MODULE_TYPE, {}},
        {"Kalix parameters", ZelRequest::kalixParams(5), UDP_CMD_KALIX_GET_PARAMS, {5}},
        {"Kalix information", ZelRequest::kalixInfo(6), UDP_CMD_KALIX_GET_INFO, {6}},
        {"read asynchronous port", ZelRequest::readAsyncPort(), UDP_CMD_ASYNC_PORT, {1, 0, 0}},
        {"set asynchronous port",
         ZelRequest::setAsyncPort(0x7531),
         UDP_CMD_ASYNC_PORT,
         {0, 0x75, 0x31}},
        {"settings block",
         ZelRequest::moduleSettings({9, 2, 7}),
         UDP_CMD_MODULE_SETTINGS,
         {9, 2, 7, 0, 0, 0, 0, 0, 0, 0}},
        {"full settings block",
         ZelRequest::moduleSettings({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
         UDP_CMD_MODULE_SETTINGS,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"Kalix channel presence",
         ZelRequest::kalixChannelPresence(),
         UDP_CMD_KALIX_CHANNEL_PRESENCE,
         {}},
        {"latch", ZelRequest::latch(0, 4), UDP_CMD_LATCH, {0, 4}},
        {"ADC values", ZelRequest::adcValues(), UDP_CMD_ADC_VALUES, {0}},
        {"read FRAM", ZelRequest::readFram(22), UDP_CMD_FRAM, {0, 22}},
        {"write FRAM",
         ZelRequest::writeFram(3, field, 4),
         UDP_CMD_FRAM,
         {1, 3, 0xA1, 0xA2, 0xA3, 0xA4},
         3,
         6},
        {"write empty FRAM field",
         ZelRequest::writeFram(2, nullptr, 0),
         UDP_CMD_FRAM,
         {1, 2},
         3,
         2},
        {"asynchronous mode", ZelRequest::asyncMode(true), UDP_CMD_ASYNC_MODE, {1}},
        {"integrity", ZelRequest::integrity(2), UDP_CMD_INTEGRITY, {2}},
        {"sampling settings",
         ZelRequest::samplingSettings(1, 16),
         UDP_CMD_SAMPLING_SETTINGS,
         {1, 16}},
        {"programming init",
         ZelRequest::programInit(3, 0xA1B2C3D4UL),
         UDP_CMD_PROGRAM_INIT,
         {3, 0xD4, 0xC3, 0xB2, 0xA1}},
        {"programming data",
         ZelRequest::programData(line, 8),
         UDP_CMD_PROGRAM_DATA,
         {'S', '1', '1', '3', '0', '0', '0', '0'},
         2,
         8},
        {"programming finished", ZelRequest::programFinished(), UDP_CMD_PROGRAM_FINISHED, {}},
        {"diagnostics", ZelRequest::enableDiags(1), UDP_CMD_ENABLE_DIAGS, {1, 0}},
        {"channel setting",
         ZelRequest::channelSettings(0, 2, {0x12, 0x34}),
         UDP_CMD_CHANNEL_SETTINGS,
         {0, 2, 0x12, 0x34, 0}},
        {"channel setting, three values",
         ZelRequest::channelSettings(1, 3, {1, 0xCD, 0xAB}),
         UDP_CMD_CHANNEL_SETTINGS,
         {1, 3, 1, 0xCD, 0xAB}},
        {"channel status", ZelRequest::channelStatus(4, 5), UDP_CMD_CHANNEL_STATUS, {4, 5}},
        {"factory defaults", ZelRequest::factoryDefaults(), UDP_CMD_FACTORY_DEFAULTS, {}},
    };
    return rows;
}

TEST(Request, EachBuilderTakesTypeCountAndLengthFromTheTable) {
    for (const Built& b : builtRequests()) {
        SCOPED_TRACE(b.name);
        const zelbus::RequestShape shape = zelbus::requestShape(b.command);
        ASSERT_GE(shape.count, 0) << "a command the host sends";
        EXPECT_FALSE(b.request.refused());
        EXPECT_EQ(b.request.command(), b.command);
        EXPECT_EQ(b.request.paramCount(), b.count < 0 ? shape.count : b.count);
        EXPECT_EQ(b.request.paramLength(), b.length < 0 ? shape.length : b.length);
        EXPECT_EQ(b.request.size(), static_cast<int>(zelbus::kHeaderSize + b.params.size()));
        EXPECT_EQ(paramsOf(b.request), b.params);
        // Nothing is written behind what is sent.
        for (unsigned i = static_cast<unsigned>(b.request.size()); i < zelbus::kFrameSize; ++i) {
            ASSERT_EQ(b.request.bytes()[i], 0) << "byte " << i;
        }
    }
}

TEST(Request, EveryCommandTheHostSendsHasABuilder) {
    std::set<int> built;
    for (const Built& b : builtRequests()) built.insert(b.command);
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const zelbus::RequestShape shape = zelbus::requestShape(code);
        EXPECT_EQ(built.count(code) == 1, shape.count >= 0);
        EXPECT_EQ(shape.count < 0, shape.length < 0);
    }
    // Answer and message types are never sent; neither is a code outside
    // the table.
    EXPECT_EQ(zelbus::requestShape(UDP_CMD_NEGATIVE_ANSWER).count, -1);
    EXPECT_EQ(zelbus::requestShape(UDP_CMD_CONNECT_MESSAGE).count, -1);
    EXPECT_EQ(zelbus::requestShape(14).count, -1);
}

TEST(Request, ValuesAFrameCannotCarryAreRefused) {
    static const unsigned char bytes[256] = {};
    static const char line[256] = {};
    struct Case {
        const char* name;
        ZelRequest request;
        bool refused;
    };
    const Case cases[] = {
        {"FRAM field of 253 bytes", ZelRequest::writeFram(4, bytes, 253), false},
        {"FRAM field of 254 bytes", ZelRequest::writeFram(4, bytes, 254), true},
        {"FRAM field without its bytes", ZelRequest::writeFram(4, nullptr, 2), true},
        {"data line of 255 bytes", ZelRequest::programData(line, 255), false},
        {"data line of 256 bytes", ZelRequest::programData(line, 256), true},
        {"data line without its bytes", ZelRequest::programData(nullptr, 1), true},
        {"settings block of 11 bytes",
         ZelRequest::moduleSettings({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), true},
        {"channel setting with 4 values", ZelRequest::channelSettings(0, 1, {1, 2, 3, 4}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.request.refused(), c.refused);
    }
    const ZelRequest longest = ZelRequest::writeFram(4, bytes, 253);
    EXPECT_EQ(longest.paramLength(), 255);
    EXPECT_EQ(longest.size(), 258);
}

TEST(Request, ARefusedRequestIsNeverSent) {
    zelsim::Segment segment;
    segment.addModule(10);
    ASSERT_TRUE(segment.start());
    const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
    ZelModule module;
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.clearRequests(0);

    static const char line[300] = {};
    ZelbusResponse response{};
    ZelResults r = module.sendCommandWait(ZelRequest::programData(line, 300), &response);
    EXPECT_EQ(r.getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_EQ(
        module.sendCommandWait(ZelRequest::programData(line, 300), &response, 100, 0).getCode(),
        ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.sendCommandWait(ZelRequest::programData(line, 300), nullptr).getCode(),
              ZEL_NULL_POINTER);
    // A FRAM field longer than a frame carries: the length byte once wrapped
    // (254 bytes went out as a frame announcing none).
    const unsigned char field[255] = {};
    EXPECT_EQ(module.setFram(5, 254, field).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.setFram(5, 255, field).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_TRUE(segment.requests(0).empty());

    // The longest field that fits goes out whole.
    ASSERT_EQ(module.setFram(5, 253, field).getCode(), ZEL_OK);
    ASSERT_EQ(segment.requests(0).size(), 1U);
    EXPECT_EQ(segment.requests(0).back().bytes.size(), 258U);
}

}  // namespace
