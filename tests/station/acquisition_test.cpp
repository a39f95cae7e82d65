// The acquisition engine against simulated modules: a restarted module is
// lost, back and restored while the others keep their samples; a pulled
// cable leaves a gap and no settings sent; a stalled consumer costs records,
// said, not the rate; a stalled sampling thread misses deadlines, said,
// and takes no burst; messages modules send on their own come in the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition_options.h"
#include "modules/zel_ttl_module.h"
#include "sim_control.h"
#include "sim_segment.h"
#include "station/zel_acquisition.h"
#include "station/zel_acquisition_text.h"

namespace {

constexpr int kModules = 4;

// Time that passes only when the engine sleeps, so a test decides when the
// sampling is late: the n-th sleep (from 1) ends `stallUs` after its deadline.
class SteppedClock : public ZelAcquisitionClock {
  public:
    long long nowUs() const override { return now_.load(); }
    void sleepUntilUs(long long us) const override {
        const long long n = ++sleeps_;
        long long to = std::max(now_.load(), us);
        if (n == stallAt) to += stallUs;
        now_ = to;
    }
    long long stallAt = -1;
    long long stallUs = 0;

  private:
    mutable std::atomic<long long> now_{1000000};
    mutable std::atomic<long long> sleeps_{0};
};

// Counting direction 1 on channel 0: the setting a restart takes away.
class DirectionRestorer : public ZelModuleRestorer {
  public:
    ZelResults restore(unsigned short position, ZelModule& module) override {
        ++calls;
        lastPosition = position;
        return dynamic_cast<ZelTtlModule&>(module).setCountingDirection(1, 0);
    }
    std::atomic<int> calls{0};
    std::atomic<int> lastPosition{-1};
};

class Acquisition : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kModules; ++i) {
            zelsim::ModuleState s;
            s.connectFlag = i == 0;
            s.axes[0].set(100 * (i + 1));
            segment.addModule(10 + i, s);
        }
        ASSERT_TRUE(segment.start());
        for (int i = 0; i < kModules; ++i) {
            objects.push_back(std::make_unique<ZelTtlModule>());
            const std::string address =
                "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + i);
            ASSERT_EQ(objects.back()->initializeModule(address.c_str(), false).getCode(), ZEL_OK);
            ASSERT_EQ(objects.back()->setCountingDirection(1, 0).getCode(), ZEL_OK);
            list.push_back(objects.back().get());
            segment.clearRequests(static_cast<std::size_t>(i));
        }
        engine = std::make_unique<ZelAcquisition>(list.data(), kModules);
    }
    zelsim::ModuleState state(std::size_t i) {
        zelsim::ModuleState copy;
        segment.withState(i, [&copy](zelsim::ModuleState& s) { copy = s; });
        return copy;
    }
    // Reads records until `done` says so or `limit` records came.
    std::vector<ZelAcqRecord> readUntil(const std::function<bool(const ZelAcqRecord&)>& done,
                                        std::size_t limit = 100000) {
        std::vector<ZelAcqRecord> out;
        ZelAcqRecord r;
        while (out.size() < limit && engine->next(r, 5000)) {
            out.push_back(r);
            if (done(r)) break;
        }
        return out;
    }
    static std::size_t countOf(const std::vector<ZelAcqRecord>& records, int kind) {
        std::size_t n = 0;
        for (const auto& r : records) n += r.kind == kind ? 1 : 0;
        return n;
    }

    zelsim::Segment segment;
    std::vector<std::unique_ptr<ZelTtlModule>> objects;
    std::vector<ZelModule*> list;
    std::unique_ptr<ZelAcquisition> engine;
};

