// The command exchange against a simulated module over real loopback
// sockets: attempts, time-outs, stale and oversize datagrams, network delay.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim_segment.h"
#include "transport/zel_comm.h"

namespace {

// The real clock, recording every sleep it is asked for.
class RecordingClock : public zel::platform::Clock {
  public:
    void sleepMs(unsigned long ms) const override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            sleeps.push_back(ms);
        }
        Clock::sleepMs(ms);
    }
    std::vector<unsigned long> taken() const {
        std::lock_guard<std::mutex> lock(mutex);
        return sleeps;
    }
    mutable std::mutex mutex;
    mutable std::vector<unsigned long> sleeps;
};

class Exchange : public ::testing::Test {
  protected:
    void SetUp() override {
        segment.addModule(10);
        ASSERT_TRUE(segment.start());
        module = "127." + std::to_string(segment.subnet()) + ".0.10";
        ASSERT_TRUE(comm.initializeComm(module.c_str()));
        zelbus::writeHeader(request, UDP_CMD_GET_MODULE_TYPE, 0, 0);
    }
    std::size_t requestsSeen(int command) {
        std::size_t n = 0;
        for (const auto& r : segment.requests(0)) n += !r.bytes.empty() && r.bytes[0] == command;
        return n;
    }

    zelsim::Segment segment;
    std::string module;
    ZelComm comm;
    unsigned char request[zelbus::kFrameSize] = {};
    ZelbusResponse response{};
};

TEST_F(Exchange, AnswerIsReceivedAndRequestSentAsParamLengthPlusThree) {
    zelbus::writeHeader(request, UDP_CMD_CONNECT, 3, 9);
    request[3] = 0xAB;
    ZelResults r = comm.sendCommandWait(request, &response);
    ASSERT_EQ(r.getCode(), ZEL_OK);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_EQ(response.command, UDP_CMD_CONNECT_MESSAGE);
    const auto seen = segment.requests(0);
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].bytes.size(), 12u);
    EXPECT_EQ(seen[0].bytes[0], 0);
    EXPECT_EQ(seen[0].bytes[3], 0xAB);
}

TEST_F(Exchange, TimesOutAfterRetriesPlusOneAttempts) {
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, silent);
    comm.setUdpTimeout(50);
    comm.setUdpNumRetries(2);
    ZelResults r = comm.sendCommandWait(request, &response);
    EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_EQ(requestsSeen(UDP_CMD_GET_MODULE_TYPE), 3u);

    // The explicit overload uses its own count, not the object's.
    segment.clearRequests(0);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 50, 0).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(requestsSeen(UDP_CMD_GET_MODULE_TYPE), 1u);
}

TEST_F(Exchange, RetryAfterOneLostAnswerSucceeds) {
    zelsim::Fault loseOne;
    loseOne.drop = 1;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, loseOne);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 100, 1).getCode(), ZEL_OK);
    EXPECT_EQ(response.command, UDP_CMD_GET_MODULE_TYPE);
    EXPECT_EQ(requestsSeen(UDP_CMD_GET_MODULE_TYPE), 2u);
}

TEST_F(Exchange, ModuleThatStopsAnsweringTimesOut) {
    zelsim::Fault fading;
    fading.stopAfter = 1;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, fading);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 200, 0).getCode(), ZEL_OK);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 50, 1).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(requestsSeen(UDP_CMD_GET_MODULE_TYPE), 3u);
}

TEST_F(Exchange, NegativeRetryCountAndNullPointersSendNothing) {
    comm.setUdpNumRetries(-1);
    EXPECT_EQ(comm.getUdpNumRetries(), -1);
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 100, -3).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(comm.sendCommandWait(nullptr, &response).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(comm.sendCommandWait(request, nullptr, 100, 0).getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());
}

