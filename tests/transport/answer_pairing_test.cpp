// What a call takes as its answer. First the pairing on its own, through a
// scripted pair of ports and a clock that only moves when the pairing waits:
// each request the module gets is numbered, its script says which datagrams
// come back and when, and a datagram sent to a port that was made anew in
// the meantime is lost (nobody listens there). Then a few runs against the
// simulator, through the module objects.
#include "transport/answer_pairing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "sim_segment.h"
#include "transport/zel_comm.h"

namespace {

using zel::transport::AnswerPairing;
using zel::transport::PairingLink;
using Outcome = AnswerPairing::Outcome;

constexpr std::uint32_t kModule = 0x0A00007F;  // 127.0.0.10
constexpr std::uint16_t kPort = 27015;

// One datagram the module (or another sender) sends for a request.
struct Reply {
    enum Kind { Whole, Short, Empty, Oversize, Foreign };
    long long afterUs;  // after the request reached the module
    Kind kind = Whole;
};
using Script = std::vector<Reply>;  // what one request brings back

class ScriptedLink : public PairingLink {
  public:
    // scripts[k] for request k + 1; requests past the end get one whole
    // answer after 1 ms.
    explicit ScriptedLink(std::vector<Script> s) : scripts(std::move(s)) {}

    bool renew(int port) override {
        ++generation[port];
        return true;
    }
    bool send(int port, const char* data, int length) override {
        EXPECT_GE(length, 3);
        EXPECT_EQ(data[0], 10);
        const int k = ++requests;
        const Script script = k <= static_cast<int>(scripts.size())
                                  ? scripts[static_cast<std::size_t>(k - 1)]
                                  : Script{{1000}};
        for (const Reply& r : script) {
            queue.push_back({now + r.afterUs, port, generation[port], k, r.kind});
        }
        return true;
    }
    Wait wait(int port, long long timeoutUs) override {
        const Datagram* first = earliest(port);
        if (first != nullptr && first->at <= now + timeoutUs) {
            now = std::max(now, first->at);
            return Wait::Ready;
        }
        now += timeoutUs;
        return Wait::Timeout;
    }
    long receive(int port, char* buffer, int capacity, std::uint32_t* from,
                 std::uint16_t* fromPort) override {
        const Datagram* first = earliest(port);
        if (first == nullptr || first->at > now) return -1;
        const Datagram d = *first;
        queue.erase(queue.begin() + (first - queue.data()));
        *from = d.kind == Reply::Foreign ? 0x01FE007F : kModule;
        *fromPort = kPort;
        // An answer to the module-type command numbered with its request.
        const unsigned char whole[7] = {10, 1, 4,   static_cast<unsigned char>(d.request),
                                        0,  0, 0x5A};
        long n = sizeof(whole);
        if (d.kind == Reply::Short) n = 5;
        if (d.kind == Reply::Empty) n = 0;
        if (d.kind == Reply::Oversize) n = capacity + 1;
        std::memcpy(buffer, whole, static_cast<std::size_t>(std::min<long>(7, capacity)));
        return n;
    }
    long long nowUs() override { return now; }
    void pauseMs(unsigned long ms) override {
        now += static_cast<long long>(ms) * 1000;
        ++pauses;
    }

    long long now = 1000000;
    int requests = 0;
    int pauses = 0;

  private:
    struct Datagram {
        long long at;
        int port;
        int generation;
        int request;
        Reply::Kind kind;
    };
    // The first datagram that reaches the port as it is now; those sent to
    // an earlier socket of the port are lost.
    const Datagram* earliest(int port) {
        queue.erase(std::remove_if(queue.begin(), queue.end(),
                                   [&](const Datagram& d) {
                                       return d.port == port && d.generation != generation[port];
                                   }),
                    queue.end());
        const Datagram* best = nullptr;
        for (const Datagram& d : queue) {
            if (d.port == port && (best == nullptr || d.at < best->at)) best = &d;
        }
        return best;
    }

