// The LVDT module against a simulated module: excitation limits and the
// bytes they send, frequency steps read back, signed 24-bit readings,
// voltages by channel pair, positions and gain teaching.
#include "modules/zel_lvdt_module.h"
#include "sim_fixture.h"

namespace {

zelsim::ModuleState lvdtModule(std::uint16_t fpgaRevision) {
    zelsim::ModuleState s;
    s.moduleId = ZEL_4116_01;
    s.numChannels = 2;  // the class knows the module has eight
    s.lvdt.fpgaRevision = fpgaRevision;
    return s;
}

zelsim::Bytes settings(std::initializer_list<std::uint8_t> params) {
    zelsim::Bytes b(13, 0);
    b[0] = 15;
    b[1] = b[2] = 10;
    std::size_t at = 3;
    for (std::uint8_t p : params) b[at++] = p;
    return b;
}

class LvdtModule : public SimulatedModule<ZelLvdtModule> {
  protected:
    void SetUp() override { startAndInitialise(lvdtModule(512)); }
};

TEST_F(LvdtModule, ExcitationVoltageLimitsAndBytes) {
    EXPECT_EQ(module.getNumChannels(), 8);
    EXPECT_EQ(module.setExcitationVoltage(1.5).getCode(), ZEL_OK);
    EXPECT_EQ(module.setExcitationVoltage(5.5).getCode(), ZEL_OK);
    const std::size_t sent = requestCount();
    EXPECT_EQ(module.setExcitationVoltage(1.49).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.setExcitationVoltage(5.51).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(requestCount(), sent) << "refused values send nothing";
    ASSERT_EQ(module.setExcitationVoltage(2.5).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({2, 0xC4, 0x09}));

    // The explicit exchange takes any answer type.
    zelsim::Fault other;
    other.type = 99;
    segment.setFault(0, 15, other);
    EXPECT_EQ(module.setExcitationVoltage(3.0).getCode(), ZEL_OK);
}

TEST_F(LvdtModule, FrequencyStepsOfEachPrescaler) {
    ASSERT_EQ(module.setExcitationFrequency(50.0).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({6, 4, 24}));
    ASSERT_EQ(module.setExcitationFrequency(10.0).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({6, 9, 62})) << "62.5 steps round to 63";
    EXPECT_EQ(module.setExcitationFrequency(2.99).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.setExcitationFrequency(50.01).getCode(), ZEL_OUT_OF_RANGE);

    // The module runs the nearest step: 3.0 kHz reads back as 250 000 / 42 / 2 kHz.
    ASSERT_EQ(module.setExcitationFrequency(3.0).getCode(), ZEL_OK);
    ASSERT_EQ(module.setExcitationVoltage(4.2).getCode(), ZEL_OK);
    double volts = 0, kilohertz = 0;
    ASSERT_EQ(module.getExcitationValues(&volts, &kilohertz).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(volts, 4.2);
    EXPECT_NEAR(kilohertz, 2.976, 0.0005);
    EXPECT_DOUBLE_EQ(kilohertz, 250000.0 / 42 * 0.5 / 1000);

    // Register values beyond their ranges read as the defaults 63 and 9.
    edit([](zelsim::ModuleState& s) {
        s.lvdt.dividerByte = 600;
        s.lvdt.prescalerByte = 60;
    });
    ASSERT_EQ(module.getExcitationValues(&volts, &kilohertz).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(kilohertz, 1250000.0 / 64 * 0.5 / 1000);
    EXPECT_EQ(module.getExcitationValues(nullptr, &kilohertz).getCode(), ZEL_NULL_POINTER);
}

TEST_F(LvdtModule, ReadingsVoltagesAndPositions) {
    EXPECT_EQ(ZelLvdtModule::readingOf(16), -16);
    EXPECT_EQ(ZelLvdtModule::readingOf(0x1000000 - 16), 16);
    EXPECT_EQ(ZelLvdtModule::readingOf(0x800000), 0x800000);

    edit([](zelsim::ModuleState& s) {
        s.lvdt.millivolts = {100, -200, 300, -400, 500, 600, 700, 800};
        s.lvdt.readings = {1000, -2000, 3000, -4000, 5000, 6000, 7000, 8000};
    });
    double volts = 0;
    long reading = 0;
    ASSERT_EQ(module.getVoltage(3, &volts, &reading).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({5, 1}));
    EXPECT_DOUBLE_EQ(volts, -0.4);
    EXPECT_EQ(reading, -4000);
    ASSERT_EQ(module.getVoltage(6, &volts, &reading).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(volts, 0.7);
    EXPECT_EQ(reading, 7000);

    ASSERT_EQ(module.setResolution(1, 0.0005).getCode(), ZEL_OK);
    ASSERT_TRUE(module.setScaling(2.0, 1));
    module.setDeviceOffset(1, 0.25);
    double positions[8] = {};
    ASSERT_EQ(module.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(positions[1], -2000 * 0.0005 * 2.0 + 0.25);
    EXPECT_EQ(positions[0], 0.0) << "no resolution set";
    EXPECT_EQ(positions[7], 0.0);

    double resolution = 0;
    EXPECT_EQ(module.getResolution(8, &resolution).getCode(), ZEL_INVALID_CHANNEL_RETURNED);
    EXPECT_EQ(module.setResolution(8, 1.0).getCode(), ZEL_INVALID_CHANNEL_RETURNED);
    LVDT_UOM uom = LVDT_UOM_NONE;
    ASSERT_TRUE(module.getUom(&uom, 7));
    EXPECT_EQ(uom, LVDT_UOM_MILLIMETRE);
    EXPECT_FALSE(module.setUom(LVDT_UOM_INCH, 8));
}

TEST_F(LvdtModule, GainTeachingAndModuleSettings) {
    ASSERT_EQ(module.setSensorGain(2, 5).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({10, 2, 5, 0}));
    unsigned char gain = 0;
    ASSERT_EQ(module.getSensorGain(2, &gain).getCode(), ZEL_OK);
    EXPECT_EQ(gain, 5);

    ASSERT_EQ(module.teachSensorGain(2).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({10, 2, 0, 1}));
    unsigned short finished = 0;
    int polls = 0;
    while (finished == 0 && polls < 10) {
        ASSERT_EQ(module.getTeachSensorGainFinished(2, &finished).getCode(), ZEL_OK);
        ++polls;
    }
    EXPECT_EQ(polls, 2);
    ASSERT_EQ(module.getSensorGain(2, &gain).getCode(), ZEL_OK);
    EXPECT_EQ(gain, 7) << "the taught code";

    ASSERT_EQ(module.setOversampling(LVDT_OVERSAMPLING_4).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), settings({13, 0, 2}));
    ASSERT_EQ(module.setDiagnosticsEnabled(LVDT_UPDATE_ON).getCode(), ZEL_OK);
    EXPECT_EQ(state().lvdt.diagnostics, 1);
    unsigned char presence = 9;
    ASSERT_EQ(module.setChannelPresence(0, 4).getCode(), ZEL_OK);
    ASSERT_EQ(module.getChannelPresence(&presence, 4).getCode(), ZEL_OK);
    EXPECT_EQ(presence, 0);
}

using LvdtRevisions = SimulatedModule<ZelLvdtModule>;

TEST_F(LvdtRevisions, LowFrequenciesNeedRevision512AndFlagsGuardEverything) {
    startModule(lvdtModule(511));
    double positions[8];
    unsigned char gain;
    EXPECT_EQ(module.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.setExcitationVoltage(2.0).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.getSensorGain(0, &gain).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.setOversampling(LVDT_OVERSAMPLING_2).getCode(),
              ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_TRUE(segment.requests(0).empty());

    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    EXPECT_EQ(module.setExcitationFrequency(12.0).getCode(), ZEL_FIRMWARE_REVISION_INVALID);
    EXPECT_EQ(module.setExcitationFrequency(17.5).getCode(), ZEL_OK);
    edit([](zelsim::ModuleState& s) { s.lvdt.fpgaRevision = 512; });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    EXPECT_EQ(module.setExcitationFrequency(12.0).getCode(), ZEL_OK);
}

}  // namespace
