// The station opened by discovering and ordering the chain first: swapped,
// moved and extra modules are found by their chain positions, and the
// file's modules are reached where the chain has them.
#include <gtest/gtest.h>

#include <algorithm>

#include "station_fixture.h"

namespace {

TEST_F(Station, DiscoveringFindsSwappedExtraAndMovedModulesByTheirChainPositions) {
    // Physically: Kalix, TTL, 1 Vpp (the two swapped), LVDT, I/O, pneumatic,
    // analog (moved two places on), power supply, and a module the file
    // does not list.
    startChain([](auto& p) {
        std::swap(p[1], p[2]);
        std::rotate(p.begin() + 4, p.begin() + 5, p.begin() + 7);
        zelsim::ModuleState extra = p[7].state;
        extra.serial = "ZZ000001";
        extra.connectFlag = false;
        p.push_back({40, extra});
    });
    ASSERT_TRUE(station.load(kChainFile.c_str()).ok());
    ZelStationOptions options;
    options.mode = ZEL_STATION_OPEN_DISCOVER;
    const std::string host = segment->hostAddress();
    options.localIp = host.c_str();
    options.broadcastNetmask = zelsim::Segment::kNetmask;
    const ZelStationStatus s = station.open(options);
    ASSERT_EQ(s.code, ZEL_STATION_CHAIN_DIFFERS) << s.message;
    const std::vector<ZelStationDifference> expected = {
        diff(ZEL_STATION_SWAPPED, 1, 2, "AB000121", "AB000122"),
        diff(ZEL_STATION_POSITION_DIFFERS, 4, 6, "4", "6"),
        diff(ZEL_STATION_POSITION_DIFFERS, 5, 4, "5", "4"),
        diff(ZEL_STATION_POSITION_DIFFERS, 6, 5, "6", "5"),
        diff(ZEL_STATION_EXTRA, -1, 8, "", "ZZ 000 001"),
    };
    const auto& got = station.differences();
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, expected[i].kind);
        EXPECT_EQ(got[i].filePosition, expected[i].filePosition);
        EXPECT_EQ(got[i].chainPosition, expected[i].chainPosition);
        EXPECT_STREQ(got[i].expected, expected[i].expected);
        EXPECT_STREQ(got[i].found, expected[i].found);
    }
    // The file's modules are reached where the chain has them.
    EXPECT_EQ(station.getModule(1)->getModuleData().moduleId, ZEL_4107_01);
    std::vector<ZelStationReading> readings;
    EXPECT_EQ(station.read(readings).code, ZEL_STATION_OK);
    EXPECT_STREQ(readings[2].label, "Table X 1");
}

}  // namespace
