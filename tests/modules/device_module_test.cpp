// The encoder channel base: per-channel settings with their bounds and the
// flag some of them need, and the shared channel commands on the wire.
#include <gtest/gtest.h>

#include <string>

#include "modules/zel_device_module.h"
#include "sim_segment.h"

namespace {

TEST(DeviceModuleSettings, DefaultsBoundsAndTheFlagOfTheWholeRecord) {
    ZelDeviceModule m;
    double d = -1;
    bool direction = false;
    ASSERT_TRUE(m.getScaling(&d, 0));
    EXPECT_EQ(d, 1.0);
    ASSERT_TRUE(m.getResolution(&d, 7));
    EXPECT_EQ(d, 0.0);
    ASSERT_TRUE(m.getErrorCompensation(&d, 3));
    EXPECT_EQ(d, 1.0);
    ASSERT_TRUE(m.getCountingDirection(&direction, 3));
    EXPECT_TRUE(direction);
    // The whole record needs the communication; the single fields do not.
    EncoderInfo info;
    EXPECT_FALSE(m.getEncoderInfo(&info, 0));
    EXPECT_FALSE(m.setEncoderInfo(&info, 0));

    // Values are stored as given; channel 8 and null pointers are refused.
    EXPECT_TRUE(m.setScaling(0.0, 2));
    EXPECT_TRUE(m.setErrorCompensation(-3.5, 2));
    ASSERT_TRUE(m.getScaling(&d, 2));
    EXPECT_EQ(d, 0.0);
    ASSERT_TRUE(m.getErrorCompensation(&d, 2));
    EXPECT_EQ(d, -3.5);
    d = 42;
    EXPECT_FALSE(m.setScaling(2.0, 8));
    EXPECT_FALSE(m.setErrorCompensation(2.0, 8));
    EXPECT_FALSE(m.getScaling(&d, 8));
    EXPECT_FALSE(m.getResolution(&d, 8));
    EXPECT_FALSE(m.getErrorCompensation(&d, 8));
    EXPECT_FALSE(m.getCountingDirection(&direction, 8));
    EXPECT_EQ(d, 42.0);
    EXPECT_FALSE(m.getScaling(nullptr, 0));
    EXPECT_FALSE(m.getCountingDirection(nullptr, 0));

    ENCODER_TYPES_ENUM type = ENCODER_TYPE_ROTARY;
    UOM uom = UOM_DEGREE;
    EXPECT_FALSE(m.getEncoderType(&type, 8));
    EXPECT_FALSE(m.getUom(&uom, 8));
    EXPECT_EQ(type, ENCODER_TYPE_NONE) << "an invalid channel clears the output";
    EXPECT_EQ(uom, UOM_NONE);
    EXPECT_FALSE(m.getEncoderType(nullptr, 0));
    EXPECT_TRUE(m.getUom(&uom, 0));
}

class DeviceModuleCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        segment.addModule(10);
        ASSERT_TRUE(segment.start());
        address = "127." + std::to_string(segment.subnet()) + ".0.10";
    }
    zelsim::Bytes lastRequest() { return segment.requests(0).back().bytes; }

    zelsim::Segment segment;
    std::string address;
    ZelDeviceModule module;
};

TEST_F(DeviceModuleCommands, UninitialisedCodesDifferForClearingErrors) {
    unsigned char status = 0;
    EXPECT_EQ(module.enableErrorChecking(true, 0).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getChannelStatus(0, &status).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.setLatchDebouncing(0, 10).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.clearErrorsAndWarnings(0).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_TRUE(segment.requests(0).empty());
}

TEST_F(DeviceModuleCommands, ChannelFunctionsOnTheWire) {
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    EncoderInfo info;
    info.encoderType = ENCODER_TYPE_ROTARY;
    info.uom = UOM_DEGREE;
    info.measuringStep = 36000;
    info.countingDirection = false;
    ASSERT_TRUE(module.setEncoderInfo(&info, 1));
    EncoderInfo back;
    ASSERT_TRUE(module.getEncoderInfo(&back, 1));
    EXPECT_EQ(back.measuringStep, 36000UL);
    EXPECT_FALSE(back.countingDirection);
    EXPECT_EQ(back.errorCompensation, 1.0);

    ASSERT_EQ(module.enableErrorChecking(true, 1).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 1, 5}));
    ASSERT_EQ(module.enableErrorChecking(false, 0x0102).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 2, 4})) << "the channel's low byte";
    segment.withState(0, [](zelsim::ModuleState& s) {
        EXPECT_TRUE(s.errorChecking[1]);
        s.channelStatus[2] = 0x81;
    });

    unsigned char status = 0;
    ASSERT_EQ(module.getChannelStatus(2, &status).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 2, 0}));
    EXPECT_EQ(status, 0x81);
    ASSERT_EQ(module.clearErrorsAndWarnings(2).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 2, 1}));
    segment.withState(0, [](zelsim::ModuleState& s) { EXPECT_EQ(s.channelStatus[2], 0); });

    ASSERT_EQ(module.setLatchDebouncing(1, 500).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{32, 4, 5, 0, 1, 0x01, 0xF4, 0}));
    segment.withState(0, [](zelsim::ModuleState& s) { EXPECT_EQ(s.debounceTime[1], 500); });
}

TEST_F(DeviceModuleCommands, ChannelStatusOfAnotherChannelOrNoneIsRefused) {
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.setHandler(0, 33, [](zelsim::ModuleState&, const zelsim::Bytes&) {
        return std::optional<zelsim::Bytes>(zelsim::frame(33, 2, {3, 0x55}));
    });
    unsigned char status = 7;
    EXPECT_EQ(module.getChannelStatus(2, &status).getCode(), ZEL_INVALID_CHANNEL_RETURNED);
    EXPECT_EQ(status, 7);
    zelsim::Fault none;
    none.paramCount = 0;
    segment.setFault(0, 33, none);
    EXPECT_EQ(module.getChannelStatus(3, &status).getCode(), ZEL_PARAM_COUNT_ZERO);
    zelsim::Fault wrong;
    wrong.type = 32;
    segment.setFault(0, 33, wrong);
    EXPECT_EQ(module.getChannelStatus(3, &status).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(module.enableErrorChecking(true, 3).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(module.clearErrorsAndWarnings(3).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(status, 7);
    wrong.type = 33;
    segment.setFault(0, 32, wrong);
    EXPECT_EQ(module.setLatchDebouncing(1, 500).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

}  // namespace
