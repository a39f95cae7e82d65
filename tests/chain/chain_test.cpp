// The chain manager against simulated segments whose physical order differs
// from the address order and from the order the discovery answers arrive
// in. Each createChain waits out 5 s of discovery silence, so these run as
// separate processes in parallel; the tests of the ordering's decisions skip
// its 500 ms pauses with a clock of their own, the first one waits them out.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "chain/zel_interface.h"
#include "platform/clock.h"
#include "sim_segment.h"

namespace {

// Pauses pass at once: the clock records them and moves its wall clock on
// by what it was asked to sleep.
class SkippingClock : public zel::platform::Clock {
  public:
    void sleepMs(unsigned long ms) const override {
        pauses.push_back(ms);
        sleptMs += ms;
    }
    long long wallSeconds() const override { return 1000 + static_cast<long long>(sleptMs / 1000); }
    mutable std::vector<unsigned long> pauses;
    mutable unsigned long long sleptMs = 0;
};

struct Planned {
    int host;
    std::uint32_t id;
    int answerDelayMs;  // of the discovery answer, to shuffle arrival
};

class Chain : public ::testing::Test {
  protected:
    // Adds the modules in physical order; the first one is plugged into the host.
    void build(const std::vector<Planned>& plan) {
        for (std::size_t i = 0; i < plan.size(); ++i) {
            zelsim::ModuleState s;
            s.moduleId = plan[i].id;
            s.numChannels = 4;
            s.connectFlag = i == 0;
            segment.addModule(plan[i].host, s);
            if (plan[i].answerDelayMs > 0) {
                zelsim::Fault late;
                late.delayMs = plan[i].answerDelayMs;
                segment.setFault(i, UDP_CMD_CONNECT, late);
            }
        }
        ASSERT_TRUE(segment.start());
    }
    std::string address(int host) const {
        return "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(host);
    }
    ZelResults create() {
        return chain.createChain(segment.hostAddress().c_str(), 0, false,
                                 zelsim::Segment::kNetmask);
    }
    std::string addressAt(unsigned short index) {
        ZelModule* m = chain.getModule(index);
        return m == nullptr ? "" : m->getModuleData().ipAddress;
    }
    std::vector<int> commands(std::size_t module) {
        std::vector<int> seen;
        for (const auto& r : segment.requests(module)) seen.push_back(r.bytes[0]);
        return seen;
    }

    // The ordering's pauses pass at once (and are recorded in `clock`).
    void skipPauses() { chain.setClock(&clock); }

    zelsim::Segment segment;
    SkippingClock clock;
    ZelInterface chain;
};

TEST_F(Chain, ShuffledMixedChainComesOutInPhysicalOrder) {
    // Physical order Kalix, TTL, LVDT, analog, I/O; addresses and answers shuffled.
    build({{30, ZEL_4105_01, 60},
           {12, ZEL_4115_01, 0},
           {44, ZEL_4116_01, 120},
           {21, ZEL_4111_01, 30},
           {5, ZEL_4109_01, 90}});
    std::set<int> states;
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            states.insert(chain.getChainCreationState());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ZelResults r = create();
    done = true;
    watcher.join();
    ASSERT_EQ(r.code(), ZEL_OK) << r.getMethod();
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_CREATED);
    EXPECT_TRUE(states.count(ZEL_CHAIN_DISCOVERING) && states.count(ZEL_CHAIN_ORDERING));

    ASSERT_EQ(chain.getNumModules(), 5);
    const int physical[] = {30, 12, 44, 21, 5};
    for (unsigned short i = 0; i < 5; ++i) EXPECT_EQ(addressAt(i), address(physical[i])) << i;
    EXPECT_NE(chain.getKalixModule(0), nullptr);
    EXPECT_NE(chain.getTtlModule(1), nullptr);
    EXPECT_NE(chain.getLvdtModule(2), nullptr);
    EXPECT_NE(chain.getAnalogModule(3), nullptr);
    EXPECT_NE(chain.getIoModule(4), nullptr);
    EXPECT_NE(chain.getDeviceModule(1), nullptr);
    EXPECT_EQ(chain.getDeviceModule(2), nullptr) << "an LVDT module is no encoder module here";
    EXPECT_EQ(chain.getKalixModule(1), nullptr);
    EXPECT_EQ(chain.getPneumaticModule(4), nullptr);
    EXPECT_EQ(chain.getModule(5), nullptr);
    EXPECT_EQ(chain.getTtlModule(1)->getNumChannels(), 8) << "the kind's own initialisation ran";