TEST_F(Acquisition, ARestartedModuleIsLostThenRestoredWhileTheOthersKeepTheirSamples) {
    DirectionRestorer restorer;
    ZelAcquisitionOptions o = fastOptions();
    o.restorer = &restorer;
    ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
    EXPECT_EQ(state(1).asyncPort, engine->asyncPort());
    readUntil([](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 10; });
    EXPECT_EQ(zelsim::control(segment, "restart 1 1000"),
              "ok module 1 restarted, silent for 1000 ms");
    EXPECT_EQ(state(1).incremental[0].direction, 0);
    const auto records = readUntil([](const ZelAcqRecord& r) {
        return r.kind == ZEL_ACQ_HEALTH && r.position == 1 && r.health == ZEL_ACQ_HEALTH_OK;
    });
    engine->stop();

    // Its health, in order: failing, lost, restored, a gap, ok again.
    std::vector<int> seen;
    for (const auto& r : records) {
        if (r.kind == ZEL_ACQ_HEALTH) {
            ASSERT_EQ(r.position, 1);
            seen.push_back(r.health);
        }
        if (r.kind == ZEL_ACQ_RESTORED || r.kind == ZEL_ACQ_GAP) {
            EXPECT_EQ(r.position, 1);
            EXPECT_EQ(r.returned, ZEL_ACQ_RETURN_REBOOTED);
            seen.push_back(100 + r.kind);
        }
        if (r.kind == ZEL_ACQ_RESTORED) {
            EXPECT_EQ(r.code, ZEL_OK);
        }
        if (r.kind == ZEL_ACQ_HEALTH && r.health == ZEL_ACQ_HEALTH_LOST) {
            EXPECT_EQ(r.code, ZEL_RESPONSE_TIMEOUT);
        }
        if (r.kind != ZEL_ACQ_SAMPLE) continue;
        // The other modules answered every sample.
        ASSERT_EQ(r.modules.size(), 4u);
        for (int i : {0, 2, 3}) {
            SCOPED_TRACE("module " + std::to_string(i) + " sample " + std::to_string(r.sequence));
            EXPECT_EQ(r.modules[i].code, ZEL_OK);
            EXPECT_EQ(r.modules[i].numValues, 4);
        }
    }
    const std::vector<int> expected = {ZEL_ACQ_HEALTH_FAILING, ZEL_ACQ_HEALTH_LOST,
                                       100 + ZEL_ACQ_RESTORED, 100 + ZEL_ACQ_GAP,
                                       ZEL_ACQ_HEALTH_OK};
    EXPECT_EQ(seen, expected);
    // The settings it lost are back, told over the wire and read back.
    EXPECT_EQ(restorer.calls.load(), 1);
    EXPECT_EQ(restorer.lastPosition.load(), 1);
    EXPECT_EQ(state(1).incremental[0].direction, 1);
    EXPECT_EQ(state(1).asyncPort, engine->asyncPort());
    const ZelAcqStatistics s = engine->statistics();
    EXPECT_EQ(s.losses, 1u);
    EXPECT_EQ(s.returns, 1u);
    EXPECT_EQ(s.restores, 1u);
}

