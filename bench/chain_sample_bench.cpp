// A snapshot of N simulated measuring modules through the chain sampler,
// beside (a) the same modules read one after another with getPositions,
// (b) one bare sendto/recvfrom round trip of the counts request, and (c) the
// bare fan-out of N requests and N answers on one plain socket, in the same
// run. The counter "spread_us" is the time between the first and the last
// request of a snapshot going out; "sends_us", of the bare fan-out, is the
// time its N sends take, the floor of that spread.
//
// BM_AgainstBaselines takes all four of them interleaved in one run, on
// loopback and on a segment whose modules answer 200 us after each request
// (as a module's own processing makes them on a real segment, which
// loopback alone cannot show), and reports the ratios.
//
// A module answers on a processor of its own. So that the simulated ones
// do too, the simulator's thread is kept on the second core and the host's
// on the first (--unpinned leaves both to the scheduler, which runs the
// simulator on the host's core after the host's burst of requests).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/thread.h"
#include "sim_segment.h"

namespace {

bool pinned = false;

// N four-channel TTL modules, initialised.
struct Chain {
    explicit Chain(int n) {
        if (pinned) segment.setServingCpu(1);
        for (int m = 0; m < n; ++m) {
            zelsim::ModuleState s;
            s.moduleId = 58031501;
            s.numChannels = 4;
            for (int c = 0; c < 4; ++c) s.axes[c].set(1000 * (c + 1));
            segment.addModule(10 + m, s);
        }
        started = segment.start();
        if (started && segment.servingCpuRefused()) {
            std::fprintf(stderr,
                         "chain_sample_bench: the system would not keep the simulator on"
                         " the second core; run with --unpinned\n");
            started = false;
        }
        for (int m = 0; started && m < n; ++m) {
            objects.push_back(std::make_unique<ZelTtlModule>());
            const std::string a = address(m);
            started = objects.back()->initializeModule(a.c_str(), false).ok();
            modules.push_back(objects.back().get());
        }
    }
    std::string address(int m) const {
        return "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + m);
    }
    zelsim::Segment segment;
    bool started = false;
    std::vector<std::unique_ptr<ZelTtlModule>> objects;
    std::vector<ZelModule*> modules;
};

void BM_Snapshot(benchmark::State& state) {
    Chain chain(static_cast<int>(state.range(0)));
    if (!chain.started) {
        state.SkipWithError("no simulated chain");
        return;
    }
    ZelChainSampler sampler(chain.modules.data(),
                            static_cast<unsigned short>(chain.modules.size()));
    sampler.setSpinWait(static_cast<long>(state.range(1)));
    double spread = 0.0;
    for (auto _ : state) {
        if (!sampler.sample().ok()) state.SkipWithError("a module failed");
        long long first = sampler.at(0).sentUs, last = first;
        for (unsigned short i = 1; i < sampler.size(); ++i) {
            first = std::min(first, sampler.at(i).sentUs);
            last = std::max(last, sampler.at(i).sentUs);
        }
        spread += static_cast<double>(last - first);
    }
    state.counters["spread_us"] = benchmark::Counter(spread, benchmark::Counter::kAvgIterations);
}
// The second argument is the sampler's spin wait in microseconds (1000:
// longer than any of these snapshots, so the host never sleeps on them).
BENCHMARK(BM_Snapshot)
    ->ArgsProduct({{1, 8, 32, 64}, {0, 1000}})
    ->ArgNames({"", "spin_us"})
    ->UseRealTime();

void BM_SequentialPositions(benchmark::State& state) {
    Chain chain(static_cast<int>(state.range(0)));
    if (!chain.started) {
        state.SkipWithError("no simulated chain");
        return;
    }
    double positions[8];
    for (auto _ : state) {
        for (ZelModule* m : chain.modules) {
            if (!static_cast<ZelTtlModule*>(m)
                     ->getPositions(positions, 8, COUNT_REQUEST_NORMAL)
                     .ok()) {
                state.SkipWithError("a module failed");
            }
        }
        benchmark::DoNotOptimize(positions[0]);
    }
}
BENCHMARK(BM_SequentialPositions)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->UseRealTime();

// The floor of a snapshot on this machine: one bare socket sends the counts
// request to all N modules back to back and reads the N answers, with no
// pairing, checking or decoding.
void BM_BareFanOut(benchmark::State& state) {
    namespace net = zel::platform;
    const int n = static_cast<int>(state.range(0));
    Chain chain(n);
    const net::SocketHandle s = net::openUdpSocket();
    if (!chain.started || s == net::kInvalidSocket) {
        state.SkipWithError("no simulated chain");
        return;
    }
    std::vector<std::uint32_t> addresses;
    for (int m = 0; m < n; ++m) addresses.push_back(net::parseAddress(chain.address(m).c_str()));
    const unsigned char request[6] = {UDP_CMD_GET_COUNTS, 2, 3, 0, 0, 0};
    unsigned char answer[zelbus::kFrameSize];
    double sends = 0.0;
    for (auto _ : state) {
        const long long start = net::monotonicMicroseconds();
        for (std::uint32_t a : addresses)
            net::sendTo(s, request, sizeof(request), a, zelbus::kModulePort);
        sends += static_cast<double>(net::monotonicMicroseconds() - start);
        for (int m = 0; m < n; ++m)
            benchmark::DoNotOptimize(net::receiveFrom(s, answer, sizeof(answer), nullptr));
    }
    state.counters["sends_us"] = benchmark::Counter(sends, benchmark::Counter::kAvgIterations);
    net::closeSocket(s);
}
BENCHMARK(BM_BareFanOut)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->UseRealTime();

void BM_BareRoundTrip(benchmark::State& state) {
    namespace net = zel::platform;
    Chain chain(1);
    const net::SocketHandle s = net::openUdpSocket();
    if (!chain.started || s == net::kInvalidSocket) {
        state.SkipWithError("no simulated module");
        return;
    }
    const std::uint32_t address = net::parseAddress(chain.address(0).c_str());
    const unsigned char request[6] = {UDP_CMD_GET_COUNTS, 2, 3, 0, 0, 0};
    unsigned char answer[zelbus::kFrameSize];
    const bool spin = state.range(0) != 0;
    for (auto _ : state) {
        net::sendTo(s, request, sizeof(request), address, zelbus::kModulePort);
        // Spinning: looks without sleeping until the answer is there.
        while (spin && net::waitReadable(s, 0, 0) != net::Readiness::Ready) {
        }
        benchmark::DoNotOptimize(net::receiveFrom(s, answer, sizeof(answer), nullptr));
    }
    net::closeSocket(s);
}
// The argument: 0 sleeps in recvfrom, 1 spins until the answer is there.
BENCHMARK(BM_BareRoundTrip)->Arg(0)->Arg(1)->ArgName("spin")->UseRealTime();

// Median of a list of durations, in microseconds.
double median(std::vector<long long>& us) {
    if (us.empty()) return 0.0;
    std::nth_element(us.begin(), us.begin() + static_cast<long>(us.size() / 2), us.end());
    return static_cast<double>(us[us.size() / 2]);
}

// The snapshot against its three baselines on the same segment, taken in
// turn within each iteration so that all four see the same machine: the
// bare fan-out, one module's own exchange (getPositions of the first
// module: one round trip), and every tenth iteration the N modules read one
// after another. The second argument delays every answer to the counts
// request by that many microseconds (0: plain loopback). The benchmark's
// time is the snapshot's; the counters are medians and their ratios.
void BM_AgainstBaselines(benchmark::State& state) {
    namespace net = zel::platform;
    const int n = static_cast<int>(state.range(0));
    const int delayUs = static_cast<int>(state.range(1));
    Chain chain(n);
    const net::SocketHandle s = net::openUdpSocket();
    if (!chain.started || s == net::kInvalidSocket) {
        state.SkipWithError("no simulated chain");
        return;
    }
    if (delayUs > 0) {
        zelsim::Fault late;
        late.delayUs = delayUs;
        for (int m = 0; m < n; ++m)
            chain.segment.setFault(static_cast<std::size_t>(m), UDP_CMD_GET_COUNTS, late);
    }
    ZelChainSampler sampler(chain.modules.data(),
                            static_cast<unsigned short>(chain.modules.size()));
    std::vector<std::uint32_t> addresses;
    for (int m = 0; m < n; ++m) addresses.push_back(net::parseAddress(chain.address(m).c_str()));
    const unsigned char request[6] = {UDP_CMD_GET_COUNTS, 2, 3, 0, 0, 0};
    unsigned char answer[zelbus::kFrameSize];
    double positions[8];
    auto* first = static_cast<ZelTtlModule*>(chain.modules.front());
    std::vector<long long> snapshot, fanOut, roundTrip, sequential;
    long long iteration = 0;
    // The snapshot and the fan-out take turns at going first: whichever
    // follows the other finds the simulator's core awake.
    const auto takeSnapshot = [&] {
        const long long t = net::monotonicMicroseconds();
        if (!sampler.sample().ok()) state.SkipWithError("a module failed");
        const long long took = net::monotonicMicroseconds() - t;
        snapshot.push_back(took);
        state.SetIterationTime(static_cast<double>(took) / 1e6);
    };
    const auto takeFanOut = [&] {
        const long long t = net::monotonicMicroseconds();
        for (std::uint32_t a : addresses)
            net::sendTo(s, request, sizeof(request), a, zelbus::kModulePort);
        for (int m = 0; m < n; ++m)
            benchmark::DoNotOptimize(net::receiveFrom(s, answer, sizeof(answer), nullptr));
        fanOut.push_back(net::monotonicMicroseconds() - t);
    };
    for (auto _ : state) {
        if (iteration % 2 == 0) {
            takeSnapshot();
            takeFanOut();
        } else {
            takeFanOut();
            takeSnapshot();
        }

        long long t = net::monotonicMicroseconds();
        if (!first->getPositions(positions, 8, COUNT_REQUEST_NORMAL).ok())
            state.SkipWithError("a module failed");
        roundTrip.push_back(net::monotonicMicroseconds() - t);

        if (iteration++ % 10 == 0) {
            t = net::monotonicMicroseconds();
            for (ZelModule* m : chain.modules) {
                if (!static_cast<ZelTtlModule*>(m)
                         ->getPositions(positions, 8, COUNT_REQUEST_NORMAL)
                         .ok()) {
                    state.SkipWithError("a module failed");
                }
            }
            sequential.push_back(net::monotonicMicroseconds() - t);
        }
    }
    net::closeSocket(s);
    const double snap = median(snapshot);
    const double fan = median(fanOut);
    const double trip = median(roundTrip);
    const double seq = median(sequential);
    state.counters["snapshot_us"] = snap;
    state.counters["fanout_us"] = fan;
    state.counters["trip_us"] = trip;
    state.counters["sequential_us"] = seq;
    // The targets: within 1.1x the fan-out on loopback; with the delay, at
    // most 2x one round trip and at least 8x less than the sequential reads.
    state.counters["x_fanout"] = fan > 0 ? snap / fan : 0.0;
    state.counters["x_trip"] = trip > 0 ? snap / trip : 0.0;
    state.counters["seq_over"] = snap > 0 ? seq / snap : 0.0;
}
BENCHMARK(BM_AgainstBaselines)
    ->ArgsProduct({{8, 32, 64}, {0, 200}})
    ->ArgNames({"", "delay_us"})
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    int kept = 1;
    bool unpinned = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unpinned") == 0) {
            unpinned = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    pinned =
        !unpinned && std::thread::hardware_concurrency() >= 2 && zel::platform::pinCurrentThread(0);
    benchmark::AddCustomContext("simulator",
                                pinned ? "own core (second), host on the first" : "unpinned");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