    std::vector<Script> scripts;
    std::vector<Datagram> queue;
    int generation[2] = {0, 0};
};

// A call's outcome as a short text: "A3" (the answer to request 3), "T"
// (timed out), "S" (short), "E" (empty), "O" (oversize).
std::string describe(Outcome o, const char* response) {
    switch (o) {
        case Outcome::Answer:
            return "A" + std::to_string(static_cast<unsigned char>(response[3]));
        case Outcome::TimedOut:
            return "T";
        case Outcome::Short:
            return "S";
        case Outcome::Empty:
            return "E";
        case Outcome::Oversize:
            return "O";
        default:
            return "?";
    }
}

// A pairing aimed at the scripted module; each call's outcome as a text.
struct Calls {
    explicit Calls(std::vector<Script> scripts) : link(std::move(scripts)), pairing(link, true) {
        pairing.aim(kModule, kPort);
    }
    std::string call(long timeoutMs, int retries) {
        const unsigned char request[3] = {10, 0, 0};
        char response[262];
        const Outcome o = pairing.call(reinterpret_cast<const char*>(request), 3, response,
                                       sizeof(response), timeoutMs, retries, &received);
        return describe(o, response);
    }
    ScriptedLink link;
    AnswerPairing pairing;
    int received = 0;
};

struct Row {
    const char* name;
    long timeoutMs;
    int retries;
    std::vector<Script> scripts;
    std::vector<std::string> expected;   // one per call
    std::vector<long long> tookUs = {};  // when given: each call's time on the clock
};

TEST(AnswerPairingUnit, EveryCallTakesOnlyAnAnswerToItsOwnRequests) {
    const Reply late35{35000};
    const Reply fast{1000};
    const Reply copyAfter300us{1300};
    const std::vector<Row> rows = {
        {"late answer after its time-out", 20, 0, {{late35}, {fast}, {fast}}, {"T", "A2", "A3"}},
        {"late answer taken by the retry of its own call",
         20,
         1,
         {{Reply{25000}}, {Reply{10000}}, {fast}, {fast}},
         {"A1", "A3", "A4"}},
        {"late answer that comes during the call after next, on a port made anew",
         40,
         0,
         {{Reply{45000}}, {fast}, {Reply{30000}}},
         {"T", "A2", "A3"}},
        {"retry after a lost answer", 20, 1, {{}, {fast}, {fast}}, {"A2", "A3"}},
        {"every answer duplicated 0.3 ms later",
         800,
         0,
         {{fast, copyAfter300us},
          {fast, copyAfter300us},
          {fast, copyAfter300us},
          {fast, copyAfter300us}},
         {"A1", "A2", "A3", "A4"}},
        {"a copy that comes during the next call",
         800,
         0,
         {{fast, Reply{1800}}, {fast}, {fast}, {fast}},
         {"A1", "A2", "A3", "A4"}},
        {"another sender before every answer",
         800,
         0,
         {{Reply{500, Reply::Foreign}, fast}, {Reply{500, Reply::Foreign}, fast}},
         {"A1", "A2"}},
        {"short, empty and oversize answers end their attempt",
         800,
         0,
         {{Reply{1000, Reply::Short}},
          {Reply{1000, Reply::Empty}},
          {Reply{1000, Reply::Oversize}},
          {fast}},
         {"S", "E", "O", "A4"}},
        {"a short answer and a whole one to the retry",
         800,
         1,
         {{Reply{1000, Reply::Short}}, {fast}},
         {"A2"}},
        {"a silent module blocks each call exactly its time-out",
         300,
         0,
         {{}, {}, {}, {}},
         {"T", "T", "T", "T"},
         {300000, 300000, 300000, 300000}},
        {"a silent module with 2 retries", 300, 2, {{}, {}, {}}, {"T"}, {900000}},
        {"mixed latencies: a slow call holds nothing of the fast one after it",
         800,
         0,
         {{Reply{20000}}, {Reply{300}}, {Reply{20000}}, {Reply{300}}},
         {"A1", "A2", "A3", "A4"},
         {20000, 300, 20000, 300}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Calls calls(row.scripts);
        std::vector<std::string> got;
        std::vector<long long> took;
        for (std::size_t c = 0; c < row.expected.size(); ++c) {
            const long long start = calls.link.now;
            const int before = calls.link.requests;
            got.push_back(calls.call(row.timeoutMs, row.retries));
            took.push_back(calls.link.now - start);
            if (got.back()[0] == 'A') {
                // Fresh: an answer to a request of this very call.
                EXPECT_GT(std::stoi(got.back().substr(1)), before) << "call " << c;
                EXPECT_EQ(calls.received, 7);
            }
        }
        EXPECT_EQ(got, row.expected);
        if (!row.tookUs.empty()) {
            EXPECT_EQ(took, row.tookUs);
        }
    }
}

// What the pairing counts for the station's metrics: attempts sent again,
// datagrams nobody was waiting for, datagrams of another sender.
TEST(AnswerPairingUnit, CountsRetriesStraysAndForeignDatagrams) {
    const Reply fast{1000};
    const Reply copyAfter300us{1300};
    struct CountRow {
        const char* name;
        int retries;
        std::vector<Script> scripts;
        int calls;
        unsigned long long retried, strays, foreign;
    };
    const std::vector<CountRow> rows = {
        {"every answer in time", 0, {{fast}, {fast}, {fast}}, 3, 0, 0, 0},
        {"a lost answer and its retry", 1, {{}, {fast}}, 1, 1, 0, 0},
        {"a silent module with 2 retries, twice", 2, {{}, {}, {}, {}, {}, {}}, 2, 4, 0, 0},
        {"every answer duplicated: each copy found queued before a later request",
         0,
         {{fast, copyAfter300us},
          {fast, copyAfter300us},
          {fast, copyAfter300us},
          {fast, copyAfter300us}},
         4,
         0,
         2,
         0},
        {"another sender before every answer",
         0,
         {{Reply{500, Reply::Foreign}, fast}, {Reply{500, Reply::Foreign}, fast}},
         2,
         0,
         0,
         2},
    };
    for (const CountRow& row : rows) {
        SCOPED_TRACE(row.name);
        Calls calls(row.scripts);
        for (int c = 0; c < row.calls; ++c) calls.call(20, row.retries);
        const zel::transport::PairingCounters counted = calls.pairing.counters();
        EXPECT_EQ(counted.retries, row.retried);
        EXPECT_EQ(counted.strays, row.strays);
        EXPECT_EQ(counted.foreign, row.foreign);
    }
}

TEST(AnswerPairingUnit, ACopyDelayedIntoTheCallAfterNextIsWhatItCannotTellApart) {
    // The copy of answer 1 comes 1.5 ms after answer 1, when the third call
    // already waits on the port the first one used: it is taken. (The
    // calls take 1 ms each.)
    Calls calls({{Reply{1000}, Reply{2500}}});
    std::vector<std::string> got;
    for (int c = 0; c < 3; ++c) got.push_back(calls.call(800, 0));
    EXPECT_EQ(got, (std::vector<std::string>{"A1", "A2", "A1"}));
}

TEST(AnswerPairingUnit, APortIsMadeAnewOnlyAfterAFault) {
    // Well-behaved module: no port is ever replaced, and no pause taken.
    Calls calm({});
    for (int c = 0; c < 10; ++c) ASSERT_EQ(calm.call(800, 0)[0], 'A');
    EXPECT_EQ(calm.pairing.renewals(), 0u);
    EXPECT_EQ(calm.link.pauses, 0);

    // A duplicate found queued before a request: discarded with one pause,
    // then its port is replaced.
    Calls twice({{Reply{1000}, Reply{1200}}});
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(twice.call(800, 0)[0], 'A');
        twice.link.now += 1000;  // the host works a while between calls
    }
    EXPECT_EQ(twice.pairing.renewals(), 1u);
    EXPECT_EQ(twice.link.pauses, 1);
}

TEST(AnswerPairingUnit, ANegativeTimeoutSendsAndFails) {
    Calls calls({});
    EXPECT_EQ(calls.call(-5, 1), "T");
    EXPECT_EQ(calls.link.requests, 2);
}

// ---- Against the simulator --------------------------------------------------

class PairingAgainstSimulator : public ::testing::Test {
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
        int stale = 0;  // code 0 with an answer to an earlier call's request
    };

