// The chain sampler against simulated modules: a snapshot equals the
// modules' own reads value for value, one silent module fails alone, and no
// late or duplicated answer of an earlier sample is ever taken.
#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"
#include "sim_chains.h"
#include "sim_segment.h"

namespace {

std::unique_ptr<ZelModule> objectFor(std::uint32_t id) {
    const auto m = static_cast<MODULE_ID>(id);
    if (ZelModule::isKalixModule(m)) return std::make_unique<ZelKalixModule>();
    if (ZelModule::is1VppModule(m)) return std::make_unique<Zel1VppModule>();
    if (ZelModule::isTtlModule(m)) return std::make_unique<ZelTtlModule>();
    if (ZelModule::isLvdtModule(m)) return std::make_unique<ZelLvdtModule>();
    if (ZelModule::isAnalogModule(m)) return std::make_unique<ZelAnalogModule>();
    return std::make_unique<ZelModule>();
}

class ChainSampler : public ::testing::Test {
  protected:
    // The default chain, every axis frozen where it stands.
    void SetUp() override {
        plan = zelsim::defaultChain();
        for (auto& p : plan) {
            for (auto& axis : p.state.axes) axis.set(axis.count);
        }
        zelsim::addChain(segment, plan);
        ASSERT_TRUE(segment.start());
        for (const auto& p : plan) {
            objects.push_back(objectFor(p.state.moduleId));
            const std::string address =
                "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(p.host);
            ASSERT_EQ(objects.back()->initializeModule(address.c_str(), false).getCode(), ZEL_OK);
            modules.push_back(objects.back().get());
        }
    }