TEST_F(Exchange, NegativeTimeoutSendsEachAttemptAndFails) {
    comm.setUdpTimeout(-5);
    EXPECT_EQ(comm.getUdpTimeout(), -5);
    comm.setUdpNumRetries(1);
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_RESPONSE_TIMEOUT);
    ASSERT_TRUE(segment.waitForSent(0, 2));  // both requests were answered
    EXPECT_EQ(requestsSeen(UDP_CMD_GET_MODULE_TYPE), 2u);
}

// A wait of 120 ms first sleeps in the read (for 70 ms, which the system
// may stretch) and then waits the rest to the microsecond: an answer in
// either part is taken, and silence ends the call no earlier than its
// time-out and well before a second one.
TEST_F(Exchange, AnswersInEitherPartOfTheWaitAreTakenAndSilenceWaitsTheTimeOut) {
    struct Case {
        int delayMs;  // -1: no answer
        ZEL_RESPONSE_CODE code;
    };
    const Case cases[] = {{0, ZEL_OK}, {30, ZEL_OK}, {105, ZEL_OK}, {-1, ZEL_RESPONSE_TIMEOUT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delayMs);
        zelsim::Fault fault;
        if (c.delayMs < 0) {
            fault.drop = -1;
        } else {
            fault.delayMs = c.delayMs;
        }
        segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, fault);
        const long long start = zel::platform::monotonicMicroseconds();
        EXPECT_EQ(comm.sendCommandWait(request, &response, 120, 0).getCode(), c.code);
        const long long tookUs = zel::platform::monotonicMicroseconds() - start;
        if (c.delayMs < 0) {
            EXPECT_GE(tookUs, 120000);
            EXPECT_LT(tookUs, 240000);
        } else {
            EXPECT_EQ(response.command, UDP_CMD_GET_MODULE_TYPE);
            EXPECT_GE(tookUs, c.delayMs * 1000LL);
        }
    }
}

TEST_F(Exchange, LateAndDuplicateAnswersAreNeverTakenForTheNextCommand) {
    // The first answer arrives after the time-out; it reaches the port the
    // next command does not send from, and nothing is discarded or waited.
    zelsim::Fault late;
    late.delayMs = 150;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, late);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 50, 0).getCode(), ZEL_RESPONSE_TIMEOUT);
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, zelsim::Fault{});
    zelsim::Fault twice;
    twice.duplicate = true;
    segment.setFault(0, UDP_CMD_GET_CONFIG, twice);

    RecordingClock clock;
    comm.setClock(&clock);
    unsigned char config[zelbus::kFrameSize] = {};
    zelbus::writeHeader(config, UDP_CMD_GET_CONFIG, 0, 0);
    ASSERT_TRUE(segment.waitForSent(0, 1));
    ASSERT_EQ(comm.sendCommandWait(config, &response, 500, 0).getCode(), ZEL_OK);
    EXPECT_EQ(response.command, UDP_CMD_GET_CONFIG);
    EXPECT_TRUE(clock.taken().empty());

    // The duplicate of the configuration answer, once it has arrived, is
    // never the answer of the two commands after it.
    ASSERT_TRUE(segment.waitForSent(0, 3));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(comm.sendCommandWait(request, &response, 500, 0).getCode(), ZEL_OK);
        EXPECT_EQ(response.command, UDP_CMD_GET_MODULE_TYPE);
    }
}

TEST_F(Exchange, UnsolicitedDatagramBeforeTheAnswerIsTakenAsTheAnswer) {
    // The socket layer takes any datagram; the callers check its type.
    zelsim::Fault stray;
    stray.unsolicited = 1;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, stray);
    ASSERT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    EXPECT_EQ(response.command, UDP_CMD_NEGATIVE_ANSWER);
}

TEST_F(Exchange, WrongTypeAndCountsArriveAsSent) {
    zelsim::Fault wrong;
    wrong.type = 5;
    wrong.paramCount = 9;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, wrong);
    ASSERT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    EXPECT_EQ(response.command, 5);
    EXPECT_EQ(response.data[1], 9);
    EXPECT_EQ(response.data[2], 10);
}

