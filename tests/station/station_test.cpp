// The station against a simulated chain made from the same configuration
// file: a matching chain verifies clean and reads in the file's units
// exactly as the module objects do with the same settings set by hand;
// every kind of difference is reported with its positions; a value that
// cannot be applied is refused with its element, module and channel; a
// captured file opens the chain it was captured from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/zel_config_base.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"
#include "sim_chain_file.h"
#include "sim_chains.h"
#include "sim_segment.h"
#include "station/zel_station.h"
#include "station_fixture.h"

namespace {

TEST_F(Station, AMatchingChainVerifiesAndReadsAsTheModulesDoWithTheSameSettings) {
    startChain();
    ASSERT_TRUE(load(kChainFile).ok());
    const ZelStationStatus s = station.open(ZelStationOptions{});
    for (const auto& d : station.differences()) {
        ADD_FAILURE() << d.kind << " " << d.filePosition << " " << d.expected << " / " << d.found;
    }
    ASSERT_EQ(s.code, ZEL_STATION_OK) << s.message;
    EXPECT_TRUE(station.isVerified());
    EXPECT_TRUE(station.differences().empty());

    std::vector<ZelStationReading> readings;
    const ZelStationStatus r = station.read(readings);
    ASSERT_EQ(r.code, ZEL_STATION_OK) << r.message;

    // The same settings set by hand on objects of the hosts' own.
    ZelKalixModule kalix;
    ASSERT_EQ(kalix.initializeModule(address(hosts[0]).c_str(), false).getCode(), ZEL_OK);
    Zel1VppModule vpp;
    ASSERT_EQ(vpp.initializeModule(address(hosts[1]).c_str(), false).getCode(), ZEL_OK);
    ZelTtlModule ttl;
    ASSERT_EQ(ttl.initializeModule(address(hosts[2]).c_str(), false).getCode(), ZEL_OK);
    ZelLvdtModule lvdt;
    ASSERT_EQ(lvdt.initializeModule(address(hosts[3]).c_str(), false).getCode(), ZEL_OK);
    ZelAnalogModule analog;
    ASSERT_EQ(analog.initializeModule(address(hosts[4]).c_str(), false).getCode(), ZEL_OK);
    double kalixPositions[8] = {}, vppPositions[8] = {}, ttlPositions[8] = {},
           lvdtPositions[8] = {}, analogValues[4] = {};
    long revolutions[8] = {};
    for (unsigned short c = 0; c < 2; ++c) {
        EncoderInfo info;
        ASSERT_TRUE(kalix.getEncoderInfo(&info, c));
        info.encoderType = ENCODER_TYPE_ROTARY;
        info.uom = UOM_MILLIMETRE;
        ASSERT_TRUE(kalix.setEncoderInfo(&info, c));
        ASSERT_TRUE(vpp.setEncoderType(ENCODER_TYPE_ROTARY, c));
        ASSERT_TRUE(vpp.setUom(UOM_MILLIMETRE, c));
        ASSERT_TRUE(vpp.setLineCount(2048, c));
        ASSERT_TRUE(vpp.setSignalPeriod(20, c));
        ASSERT_TRUE(ttl.setEncoderType(ENCODER_TYPE_ROTARY, c));
        ASSERT_TRUE(ttl.setUom(UOM_MILLIMETRE, c));
        ASSERT_TRUE(ttl.setLineCount(2048, TTL_INTERPOLATION_10, c));
        ASSERT_EQ(lvdt.setResolution(c, 0.0001).getCode(), ZEL_OK);
    }
    double resolution = 0, offset = 0;
    for (unsigned short c = 0; c < 2; ++c) {
        ASSERT_EQ(analog.computeResolutionAndOffset(c, &resolution, &offset, 2.0, -2.0, 2.0, -2.0)
                      .getCode(),
                  ZEL_OK);
    }
    ASSERT_EQ(kalix.getPositions(kalixPositions, revolutions, 8, COUNT_REQUEST_NORMAL).getCode(),
              ZEL_OK);
    ASSERT_EQ(vpp.getPositions(vppPositions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    ASSERT_EQ(ttl.getPositions(ttlPositions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    ASSERT_EQ(lvdt.getPositions(lvdtPositions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    ASSERT_EQ(analog.getScaledValues(analogValues, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);

    struct Expected {
        const char* label;
        const char* unit;
        double value;
    };
    const std::vector<Expected> expected = {
        {"Spindle 1", "deg", kalixPositions[0]}, {"Spindle 2", "deg", kalixPositions[1]},
        {"Table X 1", "deg", vppPositions[0]},   {"Table X 2", "deg", vppPositions[1]},
        {"Table Y 1", "deg", ttlPositions[0]},   {"Table Y 2", "deg", ttlPositions[1]},
        {"Probes 1", "mm", lvdtPositions[0]},    {"Probes 2", "mm", lvdtPositions[1]},
        {"Pressure 1", "V", analogValues[0]},    {"Pressure 1", "mA", analogValues[1]},
        {"Pressure 2", "V", analogValues[2]},    {"Pressure 2", "mA", analogValues[3]},
    };
    ASSERT_EQ(readings.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].label);
        EXPECT_STREQ(readings[i].label, expected[i].label);
        EXPECT_STREQ(readings[i].unit, expected[i].unit);
        EXPECT_DOUBLE_EQ(readings[i].value, expected[i].value);
        EXPECT_DOUBLE_EQ(readings[i].displayResolution, 0.001);
    }
    EXPECT_DOUBLE_EQ(lvdtPositions[0], 120000 * 0.0001);

    ZelStationReading one;
    ASSERT_EQ(station.readLabel("Probes 2", &one).code, ZEL_STATION_OK);
    EXPECT_EQ(one.position, 3);
    EXPECT_EQ(one.channel, 1);
    EXPECT_DOUBLE_EQ(one.value, lvdtPositions[1]);
    EXPECT_EQ(station.readLabel("Nowhere", &one).code, ZEL_STATION_NO_SUCH_CHANNEL);
}

TEST(StationSimulation, AFilesProbesAndInputsReadWithinTheirCalibratedRanges) {
    std::vector<zelsim::PlannedModule> plan;
    std::string error;
    ASSERT_TRUE(zelsim::chainFromFile(kChainFile, plan, error)) << error;
    // Two channels over -2 to 2 mm at 0.0001 mm a step: a third in from each end.
    EXPECT_EQ(plan[3].state.lvdt.readings[0], -6667);
    EXPECT_EQ(plan[3].state.lvdt.readings[1], 6667);
    EXPECT_EQ(plan[3].state.lvdt.millivolts[0], -333);
    // The analog inputs the same way over their instrumentation range, and
    // 4 to 20 mA.
    zelsim::AnalogState expected;
    expected.setVolts(0, -2.0 / 3);
    expected.setMilliamps(0, 4.0 + 16.0 / 3);
    expected.setVolts(1, 2.0 / 3);
    expected.setMilliamps(1, 4.0 + 32.0 / 3);
    EXPECT_EQ(plan[4].state.analog.words, expected.words);
}

TEST_F(Station, OpensWithoutBroadcastOrOrderingWalk) {
    startChain();
    ASSERT_TRUE(load(kChainFile).ok());
    ASSERT_EQ(station.open(ZelStationOptions{}).code, ZEL_STATION_OK);
    for (std::size_t m = 0; m < plan.size(); ++m) {
        SCOPED_TRACE(m);
        for (const auto& request : segment->requests(m)) {
            EXPECT_FALSE(request.broadcast);
            // Neither the right output (command 6) nor the left input (5).
            ASSERT_GE(request.bytes.size(), 1u);
            EXPECT_NE(request.bytes[0], 5);
            EXPECT_NE(request.bytes[0], 6);
        }
    }
}

// One difference case: how the simulated chain departs from the file, and
// the report expected.
struct DifferenceCase {
    const char* name;
    std::function<void(std::vector<zelsim::PlannedModule>&)> edit;
    std::vector<ZelStationDifference> expected;
};

TEST_F(Station, ReportsEveryKindOfDifferenceWithItsPositions) {
    const std::vector<DifferenceCase> cases = {
        {"missing",
         [](auto& p) { p.erase(p.begin() + 2); },
         {diff(ZEL_STATION_MISSING, 2, -1, "AB000122", "Response timeout")}},
        {"other model",
         [](auto& p) { p[0].state.moduleId = 58030502; },
         {diff(ZEL_STATION_OTHER_MODEL, 0, 0, "58030501", "58030502")}},
        {"other serial",
         [](auto& p) { p[3].state.serial = "ZZ000999"; },
         {diff(ZEL_STATION_OTHER_SERIAL, 3, 3, "AB000123", "ZZ 000 999")}},
        {"other firmware",
         [](auto& p) {
             p[1].state.firmwareVersion = zelsim::Version{2, 4, 0, 0, 0};
         },
         {diff(ZEL_STATION_OTHER_FIRMWARE, 1, 1, "2.3.1", "2.4.0")}},
        {"swapped",
         [](auto& p) { std::swap(p[5].state.serial, p[6].state.serial); },
         {diff(ZEL_STATION_SWAPPED, 5, 6, "AB000125", "AB 000 126")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        segment.reset();
        startChain(c.edit);
        ASSERT_TRUE(load(kChainFile).ok());
        const ZelStationStatus s = station.open(ZelStationOptions{});
        EXPECT_EQ(s.code, ZEL_STATION_CHAIN_DIFFERS) << s.message;
        EXPECT_FALSE(station.isVerified());
        const auto& got = station.differences();
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.expected[i].kind);
            EXPECT_EQ(got[i].filePosition, c.expected[i].filePosition);
            EXPECT_EQ(got[i].chainPosition, c.expected[i].chainPosition);
            EXPECT_STREQ(got[i].expected, c.expected[i].expected);
            EXPECT_STREQ(got[i].found, c.expected[i].found);
        }
        station.close();
    }
}

struct RefusalCase {
    const char* name;
    const char* from;
    const char* to;
    int occurrence;
    ZEL_XML_ELEMENTS element;
    int position;
    int channel;
};

TEST(StationFile, RefusesAValueThatCannotBeAppliedNamingElementModuleAndChannel) {
    const std::vector<RefusalCase> cases = {
        {"scale factor not a number", "<ScaleFactor>1.0</ScaleFactor>",
         "<ScaleFactor>1,5</ScaleFactor>", 3, ZEL_XML_SCALE_FACTOR, 1, 1},
        {"unknown device type", "<DeviceType>3</DeviceType>", "<DeviceType>2</DeviceType>", 4,
         ZEL_XML_DEVICE_TYPE, 2, 0},
        {"degrees on a linear channel",
         "<DeviceType>3</DeviceType>\n      <RotaryFormatType>0</RotaryFormatType>\n      "
         "<UOM>3</UOM>",
         "<DeviceType>1</DeviceType>\n      <RotaryFormatType>0</RotaryFormatType>\n      "
         "<UOM>4</UOM>",
         0, ZEL_XML_UOM, 0, 0},
        {"TTL interpolation", "<Interpolation>10</Interpolation>",
         "<Interpolation>7</Interpolation>", 1, ZEL_XML_INTERPOLATION, 2, 1},
        {"excitation voltage", "<PrimaryExcitationVoltage>3.0</PrimaryExcitationVoltage>",
         "<PrimaryExcitationVoltage>9</PrimaryExcitationVoltage>", 0,
         ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, 3, -1},
        {"gain code", "<GainCode>7</GainCode>", "<GainCode>300</GainCode>", 1, ZEL_XML_GAIN_CODE, 3,
         1},
        {"zero scale factor", "<ScaleFactor>1.0</ScaleFactor>", "<ScaleFactor>0</ScaleFactor>", 6,
         ZEL_XML_SCALE_FACTOR, 3, 0},
        {"flat calibration", "<ActualMax>2.0</ActualMax>", "<ActualMax>-2.0</ActualMax>", 2,
         ZEL_XML_ACTUAL_MAX, 4, 0},
        {"address", "<Ip>172.31.46.14</Ip>", "<Ip>pressure</Ip>", 0, ZEL_XML_IP, 4, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = editedChainFile("refused.xml", c.from, c.to, c.occurrence);
        ZelStation station;
        const ZelStationStatus s = station.load(file.c_str());
        EXPECT_EQ(s.code, ZEL_STATION_VALUE_REFUSED) << s.message;
        EXPECT_EQ(s.element, static_cast<int>(c.element)) << s.message;
        EXPECT_EQ(s.position, c.position) << s.message;
        EXPECT_EQ(s.channel, c.channel) << s.message;
        EXPECT_NE(std::string(s.message).find(ZelConfigBase::decodeElementType(c.element)),
                  std::string::npos)
            << s.message;
        EXPECT_EQ(station.getNumModules(), 0);
    }
}

TEST(StationFile, AFileThatFailsItsCheckIsNamedWithItsElement) {
    ZelStation station;
    const std::string file = std::string(ZEL_EXAMPLES_DIR) + "/config/missing_lvdt_frequency.xml";
    const ZelStationStatus s = station.load(file.c_str());
    EXPECT_EQ(s.code, ZEL_STATION_FILE_INVALID);
    EXPECT_EQ(s.element, static_cast<int>(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY));
    EXPECT_NE(std::string(s.message).find("PrimaryExcitationFrequency"), std::string::npos);
    EXPECT_EQ(station.open(ZelStationOptions{}).code, ZEL_STATION_NOT_OPEN);
}

TEST_F(Station, AValueTheModuleRefusesClosesTheStationNamingIt) {
    // Below 17.5 kHz the LVDT module needs FPGA revision 512.
    startChain([](auto& p) { p[3].state.lvdt.fpgaRevision = 100; });
    ASSERT_TRUE(load(kChainFile).ok());
    const ZelStationStatus s = station.open(ZelStationOptions{});
    EXPECT_EQ(s.code, static_cast<ZEL_STATION_CODE>(ZEL_FIRMWARE_REVISION_INVALID)) << s.message;
    EXPECT_EQ(s.element, static_cast<int>(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY));
    EXPECT_EQ(s.position, 3);
    EXPECT_EQ(s.channel, -1);
    EXPECT_FALSE(station.isOpen());
    EXPECT_EQ(station.getModule(3), nullptr);
}

TEST_F(Station, ACapturedFileOpensTheSameChainAndVerifiesClean) {
    startChain();
    ZelInterface chain;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        ASSERT_EQ(chain
                      .addModule(static_cast<MODULE_ID>(plan[i].state.moduleId),
                                 address(plan[i].host).c_str(), false)
                      .getCode(),
                  ZEL_OK);
    }
    const std::string file = ::testing::TempDir() + "captured.xml";
    std::remove(file.c_str());
    const ZelStationStatus c = ZelStation::capture(chain, file.c_str(), "Cell 3");
    ASSERT_EQ(c.code, ZEL_STATION_OK) << c.message;

    ZelStation captured;
    const ZelStationStatus s = captured.open(file.c_str(), ZelStationOptions{});
    ASSERT_EQ(s.code, ZEL_STATION_OK) << s.message;
    EXPECT_TRUE(captured.isVerified());
    EXPECT_EQ(captured.getNumModules(), plan.size());
    ZelStationModule info;
    ASSERT_TRUE(captured.getModuleInfo(2, &info));
    EXPECT_STREQ(info.label, "Module 3");
    EXPECT_EQ(captured.getChannelLabel(2, 1), "Module 3 2");
    std::vector<ZelStationReading> readings;
    EXPECT_EQ(captured.read(readings).code, ZEL_STATION_OK);
    EXPECT_FALSE(readings.empty());
}

TEST(StationFile, CaptureOfAnEmptyChainWritesNothing) {
    ZelInterface chain;
    const std::string file = ::testing::TempDir() + "empty.xml";
    std::ofstream(file) << "old";
    EXPECT_EQ(ZelStation::capture(chain, file.c_str()).code, ZEL_STATION_NOT_OPEN);
    EXPECT_EQ(slurp(file), "old");
}

}  // namespace
