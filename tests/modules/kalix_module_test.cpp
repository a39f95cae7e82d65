// The Kalix module against a simulated module with a linear, a single-turn
// and a multi-turn encoder and an empty channel: initialisation by presence,
// counts and positions of set axis states, status flags and the accessors.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "modules/zel_kalix_module.h"
#include "sim_fixture.h"

namespace {

constexpr std::uint32_t kLinearStepNm = 100;
constexpr std::uint32_t kTurnCounts = 4096;
constexpr std::uint32_t kMultiTurnCounts = 8192;  // 13 single-turn bits

zelsim::ModuleState kalixModule() {
    zelsim::ModuleState s;
    s.moduleId = ZEL_4105_01;
    s.numChannels = 4;
    zelsim::KalixEncoder& linear = s.kalix[0];
    linear.present = true;
    linear.measuringStep = kLinearStepNm;
    linear.revolutions = 1;
    linear.name = "LINEAR123";  // nine characters, the most a name holds
    linear.id = "ID-LINEAR0";
    linear.serial = "SN00000000000001";
    linear.infoA = 0xA1A2A3A4;
    zelsim::KalixEncoder& turn = s.kalix[1];
    turn.present = true;
    turn.rotary = true;
    turn.inverted = true;
    turn.measuringStep = kTurnCounts;
    turn.revolutions = 0;  // a single-turn encoder that reports 0 turns
    zelsim::KalixEncoder& multi = s.kalix[2];
    multi.present = true;
    multi.rotary = true;
    multi.measuringStep = kMultiTurnCounts;
    multi.revolutions = 4096;  // 12 revolution bits
    multi.positionBits = 25;
    return s;
}

class KalixModule : public SimulatedModule<ZelKalixModule> {
  protected:
    void SetUp() override { startAndInitialise(kalixModule()); }
    void setAxis(int channel, std::int64_t count) {
        edit([&](zelsim::ModuleState& s) { s.axes[channel].set(count); });
    }
    double positions[8] = {};
    long revolutions[8] = {};
    static double degrees(double counts, double perTurn) { return counts / perTurn * 360.0; }
};

TEST_F(KalixModule, InitialisationReadsEveryPresentEncoder) {
    EncoderInfo info;
    ASSERT_TRUE(module.getEncoderInfo(&info, 0));
    EXPECT_EQ(info.encoderType, ENCODER_TYPE_LINEAR);
    EXPECT_EQ(info.uom, UOM_MILLIMETRE);
    EXPECT_EQ(info.measuringStep, kLinearStepNm);
    EXPECT_TRUE(info.countingDirection);
    ASSERT_TRUE(module.getEncoderInfo(&info, 1));
    EXPECT_EQ(info.encoderType, ENCODER_TYPE_ROTARY);
    EXPECT_EQ(info.uom, UOM_DEGREE);
    EXPECT_FALSE(info.countingDirection) << "the encoder counts inverted";
    ASSERT_TRUE(module.getEncoderInfo(&info, 3));
    EXPECT_EQ(info.encoderType, ENCODER_TYPE_NONE);
    EXPECT_EQ(info.uom, UOM_COUNTS);
    EXPECT_EQ(info.measuringStep, 1UL);

    double resolution = 0;
    ASSERT_TRUE(module.getResolution(&resolution, 0));
    EXPECT_DOUBLE_EQ(resolution, 0.0001) << "100 nm in millimetres";
    ASSERT_TRUE(module.getResolution(&resolution, 1));
    EXPECT_DOUBLE_EQ(resolution, 360.0 / kTurnCounts);

    DeviceData d;
    ASSERT_TRUE(module.getDeviceData(&d, 0));
    EXPECT_STREQ(d.encoderName, "LINEAR123");
    EXPECT_STREQ(d.encoderId, "ID-LINEAR0");
    EXPECT_STREQ(d.serialNumber, "SN00000000000001");
    EXPECT_EQ(d.infoValueA, 0xA1A2A3A4u);
    short turns = 0;
    ASSERT_TRUE(module.getDistinguishableRevolutions(&turns, 1));
    EXPECT_EQ(turns, 1) << "a reported 0 is stored as 1";
    ASSERT_TRUE(module.getDeviceData(&d, 3));
    EXPECT_STREQ(d.encoderName, " ");
    EXPECT_EQ(d.measuringStep, 1u);
    ASSERT_TRUE(module.getDeviceData(&d, 5));
    EXPECT_EQ(d.measuringStep, 0u) << "channels beyond the count stay zero";

    // Accessors beyond channel 7 write their empty values.
    char text[17] = "untouched";
    EXPECT_FALSE(module.getEncoderName(text, 8));
    EXPECT_STREQ(text, " ");
    EXPECT_FALSE(module.getDistinguishableRevolutions(&turns, 8));
    EXPECT_EQ(turns, 1);
    EXPECT_FALSE(module.getDeviceData(nullptr, 0));
    EXPECT_FALSE(module.getSerialNumber(nullptr, 0));
}

TEST_F(KalixModule, TextsAreCopiedUpToTheirTerminatorOnly) {
    // The host's buffer behind the text and its terminator stays as it was:
    // the texts are copied, not the fixed-size fields they are kept in.
    using Getter = bool (ZelKalixModule::*)(char*, unsigned short);
    const struct {
        const char* what;
        Getter get;
    } texts[] = {{"name", &ZelKalixModule::getEncoderName},
                 {"id", &ZelKalixModule::getEncoderId},
                 {"serial", &ZelKalixModule::getSerialNumber}};
    for (const auto& t : texts) {
        SCOPED_TRACE(t.what);
        char buffer[32];
        std::memset(buffer, 0x55, sizeof(buffer));
        ASSERT_TRUE((module.*t.get)(buffer, 1));
        const std::size_t length = std::strlen(buffer);
        ASSERT_LT(length, 17u);
        for (std::size_t i = length + 1; i < sizeof(buffer); ++i) {
            EXPECT_EQ(buffer[i], 0x55) << "byte " << i;
        }
    }
}

TEST_F(KalixModule, PositionsFollowTheSimulatedAxes) {
    setAxis(0, 125000);                       // 12.5 mm at 100 nm per count
    setAxis(1, 2 * kTurnCounts + 100);        // third turn
    setAxis(2, 5 * kMultiTurnCounts + 1000);  // sixth turn of the multi-turn encoder
    module.setRotaryFormat(1, ROTARY_FORMAT_NONE);
    module.setRotaryFormat(2, ROTARY_FORMAT_CONTINUOUS);
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_DOUBLE_EQ(positions[0], 12.5);
    EXPECT_EQ(revolutions[0], 1);
    EXPECT_NEAR(positions[1], degrees(2 * kTurnCounts + 100, kTurnCounts), 1e-9);
    EXPECT_EQ(revolutions[1], 3) << "the turn field counts the first turn as 1";
    EXPECT_NEAR(positions[2], degrees(5 * kMultiTurnCounts + 1000, kMultiTurnCounts), 1e-9);
    EXPECT_EQ(revolutions[2], 5);

    unsigned long counts[8] = {};
    long turns[8] = {};
    ASSERT_EQ(module.getCounts(counts, turns, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(counts[0], 125000UL);
    EXPECT_EQ(counts[1], 100UL);
    EXPECT_EQ(turns[1], 3);
    EXPECT_EQ(counts[2], 1000UL) << "13 single-turn bits";
    EXPECT_EQ(turns[2], 5);

    // Inches, and a device offset added after the conversion.
    module.setUom(UOM_INCH, 0);
    module.setDeviceOffset(0, 1.0);
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_NEAR(positions[0], 12.5 * 0.03937007874 + 1.0, 1e-12);
}

TEST_F(KalixModule, TurnsBelowZeroInBothEncoderKinds) {
    // Single-turn: turn fields 0 and 1 are both the first turn; -1 and -2
    // are the turns below it.
    module.setRotaryFormat(1, ROTARY_FORMAT_NONE);
    const std::int64_t cases[][2] = {{100, 100}, {-3996, -3996}, {-8092, -8092}, {4196, 4196}};
    for (const auto& c : cases) {
        setAxis(1, c[0]);
        ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
                  ZEL_OK);
        EXPECT_NEAR(positions[1], degrees(static_cast<double>(c[1]), kTurnCounts), 1e-9) << c[0];
    }

    // Multi-turn: the encoder's upper half of turns stands for negative ones.
    setAxis(2, -kMultiTurnCounts + 1000);
    module.setRotaryFormat(2, ROTARY_FORMAT_CONTINUOUS);
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_EQ(revolutions[2], 4095);
    EXPECT_NEAR(positions[2], degrees(-7192.0, kMultiTurnCounts), 1e-6);
    module.setRotaryFormat(2, ROTARY_FORMAT_MOD_360);
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_NEAR(positions[2], degrees(-7192.0, kMultiTurnCounts), 1e-6)
        << "within one turn already";

    // A module whose values are wider than the host's 64 bits, at both ends
    // of the range with the largest step: the turns and the step combine
    // without overflow (the sanitizer build traps it) into finite angles.
    edit([](zelsim::ModuleState& s) {
        s.kalix[2].positionBits = 100;
        s.kalix[2].measuringStep = 0xFFFFFFFFu;
    });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    module.setRotaryFormat(2, ROTARY_FORMAT_NONE);
    for (const std::int64_t v : {INT64_MIN, INT64_MIN + 1, INT64_MAX, std::int64_t{-1}}) {
        setAxis(2, v);
        ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
                  ZEL_OK);
        EXPECT_TRUE(std::isfinite(positions[2])) << v;
        EXPECT_EQ(positions[2] < 0, v < 0) << v;
    }
}

TEST_F(KalixModule, RotaryFormatsFoldTheAngle) {
    struct Case {
        std::int64_t counts;
        ROTARY_FORMAT format;
        double expected;
    } cases[] = {
        {2048, ROTARY_FORMAT_PLUS_MINUS_180, -180.0},
        {4096 + 2048, ROTARY_FORMAT_PLUS_MINUS_180, -180.0},
        {-1024, ROTARY_FORMAT_0_360, 270.0},
        {4096 + 1024, ROTARY_FORMAT_0_360, 90.0},
        {4096 + 1024, ROTARY_FORMAT_NONE, 450.0},
        {-4096 - 1024, ROTARY_FORMAT_MOD_360, -90.0},
    };
    for (const Case& c : cases) {
        setAxis(1, c.counts);
        module.setRotaryFormat(1, c.format);
        ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
                  ZEL_OK);
        EXPECT_NEAR(positions[1], c.expected, 1e-9) << c.counts << " format " << c.format;
    }
}

