// What the exchange takes as a command's answer when the segment misbehaves:
// datagrams of other senders, answers cut short, answers that come after
// their time-out, duplicated answers. The simulated module numbers its
// answers with the count of requests it has seen, so a test knows for every
// call whether the value it got was answered to a request of that very call.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "sim_segment.h"
#include "transport/udp_socket.h"
#include "transport/zel_comm.h"

namespace {

class AnswerPairing : public ::testing::Test {
  protected:
    void SetUp() override {
        segment.addModule(10);
        auto counter = seen;
        segment.setHandler(
            0, UDP_CMD_GET_MODULE_TYPE, [counter](zelsim::ModuleState&, const zelsim::Bytes&) {
                const int n = ++*counter;
                return std::optional<zelsim::Bytes>(zelsim::frame(
                    UDP_CMD_GET_MODULE_TYPE, 1,
                    {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                     static_cast<unsigned char>(n >> 16), 0x5A}));
            });
        ASSERT_TRUE(segment.start());
        module = "127." + std::to_string(segment.subnet()) + ".0.10";
        ASSERT_TRUE(comm.initializeComm(module.c_str()));
        zelbus::writeHeader(request, UDP_CMD_GET_MODULE_TYPE, 0, 0);
    }

    struct Tally {
        int ok = 0;
        int failed = 0;
        int stale = 0;       // code 0 with an answer to an earlier call's request
        int longestRun = 0;  // consecutive stale successes
    };

    // Runs `calls` exchanges back to back. An answer is fresh when the
    // module numbered it after the call began.
    Tally run(int calls) {
        Tally t;
        int run = 0;
        for (int i = 0; i < calls; ++i) {
            const int before = seen->load();
            ZelbusResponse response{};
            const ZelResults r = comm.sendCommandWait(request, &response);
            const int after = seen->load();
            if (!r.ok()) {
                ++t.failed;
                run = 0;
                continue;
            }
            ++t.ok;
            const int n = response.data[3] | response.data[4] << 8 | response.data[5] << 16;
            const bool fresh = response.data[6] == 0x5A && n > before && n <= after;
            if (fresh) {
                run = 0;
            } else {
                ++t.stale;
                t.longestRun = std::max(t.longestRun, ++run);
            }
        }
        return t;
    }

    zelsim::Segment segment;
    std::shared_ptr<std::atomic<int>> seen = std::make_shared<std::atomic<int>>(0);
    std::string module;
    ZelComm comm;
    unsigned char request[zelbus::kFrameSize] = {};
};

TEST_F(AnswerPairing, DatagramsOfAnotherSenderAreNeverTheAnswer) {
    zelsim::Fault foreign;
    foreign.foreign = 1;
    foreign.every = 5;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, foreign);
    comm.setUdpTimeout(200);
    const Tally t = run(200);
    EXPECT_EQ(t.ok, 200);
    EXPECT_EQ(t.stale, 0);
}

TEST_F(AnswerPairing, AnswersShorterThanTheyAnnounceFailWithSizeMismatch) {
    zelsim::Fault cut;
    cut.truncate = 5;  // the header announces 4 parameter bytes, 2 arrive
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    comm.setUdpTimeout(200);
    ZelbusResponse response{};
    ZelResults r = comm.sendCommandWait(request, &response);
    EXPECT_EQ(r.getCode(), ZEL_PARAM_SIZE_MISMATCH);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_NE(r.getLine(), 0);

    // An empty datagram is an answer too, a useless one: the call fails with
    // the same code, and the next call does not wait for it as still owed
    // (which would take up to two time-outs).
    cut.truncate = 0;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    comm.setUdpTimeout(2000);
    r = comm.sendCommandWait(request, &response);
    EXPECT_EQ(r.getCode(), ZEL_PARAM_SIZE_MISMATCH);
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, zelsim::Fault{});
    const long long before = zel::platform::monotonicMicroseconds();
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    EXPECT_LT(zel::platform::monotonicMicroseconds() - before, 1000000);

    // A short answer is a failed attempt: a retry with a whole answer succeeds.
    cut.every = 2;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    comm.setUdpNumRetries(1);
    const Tally t = run(50);
    EXPECT_EQ(t.ok, 50);
    EXPECT_EQ(t.stale, 0);
}

