// zeltool as a station's tool, run as its own process: --config reads the
// chain a file describes in the file's units, `config check` holds the live
// chain against a file (status 0 only when they agree), `config capture`
// writes a file that --config then runs from, and `listen` prints the
// latch messages a module sends on its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim_chains.h"
#include "sim_segment.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

const std::string kChainFile = std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml";

using tooltest::Outcome;
using tooltest::slurp;

class ZeltoolStation : public ::testing::Test {
  protected:
    void SetUp() override { dir = tooltest::testFolder("zeltool_station_"); }
    void TearDown() override { fs::remove_all(dir); }

    Outcome run(const std::vector<std::string>& args) {
        return tooltest::runProgram(ZELTOOL_PATH, dir, args);
    }
    std::string edited(const std::string& from, const std::string& to) {
        std::string text = slurp(kChainFile);
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos);
        text.replace(at, from.size(), to);
        const fs::path file = dir / "edited.xml";
        std::ofstream(file) << text;
        return file.string();
    }

    fs::path dir;
};

TEST_F(ZeltoolStation, ReadAllFromTheFilePrintsEveryChannelByLabelInTheFilesUnits) {
    const Outcome o = run({"--config", kChainFile, "--simulate=" + kChainFile, "read", "all"});
    ASSERT_EQ(o.status, 0) << o.err;
    std::istringstream lines(o.out);
    std::string line;
    std::vector<std::string> got;
    while (std::getline(lines, line)) got.push_back(line);
    ASSERT_EQ(got.size(), 12u) << o.out;
    // Position, label, value to the file's display step, unit.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"0   Spindle 1", " deg"}, {"0   Spindle 2", " deg"}, {"1   Table X 1", " deg"},
        {"1   Table X 2", " deg"}, {"2   Table Y 1", " deg"}, {"2   Table Y 2", " deg"},
        {"3   Probes 1", " mm"},   {"3   Probes 2", " mm"},   {"4   Pressure 1", " V"},
        {"4   Pressure 1", " mA"}, {"4   Pressure 2", " V"},  {"4   Pressure 2", " mA"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(got[i]);
        EXPECT_EQ(got[i].rfind(expected[i].first, 0), 0u);
        EXPECT_EQ(got[i].substr(got[i].size() - expected[i].second.size()), expected[i].second);
        // Three decimals: the file's DisplayResolution of 0.001.
        const std::size_t dot = got[i].rfind('.');
        ASSERT_NE(dot, std::string::npos);
        EXPECT_EQ(got[i].find(' ', dot) - dot, 4u);
    }
    // No discovery was waited for.
    EXPECT_EQ(o.err.find("discovering"), std::string::npos) << o.err;
}

TEST_F(ZeltoolStation, TargetsAreLabelsOrPositionsOfTheFile) {
    Outcome o = run({"--config", kChainFile, "--simulate=" + kChainFile, "read", "Probes 2"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("3   Probes 2", 0), 0u) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1);

    o = run({"--config", kChainFile, "--simulate=" + kChainFile, "valve", "Air valve", "on"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("open"), std::string::npos) << o.out;

    o = run({"--config", kChainFile, "--simulate=" + kChainFile, "io", "5", "3", "on"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("outputs                      4"), std::string::npos) << o.out;

    o = run({"--config", kChainFile, "--simulate=" + kChainFile, "read", "Nowhere"});
    EXPECT_EQ(o.status, 4);
    EXPECT_NE(o.err.find("no module or channel labelled 'Nowhere'"), std::string::npos) << o.err;

    o = run({"--config", kChainFile, "--simulate=" + kChainFile, "valve", "Clamps", "on"});
    EXPECT_EQ(o.status, 4);
    EXPECT_NE(o.err.find("not a pneumatic module"), std::string::npos) << o.err;
}

TEST_F(ZeltoolStation, AFileValueThatCannotBeAppliedIsNamed) {
    const std::string file =
        edited("<Interpolation>10</Interpolation>", "<Interpolation>3</Interpolation>");
    const Outcome o = run({"--config", file, "--simulate=" + kChainFile, "read", "all"});
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("Interpolation of module 3 (Table Y), channel 1"), std::string::npos)
        << o.err;
    EXPECT_TRUE(o.out.empty());
}

TEST_F(ZeltoolStation, ConfigCheckIsZeroOnlyWhenTheChainAgrees) {
    Outcome o = run({"--simulate=" + kChainFile, "config", "check", kChainFile});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("the chain agrees with"), std::string::npos) << o.out;

    const std::string file = edited("<FirmwareVersion>2.3.1</FirmwareVersion>",
                                    "<FirmwareVersion>2.2.0</FirmwareVersion>");
    o = run({"--simulate=" + kChainFile, "config", "check", file});
    EXPECT_EQ(o.status, 1) << o.out << o.err;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1) << o.out;
    EXPECT_EQ(o.out.rfind("module 0 (Spindle) at 127.", 0), 0u) << o.out;
    EXPECT_NE(o.out.find(": other firmware: the file says 2.2.0, the module 2.3.1\n"),
              std::string::npos)
        << o.out;
}

TEST_F(ZeltoolStation, ACapturedFileRunsTheChainItWasCapturedFrom) {
    const std::string file = (dir / "captured.xml").string();
    Outcome o = run({"--simulate", "config", "capture", file});
    ASSERT_EQ(o.status, 0) << o.err;
    o = run({"--simulate", "--config", file, "read", "Module 5 2"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.find("differ"), std::string::npos) << o.err;
    EXPECT_EQ(o.out.rfind("4   Module 5 2", 0), 0u) << o.out;

    // A file that cannot be written is named once, and nothing is left.
    const std::string nowhere = (dir / "missing" / "captured.xml").string();
    o = run({"--simulate", "config", "capture", nowhere});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("zeltool: " + nowhere + ": its temporary file " + nowhere +
                         ".part cannot be created; nothing was written"),
              std::string::npos)
        << o.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(ZeltoolStation, ListenPrintsTheLatchMessagesAModuleSends) {
    zelsim::Segment segment;
    std::vector<zelsim::PlannedModule> plan = zelsim::defaultChain();
    plan[0].state.asyncPeriodMs = 50;
    plan[0].state.latch = {1, 0, 1, 0, 0};
    zelsim::addChain(segment, plan);
    ASSERT_TRUE(segment.start());
    const std::string address =
        "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(plan[0].host);
    const Outcome o = run({"--local-ip", segment.hostAddress(), "--netmask",
                           zelsim::Segment::kNetmask, "--json", "--count", "2", "listen", address});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\"latch\": 1, \"base inputs\": [0, 1, 0, 0]"), std::string::npos)
        << o.out;
    // Switched off again at the end.
    bool asyncMode = true;
    segment.withState(0, [&](zelsim::ModuleState& s) { asyncMode = s.asyncMode; });
    EXPECT_FALSE(asyncMode);
}

}  // namespace
