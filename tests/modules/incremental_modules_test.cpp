// The 1 Vpp and TTL modules against simulated modules: positions of set
// axes in each unit, wraps of the 32-bit counter in both directions, the
// resolution rules, referencing and the settings kept in the module.
#include <chrono>
#include <cmath>
#include <thread>

#include "modules/zel_1vpp_module.h"
#include "modules/zel_ttl_module.h"
#include "sim_fixture.h"

namespace {

constexpr double kWrap = 4294967296.0;

// The angle a host expects after wrap correction: each wrap spans one count
// less than 2^32.
double wrappedDegrees(std::int64_t total, std::int64_t wraps, double countsPerTurn) {
    return static_cast<double>(total - wraps) / countsPerTurn * 360.0;
}

zelsim::ModuleState oneVppModule() {
    zelsim::ModuleState s;
    s.moduleId = ZEL_4107_01;
    s.numChannels = 4;
    return s;
}

class OneVppModule : public SimulatedModule<Zel1VppModule> {
  protected:
    void SetUp() override { startAndInitialise(oneVppModule()); }
    void setAxis(int channel, std::int64_t count) {
        edit([&](zelsim::ModuleState& s) { s.axes[channel].set(count); });
    }
    void rotary(unsigned short channel, unsigned long lines, ROTARY_FORMAT format) {
        ASSERT_TRUE(module.setLineCount(lines, channel));
        ASSERT_TRUE(module.setEncoderType(ENCODER_TYPE_ROTARY, channel));
        ASSERT_TRUE(module.setUom(UOM_DEGREE, channel));
        module.setRotaryFormat(channel, format);
    }
    void read() {
        ASSERT_EQ(module.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    }
    double positions[8] = {};
};

TEST_F(OneVppModule, InitialisationLeavesChannelsRawAndDiagnosticsOff) {
    EncoderInfo info;
    ASSERT_TRUE(module.getEncoderInfo(&info, 3));
    EXPECT_EQ(info.encoderType, ENCODER_TYPE_NONE);
    EXPECT_EQ(info.uom, UOM_COUNTS);
    setAxis(0, -1);
    read();
    EXPECT_EQ(positions[0], 4294967295.0) << "unit counts gives the unsigned counter";
}

TEST_F(OneVppModule, LinearPositionsInEveryUnit) {
    // 20 um signal period: 20 / 4096 um per count; 12.5 mm is 2 560 000 counts.
    ASSERT_TRUE(module.setSignalPeriod(20, 0));
    ASSERT_TRUE(module.setEncoderType(ENCODER_TYPE_LINEAR, 0));
    ASSERT_TRUE(module.setUom(UOM_MILLIMETRE, 0));
    double resolution = 0;
    ASSERT_TRUE(module.getResolution(&resolution, 0));
    EXPECT_DOUBLE_EQ(resolution, 20.0 / 1000 / 4096);
    setAxis(0, 2560000);
    read();
    EXPECT_DOUBLE_EQ(positions[0], 12.5);

    setAxis(0, -2560000);
    read();
    EXPECT_DOUBLE_EQ(positions[0], -12.5) << "a linear count is signed";

    ASSERT_TRUE(module.setCountingDirection(false, 0));
    module.setDeviceOffset(0, 0.5);
    module.setScaling(2.0, 0);
    read();
    EXPECT_DOUBLE_EQ(positions[0], 25.5) << "reversed, scaled, then offset";

    ASSERT_TRUE(module.setUom(UOM_INCH, 0));
    read();
    EXPECT_NEAR(positions[0], 25.0 * 0.03937007874 + 0.5, 1e-12);
    ASSERT_TRUE(module.setUom(UOM_COUNTS, 0));
    read();
    EXPECT_EQ(positions[0], kWrap - 2560000) << "raw counts ignore direction, scaling and offset";
}

TEST_F(OneVppModule, RotaryAnglesWithWrapsInBothDirections) {
    // 2048 lines: 8 388 608 counts per turn; half a turn is 180 degrees.
    constexpr double kTurn = 2048.0 * 4096;
    rotary(0, 2048, ROTARY_FORMAT_NONE);
    setAxis(0, 4194304);
    read();
    EXPECT_DOUBLE_EQ(positions[0], 180.0);

    rotary(1, 2048, ROTARY_FORMAT_CONTINUOUS);
    const std::int64_t forward = (1LL << 32) + 1000;  // one wrap ahead
    setAxis(1, forward);
    read();
    EXPECT_NEAR(positions[1], wrappedDegrees(forward, 1, kTurn), 1e-6);
    const std::int64_t backward = -1000;  // one wrap below zero
    setAxis(1, backward);
    read();
    EXPECT_NEAR(positions[1], wrappedDegrees(backward, -1, kTurn), 1e-6);

    // Format 1 keeps the sign of the continuous angle; format 0 folds it up.
    module.setRotaryFormat(1, ROTARY_FORMAT_MOD_360);
    read();
    EXPECT_NEAR(positions[1], std::fmod(wrappedDegrees(backward, -1, kTurn), 360.0), 1e-6);
    EXPECT_LT(positions[1], 0.0);
    module.setRotaryFormat(1, ROTARY_FORMAT_0_360);
    read();
    EXPECT_NEAR(positions[1], 360.0 + backward / kTurn * 360.0, 1e-3);

    // A line count whose counts per turn wrap to 0 has no resolution and
    // converts with one count per turn.
    ASSERT_TRUE(module.setLineCount(1048576, 2));
    double resolution = -1;
    ASSERT_TRUE(module.getResolution(&resolution, 2));
    EXPECT_EQ(resolution, 0.0);
    ASSERT_TRUE(module.setLineCount(0, 2));
    ASSERT_TRUE(module.getResolution(&resolution, 2));
    EXPECT_EQ(resolution, 0.0);
    EXPECT_FALSE(module.setLineCount(1, 8));
    unsigned long lines = 0;
    ASSERT_TRUE(module.getLineCount(&lines, 0));
    EXPECT_EQ(lines, 2048UL);
}

TEST_F(OneVppModule, ExtremeWrapCountsFromTheNetworkConvertWithoutOverflow) {
    // The lowest wrap count with a reading below zero: the reading counted
    // backwards negates the wrap count, which has no 32-bit negation.
    // (The sanitizer build traps on the overflow.)
    rotary(0, 2048, ROTARY_FORMAT_CONTINUOUS);
    ASSERT_TRUE(module.setEncoderType(ENCODER_TYPE_LINEAR, 1));
    ASSERT_TRUE(module.setUom(UOM_MILLIMETRE, 1));
    ASSERT_TRUE(module.setSignalPeriod(20, 1));
    const std::int64_t lowest = INT64_MIN + ((1LL << 32) - 256);
    setAxis(0, lowest);
    setAxis(1, lowest);
    read();
    EXPECT_TRUE(std::isfinite(positions[0]));
    EXPECT_NEAR(positions[1], -256 * 20 * 0.25 * 0.0009765625 * 0.001, 1e-9);
}

TEST_F(OneVppModule, DiagnosticsReferencingAndSignalType) {
    edit([](zelsim::ModuleState& s) { s.incremental[1].diagWords = {2867, 2048}; });
    double diag[2] = {};
    ASSERT_EQ(module.getDiag(1, diag, 2).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{27, 2, 2, 1, 0}));
    EXPECT_NEAR(diag[0], (2867 * 5.0 / 4096 - 2.5) / 3.5, 1e-12);
    ASSERT_EQ(module.enableAnalogDiag(1, true).getCode(), ZEL_OK);
    EXPECT_TRUE(state().incremental[1].analogDiag);