    // The discovery records are kept in arrival order.
    ZELBUSConnectResponse records[64];
    unsigned short count = 0;
    ASSERT_EQ(chain.getConnectResponses(records, &count).code(), ZEL_OK);
    ASSERT_EQ(count, 5);
    const int arrival[] = {12, 21, 30, 5, 44};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(std::string(records[i].ipAddress), address(arrival[i]));

    // Every right output is off at the end.
    for (std::size_t m = 0; m < 5; ++m) {
        segment.withState(m, [](zelsim::ModuleState& s) { EXPECT_FALSE(s.rightOutput); });
    }
}

TEST_F(Chain, OneModuleWaitsForItsLeftInputToSettle) {
    build({{7, ZEL_4101_01, 0}});
    segment.withState(0, [](zelsim::ModuleState& s) { s.leftHighReads = 2; });
    skipPauses();
    ASSERT_EQ(create().code(), ZEL_OK);
    EXPECT_EQ(clock.pauses, (std::vector<unsigned long>{500, 500, 500}))
        << "two pauses while the left input settles, one after the module leads";
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_CREATED);
    const std::vector<int> seen = commands(0);
    ASSERT_GE(seen.size(), 5u);
    EXPECT_EQ(seen.back(), UDP_CMD_SET_RIGHT);
    int leftReads = 0;
    for (int c : seen) leftReads += c == UDP_CMD_GET_LEFT;
    EXPECT_EQ(leftReads, 3) << "two high reads, then the settled one";
    const auto last = segment.requests(0).back().bytes;
    EXPECT_EQ(last[3], 0) << "the last right output command switches it off";
}

TEST_F(Chain, NoAnswerAndTheReservedPort) {
    build({});
    EXPECT_EQ(
        chain.createChain(segment.hostAddress().c_str(), 27300, false, zelsim::Segment::kNetmask)
            .code(),
        ZEL_UDP_PORT_INVALID);
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_NOT_CREATED) << "nothing changed";
    EXPECT_EQ(chain.createChain(nullptr, 0, false, "255.0.0.0").code(), ZEL_NULL_POINTER);
    ZelResults r = create();
    EXPECT_EQ(r.code(), ZEL_BROADCAST_NO_RESPONSE);
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_FAILED);
}

TEST_F(Chain, OfTwoConnectFlagsTheLaterAnswerLeads) {
    // The physically first module answers last; the third also claims to be
    // plugged in but answers first, so the first module still leads.
    build({{40, ZEL_4102_01, 150}, {41, ZEL_4107_01, 0}, {42, ZEL_4113_01, 0}});
    segment.withState(2, [](zelsim::ModuleState& s) { s.connectFlag = true; });
    skipPauses();
    ASSERT_EQ(create().code(), ZEL_OK);
    EXPECT_EQ(clock.pauses.size(), 3U) << "one pause per module found";
    EXPECT_EQ(addressAt(0), address(40));
    EXPECT_EQ(addressAt(2), address(42));
    EXPECT_NE(chain.get1VppModule(0), nullptr);
}

TEST_F(Chain, AStuckLeftInputLeavesTheDiscoveryOrder) {
    build({{50, ZEL_4105_01, 100}, {51, ZEL_4110_01, 0}, {52, ZEL_4114_01, 50}});
    segment.withState(2, [](zelsim::ModuleState& s) { s.leftInputDead = true; });
    skipPauses();
    ZelResults r = create();
    EXPECT_EQ(r.code(), ZEL_CONNECT_IN_NOT_HIGH);
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_FAILED);
    ASSERT_EQ(chain.getNumModules(), 3);
    EXPECT_EQ(addressAt(0), address(51));
    EXPECT_EQ(addressAt(1), address(52));
    EXPECT_EQ(addressAt(2), address(50));
    int leftReads = 0;
    for (int c : commands(2)) leftReads += c == UDP_CMD_GET_LEFT;
    EXPECT_GE(leftReads, 64) << "one read per ordering pass";
}

