// A test fixture with one simulated module on the test's own subnet and the
// library object of a kind that talks to it.
#ifndef ZEL_TESTS_SIM_FIXTURE_H
#define ZEL_TESTS_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "sim_segment.h"

template <typename ModuleClass>
class SimulatedModule : public ::testing::Test {
  protected:
    // Adds the module at 127.N.0.10 and starts the segment.
    void startModule(const zelsim::ModuleState& state) {
        segment.addModule(10, state);
        ASSERT_TRUE(segment.start());
        address = "127." + std::to_string(segment.subnet()) + ".0.10";
    }
    // Starts the module and initialises the object through its kind.
    void startAndInitialise(const zelsim::ModuleState& state) {
        startModule(state);
        ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        segment.clearRequests(0);
    }
    void edit(const std::function<void(zelsim::ModuleState&)>& f) { segment.withState(0, f); }
    zelsim::ModuleState state() {
        zelsim::ModuleState copy;
        segment.withState(0, [&copy](zelsim::ModuleState& s) { copy = s; });
        return copy;
    }
    zelsim::Bytes lastRequest() { return segment.requests(0).back().bytes; }
    std::size_t requestCount() { return segment.requests(0).size(); }

    zelsim::Segment segment;
    std::string address;
    ModuleClass module;
};

#endif  // ZEL_TESTS_SIM_FIXTURE_H