TEST_F(AnswerPairing, AnswerCutShortIsNotReadAsZeroCounts) {
    // The counts of a TTL module: a datagram cut after the first channel
    // would read zero for the others.
    zelsim::Segment ttlSegment;
    zelsim::ModuleState state;
    state.moduleId = 58031501;
    state.numChannels = 4;
    for (int c = 0; c < 4; ++c) state.axes[c].set(1000 * (c + 1));
    ttlSegment.addModule(10, state);
    ASSERT_TRUE(ttlSegment.start());
    const std::string address = "127." + std::to_string(ttlSegment.subnet()) + ".0.10";
    ZelTtlModule ttl;
    ASSERT_EQ(ttl.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    zelsim::Fault cut;
    cut.truncate = 9;
    ttlSegment.setFault(0, UDP_CMD_GET_COUNTS, cut);
    unsigned long counts[8] = {};
    EXPECT_EQ(ttl.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode(), ZEL_PARAM_SIZE_MISMATCH);
}

TEST_F(AnswerPairing, LateAnswersAreNeverTakenByALaterCall) {
    // Every third answer comes 15 ms after its 20 ms time-out ran out.
    zelsim::Fault late;
    late.delayMs = 35;
    late.every = 3;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, late);
    comm.setUdpTimeout(20);
    for (short retries : {0, 2}) {
        SCOPED_TRACE(retries);
        comm.setUdpNumRetries(retries);
        const Tally t = run(150);
        EXPECT_EQ(t.stale, 0);
        EXPECT_GT(t.ok, 90);
        if (retries == 0) {
            EXPECT_GT(t.failed, 20);
        }
    }
}

TEST_F(AnswerPairing, ADuplicatedAnswerAffectsAtMostOneCall) {
    // A link of about a millisecond each way that now and then delivers an
    // answer twice; the host polls back to back.
    zelsim::Fault twice;
    twice.delayUs = 800;
    twice.duplicate = true;
    twice.duplicateEvery = 25;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, twice);
    comm.setUdpTimeout(200);
    const Tally t = run(500);
    EXPECT_EQ(t.ok, 500);
    // The hold puts the host back in step at the latest one call after the
    // one that took the duplicate; a host that lost the processor between
    // the two copies can take one more older answer before that.
    EXPECT_LE(t.stale, 2 * 500 / 25);
    EXPECT_LE(t.longestRun, 2) << t.stale << " stale, " << t.failed << " failed";
}

TEST(EarlyAnswerFloor, FollowsTheFastestRecentAnswersAndAFasterModuleAfterAFewHolds) {
    // A module answering in 1 ms, with ten answers of 1 ms and then a slow
    // stretch of 5 ms: a quarter of the fastest of the last 64 to 128
    // answers is early.
    UdpSocket socket;
    for (int i = 0; i < 10; ++i) socket.learnRoundTrip(1000, false);
    for (int i = 0; i < 110; ++i) socket.learnRoundTrip(5000, false);
    EXPECT_TRUE(socket.isEarly(240));
    EXPECT_FALSE(socket.isEarly(260));
    for (int i = 0; i < 10; ++i) socket.learnRoundTrip(5000, false);
    EXPECT_TRUE(socket.isEarly(1200)) << "the fast answers are two windows back";

    // A copy taken because nothing followed it within the hold: copies
    // keep being held, in this window and the next.
    socket.learnRoundTrip(16, true);
    EXPECT_TRUE(socket.isEarly(16));
    for (int i = 0; i < 70; ++i) socket.learnRoundTrip(5000, false);
    EXPECT_TRUE(socket.isEarly(16));

    // The first answer waited for address resolution (or its host stalled);
    // the module then answers in 200 us. Each hold marks the link suspect,
    // as the exchange and the sampler do, so the usual round trip must come
    // down as fast as the floor: its answers stop being held after a few,
    // not after the dozens an average of 20 ms takes to forget.
    UdpSocket fresh;
    fresh.learnRoundTrip(20000, false);
    int holds = 0;
    while (fresh.isEarly(200) && holds < 100) {
        fresh.markSuspect();
        fresh.learnRoundTrip(200, true);
        ++holds;
    }
    EXPECT_LE(holds, 7);
    fresh.learnRoundTrip(200, false);
    EXPECT_FALSE(fresh.isEarly(150));
    EXPECT_TRUE(fresh.isEarly(40));
}

}  // namespace