// A module back in its bootloader gets its firmware started (a reset), then
// counts as rebooted; one whose firmware does not start is said once, with
// code 42, and stays lost with probes that back off.
TEST_F(Acquisition, AModuleBackInItsBootloaderIsStartedOrSaidNeverLeftThereSilently) {
    const struct {
        const char* command;
        bool starts;
    } cases[] = {
        {"restart 2 1000 bootloader", true},
        {"restart 2 1000 broken", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        DirectionRestorer restorer;
        ZelAcquisitionOptions o = fastOptions();
        o.restorer = &restorer;
        ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
        readUntil(
            [](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 5; });
        EXPECT_EQ(zelsim::control(segment, c.command).rfind("ok module 2 restarted", 0), 0u);
        EXPECT_TRUE(state(2).bootloaderOnly);
        segment.clearRequests(2);
        const auto records = readUntil([&c](const ZelAcqRecord& r) {
            const bool back = r.kind == ZEL_ACQ_HEALTH && r.health == ZEL_ACQ_HEALTH_OK;
            const bool stuck = r.kind == ZEL_ACQ_HEALTH && r.previous == ZEL_ACQ_HEALTH_LOST &&
                               r.health == ZEL_ACQ_HEALTH_LOST;
            return c.starts ? back : stuck;
        });
        ASSERT_FALSE(records.empty());
        const ZelAcqRecord& last = records.back();
        EXPECT_EQ(last.position, 2);
        EXPECT_EQ(last.returned, ZEL_ACQ_RETURN_BOOTLOADER);
        if (c.starts) {
            // Started, restored and read back, rejoined: said as from its bootloader.
            EXPECT_EQ(last.previous, ZEL_ACQ_HEALTH_LOST);
            std::size_t restored = 0;
            for (const auto& r : records) {
                if (r.kind != ZEL_ACQ_RESTORED && r.kind != ZEL_ACQ_GAP) continue;
                EXPECT_EQ(r.returned, ZEL_ACQ_RETURN_BOOTLOADER);
                if (r.kind == ZEL_ACQ_RESTORED) {
                    EXPECT_EQ(r.code, ZEL_OK);
                    ++restored;
                }
            }
            EXPECT_EQ(restored, 1u);
            EXPECT_FALSE(state(2).bootloaderOnly);
            EXPECT_EQ(state(2).incremental[0].direction, 1);
            EXPECT_EQ(restorer.calls.load(), 1);
        } else {
            EXPECT_EQ(last.code, ZEL_FIRMWARE_NOT_LOADED);
            // Probed on with pauses that double up to 100 ms: over the next
            // 600 ms a few more resets, no second record, never back.
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            ZelAcqRecord r;
            while (engine->next(r, 0)) {
                EXPECT_FALSE(r.kind == ZEL_ACQ_HEALTH || r.kind == ZEL_ACQ_RESTORED ||
                             r.kind == ZEL_ACQ_GAP)
                    << "kind " << r.kind;
                if (r.kind == ZEL_ACQ_SAMPLE) {
                    EXPECT_EQ(r.modules[2].health, ZEL_ACQ_HEALTH_LOST);
                }
            }
            EXPECT_TRUE(state(2).bootloaderOnly);
            EXPECT_EQ(restorer.calls.load(), 0);
        }
        std::size_t resets = 0;
        for (const auto& request : segment.requests(2)) resets += request.bytes[0] == 3 ? 1 : 0;
        EXPECT_GE(resets, 1u);
        EXPECT_LE(resets, c.starts ? 1u : 20u);
        engine->stop();
        EXPECT_GE(engine->statistics().firmwareStarts, 1u);
        segment.withState(2, [](zelsim::ModuleState& s) { s.programming.firmwareStarts = true; });
        segment.restartModule(2, 0);
    }
}

TEST_F(Acquisition, APulledCableLeavesAGapForThatModuleOnlyAndSendsNoSettings) {
    DirectionRestorer restorer;
    ZelAcquisitionOptions o = fastOptions();
    o.restorer = &restorer;
    ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
    readUntil([](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 5; });
    EXPECT_EQ(zelsim::control(segment, "unplug 2 1000"), "ok module 2 unplugged for 1000 ms");
    const auto records = readUntil([](const ZelAcqRecord& r) {
        return r.kind == ZEL_ACQ_HEALTH && r.position == 2 && r.health == ZEL_ACQ_HEALTH_OK;
    });
    engine->stop();

    const ZelAcqRecord* gap = nullptr;
    for (const auto& r : records) {
        if (r.kind == ZEL_ACQ_GAP) gap = &r;
    }
    ASSERT_NE(gap, nullptr);
    unsigned long long lostSamples = 0;
    for (const auto& r : records) {
        EXPECT_NE(r.kind, ZEL_ACQ_RESTORED);
        if (r.kind == ZEL_ACQ_HEALTH || r.kind == ZEL_ACQ_GAP) {
            EXPECT_EQ(r.position, 2);
        }
        if (r.kind != ZEL_ACQ_SAMPLE) continue;
        for (int i : {0, 1, 3}) EXPECT_EQ(r.modules[i].code, ZEL_OK);
        // The gap spans exactly the samples module 2 was left out of.
        const bool inGap = r.sequence >= gap->sequence && r.sequence < gap->sequence + gap->count;
        EXPECT_EQ(r.modules[2].health == ZEL_ACQ_HEALTH_LOST, inGap) << "sample " << r.sequence;
        if (inGap) {
            ++lostSamples;
            EXPECT_EQ(r.modules[2].numValues, 0);
        }
    }
    EXPECT_EQ(gap->returned, ZEL_ACQ_RETURN_INTACT);
    EXPECT_GT(lostSamples, 0u);
    EXPECT_EQ(restorer.calls.load(), 0);
    // Nothing was set after the cable came back: no direction, no port.
    for (const auto& request : segment.requests(2)) {
        if (request.bytes[0] == 15) ADD_FAILURE() << "a channel setting was sent";
    }
    EXPECT_EQ(state(2).incremental[0].direction, 1);
}

TEST_F(Acquisition, AStalledConsumerCostsRecordsSaidInTheStreamNotTheRate) {
    SteppedClock clock;
    ZelAcquisitionOptions o = fastOptions();
    o.rateHz = 1000;
    o.queueCapacity = 8;
    o.clock = &clock;
    ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
    // Nobody reads; the sampling goes on regardless.
    for (int i = 0; i < 5000 && engine->statistics().samples < 60; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(engine->statistics().samples, 60u);
    EXPECT_EQ(engine->statistics().queued, 8u);
    const auto records = readUntil([](const ZelAcqRecord& r) { return r.sequence >= 150; });
    engine->stop();
    // Every deadline is a sample or inside an overflow, in order.
    unsigned long long expected = 0;
    unsigned long long overflowed = 0;
    for (const auto& r : records) {
        SCOPED_TRACE("record of kind " + std::to_string(r.kind) + " sequence " +
                     std::to_string(r.sequence));
        ASSERT_TRUE(r.kind == ZEL_ACQ_SAMPLE || r.kind == ZEL_ACQ_OVERFLOW);
        ASSERT_EQ(r.sequence, expected);
        expected += r.kind == ZEL_ACQ_SAMPLE ? 1 : r.count;
        overflowed += r.kind == ZEL_ACQ_OVERFLOW ? r.count : 0;
    }
    EXPECT_GE(overflowed, 52u);
    EXPECT_GE(engine->statistics().overflows, overflowed);
    EXPECT_EQ(engine->statistics().missedDeadlines, 0u);
}

TEST_F(Acquisition, AStalledSamplingThreadMissesDeadlinesSaidAndTakesNoBurst) {
    SteppedClock clock;
    clock.stallAt = 10;
    clock.stallUs = 25 * 1000;  // 25 periods
    ZelAcquisitionOptions o = fastOptions();
    o.rateHz = 1000;
    o.clock = &clock;
    ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
    const auto records = readUntil(
        [](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 60; });
    engine->stop();
    std::vector<unsigned long long> samples;
    const ZelAcqRecord* missed = nullptr;
    for (const auto& r : records) {
        if (r.kind == ZEL_ACQ_SAMPLE) {
            samples.push_back(r.sequence);
            EXPECT_EQ(r.deadlineUs, 1000000 + 1000LL * static_cast<long long>(r.sequence));
        }
        if (r.kind == ZEL_ACQ_MISSED) {
            ASSERT_EQ(missed, nullptr) << "one stall, one record";
            missed = &r;
        }
    }
    ASSERT_NE(missed, nullptr);
    // The sample of the stalled deadline, then the missed ones said in one
    // record, then the sampling goes on at the deadline it is at.
    const unsigned long long stalled = 10;  // the 10th sleep is before sample 10
    EXPECT_EQ(missed->sequence, stalled + 1);
    EXPECT_EQ(missed->count, 24u);
    for (unsigned long long k = 0; k < samples.size(); ++k) {
        const unsigned long long want = k <= stalled ? k : k + 24;
        ASSERT_EQ(samples[k], want) << "sample " << k;
    }
    const ZelAcqStatistics s = engine->statistics();
    EXPECT_EQ(s.missedDeadlines, 24u);
    EXPECT_EQ(s.maxLatenessUs, 25000);
}

TEST_F(Acquisition, WakingEarlyOrRealTimeEverySampleStartsAtItsDeadlineNeverBefore) {
    const struct {
        const char* what;
        long wakeEarlyUs;
        int priority;
    } cases[] = {
        {"sleeping to the deadline", 0, 0},
        {"waking 300 us early", 300, 0},
        {"waking more than a period early", 5000, 0},
        {"real-time, waking 300 us early", 300, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SteppedClock clock;
        ZelAcquisitionOptions o = fastOptions();
        o.rateHz = 1000;
        o.clock = &clock;
        o.wakeEarlyUs = c.wakeEarlyUs;
        o.realtimePriority = c.priority;
        ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
        const auto records = readUntil(
            [](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 40; });
        engine->stop();
        unsigned long long expected = 0;
        for (const auto& r : records) {
            if (r.kind != ZEL_ACQ_SAMPLE) continue;
            ASSERT_EQ(r.sequence, expected++);
            ASSERT_EQ(r.deadlineUs, 1000000 + 1000LL * static_cast<long long>(r.sequence));
            ASSERT_EQ(r.requestUs, r.deadlineUs);
            ASSERT_EQ(r.modules.size(), static_cast<std::size_t>(kModules));
            for (const auto& m : r.modules) ASSERT_EQ(m.code, ZEL_OK);
        }
        EXPECT_EQ(engine->statistics().missedDeadlines, 0u);
        // Without asking, never real-time.
        if (c.priority == 0) {
            EXPECT_FALSE(engine->statistics().realtime);
        }
    }
}

TEST_F(Acquisition, MessagesModulesSendComeBetweenTheSamples) {
    ZelAcquisitionOptions o = fastOptions();
    o.asyncMessages = true;
    ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
    EXPECT_TRUE(state(3).asyncMode);
    readUntil([](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 3; });
    segment.withState(3, [](zelsim::ModuleState& s) {
        s.latch[0] = 1;
        s.channelStatus[1] = 7;
    });
    const auto records = readUntil(
        [](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_ASYNC && r.messageType == 33; });
    engine->stop();
    std::size_t latches = 0;
    unsigned long long lastSample = 0;
    for (const auto& r : records) {
        if (r.kind == ZEL_ACQ_SAMPLE) lastSample = r.sequence;
        if (r.kind != ZEL_ACQ_ASYNC) continue;
        EXPECT_EQ(r.position, 3);
        EXPECT_GT(r.sequence, lastSample);  // filed before the sample it came before
        if (r.messageType == 22) {
            ++latches;
            EXPECT_EQ(r.latch[0], 1);
        } else {
            EXPECT_EQ(r.channel, 1);
            EXPECT_EQ(r.status, 7);
        }
    }
    EXPECT_EQ(latches, 1u);
    EXPECT_EQ(engine->statistics().asyncMessages, 2u);
}

TEST_F(Acquisition, StartRefusesWhatCannotRun) {
    const struct {
        const char* what;
        void (*edit)(ZelAcquisitionOptions&);
    } cases[] = {
        {"rate 0", [](ZelAcquisitionOptions& o) { o.rateHz = 0; }},
        {"rate above 100 kHz", [](ZelAcquisitionOptions& o) { o.rateHz = 100001; }},
        {"capacity 3", [](ZelAcquisitionOptions& o) { o.queueCapacity = 3; }},
        {"never lost", [](ZelAcquisitionOptions& o) { o.failuresToLost = 0; }},
        {"bound below first pause", [](ZelAcquisitionOptions& o) { o.probeMaxMs = 5; }},
        {"negative time-out", [](ZelAcquisitionOptions& o) { o.answerTimeoutMs = -1; }},
        {"negative early wake", [](ZelAcquisitionOptions& o) { o.wakeEarlyUs = -1; }},
        {"priority -1", [](ZelAcquisitionOptions& o) { o.realtimePriority = -1; }},
        {"priority 100", [](ZelAcquisitionOptions& o) { o.realtimePriority = 100; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZelAcquisitionOptions o = fastOptions();
        c.edit(o);
        EXPECT_EQ(engine->start(o).getCode(), ZEL_OUT_OF_RANGE);
        EXPECT_FALSE(engine->isRunning());
    }
    // Nothing was sent to the modules.
    EXPECT_EQ(state(0).asyncPort, 0);
    ASSERT_EQ(engine->start(fastOptions()).getCode(), ZEL_OK);
    EXPECT_EQ(engine->start(fastOptions()).getCode(), ZEL_MODULE_CREATED_TWICE);
    engine->stop();
    engine->stop();
    EXPECT_FALSE(engine->isRunning());
    // The modules have their own exchange settings back.
    EXPECT_EQ(list[0]->getUdpTimeout(), ZelComm::kDefaultUdpTimeoutMs);
}

TEST(AcquisitionWithoutModules, RefusesToStart) {
    ZelAcquisition engine(nullptr, 0);
    EXPECT_EQ(engine.start(ZelAcquisitionOptions{}).getCode(), ZEL_OUT_OF_RANGE);
}

}  // namespace

// A module silent for less than the failed samples that make it lost: a
// restart still gets its settings back, a cut link still gets none.
TEST_F(Acquisition, AShortSilenceIsCheckedForARestartBeforeTheModuleRejoins) {
    const struct {
        const char* command;
        int returned;
        int restores;
    } cases[] = {
        {"restart 1 300", ZEL_ACQ_RETURN_REBOOTED, 1},
        {"unplug 1 300", ZEL_ACQ_RETURN_INTACT, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        DirectionRestorer restorer;
        ZelAcquisitionOptions o = fastOptions();
        o.restorer = &restorer;
        o.failuresToLost = 1000;  // never lost by its failed samples here
        ASSERT_EQ(engine->start(o).getCode(), ZEL_OK);
        readUntil(
            [](const ZelAcqRecord& r) { return r.kind == ZEL_ACQ_SAMPLE && r.sequence >= 5; });
        EXPECT_EQ(zelsim::control(segment, c.command).rfind("ok module 1", 0), 0u);
        const auto records = readUntil([](const ZelAcqRecord& r) {
            return r.kind == ZEL_ACQ_HEALTH && r.position == 1 && r.health == ZEL_ACQ_HEALTH_OK;
        });
        engine->stop();
        ASSERT_FALSE(records.empty());
        const ZelAcqRecord& back = records.back();
        EXPECT_EQ(back.previous, ZEL_ACQ_HEALTH_FAILING);
        EXPECT_EQ(back.returned, c.returned);
        for (const auto& r : records) {
            if (r.kind == ZEL_ACQ_HEALTH) {
                EXPECT_NE(r.health, ZEL_ACQ_HEALTH_LOST);
            }
        }
        EXPECT_EQ(countOf(records, ZEL_ACQ_RESTORED), static_cast<std::size_t>(c.restores));
        EXPECT_EQ(restorer.calls.load(), c.restores);
        EXPECT_EQ(state(1).incremental[0].direction, 1);
        EXPECT_EQ(state(1).asyncPort, engine->asyncPort());
        EXPECT_EQ(engine->statistics().losses, 0u);
        ZelAcqRecord rest;
        while (engine->next(rest, 0)) {
        }
    }
}

// The fields of an event record, as zeltool, the MQTT payloads and the web
// view all write them: each kind names what it carries, no more.
TEST(AcquisitionText, EachEventKindWritesTheFieldsItCarries) {
    const auto record = [](int kind) {
        ZelAcqRecord r;
        r.kind = kind;
        r.count = 3;
        r.position = 2;
        r.previous = ZEL_ACQ_HEALTH_LOST;
        r.health = ZEL_ACQ_HEALTH_BACK;
        r.returned = ZEL_ACQ_RETURN_REBOOTED;
        r.code = 1;
        r.channel = 1;
        r.status = 7;
        r.latch[4] = 1;
        return r;
    };
    ZelAcqRecord latch = record(ZEL_ACQ_ASYNC);
    latch.messageType = 22;
    ZelAcqRecord status = record(ZEL_ACQ_ASYNC);
    status.messageType = 33;
    const struct {
        ZelAcqRecord r;
        const char* fields;
    } cases[] = {
        {record(ZEL_ACQ_SAMPLE), ""},
        {record(ZEL_ACQ_MISSED), ",\"count\":3"},
        {record(ZEL_ACQ_OVERFLOW), ",\"count\":3"},
        {record(ZEL_ACQ_HEALTH),
         ",\"position\":2,\"from\":\"lost\",\"to\":\"back\",\"code\":1,\"returned\":\"rebooted\""},
        {record(ZEL_ACQ_GAP), ",\"position\":2,\"count\":3,\"returned\":\"rebooted\""},
        {record(ZEL_ACQ_RESTORED), ",\"position\":2,\"code\":1"},
        {latch, ",\"position\":2,\"message\":22,\"latch\":[0,0,0,0,1]"},
        {status, ",\"position\":2,\"message\":33,\"channel\":1,\"status\":7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(zelAcqKindName(c.r.kind));
        EXPECT_EQ(zelAcqEventFields(c.r, false), c.fields);
    }
    EXPECT_EQ(zelAcqEventFields(record(ZEL_ACQ_RESTORED), true), ", \"position\": 2, \"code\": 1");
}