TEST_F(Exchange, OversizeAnswerFailsAndLeavesNothingQueued) {
    zelsim::Fault big;
    big.oversize = 263;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, big);
    EXPECT_EQ(comm.sendCommandWait(request, &response, 300, 0).getCode(), ZEL_RESPONSE_TIMEOUT);
    ASSERT_TRUE(segment.waitForSent(0, 1));

    // A 262-byte answer still fits, and nothing of the refused one is left
    // for it: the next exchange discards no stale datagram.
    big.oversize = 262;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, big);
    RecordingClock clock;
    comm.setClock(&clock);
    ASSERT_EQ(comm.sendCommandWait(request, &response, 300, 0).getCode(), ZEL_OK);
    EXPECT_EQ(response.data[261], 0xEE);
    EXPECT_TRUE(clock.taken().empty());
}

TEST_F(Exchange, NetworkDelaySleepsFrom17msAndBusyWaitsBelow) {
    RecordingClock clock;
    comm.setClock(&clock);
    EXPECT_GT(comm.getLoopsPerMs(), 0u);

    comm.setNetworkDelay(16);
    ASSERT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    EXPECT_TRUE(clock.taken().empty());

    comm.setNetworkDelay(17);
    ASSERT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    EXPECT_EQ(clock.taken(), std::vector<unsigned long>{17});

    // Before every attempt, the first included; not in the explicit overload.
    clock.sleeps.clear();
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, silent);
    comm.setUdpTimeout(30);
    comm.setUdpNumRetries(2);
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(clock.taken(), (std::vector<unsigned long>{17, 17, 17}));
    clock.sleeps.clear();
    EXPECT_EQ(comm.sendCommandWait(request, &response, 30, 1).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_TRUE(clock.taken().empty());
}

TEST_F(Exchange, FlushEndsAfterFiveEmptyPollsWhateverArrivedBetween) {
    RecordingClock clock;
    comm.setClock(&clock);
    comm.flushReadBuffer();
    EXPECT_EQ(clock.taken(), std::vector<unsigned long>(5, 50));

    // A duplicate left behind by an exchange: one reading poll, then five
    // empty ones.
    zelsim::Fault twice;
    twice.duplicate = true;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, twice);
    ASSERT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);
    ASSERT_TRUE(segment.waitForSent(0, 2));
    ASSERT_TRUE(comm.waitForDatagram(2000));
    clock.sleeps.clear();
    comm.flushReadBuffer();
    EXPECT_EQ(clock.taken(), std::vector<unsigned long>(6, 50));
}

TEST(ExchangeSettings, AccessorsKeepTheirBounds) {
    ZelComm comm;
    EXPECT_EQ(comm.getUdpTimeout(), 800);
    EXPECT_EQ(comm.getUdpNumRetries(), 0);
    EXPECT_EQ(comm.getNetworkDelay(), 0);
    comm.setUdpTimeout(10001);
    EXPECT_EQ(comm.getUdpTimeout(), 800);
    comm.setUdpTimeout(10000);
    EXPECT_EQ(comm.getUdpTimeout(), 10000);
    comm.setUdpNumRetries(11);
    EXPECT_EQ(comm.getUdpNumRetries(), 0);
    comm.setUdpNumRetries(10);
    EXPECT_EQ(comm.getUdpNumRetries(), 10);
    comm.setNetworkDelay(1001);
    comm.setNetworkDelay(-1);
    EXPECT_EQ(comm.getNetworkDelay(), 0);
    comm.setNetworkDelay(1000);
    EXPECT_EQ(comm.getNetworkDelay(), 1000);
}

TEST(ExchangeSettings, UnopenedSocketFailsWithoutBlocking) {
    ZelComm comm;
    unsigned char request[zelbus::kFrameSize] = {UDP_CMD_GET_MODULE_TYPE};
    ZelbusResponse response{};
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_FALSE(comm.initializeComm(nullptr));
}

}  // namespace