TEST_F(KalixModule, RawUnitsShortAnswersAndSkippedChannels) {
    // Unit counts: the raw low word, revolution entry left alone.
    setAxis(0, -5);
    module.setUom(UOM_COUNTS, 0);
    revolutions[0] = 77;
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_EQ(positions[0], 4294967291.0) << "the low word is unsigned";
    EXPECT_EQ(revolutions[0], 77);

    // A multi-turn encoder with fewer position bits than revolution bits is skipped.
    edit([](zelsim::ModuleState& s) { s.kalix[2].positionBits = 10; });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    positions[2] = 99.0;
    revolutions[2] = 99;
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_EQ(positions[2], 99.0);
    EXPECT_EQ(revolutions[2], 99);

    // Six entries describe four channels; the caller's short array is respected.
    edit([](zelsim::ModuleState& s) { s.numChannels = 6; });
    positions[4] = positions[5] = -1.0;
    ASSERT_EQ(module.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    EXPECT_EQ(positions[4], -1.0);
    EXPECT_EQ(positions[5], -1.0);
    double one[1] = {-1.0};
    long oneTurn[1] = {0};
    setAxis(0, 7);
    ASSERT_EQ(module.getPositions(one, oneTurn, 1, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_DOUBLE_EQ(one[0], 0.0007) << "initialising again restored millimetres";
}

TEST_F(KalixModule, StatusFlagsAndDiagnosticBytes) {
    edit([](zelsim::ModuleState& s) {
        s.kalix[1].errors = {0, 1, 2, 7, 0, 0, 1};
        s.kalix[1].warnings = {1, 0, 0, 0, 255};
        s.kalix[1].diag = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    });
    KALIX_ERROR_RESULT errors[7];
    ASSERT_EQ(module.getErrors(1, errors, 7).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{33, 2, 2, 1, 0}));
    EXPECT_EQ(errors[1], KALIX_ERROR_SET);
    EXPECT_EQ(errors[2], KALIX_ERROR_UNKNOWN);
    EXPECT_EQ(errors[3], KALIX_ERROR_UNKNOWN) << "7 is no flag state";
    EXPECT_EQ(module.getErrors(1, errors, 6).getCode(), ZEL_PARAM_COUNT_MISMATCH);
    KALIX_ERROR_RESULT warnings[5];
    ASSERT_EQ(module.getWarnings(1, warnings, 5).getCode(), ZEL_OK);
    EXPECT_EQ(warnings[0], KALIX_ERROR_SET);
    EXPECT_EQ(warnings[4], KALIX_ERROR_UNKNOWN);

    unsigned char diag[9] = {};
    ASSERT_EQ(module.getDiag(1, diag, 9).getCode(), ZEL_OK);
    EXPECT_EQ(diag[8], 9);
    unsigned char short8[8] = {42, 42, 42, 42, 42, 42, 42, 42};
    ASSERT_EQ(module.getDiag(1, short8, 8).getCode(), ZEL_OK);
    EXPECT_EQ(short8[0], 42) << "a short buffer is not written";

    // An answer without parameters clears the diagnostic bytes; for the
    // flags it is code 5.
    zelsim::Fault empty;
    empty.paramCount = 0;
    segment.setFault(0, 33, empty);
    ASSERT_EQ(module.getDiag(1, diag, 9).getCode(), ZEL_OK);
    EXPECT_EQ(diag[8], 0);
    EXPECT_EQ(module.getErrors(1, errors, 7).getCode(), ZEL_PARAM_COUNT_ZERO);
    segment.setFault(0, 33, {});

    // An answer for another channel.
    segment.setHandler(0, 33, [](zelsim::ModuleState&, const zelsim::Bytes&) {
        return std::optional<zelsim::Bytes>(zelsim::frame(33, 23, zelsim::Bytes(23, 0)));
    });
    EXPECT_EQ(module.getWarnings(1, warnings, 5).getCode(), ZEL_INVALID_CHANNEL_RETURNED);
}

TEST_F(KalixModule, EncoderInfoKeepsTheEncodersStep) {
    EncoderInfo info;
    info.encoderType = ENCODER_TYPE_LINEAR;
    info.uom = UOM_INCH;
    info.measuringStep = 5;
    info.errorCompensation = 0.0;
    ASSERT_TRUE(module.setEncoderInfo(&info, 0));
    EXPECT_EQ(info.measuringStep, kLinearStepNm) << "the caller's record gets the encoder's step";
    EXPECT_EQ(info.errorCompensation, 1.0);
    EncoderInfo stored;
    ASSERT_TRUE(module.getEncoderInfo(&stored, 0));
    EXPECT_EQ(stored.uom, UOM_INCH);
    EXPECT_EQ(stored.measuringStep, kLinearStepNm);
    EXPECT_FALSE(module.setEncoderInfo(&info, 8));
    EXPECT_FALSE(module.setEncoderInfo(nullptr, 0));
    EXPECT_FALSE(module.setUom(UOM_INCH, 8));
}

using KalixUninitialised = SimulatedModule<ZelKalixModule>;

TEST_F(KalixUninitialised, OperationsNeedTheirFlagsAndAFailedStepStopsInitialisation) {
    startModule(kalixModule());
    double positions[8];
    long turns[8];
    unsigned long counts[8];
    KALIX_ERROR_RESULT errors[7];
    unsigned char diag[9];
    EXPECT_EQ(module.getPositions(positions, turns, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getCounts(counts, turns, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getErrors(0, errors, 7).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.getDiag(0, diag, 9).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    EXPECT_EQ(module.initializeModule(nullptr, false).getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());

    // The parameters of the second encoder come back with a wrong count.
    zelsim::Fault wrongCount;
    wrongCount.paramCount = 3;
    segment.setFault(0, 11, wrongCount);
    ZelResults r = module.initializeModule(address.c_str(), false);
    EXPECT_EQ(r.getCode(), ZEL_PARAM_COUNT_MISMATCH);
    EXPECT_STREQ(r.getMethod(), "ZelKalixModule::getParams");
    EXPECT_EQ(module.getErrors(0, errors, 7).getCode(), ZEL_MODULE_DATA_NOT_INITIALIZED);
    DeviceData d;
    ASSERT_TRUE(module.getDeviceData(&d, 2));
    EXPECT_EQ(d.measuringStep, 0u) << "channels not yet read stay zero";
}

}  // namespace
