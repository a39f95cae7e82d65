// The simulated modules as the library meets them: every incremental kind
// reports the channels its hardware has and lays its counts answer out for
// them, and a module whose update failed can be updated again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fast_clock.h"
#include "image_builder.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_ttl_module.h"
#include "sim_segment.h"

namespace {

namespace fs = std::filesystem;

// The angle after wrap correction: each wrap spans one count less than 2^32.
double wrappedDegrees(std::int64_t total, std::int64_t wraps, double countsPerTurn) {
    return static_cast<double>(total - wraps) / countsPerTurn * 360.0;
}

struct Incremental {
    const char* name;
    std::uint32_t id;
    std::uint8_t reported;    // what the module state was given
    unsigned short channels;  // what the library counts
};

// The last channel of each module turns a rotary encoder two counter wraps
// and a quarter turn on; the wrap count must come from that channel's place.
TEST(SimulatedModules, IncrementalCountsAnswersFitTheChannelsTheLibraryReads) {
    const Incremental kinds[] = {
        {"TTL 4113 given two channels", 58031301, 2, 4},
        {"TTL 4114", 58031401, 4, 4},
        {"TTL 4115 given four channels", 58031501, 4, 8},
        {"1 Vpp reporting six channels", 58030701, 6, 4},
        {"1 Vpp with eight", 58030801, 8, 8},
    };
    for (const Incremental& k : kinds) {
        SCOPED_TRACE(k.name);
        zelsim::Segment segment;
        zelsim::ModuleState s;
        s.moduleId = k.id;
        s.numChannels = k.reported;
        segment.addModule(10, s);
        ASSERT_TRUE(segment.start());
        const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
        const unsigned short last = static_cast<unsigned short>(k.channels - 1);
        const std::int64_t total = 2 * (1LL << 32) + 10000;
        segment.withState(0, [&](zelsim::ModuleState& m) { m.axes[last].set(total); });
        double positions[8] = {};
        double countsPerTurn = 0;
        if (k.id / 100 % 100 >= 13) {
            ZelTtlModule ttl;
            ASSERT_EQ(ttl.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
            ASSERT_EQ(ttl.getNumChannels(), k.channels);
            ASSERT_TRUE(ttl.setLineCount(1000, TTL_INTERPOLATION_10, last));
            ASSERT_TRUE(ttl.setEncoderType(ENCODER_TYPE_ROTARY, last));
            ASSERT_TRUE(ttl.setUom(UOM_DEGREE, last));
            ttl.setRotaryFormat(last, ROTARY_FORMAT_CONTINUOUS);
            ASSERT_EQ(ttl.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            countsPerTurn = 40000.0;
        } else {
            Zel1VppModule vpp;
            ASSERT_EQ(vpp.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
            ASSERT_EQ(vpp.getNumChannels(), k.channels);
            ASSERT_TRUE(vpp.setLineCount(2048, last));
            ASSERT_TRUE(vpp.setEncoderType(ENCODER_TYPE_ROTARY, last));
            ASSERT_TRUE(vpp.setUom(UOM_DEGREE, last));
            vpp.setRotaryFormat(last, ROTARY_FORMAT_CONTINUOUS);
            ASSERT_EQ(vpp.getPositions(positions, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            countsPerTurn = 2048.0 * 4096;
        }
        EXPECT_NEAR(positions[last], wrappedDegrees(total, 2, countsPerTurn), 1e-3);
        // A plain module object sees the channel count the hardware reports.
        ZelModule plain;
        ASSERT_EQ(plain.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        EXPECT_EQ(plain.getNumChannels(), k.channels);
    }
}

// A firmware update that failed on a refused data line, then the same
// update again on the same simulated module, as a real module allows.
TEST(SimulatedModules, AModuleWhoseUpdateFailedCanBeUpdatedAgain) {
    zelsim::Segment segment;
    zelsim::ModuleState s;
    s.moduleId = 58031301;
    s.bootloaderVersion = {1, 0, 3, 0, 0};
    s.firmwareVersion = {1, 0, 5, 0, 0};
    s.programming.rebootMs = 100;
    s.programming.returnMs = 100;
    s.programming.rejectLine = 5;
    segment.addModule(10, s);
    ASSERT_TRUE(segment.start());
    const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
    const fs::path dir = fs::temp_directory_path() / ("zelsim_again_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "fw.dat").string();
    ASSERT_TRUE(zelimage::writeFile(
        file, zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1, 2048),
                                   zelimage::firmwareImage("2.4.0", 2, 2048)})));
    zelsim::FastClock clock{30};
    ZelModule module;
    module.setClock(&clock);
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    EXPECT_NE(module.program(file.c_str(), false).getCode(), ZEL_OK);
    segment.withState(0, [](zelsim::ModuleState& m) {
        EXPECT_TRUE(m.bootloaderOnly) << "the failed update left only the bootloader";
        m.programming.rejectLine = -1;
    });

    ZelModule again;
    again.setClock(&clock);
    ASSERT_EQ(again.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    ZelResults r = again.program(file.c_str(), false);
    EXPECT_EQ(r.code(), ZEL_OK) << r.getMethod();
    segment.withState(0, [](zelsim::ModuleState& m) {
        EXPECT_FALSE(m.bootloaderOnly);
        EXPECT_EQ(m.firmwareVersion.major, 2);
        EXPECT_EQ(m.programming.finishes, 2);
        EXPECT_EQ(m.programming.choices.size(), 2u) << "the second update's own requests";
    });
    fs::remove_all(dir);
}

}  // namespace