    // Runs `calls` exchanges back to back. An answer is fresh when the
    // module numbered it after the call began.
    Tally run(int calls) {
        Tally t;
        for (int i = 0; i < calls; ++i) {
            const int before = seen->load();
            ZelbusResponse response{};
            const ZelResults r = comm.sendCommandWait(request, &response);
            const int after = seen->load();
            if (!r.ok()) {
                ++t.failed;
                continue;
            }
            ++t.ok;
            const int n = response.data[3] | response.data[4] << 8 | response.data[5] << 16;
            if (response.data[6] != 0x5A || n <= before || n > after) ++t.stale;
        }
        return t;
    }

    zelsim::Segment segment;
    std::shared_ptr<std::atomic<int>> seen = std::make_shared<std::atomic<int>>(0);
    std::string module;
    ZelComm comm;
    unsigned char request[zelbus::kFrameSize] = {};
};

TEST_F(PairingAgainstSimulator, NoStaleAnswerInAnyFaultScenario) {
    struct Case {
        const char* name;
        zelsim::Fault fault;
        long timeoutMs;
        short retries;
    };
    zelsim::Fault foreign;
    foreign.foreign = 1;
    foreign.every = 5;
    zelsim::Fault late;  // every third answer 15 ms after its time-out
    late.delayMs = 35;
    late.every = 3;
    zelsim::Fault twice;  // a link of about a millisecond that now and then doubles
    twice.delayUs = 800;
    twice.duplicate = true;
    twice.duplicateEvery = 25;
    zelsim::Fault copies;  // every answer twice, the copy 300 us behind
    copies.duplicate = true;
    copies.duplicateGapUs = 300;
    const std::vector<Case> cases = {
        {"foreign", foreign, 200, 0},           {"late", late, 20, 0},
        {"late, retried", late, 20, 2},         {"duplicated now and then", twice, 200, 0},
        {"every answer twice", copies, 200, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, c.fault);
        comm.setUdpTimeout(c.timeoutMs);
        comm.setUdpNumRetries(c.retries);
        const Tally t = run(200);
        EXPECT_EQ(t.stale, 0);
        EXPECT_EQ(t.ok + t.failed, 200);
        if (c.fault.delayMs == 0) {
            EXPECT_EQ(t.ok, 200);
        }
    }
}