    zelsim::Segment segment;
    std::vector<zelsim::PlannedModule> plan;
    std::vector<std::unique_ptr<ZelModule>> objects;
    std::vector<ZelModule*> modules;
};

TEST_F(ChainSampler, ASnapshotEqualsEachModulesOwnReads) {
    // Settings of the hosts' own, which the conversions must use.
    auto* kalix = dynamic_cast<ZelKalixModule*>(modules[0]);
    ASSERT_NE(kalix, nullptr);
    kalix->setRotaryFormat(1, ROTARY_FORMAT_CONTINUOUS);
    kalix->setDeviceOffset(0, 1.25);
    auto* ttl = dynamic_cast<ZelTtlModule*>(modules[1]);
    ASSERT_NE(ttl, nullptr);
    EncoderInfo linear;
    linear.encoderType = ENCODER_TYPE_LINEAR;
    linear.uom = UOM_MILLIMETRE;
    ttl->setEncoderInfo(&linear, 0);
    ttl->setSignalPeriod(20.0, TTL_INTERPOLATION_1, 0);

    ZelChainSampler sampler(modules.data(), static_cast<unsigned short>(modules.size()));
    ASSERT_EQ(sampler.size(), 5) << "Kalix, TTL, 1 Vpp, LVDT and analog; not the others";
    ASSERT_EQ(sampler.sample().getCode(), ZEL_OK);
    EXPECT_EQ(sampler.failures(), 0);
    for (unsigned short i = 0; i < sampler.size(); ++i) {
        const ZelChainSample& s = sampler.at(i);
        SCOPED_TRACE(ZelModule::showModuleType(s.module->getModuleData().moduleId));
        EXPECT_EQ(s.module, modules[s.position]);
        EXPECT_GT(s.receivedUs, s.sentUs);
        EXPECT_EQ(s.attempts, 1);
        double own[8] = {};
        long turns[8] = {};
        unsigned long counts[8] = {};
        ZelModule* m = s.module;
        if (auto* k = dynamic_cast<ZelKalixModule*>(m)) {
            ASSERT_EQ(k->getPositions(own, turns, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            ASSERT_EQ(k->getCounts(counts, turns, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            for (int c = 0; c < s.numCounts; ++c) EXPECT_EQ(s.revolutions[c], turns[c]) << c;
        } else if (auto* t = dynamic_cast<ZelTtlModule*>(m)) {
            ASSERT_EQ(t->getPositions(own, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            ASSERT_EQ(t->getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
        } else if (auto* v = dynamic_cast<Zel1VppModule*>(m)) {
            ASSERT_EQ(v->getPositions(own, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            ASSERT_EQ(m->ZelModule::getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
        } else if (auto* l = dynamic_cast<ZelLvdtModule*>(m)) {
            ASSERT_EQ(l->getPositions(own, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            long readings[8] = {};
            ASSERT_EQ(l->getReadings(readings, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
            for (int c = 0; c < 8; ++c) counts[c] = static_cast<unsigned long>(readings[c]);
            EXPECT_EQ(readings[1], -350000);
        } else if (auto* a = dynamic_cast<ZelAnalogModule*>(m)) {
            ASSERT_EQ(a->getScaledValues(own, 4, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
        }
        ASSERT_GT(s.numValues, 0);
        for (int c = 0; c < s.numValues; ++c) EXPECT_DOUBLE_EQ(s.values[c], own[c]) << c;
        for (int c = 0; c < s.numCounts; ++c) EXPECT_EQ(s.counts[c], counts[c]) << c;
    }
    EXPECT_DOUBLE_EQ(sampler.at(0).values[0], 12.5 + 1.25) << "the Kalix offset of the host";

    // Selections: positions, and a kind.
    const unsigned short chosen[] = {3, 0};
    ASSERT_EQ(sampler.selectPositions(chosen, 2).getCode(), ZEL_OK);
    ASSERT_EQ(sampler.size(), 2);
    EXPECT_EQ(sampler.at(0).position, 3);
    const unsigned short notMeasuring[] = {2};  // the power supply
    EXPECT_EQ(sampler.selectPositions(notMeasuring, 1).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(sampler.size(), 2) << "a refused selection leaves the last one";
    sampler.selectKinds(ZelModule::isTtlModule);
    ASSERT_EQ(sampler.size(), 1);
    EXPECT_EQ(sampler.sample().getCode(), ZEL_OK);
    // A module initialised again has a new socket (perhaps under the old
    // number): the sampler waits on the new one.
    const std::string ttlAddress = ttl->getModuleData().ipAddress;
    ASSERT_EQ(ttl->initializeModule(ttlAddress.c_str(), false).getCode(), ZEL_OK);
    ttl->setUdpTimeout(200);
    EXPECT_EQ(sampler.sample().getCode(), ZEL_OK);
    EXPECT_EQ(sampler.at(0).attempts, 1);
}

TEST_F(ChainSampler, ASilentModuleFailsAloneAfterItsOwnRetries) {
    for (ZelModule* m : modules) {
        m->setUdpTimeout(100);
        m->setUdpNumRetries(2);
    }
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(3, UDP_CMD_GET_COUNTS, silent);  // the 1 Vpp module
    ZelChainSampler sampler(modules.data(), static_cast<unsigned short>(modules.size()));
    // Sleeping on the sockets, then spinning on them for as long as a long
    // counts (longer than any sample): the same deadlines and retries.
    for (const long spinUs : {0L, std::numeric_limits<long>::max()}) {
        SCOPED_TRACE(spinUs);
        sampler.setSpinWait(spinUs);
        segment.clearRequests(3);
        ZelResults r = sampler.sample();
        EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
        EXPECT_EQ(sampler.failures(), 1);
        for (unsigned short i = 0; i < sampler.size(); ++i) {
            const ZelChainSample& s = sampler.at(i);
            ZelResults own = s.result;
            if (s.position == 3) {
                EXPECT_EQ(own.getCode(), ZEL_RESPONSE_TIMEOUT);
                EXPECT_EQ(s.attempts, 3) << "its own retries";
                EXPECT_EQ(s.receivedUs, 0);
            } else {
                EXPECT_EQ(own.getCode(), ZEL_OK) << s.position;
                EXPECT_EQ(s.attempts, 1) << "the others were asked once";
            }
        }
        int asked = 0;
        for (const auto& req : segment.requests(3)) asked += req.bytes[0] == UDP_CMD_GET_COUNTS;
        EXPECT_EQ(asked, 3);
    }
}

TEST(ChainSamplerPairing, NoLateOrDuplicatedAnswerOfAnEarlierSampleIsTaken) {
    // Four TTL modules numbering their counts answers by the requests they
    // have seen: a value is fresh when it was numbered during this sample.
    zelsim::Segment segment;
    constexpr int kModules = 4;
    std::vector<std::shared_ptr<std::atomic<int>>> seen;
    for (int m = 0; m < kModules; ++m) {
        zelsim::ModuleState s;
        s.moduleId = 58031501;
        s.numChannels = 4;
        segment.addModule(10 + m, s);
        auto counter = std::make_shared<std::atomic<int>>(0);
        seen.push_back(counter);
        segment.setHandler(
            static_cast<std::size_t>(m), UDP_CMD_GET_COUNTS,
            [counter](zelsim::ModuleState&, const zelsim::Bytes&) {
                const int n = ++*counter;
                zelsim::Bytes p(32, 0);
                p[0] = static_cast<std::uint8_t>(n);
                p[1] = static_cast<std::uint8_t>(n >> 8);
                return std::optional<zelsim::Bytes>(zelsim::frame(UDP_CMD_GET_COUNTS, 4, p));
            });
    }
    // Module 1 answers every 7th request after its time-out; module 2 sends
    // every 5th answer twice, back to back, as a switch that floods does.
    // (A copy that lags past the whole next sample behind its original
    // cannot be told from a fresh answer: the protocol numbers nothing.)
    zelsim::Fault late;
    late.delayMs = 30;
    late.every = 7;
    segment.setFault(1, UDP_CMD_GET_COUNTS, late);
    zelsim::Fault twice;
    twice.duplicate = true;
    twice.duplicateGapUs = 0;
    twice.duplicateEvery = 5;
    segment.setFault(2, UDP_CMD_GET_COUNTS, twice);
    ASSERT_TRUE(segment.start());

    std::vector<std::unique_ptr<ZelTtlModule>> objects;
    std::vector<ZelModule*> modules;
    for (int m = 0; m < kModules; ++m) {
        objects.push_back(std::make_unique<ZelTtlModule>());
        const std::string address =
            "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + m);
        ASSERT_EQ(objects.back()->initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        objects.back()->setUdpTimeout(20);
        objects.back()->setUdpNumRetries(1);
        modules.push_back(objects.back().get());
    }
    ZelChainSampler sampler(modules.data(), kModules);
    int ok = 0, stale = 0;
    for (int round = 0; round < 1000; ++round) {
        int before[kModules];
        for (int m = 0; m < kModules; ++m) before[m] = seen[m]->load();
        // Every other sample spins on the sockets instead of sleeping.
        sampler.setSpinWait(round % 2 == 0 ? 0 : 100000);
        (void)sampler.sample();  // each record's own outcome is what counts here
        for (unsigned short i = 0; i < sampler.size(); ++i) {
            const ZelChainSample& s = sampler.at(i);
            ZelResults r = s.result;
            if (!r.ok()) continue;
            ++ok;
            const int n = static_cast<int>(s.counts[0]);
            if (n <= before[s.position] || n > seen[s.position]->load()) ++stale;
        }
    }
    EXPECT_EQ(stale, 0);
    EXPECT_GT(ok, 1000 * kModules * 9 / 10);
}

}  // namespace