    ASSERT_EQ(module.initAbsolutePosition(1, REFERENCE_MARK_DISTANCE_CODED, 0x0102).getCode(),
              ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{32, 4, 5, 1, 1, 1, 0x02, 0x01}));
    bool complete = true;
    REF_MARK_STATE refState = REF_MARK_STATE_IDLE;
    ASSERT_EQ(module.getReferencingState(1, &refState).getCode(), ZEL_OK);
    EXPECT_EQ(refState, REF_MARK_STATE_SEARCHING);
    ASSERT_EQ(module.isReferencingComplete(1, &complete).getCode(), ZEL_OK);
    EXPECT_FALSE(complete);
    ASSERT_EQ(module.isReferencingComplete(1, &complete).getCode(), ZEL_OK);
    EXPECT_TRUE(complete);
    ASSERT_EQ(module.acknowledgeAbsolutePosition(1).getCode(), ZEL_OK);
    EXPECT_TRUE(state().incremental[1].acknowledged);

    edit([](zelsim::ModuleState& s) { s.incremental[0].detectedSignalType = 1; });
    SIGNAL_TYPE type = SIGNAL_TYPE_CURRENT;
    ASSERT_EQ(module.getSignalType(0, &type).getCode(), ZEL_OK);
    EXPECT_EQ(type, SIGNAL_TYPE_VOLTAGE);
    ASSERT_EQ(module.detectSignalType(0, &type).getCode(), ZEL_OK);
    EXPECT_EQ(type, SIGNAL_TYPE_CURRENT);
    ASSERT_EQ(module.setSignalType(0, SIGNAL_TYPE_VOLTAGE).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // Answers without parameters: no signal type is 0; no diagnostics is code 5.
    zelsim::Fault empty;
    empty.paramCount = 0;
    segment.setFault(0, 15, empty);
    type = SIGNAL_TYPE_CURRENT;
    ASSERT_EQ(module.getSignalType(0, &type).getCode(), ZEL_OK);
    EXPECT_EQ(type, SIGNAL_TYPE_VOLTAGE);
    segment.setFault(0, 27, empty);
    EXPECT_EQ(module.getDiag(1, diag, 2).getCode(), ZEL_PARAM_COUNT_ZERO);

    // The referencing state is big-endian and written as 16 bits.
    segment.setHandler(0, 32, [](zelsim::ModuleState&, const zelsim::Bytes&) {
        return std::optional<zelsim::Bytes>(zelsim::frame(32, 1, {0x01, 0x02}));
    });
    unsigned int wide = 0xFFFFFFFFu;
    ASSERT_EQ(module.getReferencingState(0, reinterpret_cast<REF_MARK_STATE*>(&wide)).getCode(),
              ZEL_OK);
    EXPECT_EQ(wide & 0xFFFFu, 258u);
}

TEST_F(OneVppModule, AMovingAxisStaysContinuousAcrossACounterWrap) {
    // Ten counts before the wrap, moving at a million counts per second.
    rotary(0, 2048, ROTARY_FORMAT_CONTINUOUS);
    edit([](zelsim::ModuleState& s) { s.axes[0].set((1LL << 32) - 10, 1e6); });
    read();
    const double before = positions[0];
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    read();
    EXPECT_GT(positions[0], before) << "the wrap count took over from the counter";
    EXPECT_GT(positions[0], wrappedDegrees(1LL << 32, 1, 2048.0 * 4096));
}

using OneVppUninitialised = SimulatedModule<Zel1VppModule>;

TEST_F(OneVppUninitialised, CommunicationAndModuleDataFlags) {
    startModule(oneVppModule());
    double values[2];
    bool complete;
    SIGNAL_TYPE type;
    REF_MARK_STATE refState;
    EXPECT_EQ(module.getPositions(values, 2, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.initAbsolutePosition(0, REFERENCE_MARK_SINGLE, 0).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getReferencingState(0, &refState).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getDiag(0, values, 2).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.enableAnalogDiag(0, true).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.isReferencingComplete(0, &complete).getCode(),
              ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.acknowledgeAbsolutePosition(0).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.getSignalType(0, &type).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.setSignalType(0, SIGNAL_TYPE_VOLTAGE).getCode(),
              ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_FALSE(module.setUom(UOM_DEGREE, 0)) << "the record needs the communication";
    EXPECT_TRUE(module.setLineCount(100, 0)) << "the line count does not";
    EXPECT_TRUE(segment.requests(0).empty());
}

// ---- TTL ----------------------------------------------------------------------

zelsim::ModuleState ttlModule(std::uint32_t id) {
    zelsim::ModuleState s;
    s.moduleId = id;
    s.numChannels = 8;
    s.fpgaRevision = 0x0203;
    return s;
}

class TtlModule : public SimulatedModule<ZelTtlModule> {
  protected:
    void SetUp() override { startAndInitialise(ttlModule(ZEL_4115_01)); }
    void setAxis(int channel, std::int64_t count) {
        edit([&](zelsim::ModuleState& s) { s.axes[channel].set(count); });
    }
    void read() {
        ASSERT_EQ(module.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    }
    double positions[8] = {};
};

TEST_F(TtlModule, ChannelCountByVariantAndRevision) {
    EXPECT_EQ(module.getNumChannels(), 8);
    unsigned short revision = 0;
    ASSERT_EQ(module.getFpgaRevision(&revision).getCode(), ZEL_OK);
    EXPECT_EQ(revision, 0x0203);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TtlModule, InterpolationAndTheResolutionItGives) {
    ASSERT_TRUE(module.setLineCount(1000, TTL_INTERPOLATION_10, 0));
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 8, 0, 0, 10, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(state().incremental[0].interpolation, 10);
    double resolution = 0;
    ASSERT_TRUE(module.getResolution(&resolution, 0));
    EXPECT_EQ(resolution, 40000.0) << "counts per turn";
    ASSERT_TRUE(module.setEncoderType(ENCODER_TYPE_ROTARY, 0));
    ASSERT_TRUE(module.setUom(UOM_DEGREE, 0));
    module.setRotaryFormat(0, ROTARY_FORMAT_NONE);
    setAxis(0, 10000);
    read();
    EXPECT_DOUBLE_EQ(positions[0], 90.0);

    // Wraps of the counter, forward and backward, in the continuous format.
    module.setRotaryFormat(0, ROTARY_FORMAT_CONTINUOUS);
    for (std::int64_t total : {(1LL << 32) + 5, -7LL}) {
        setAxis(0, total);
        read();
        EXPECT_NEAR(positions[0], wrappedDegrees(total, total < 0 ? -1 : 1, 40000.0), 1e-6)
            << total;
    }

    ASSERT_TRUE(module.setSignalPeriod(20.0, TTL_INTERPOLATION_5, 1));
    ASSERT_TRUE(module.getResolution(&resolution, 1));
    EXPECT_DOUBLE_EQ(resolution, 0.001);
    ASSERT_TRUE(module.setEncoderType(ENCODER_TYPE_LINEAR, 1));
    ASSERT_TRUE(module.setUom(UOM_MILLIMETRE, 1));
    setAxis(1, 12500);
    read();
    EXPECT_DOUBLE_EQ(positions[1], 12.5);
    ASSERT_TRUE(module.setUom(static_cast<UOM>(5), 1));
    module.setScaling(2.0, 1);
    module.setDeviceOffset(1, 1.0);
    read();
    EXPECT_DOUBLE_EQ(positions[1], 25001.0) << "an unknown unit skips the resolution";

    double period = 0;
    TTL_INTERPOLATION factor = TTL_INTERPOLATION_1;
    ASSERT_TRUE(module.getSignalPeriod(&period, &factor, 1));
    EXPECT_EQ(period, 20.0);
    EXPECT_EQ(factor, TTL_INTERPOLATION_5);

    // Channel 8 sends nothing; a refused interpolation keeps the new factor.
    const std::size_t before = requestCount();
    EXPECT_FALSE(module.setLineCount(1000, TTL_INTERPOLATION_2, 8));
    EXPECT_EQ(requestCount(), before);
    zelsim::Fault refused;
    refused.type = 17;
    segment.setFault(0, 15, refused);
    EXPECT_FALSE(module.setLineCount(500, TTL_INTERPOLATION_20, 0));
    unsigned long lines = 0;
    ASSERT_TRUE(module.getLineCount(&lines, &factor, 0));
    EXPECT_EQ(lines, 1000UL) << "the line count is kept";
    EXPECT_EQ(factor, TTL_INTERPOLATION_20) << "the factor was stored before sending";
}

TEST_F(TtlModule, CountsSettingsAndReferencing) {
    setAxis(2, -2);
    unsigned long counts[8] = {};
    ASSERT_EQ(module.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(counts[2], 0xFFFFFFFEUL);
    zelsim::Fault six;
    six.paramCount = 6;
    segment.setFault(0, 1, six);
    counts[4] = 99;
    ASSERT_EQ(module.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(counts[4], 99UL) << "six entries are four channels";
    segment.setFault(0, 1, {});

    ASSERT_EQ(module.setCountingDirection(1, 2).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 5, 2, 1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(module.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(counts[2], 2UL) << "the module now counts the other way";

    unsigned char presence = 9;
    ASSERT_EQ(module.setChannelPresence(0, 3).getCode(), ZEL_OK);
    ASSERT_EQ(module.getChannelPresence(&presence, 3).getCode(), ZEL_OK);
    EXPECT_EQ(presence, 0);

    ASSERT_EQ(module.initReferencing(4, REFERENCE_MARK_SINGLE, 0xABCD).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{15, 10, 10, 2, 4, 0, 0xCD, 0xAB, 0, 0, 0, 0, 0}));
    bool complete = false;
    do {
        ASSERT_EQ(module.isReferencingComplete(4, &complete).getCode(), ZEL_OK);
    } while (!complete);
    REF_MARK_STATE refState = REF_MARK_STATE_IDLE;
    ASSERT_EQ(module.getReferencingState(4, &refState).getCode(), ZEL_OK);
    EXPECT_EQ(refState, REF_MARK_STATE_FOUND);
    ASSERT_EQ(module.acknowledgeReferencing(4).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 4, 2}));
}

using TtlVariants = SimulatedModule<ZelTtlModule>;

TEST_F(TtlVariants, AnotherIdentityHasNoChannels) {
    startAndInitialise(ttlModule(ZEL_4111_01));
    EXPECT_EQ(module.getNumChannels(), 0);
    double positions[2] = {-1.0, -1.0};
    ASSERT_EQ(module.getPositions(positions, 2, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(positions[0], -1.0);
    unsigned char presence = 0;
    EXPECT_EQ(ZelTtlModule().getChannelPresence(&presence, 0).getCode(),
              ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(ZelTtlModule().setCountingDirection(1, 0).getCode(), ZEL_COMM_NOT_INITIALIZED);
}

TEST_F(TtlVariants, FourChannelVariant) {
    startAndInitialise(ttlModule(ZEL_4113_02));
    EXPECT_EQ(module.getNumChannels(), 4);
}

}  // namespace