TEST_F(Chain, ALeftInputThatStaysHighEndsTheSettlingAfter30Seconds) {
    build({{55, ZEL_4107_01, 0}, {56, ZEL_4109_01, 0}});
    segment.withState(1, [](zelsim::ModuleState& s) { s.leftHighReads = 1000000; });
    skipPauses();
    ASSERT_EQ(create().code(), ZEL_OK);
    ASSERT_EQ(clock.pauses.size(), 62U) << "60 pauses of settling, then one per module found";
    EXPECT_EQ(clock.sleptMs, 31000U);
    EXPECT_EQ(addressAt(0), address(55));
    EXPECT_EQ(addressAt(1), address(56));
}

TEST_F(Chain, AModuleThatFailsItsInitialisationStopsTheCreation) {
    build({{60, ZEL_4105_01, 0}, {61, ZEL_4111_01, 80}});
    zelsim::Fault refused;
    refused.type = 17;
    segment.setFault(1, UDP_CMD_GET_MODULE_TYPE, refused);
    ZelResults r = create();
    EXPECT_EQ(r.code(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(chain.getChainCreationState(), ZEL_CHAIN_FAILED);
    ASSERT_EQ(chain.getNumModules(), 1) << "the module created before it stays";
    EXPECT_NE(chain.getKalixModule(0), nullptr);
}

// ---- Without discovery --------------------------------------------------------

TEST_F(Chain, AddModuleChecksTheIdentity) {
    build({{70, ZEL_4113_01, 0}, {71, ZEL_4116_02, 0}});
    ASSERT_EQ(chain.addModule(ZEL_4113_01, address(70).c_str(), false).code(), ZEL_OK);
    ASSERT_NE(chain.getTtlModule(0), nullptr);
    EXPECT_EQ(chain.getTtlModule(0)->getNumChannels(), 4);

    // Asked for as a Kalix module, the LVDT module stays a plain ZelModule.
    EXPECT_EQ(chain.addModule(ZEL_4101_01, address(71).c_str(), false).code(),
              ZEL_MODULE_NOT_IN_ZELBUS);
    ASSERT_EQ(chain.getNumModules(), 2);
    EXPECT_EQ(chain.getModule(1)->getModuleData().moduleId, ZEL_4116_02);
    EXPECT_EQ(chain.getLvdtModule(1), nullptr) << "not of the LVDT class";
    EXPECT_EQ(chain.getKalixModule(1), nullptr);
    EXPECT_EQ(chain.addModule(ZEL_4101_01, nullptr, false).code(), ZEL_NULL_POINTER);

    chain.removeConnections();
    EXPECT_EQ(chain.getNumModules(), 0);
    EXPECT_EQ(chain.getModule(0), nullptr);
}

TEST_F(Chain, FactoryDefaultsReachEveryModule) {
    build({{80, ZEL_4101_01, 0}, {81, ZEL_4109_01, 0}});
    ASSERT_EQ(chain.addModule(ZEL_4101_01, address(80).c_str(), false).code(), ZEL_OK);
    ZelResults r =
        chain.restoreFactoryDefaults(segment.hostAddress().c_str(), 0, zelsim::Segment::kNetmask);
    EXPECT_EQ(r.code(), ZEL_OK) << r.getMethod();
    EXPECT_EQ(chain.getNumModules(), 0) << "the modules are dropped";
    // The broadcast is not answered; wait until each module has logged it.
    for (std::size_t m = 0; m < 2; ++m) {
        bool seen = false;
        for (int tries = 0; tries < 200 && !seen; ++tries) {
            for (const auto& request : segment.requests(m)) {
                seen = seen || (request.bytes[0] == UDP_CMD_FACTORY_DEFAULTS && request.broadcast);
            }
            if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(seen) << m;
    }
}

}  // namespace
