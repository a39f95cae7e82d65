// The commands every module answers, against simulated modules: the exact
// requests, how the answers are decoded, the codes of bad answers and the
// outputs they leave untouched; the local rotary settings and angle folding.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "modules/zel_module.h"
#include "sim_segment.h"

namespace {

class CommonCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        zelsim::ModuleState base;
        base.moduleId = ZEL_4101_01;
        base.numChannels = 4;
        zelsim::ModuleState other;
        other.moduleId = ZEL_4105_01;
        segment.addModule(10, base);
        segment.addModule(11, other);
        ASSERT_TRUE(segment.start());
        ASSERT_EQ(baseModule.initializeModule(address(10).c_str(), false).getCode(), ZEL_OK);
        ASSERT_EQ(plainModule.initializeModule(address(11).c_str(), false).getCode(), ZEL_OK);
    }
    std::string address(int host) const {
        return "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(host);
    }
    zelsim::Bytes lastRequest(std::size_t module) { return segment.requests(module).back().bytes; }

    zelsim::Segment segment;
    ZelModule baseModule;
    ZelModule plainModule;
};

TEST_F(CommonCommands, CountsCopyAsManyAsTheAnswerAndTheCallerHold) {
    segment.withState(0, [](zelsim::ModuleState& s) {
        const std::int64_t counts[8] = {1, 0xFFFFFFFF, 3, 0x80000000, 5, 6, 7, 8};
        for (int c = 0; c < 8; ++c) s.axes[c].set(counts[c]);
    });
    unsigned long counts[8] = {};
    ASSERT_EQ(baseModule.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(counts[1], 0xFFFFFFFFUL) << "32-bit range kept";
    EXPECT_EQ(counts[3], 0x80000000UL);
    EXPECT_EQ(counts[4], 0UL) << "four channels answered";

    unsigned long two[2] = {};
    ASSERT_EQ(baseModule.getCounts(two, 2, COUNT_REQUEST_ALTERNATE).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0)[3], 1);
    EXPECT_EQ(two[0], 1UL);
    ASSERT_EQ(baseModule.getCounts(two, 2, static_cast<COUNT_REQUEST_OPTION>(7)).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0)[3], 0) << "an unknown option is sent as 0";

    // Six entries describe four channels.
    segment.withState(0, [](zelsim::ModuleState& s) { s.numChannels = 6; });
    unsigned long six[8] = {};
    ASSERT_EQ(baseModule.getCounts(six, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(six[3], 0x80000000UL);
    EXPECT_EQ(six[4], 0UL);

    zelsim::Fault wrong;
    wrong.type = 5;
    segment.setFault(0, 1, wrong);
    unsigned long untouched[4] = {9, 9, 9, 9};
    EXPECT_EQ(baseModule.getCounts(untouched, 4, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(untouched[0], 9UL);
    EXPECT_EQ(baseModule.getCounts(nullptr, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_NULL_POINTER);
}

TEST(CountsDecoding, AtMostEightEntries) {
    ZelbusResponse r{};
    r.data[1] = 12;  // not a valid answer: only eight entries fit the record
    for (int i = 0; i < 12; ++i) r.data[3 + 8 * i] = static_cast<unsigned char>(i + 1);
    ZelModule::convertCountsCommand(&r);
    EXPECT_EQ(r.numCounts, 8);
    EXPECT_EQ(r.counts[7], 8);
    ZelModule::convertCountsCommand(nullptr);
}

TEST_F(CommonCommands, LatchBytesAndTheBaseModulesExtraInputs) {
    for (std::size_t m : {0, 1}) {
        segment.withState(m, [](zelsim::ModuleState& s) { s.latch = {1, 2, 3, 4, 5}; });
    }
    unsigned char latch[5] = {9, 9, 9, 9, 9};
    ASSERT_EQ(baseModule.getLatch(latch, 5).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{22, 2, 2, 2, 0}));
    EXPECT_EQ(zelsim::Bytes(latch, latch + 5), (zelsim::Bytes{1, 2, 3, 4, 5}));
    ASSERT_EQ(plainModule.getLatch(latch, 5).getCode(), ZEL_OK);
    EXPECT_EQ(zelsim::Bytes(latch, latch + 5), (zelsim::Bytes{1, 0, 0, 0, 0}));
    unsigned char short4[4] = {9, 9, 9, 9};
    ASSERT_EQ(baseModule.getLatch(short4, 4).getCode(), ZEL_OK);
    EXPECT_EQ(short4[0], 9) << "n below 5 writes nothing";

    // LATCH_SET only takes the choices 0 to 4, and nothing is sent otherwise.
    segment.clearRequests(0);
    EXPECT_EQ(baseModule.setLatch(LATCH_SET, LATCH_CHOICE_NONE).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_TRUE(segment.requests(0).empty());
    ASSERT_EQ(baseModule.setLatch(LATCH_CLEAR, LATCH_CHOICE_NONE).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{22, 2, 2, 1, 5}));
    ASSERT_EQ(baseModule.setLatch(LATCH_SET, LATCH_CHOICE_3).getCode(), ZEL_OK);
    segment.withState(0, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.latchOption, 0);
        EXPECT_EQ(s.latchChoice, 3);
    });

    zelsim::Fault wrong;
    wrong.type = 23;
    segment.setFault(0, 22, wrong);
    EXPECT_EQ(baseModule.getLatch(latch, 5).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(baseModule.setLatch(LATCH_SET, LATCH_CHOICE_0).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST_F(CommonCommands, AdcWordsAreBigEndianAndIntegrityIsScaled) {
    segment.withState(0, [](zelsim::ModuleState& s) {
        s.adc = {0x0102, -2, 0x7FFF, -32768, 0};
        s.integrityErrors = 0xA5000001;
        for (int i = 0; i < 14; ++i) s.integrity[i] = 1000 * i;
        s.integrity[3] = -2500;
        s.integrity[11] = -2500;
    });
    short adc[5] = {};
    ASSERT_EQ(baseModule.getAdcValues(adc, 5).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{23, 1, 1, 0}));
    EXPECT_EQ(adc[0], 0x0102);
    EXPECT_EQ(adc[1], -2);
    EXPECT_EQ(adc[3], -32768);
    short fewer[4] = {7, 7, 7, 7};
    ASSERT_EQ(baseModule.getAdcValues(fewer, 4).getCode(), ZEL_OK);
    EXPECT_EQ(fewer[0], 7);

    unsigned long errors = 0;
    double values[14] = {};
    ASSERT_EQ(baseModule.getIntegrity(&errors, values, 14).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{26, 1, 1, 0}));
    EXPECT_EQ(errors, 0xA5000001UL);
    EXPECT_DOUBLE_EQ(values[3], -2.5) << "thousandths";
    EXPECT_DOUBLE_EQ(values[9], 9.0);
    EXPECT_DOUBLE_EQ(values[10], 1000.0) << "tenths";
    EXPECT_DOUBLE_EQ(values[11], -250.0);
    double few[13] = {};
    few[0] = 42;
    errors = 0;
    ASSERT_EQ(baseModule.getIntegrity(&errors, few, 13).getCode(), ZEL_OK);
    EXPECT_EQ(errors, 0xA5000001UL);
    EXPECT_EQ(few[0], 42.0) << "n below 14 writes only the error word";

    ASSERT_EQ(baseModule.clearIntegrityErrors().getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{26, 1, 1, 1}));
    ASSERT_EQ(baseModule.clearAllErrors().getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{26, 1, 1, 2}));
    ASSERT_EQ(baseModule.enableDiags(DIAG_MODE_ON).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(0), (zelsim::Bytes{31, 2, 2, 1, 0}));
    segment.withState(0, [](zelsim::ModuleState& s) { EXPECT_EQ(s.diagMode, 1); });

    zelsim::Fault wrong;
    wrong.type = 17;
    segment.setFault(0, 26, wrong);
    segment.setFault(0, 23, wrong);
    segment.setFault(0, 31, wrong);
    errors = 5;
    EXPECT_EQ(baseModule.getIntegrity(&errors, values, 14).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(errors, 5UL);
    EXPECT_EQ(baseModule.clearAllErrors().getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(baseModule.getAdcValues(adc, 5).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(baseModule.enableDiags(DIAG_MODE_OFF).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST(CommonCommandsUninitialised, EveryCommandTestsTheFlagFirstAndSendsNothing) {
    ZelModule m;
    unsigned long counts[8];
    unsigned char latch[5];
    short adc[5];
    unsigned long errors;
    double values[14];
    const ZelResults results[] = {
        m.getCounts(counts, 8, COUNT_REQUEST_NORMAL),
        m.getCounts(nullptr, 8, COUNT_REQUEST_NORMAL),
        m.getLatch(latch, 5),
        m.getLatch(nullptr, 5),
        m.setLatch(LATCH_SET, LATCH_CHOICE_NONE),
        m.getAdcValues(adc, 5),
        m.getIntegrity(&errors, values, 14),
        m.getIntegrity(nullptr, nullptr, 14),
        m.clearIntegrityErrors(),
        m.clearAllErrors(),
        m.enableDiags(DIAG_MODE_ON),
    };
    for (ZelResults r : results) {
        SCOPED_TRACE(r.getMethod());
        EXPECT_EQ(r.getCode(), ZEL_COMM_NOT_INITIALIZED);
    }
}

TEST(RotarySettings, StoredPerChannelAndBoundedToEight) {
    ZelModule m;
    EXPECT_EQ(m.getRotaryFormat(0), ROTARY_FORMAT_0_360);
    m.setRotaryFormat(7, ROTARY_FORMAT_CONTINUOUS);
    m.setRotaryFormat(8, ROTARY_FORMAT_MOD_360);
    EXPECT_EQ(m.getRotaryFormat(7), ROTARY_FORMAT_CONTINUOUS);
    EXPECT_EQ(m.getRotaryFormat(8), ROTARY_FORMAT_NONE);
    m.setDeviceOffset(2, -1.5);
    m.setDeviceOffset(9, 3.0);
    EXPECT_EQ(m.getDeviceOffset(2), -1.5);
    EXPECT_EQ(m.getDeviceOffset(9), 0.0);
    EXPECT_EQ(m.getDeviceOffset(0), 0.0);
}

TEST(RotarySettings, FoldIncrementalAngleInEveryFormat) {
    struct Case {
        ROTARY_FORMAT format;
        double in;
        int wraps;
        double out;
    };
    const double cpr = 4294967295.0 / 2;  // one wrap is two revolutions
    const double correction = 10.0;
    const Case cases[] = {
        {ROTARY_FORMAT_0_360, -90, 0, 270},
        {ROTARY_FORMAT_0_360, 725, 0, 5},
        {ROTARY_FORMAT_0_360, 360, 3, 0},  // wraps ignored
        {ROTARY_FORMAT_PLUS_MINUS_180, 190, 0, -170},
        {ROTARY_FORMAT_PLUS_MINUS_180, 180, 0, -180},
        {ROTARY_FORMAT_PLUS_MINUS_180, -180, 0, -180},
        {ROTARY_FORMAT_PLUS_MINUS_180, 179, 0, 179},
        {ROTARY_FORMAT_CONTINUOUS, 30, 0, 30},
        {ROTARY_FORMAT_CONTINUOUS, 30, 1, 30 + 720 - 10},
        {ROTARY_FORMAT_CONTINUOUS, 30, -2, 30 - (1440 + 10)},
        {ROTARY_FORMAT_MOD_360, 30, 1, 20},     // 740 mod 360
        {ROTARY_FORMAT_MOD_360, 30, -1, -340},  // -700 keeps its sign
        {ROTARY_FORMAT_MOD_360, -400, 0, -40},
        {ROTARY_FORMAT_NONE, 725, 5, 725},
        {static_cast<ROTARY_FORMAT>(9), 725, 5, 725},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.format) + ": " + std::to_string(c.in) + " with " +
                     std::to_string(c.wraps) + " wraps");
        double v = c.in;
        ZelModule::foldIncrementalAngle(&v, &cpr, &c.wraps, &correction, &c.format);
        EXPECT_NEAR(v, c.out, 1e-9);
    }
}

}  // namespace

namespace {

TEST_F(CommonCommands, ResultsOfSharedHelpersNameTheOperationThatAsked) {
    // Two operations through the same checked exchange, each answered with
    // the wrong type: each result names its own operation and line, never
    // the helper's, so two operations never share a line.
    zelsim::Fault wrongType;
    wrongType.type = UDP_CMD_GET_CONFIG;
    segment.setFault(0, UDP_CMD_LATCH, wrongType);
    segment.setFault(0, UDP_CMD_ADC_VALUES, wrongType);
    segment.setFault(0, UDP_CMD_SET_DHCP, wrongType);
    segment.setFault(0, UDP_CMD_ASYNC_PORT, wrongType);
    unsigned char latch[8] = {};
    short adc[8] = {};
    ZelResults latchRead = baseModule.getLatch(latch, 8);
    ZelResults latchSet = baseModule.setLatch(LATCH_CLEAR, LATCH_CHOICE_0);
    ZelResults adcRead = baseModule.getAdcValues(adc, 8);
    ZelResults dhcp = baseModule.setDhcp(1);
    const unsigned short port = 5000;
    ZelResults asyncPort = baseModule.setAsyncPort(&port);
    for (ZelResults* r : {&latchRead, &latchSet, &adcRead, &dhcp, &asyncPort}) {
        EXPECT_EQ(r->getCode(), ZEL_COMMAND_TYPE_MISMATCH) << r->getMethod();
    }
    EXPECT_STREQ(latchRead.getMethod(), "ZelModule::getLatch");
    EXPECT_STREQ(latchSet.getMethod(), "ZelModule::setLatch");
    EXPECT_STREQ(adcRead.getMethod(), "ZelModule::getAdcValues");
    EXPECT_STREQ(dhcp.getMethod(), "ZelComm::setDhcp");
    EXPECT_STREQ(asyncPort.getMethod(), "ZelComm::setAsyncPort");
    EXPECT_NE(latchRead.getLine(), latchSet.getLine());
    EXPECT_NE(latchSet.getLine(), adcRead.getLine());
    EXPECT_NE(dhcp.getLine(), asyncPort.getLine());
}

TEST_F(CommonCommands, OnlyTheCheckedExchangeComparesTheModulesAddress) {
    // The module data says 127.N.0.10; the connection is now recorded for
    // .11 while the socket still reaches .10. The checked exchange (object
    // settings) refuses every answer with 26; the commands with their own
    // answer check take them.
    ZELBUSConnectResponse record{};
    ASSERT_EQ(baseModule.openConnection(address(11).c_str(), &record, false).getCode(), ZEL_OK);
    MODULE_ID id{};
    unsigned long number = 0, counts[8] = {};
    unsigned char typeByte = 0, latch[8] = {};
    unsigned short channels = 0, port = 0;
    short adc[8] = {};
    unsigned long errors[8] = {};
    double values[8] = {};
    char ip[16], boot[32], firmware[32];
    bool dhcp = false;
    LeftData left{};
    struct Case {
        const char* operation;
        std::function<ZelResults()> run;
        int code;
    } cases[] = {
        {"getModuleType",
         [&] { return baseModule.getModuleType(&id, &number, &typeByte, &channels); },
         ZEL_RETURN_IP_MISMATCH},
        {"getCounts", [&] { return baseModule.getCounts(counts, 8, COUNT_REQUEST_NORMAL); },
         ZEL_RETURN_IP_MISMATCH},
        {"setAsyncMode", [&] { return baseModule.setAsyncMode(false); }, ZEL_RETURN_IP_MISMATCH},
        {"enableDiags", [&] { return baseModule.enableDiags(static_cast<DIAG_MODE_OPTIONS>(0)); },
         ZEL_RETURN_IP_MISMATCH},
        {"getConfig", [&] { return baseModule.getConfig(ip, &dhcp, boot, firmware); }, ZEL_OK},
        {"getLeft", [&] { return baseModule.getLeft(&left); }, ZEL_OK},
        {"getLatch", [&] { return baseModule.getLatch(latch, 8); }, ZEL_OK},
        {"getAdcValues", [&] { return baseModule.getAdcValues(adc, 8); }, ZEL_OK},
        {"getIntegrity", [&] { return baseModule.getIntegrity(errors, values, 8); }, ZEL_OK},
        {"getAsyncPort", [&] { return baseModule.getAsyncPort(&port); }, ZEL_OK},
    };
    for (auto& c : cases) {
        ZelResults r = c.run();
        EXPECT_EQ(r.getCode(), c.code) << c.operation;
    }
    // Once the connection is recorded for the module's own address again,
    // the checked exchange answers.
    ASSERT_EQ(baseModule.openConnection(address(10).c_str(), &record, false).getCode(), ZEL_OK);
    EXPECT_EQ(baseModule.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
}

}  // namespace
