// The acquisition engine over a station opened from its configuration file:
// a module restarted in the middle of a run comes back with the file's
// settings applied again and read back, while the others keep every sample;
// the same through the C functions over a station handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition_options.h"
#include "sim_chain_file.h"
#include "sim_chains.h"
#include "sim_control.h"
#include "sim_segment.h"
#include "station/zel_acquisition_capi.h"
#include "station/zel_acquisition_station.h"
#include "station/zel_station_capi.h"

namespace {

const std::string kChainFile = std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml";
constexpr std::size_t kTtl = 2;  // the file's TTL module: direction 1, interpolation 10

// The file's chain, simulated and running.
struct FileChain {
    FileChain() {
        started = zelsim::chainFromFile(kChainFile, plan, error);
        if (started) zelsim::addChain(segment, plan);
        started = started && segment.start();
    }
    std::vector<zelsim::PlannedModule> plan;
    std::string error;
    zelsim::Segment segment;
    bool started = false;
};

TEST(AcquisitionOverAStation, ARestartedModuleGetsTheFilesSettingsBackReadBack) {
    FileChain chain;
    ASSERT_TRUE(chain.started) << chain.error;
    const std::vector<zelsim::PlannedModule>& plan = chain.plan;
    zelsim::Segment& segment = chain.segment;
    ZelStation station;
    ASSERT_TRUE(station.load(kChainFile.c_str()).ok());
    for (unsigned short i = 0; i < station.getNumModules(); ++i) {
        const std::string address =
            "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(plan[i].host);
        ASSERT_TRUE(station.setModuleAddress(i, address.c_str()).ok());
    }
    const ZelStationStatus opened = station.open(ZelStationOptions{});
    ASSERT_EQ(opened.code, ZEL_STATION_OK) << opened.message;

    std::vector<ZelModule*> list = stationModules(station);
    ZelStationRestorer restorer(station);
    ZelAcquisition engine(list.data(), static_cast<unsigned short>(list.size()));
    ZelAcquisitionOptions o = fastOptions();
    o.restorer = &restorer;
    ASSERT_EQ(engine.start(o).getCode(), ZEL_OK);
    ZelAcqRecord r;
    while (engine.next(r, 5000) && !(r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 5)) {
    }
    EXPECT_EQ(zelsim::control(segment, "restart 2 1000"),
              "ok module 2 restarted, silent for 1000 ms");
    zelsim::ModuleState state;
    segment.withState(kTtl, [&state](zelsim::ModuleState& s) { state = s; });
    ASSERT_EQ(state.incremental[0].interpolation, 1);

    int restored = -1;
    std::vector<ZelAcqRecord> samples;
    while (engine.next(r, 5000)) {
        if (r.kind == ZEL_ACQ_SAMPLE) samples.push_back(r);
        if (r.kind == ZEL_ACQ_RESTORED) {
            EXPECT_EQ(r.position, kTtl);
            restored = r.code;
        }
        if (r.kind == ZEL_ACQ_HEALTH && r.health == ZEL_ACQ_HEALTH_OK && r.position == kTtl) break;
    }
    engine.stop();
    EXPECT_EQ(restored, ZEL_OK);
    // What the module keeps is the file's again, on every channel.
    segment.withState(kTtl, [&state](zelsim::ModuleState& s) { state = s; });
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        EXPECT_EQ(state.incremental[c].direction, 1);
        EXPECT_EQ(state.incremental[c].interpolation, 10);
        EXPECT_EQ(state.incremental[c].presence, 1);
    }
    // The other measuring modules answered every sample.
    ASSERT_FALSE(samples.empty());
    for (const auto& sample : samples) {
        for (const auto& m : sample.modules) {
            if (m.position == kTtl) continue;
            EXPECT_EQ(m.code, ZEL_OK) << "module " << m.position << " sample " << sample.sequence;
        }
    }
}

// The C functions over a station handle: a host that opened its station
// from the file samples it and gets a restarted module's file settings back.
TEST(AcquisitionOverAStation, FromCTheStationHandleSamplesAndRestoresTheFilesSettings) {
    FileChain chain;
    ASSERT_TRUE(chain.started) << chain.error;
    const std::vector<zelsim::PlannedModule>& plan = chain.plan;
    zelsim::Segment& segment = chain.segment;
    ZelStationHandle station = ZelStationCreate();
    ASSERT_NE(station, nullptr);
    ASSERT_EQ(ZelStationLoad(station, kChainFile.c_str()), ZEL_STATION_OK);

    // Refused before anything runs: what is null, a station not open.
    ZelAcquisitionHandle h = nullptr;
    const struct {
        const char* what;
        ZelStationHandle station;
        ZelAcquisitionHandle* out;
        int code;
    } refused[] = {
        {"null station", nullptr, &h, ZEL_NULL_POINTER},
        {"null handle pointer", station, nullptr, ZEL_NULL_POINTER},
        {"loaded, not open", station, &h, ZEL_STATION_NOT_OPEN},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ZelAcquisitionCreateForStation(c.station, c.out), c.code);
        EXPECT_EQ(h, nullptr);
    }

    for (unsigned short i = 0; i < plan.size(); ++i) {
        const std::string address =
            "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(plan[i].host);
        ASSERT_EQ(ZelStationSetModuleAddress(station, i, address.c_str()), ZEL_STATION_OK);
    }
    ASSERT_EQ(ZelStationOpen(station, ZEL_STATION_OPEN_DIRECT, nullptr, 0, nullptr),
              ZEL_STATION_OK);
    ASSERT_EQ(ZelAcquisitionCreateForStation(station, &h), ZEL_OK);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(ZelAcquisitionStart(h, 50, 0, 0), ZEL_OK);
    ZelAcqRecordC r{};
    while (ZelAcquisitionNext(h, &r, 5000) == ZEL_OK &&
           !(r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 5)) {
    }
    // Positions are the file's.
    bool ttlSampled = false;
    for (unsigned short i = 0; i < r.numModules; ++i) {
        ttlSampled = ttlSampled || (r.modules[i].position == kTtl && r.modules[i].code == 0);
    }
    EXPECT_TRUE(ttlSampled);
    EXPECT_EQ(zelsim::control(segment, "restart 2 500"),
              "ok module 2 restarted, silent for 500 ms");

    int restored = -1;
    bool back = false;
    while (!back && ZelAcquisitionNext(h, &r, 5000) == ZEL_OK) {
        if (r.kind == ZEL_ACQ_RESTORED) {
            EXPECT_EQ(r.position, kTtl);
            EXPECT_EQ(r.returned, ZEL_ACQ_RETURN_REBOOTED);
            restored = r.code;
        }
        back = r.kind == ZEL_ACQ_HEALTH && r.health == ZEL_ACQ_HEALTH_OK && r.position == kTtl;
    }
    EXPECT_TRUE(back);
    EXPECT_EQ(restored, ZEL_OK);
    ZelAcqStatisticsC stats{};
    ASSERT_EQ(ZelAcquisitionGetStatistics(h, &stats), ZEL_OK);
    EXPECT_EQ(stats.restores, 1u);
    EXPECT_EQ(ZelAcquisitionStop(h), ZEL_OK);
    zelsim::ModuleState state;
    segment.withState(kTtl, [&state](zelsim::ModuleState& s) { state = s; });
    EXPECT_EQ(state.incremental[0].direction, 1);
    EXPECT_EQ(state.incremental[1].interpolation, 10);
    ZelAcquisitionDelete(h);
    ZelStationDelete(station);
}

}  // namespace
