// The analog module against a simulated module: the value words of both
// byte orders, calibration through two points, scaled values, the twelve
// diagnostic values and the number of samples.
#include "modules/zel_analog_module.h"
#include "sim_fixture.h"

namespace {

zelsim::ModuleState analogModule() {
    zelsim::ModuleState s;
    s.moduleId = ZEL_4111_01;
    s.numChannels = 4;
    return s;
}

class AnalogModule : public SimulatedModule<ZelAnalogModule> {
  protected:
    void SetUp() override { startAndInitialise(analogModule()); }
    void answerWords(zelsim::Bytes words) {
        segment.setHandler(0, 1, [words](zelsim::ModuleState&, const zelsim::Bytes&) {
            return std::optional<zelsim::Bytes>(zelsim::frame(1, 4, words));
        });
    }
};

TEST_F(AnalogModule, WordsBecomeVoltsAndMilliamps) {
    EXPECT_EQ(module.getNumChannels(), 2);
    EXPECT_DOUBLE_EQ(ZelAnalogModule::voltageOf(2500), 0.0);
    EXPECT_DOUBLE_EQ(ZelAnalogModule::voltageOf(0), 12.5);
    EXPECT_DOUBLE_EQ(ZelAnalogModule::voltageOf(5000), -12.5);
    EXPECT_DOUBLE_EQ(ZelAnalogModule::currentOf(0), 4.0);
    EXPECT_DOUBLE_EQ(ZelAnalogModule::currentOf(5000), 20.0);

    edit([](zelsim::ModuleState& s) {
        s.analog.setVolts(0, 2.5);
        s.analog.setMilliamps(0, 12.0);
        s.analog.setVolts(1, -7.25);
        s.analog.setMilliamps(1, 4.8);
    });
    double values[4] = {};
    ASSERT_EQ(module.getValues(values, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_NEAR(values[0], 2.5, 1e-12);
    EXPECT_NEAR(values[1], 12.0, 1e-12);
    EXPECT_NEAR(values[2], -7.25, 1e-12);
    EXPECT_NEAR(values[3], 4.8, 1e-12);
    double two[2] = {};
    ASSERT_EQ(module.getVoltage(two, 2, COUNT_REQUEST_ALTERNATE).getCode(), ZEL_OK);
    EXPECT_NEAR(two[1], -7.25, 1e-12) << "the module answers little-endian and the host reads so";
    ASSERT_EQ(module.getCurrent(two, 2, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_NEAR(two[0], 12.0, 1e-12);

    // The same bytes in the two orders.
    answerWords({0x09, 0xC4, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(module.getVoltage(two, 2, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(two[0], 0.0);
    ASSERT_EQ(module.getVoltage(two, 2, COUNT_REQUEST_ALTERNATE).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(two[0], ZelAnalogModule::voltageOf(50185));

    // A short array: code 8 after the read, nothing written.
    double one[1] = {42.0};
    EXPECT_EQ(module.getVoltage(one, 1, COUNT_REQUEST_NORMAL).getCode(), ZEL_PARAM_SIZE_MISMATCH);
    EXPECT_EQ(module.getValues(values, 3, COUNT_REQUEST_NORMAL).getCode(), ZEL_PARAM_SIZE_MISMATCH);
    EXPECT_EQ(one[0], 42.0);
}

TEST_F(AnalogModule, CalibrationFromTwoPoints) {
    double resolution = 0, offset = 0;
    ASSERT_EQ(
        module.computeResolutionAndOffset(0, &resolution, &offset, 100.0, 0.0, 10.0, 0.0).getCode(),
        ZEL_OK);
    EXPECT_DOUBLE_EQ(resolution, 10.0);
    EXPECT_DOUBLE_EQ(offset, 0.0);
    ASSERT_EQ(
        module.computeResolutionAndOffset(1, &resolution, &offset, 100.0, 0.0, 10.0, 2.0).getCode(),
        ZEL_OK);
    EXPECT_DOUBLE_EQ(resolution, 12.5);
    EXPECT_DOUBLE_EQ(offset, 25.0);

    // Degenerate points are refused and change nothing.
    EXPECT_EQ(
        module.computeResolutionAndOffset(1, &resolution, &offset, 0.0, 0.0, 10.0, 2.0).getCode(),
        ZEL_OUT_OF_RANGE);
    EXPECT_EQ(
        module.computeResolutionAndOffset(1, &resolution, &offset, 1.0, 0.0, 0.0, 0.0).getCode(),
        ZEL_OUT_OF_RANGE);
    EXPECT_EQ(
        module.computeResolutionAndOffset(1, &resolution, &offset, 1.0, 0.0, 3.0, 3.0).getCode(),
        ZEL_OUT_OF_RANGE);
    EXPECT_EQ(
        module.computeResolutionAndOffset(2, &resolution, &offset, 1.0, 0.0, 3.0, 1.0).getCode(),
        ZEL_INVALID_CHANNEL_RETURNED);
    EXPECT_EQ(module.computeResolutionAndOffset(0, nullptr, &offset, 1.0, 0.0, 3.0, 1.0).getCode(),
              ZEL_NULL_POINTER);
    ASSERT_EQ(module.getResolution(1, &resolution).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(resolution, 12.5);

    // A reading of 2.0 V on channel 1 scales to 0; channel 1's scaling of 0 is skipped.
    edit([](zelsim::ModuleState& s) {
        s.analog.setVolts(0, 1.0);
        s.analog.setVolts(1, 2.0);
        s.analog.setMilliamps(1, 10.0);
    });
    ASSERT_TRUE(module.setScaling(0, 3.0));
    ASSERT_TRUE(module.setScaling(1, 0.0));
    module.setDeviceOffset(0, 1.0);
    double values[4] = {};
    ASSERT_EQ(module.getScaledValues(values, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_NEAR(values[0], 1.0 * 10.0 * 3.0 + 1.0, 1e-9);
    EXPECT_NEAR(values[2], 0.0, 1e-9);
    EXPECT_NEAR(values[3], (10.0 - 2.0) * 12.5, 1e-9);

    EXPECT_EQ(module.setOffset(2, 1.0).getCode(), ZEL_INVALID_CHANNEL_RETURNED);
    EXPECT_EQ(module.getOffset(0, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_FALSE(module.setScaling(2, 1.0));
    EXPECT_FALSE(module.getScaling(0, nullptr));
}

TEST_F(AnalogModule, DiagnosticValuesAndSamples) {
    edit([](zelsim::ModuleState& s) {
        s.analog.diag = {2500, 5000, 0, 2047, 2048, 4095, 0, 0, 1, 2, 3, 4};
    });
    double values[12] = {};
    const std::size_t before = requestCount();
    EXPECT_EQ(module.getDiagVoltages(values, 11).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(requestCount(), before);
    ASSERT_EQ(module.getDiagVoltages(values, 12).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(values[0], 0.0);
    EXPECT_DOUBLE_EQ(values[1], 20.0);
    EXPECT_DOUBLE_EQ(values[2], 2.5) << "ADC word 0 is mid-scale";
    EXPECT_NEAR(values[3], 4.9988, 1e-4);
    EXPECT_DOUBLE_EQ(values[4], 0.0);
    EXPECT_NEAR(values[5], 2.4988, 1e-4);
    EXPECT_DOUBLE_EQ(values[6], 12.5);
    EXPECT_DOUBLE_EQ(values[7], 4.0);

    ASSERT_EQ(module.setNumSamples(1, 100).getCode(), ZEL_OK);
    EXPECT_EQ(state().analog.samples[1], 100);
    EXPECT_EQ(module.setNumSamples(1, 101).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.setNumSamples(2, 10).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{27, 2, 2, 1, 100}));

    ZelAnalogModule fresh;
    EXPECT_EQ(fresh.getDiagVoltages(values, 12).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.getValues(values, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.setNumSamples(0, 1).getCode(), ZEL_COMM_NOT_INITIALIZED);
    double resolution = 0;
    EXPECT_EQ(fresh.getResolution(1, &resolution).getCode(), ZEL_OK)
        << "calibration needs no module";
    EXPECT_EQ(resolution, 1.0);
}

}  // namespace
