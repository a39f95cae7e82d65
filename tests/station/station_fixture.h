// The station tests' fixture: a simulated chain made from the sample
// configuration file, and the file loaded with each module aimed at its
// simulated address.
#ifndef ZEL_TESTS_STATION_FIXTURE_H
#define ZEL_TESTS_STATION_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim_chain_file.h"
#include "sim_chains.h"
#include "sim_segment.h"
#include "station/zel_station.h"

namespace {

const std::string kChainFile = std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml";

inline std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A copy of chain.xml with the n-th occurrence (from 0) of `from` replaced.
inline std::string editedChainFile(const std::string& name, const std::string& from,
                                   const std::string& to, int occurrence = 0) {
    std::string text = slurp(kChainFile);
    std::size_t at = text.find(from);
    for (int i = 0; i < occurrence && at != std::string::npos; ++i) at = text.find(from, at + 1);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

class Station : public ::testing::Test {
  protected:
    // The chain of the file, every axis standing still; `edit` changes the
    // plan before the segment starts.
    void startChain(const std::function<void(std::vector<zelsim::PlannedModule>&)>& edit = {}) {
        std::string error;
        ASSERT_TRUE(zelsim::chainFromFile(kChainFile, plan, error)) << error;
        for (auto& p : plan) {
            for (auto& axis : p.state.axes) axis.set(axis.count);
            p.state.lvdt.readings = {120000, -50000, 7, 0, 0, 0, 0, 0};
        }
        hosts.clear();
        for (const auto& p : plan) hosts.push_back(p.host);
        if (edit) edit(plan);
        segment = std::make_unique<zelsim::Segment>();
        zelsim::addChain(*segment, plan);
        ASSERT_TRUE(segment->start());
    }
    std::string address(int host) const {
        return "127." + std::to_string(segment->subnet()) + ".0." + std::to_string(host);
    }
    // Loads the file with each module aimed at its simulated address.
    ZelStationStatus load(const std::string& file) {
        ZelStationStatus s = station.load(file.c_str());
        if (!s.ok()) return s;
        for (unsigned short i = 0; i < station.getNumModules(); ++i) {
            EXPECT_TRUE(station.setModuleAddress(i, address(hosts[i]).c_str()).ok());
        }
        return s;
    }

    std::unique_ptr<zelsim::Segment> segment;
    std::vector<zelsim::PlannedModule> plan;
    std::vector<int> hosts;  // the file's modules' hosts, in file order
    ZelStation station;
};

inline ZelStationDifference diff(ZEL_STATION_DIFFERENCE kind, short file, short chain,
                                 const char* expected, const char* found) {
    ZelStationDifference d;
    d.kind = kind;
    d.filePosition = file;
    d.chainPosition = chain;
    std::snprintf(d.expected, sizeof(d.expected), "%s", expected);
    std::snprintf(d.found, sizeof(d.found), "%s", found);
    return d;
}

}  // namespace

#endif  // ZEL_TESTS_STATION_FIXTURE_H
