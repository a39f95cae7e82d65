// What a recording becomes before anything is served: the identity and
// channel count each recorded module is simulated with (a TTL recording of
// more than four channels needs the eight-channel model, or the host reads
// four), the Kalix encoders its units ask for, and the exact refusal of a
// kind or a unit a simulated module cannot reproduce.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim_replay.h"
#include "station/zel_recorder.h"
#include "test_folder.h"

namespace {

namespace fs = std::filesystem;

struct ReplayPlan : ::testing::Test {
    fs::path dir;
    void SetUp() override { dir = zeltest::testFolder("replay_plan_"); }
    void TearDown() override { fs::remove_all(dir); }

    // A recording of one module of `kind` at position 1, one channel a
    // unit, with one sample of zeros; returns its path.
    std::string record(const std::string& file, const std::string& kind,
                       const std::vector<std::string>& units) {
        const std::string path = (dir / file).string();
        ZelRecordingContext context;
        context.modules.push_back(
            {1, kind, "127.9.0.21", "", "", "2.3.1", static_cast<unsigned short>(units.size())});
        for (std::size_t c = 0; c < units.size(); ++c)
            context.channels.push_back({1, static_cast<unsigned short>(c), "", units[c]});
        ZelRecorder recorder;
        EXPECT_TRUE(recorder.open(path, context)) << recorder.error();
        ZelAcqRecord r;
        ZelAcqModuleValues v;
        v.position = 1;
        v.numValues = static_cast<unsigned short>(units.size());
        r.modules.push_back(v);
        EXPECT_TRUE(recorder.push(r));
        EXPECT_TRUE(recorder.close()) << recorder.error();
        return path;
    }
};

TEST_F(ReplayPlan, EachKindIsSimulatedWithTheModelItsChannelsNeed) {
    struct Case {
        const char* kind;
        std::vector<std::string> units;
        std::uint32_t id;
        std::uint8_t channels;
    };
    const Case cases[] = {
        {"Kalix encoder", {"mm", "deg", "counts", "counts"}, 58030501, 4},
        {"Kalix encoder", {"counts"}, 58030501, 1},
        {"1 Vpp encoder", {"counts", "counts", "counts", "counts"}, 58030701, 4},
        {"TTL encoder", {"counts"}, 58031401, 1},
        {"TTL encoder", {"counts", "counts", "counts", "counts"}, 58031401, 4},
        {"TTL encoder", std::vector<std::string>(5, "counts"), 58031501, 5},
        {"TTL encoder", std::vector<std::string>(8, "counts"), 58031501, 8},
        {"LVDT", {"counts", "counts"}, 58031601, 2},
        {"analog", {"V", "mA", "V", "mA"}, 58031101, 4},
        {"analog", {"V", "mA"}, 58031101, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + ", " + std::to_string(c.units.size()) + " channels");
        const std::string file = record("plan.zelrec", c.kind, c.units);
        zelsim::Replay replay;
        std::string error;
        ASSERT_TRUE(replay.load(file, error)) << error;
        // Position 0 was not recorded: a power supply holds it.
        const std::vector<zelsim::PlannedModule>& plan = replay.plan();
        ASSERT_EQ(plan.size(), 2u);
        EXPECT_EQ(plan[0].state.moduleId, 58030301u);
        EXPECT_EQ(plan[0].state.numChannels, 0);
        EXPECT_EQ(plan[1].state.moduleId, c.id);
        EXPECT_EQ(plan[1].state.numChannels, c.channels);
        EXPECT_EQ(plan[1].state.serial, plan[0].state.serial);  // none recorded
        EXPECT_EQ(plan[1].state.mac[5], 1);
        fs::remove(file);
    }
}

TEST_F(ReplayPlan, KalixUnitsChooseLinearRotaryOrNoEncoderPerChannel) {
    const std::string file = record("kalix.zelrec", "Kalix encoder", {"mm", "deg", "counts"});
    zelsim::Replay replay;
    std::string error;
    ASSERT_TRUE(replay.load(file, error)) << error;
    const zelsim::ModuleState& s = replay.plan().at(1).state;
    EXPECT_TRUE(s.kalix[0].present);
    EXPECT_FALSE(s.kalix[0].rotary);
    EXPECT_TRUE(s.kalix[1].present);
    EXPECT_TRUE(s.kalix[1].rotary);
    EXPECT_FALSE(s.kalix[2].present);
}

TEST_F(ReplayPlan, RefusesWhatASimulatedModuleCannotReproduceSayingWhere) {
    const std::string cannot =
        "): a simulated module cannot reproduce this value without the recording host's "
        "configuration";
    const std::string noModule = "') the simulator has no measuring module of";
    struct Case {
        const char* kind;
        std::vector<std::string> units;
        std::string says;  // after the path and ": "
    };
    const Case cases[] = {
        {"TTL encoder", {"counts", "mm"}, "module 1 channel 1 (TTL encoder, 'mm'" + cannot},
        {"1 Vpp encoder", {"deg"}, "module 1 channel 0 (1 Vpp encoder, 'deg'" + cannot},
        {"Kalix encoder", {"in"}, "module 1 channel 0 (Kalix encoder, 'in'" + cannot},
        {"LVDT", {"mm"}, "module 1 channel 0 (LVDT, 'mm'" + cannot},
        {"analog", {"mA", "mA"}, "module 1 channel 0 (analog, 'mA'" + cannot},
        {"analog", {"V", "V"}, "module 1 channel 1 (analog, 'V'" + cannot},
        {"I/O", {"counts"}, "module 1 is of a kind ('I/O" + noModule},
        {"pneumatic", {"counts"}, "module 1 is of a kind ('pneumatic" + noModule},
        {"power supply", {"counts"}, "module 1 is of a kind ('power supply" + noModule},
        {"TTL", {"counts"}, "module 1 is of a kind ('TTL" + noModule},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string file = record("refused.zelrec", c.kind, c.units);
        zelsim::Replay replay;
        std::string error;
        EXPECT_FALSE(replay.load(file, error));
        EXPECT_EQ(error, file + ": " + c.says);
        fs::remove(file);
    }
}

}  // namespace