TEST_F(PairingAgainstSimulator, ShortAnswersFailWithSizeMismatchAndEmptyOnesTimeOut) {
    zelsim::Fault cut;
    cut.truncate = 5;  // the header announces 4 parameter bytes, 2 arrive
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    comm.setUdpTimeout(200);
    ZelbusResponse response{};
    ZelResults r = comm.sendCommandWait(request, &response);
    EXPECT_EQ(r.getCode(), ZEL_PARAM_SIZE_MISMATCH);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_NE(r.getLine(), 0);

    // An empty datagram is no answer: a failed attempt, code 1.
    cut.truncate = 0;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    r = comm.sendCommandWait(request, &response);
    EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, zelsim::Fault{});
    EXPECT_EQ(comm.sendCommandWait(request, &response).getCode(), ZEL_OK);

    // A short answer is a failed attempt: a retry with a whole answer succeeds.
    cut.truncate = 5;
    cut.every = 2;
    segment.setFault(0, UDP_CMD_GET_MODULE_TYPE, cut);
    comm.setUdpNumRetries(1);
    const Tally t = run(50);
    EXPECT_EQ(t.ok, 50);
    EXPECT_EQ(t.stale, 0);
}

TEST_F(PairingAgainstSimulator, AnswerCutShortIsNotReadAsZeroCounts) {
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

}  // namespace
