// What pairing answers with requests costs a module that behaves, against a
// simulated TTL module:
// - BM_FastAfterSlow: a counts call (answered at once) after each call of
//   the settings block (command 15, answered 20 ms late by the simulator);
//   only the counts calls are timed. BM_FastAlone: the same counts calls
//   with no slow call between them. Their ratio is the price of the slow
//   calls for the fast ones (1.0 when pairing holds nothing back).
//   BM_FastAfterPause: the same counts calls each after 20 ms of sleep and
//   no call: what the idle gap alone costs the call after it (a core woken
//   from idle, the simulator's thread rescheduled), so FastAfterSlow /
//   FastAfterPause is the slow calls' price with the machine's share out.
// - BM_SilentModule: a module that stopped answering, time-out 300 ms, with
//   0 and 2 retries; "of_budget" is each call's time over time-out x
//   attempts (1.0: the call blocks exactly as long as it may).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "modules/zel_ttl_module.h"
#include "sim_segment.h"

namespace {

struct Ttl {
    Ttl() {
        zelsim::ModuleState s;
        s.moduleId = 58031501;
        s.numChannels = 4;
        segment.addModule(10, s);
        const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
        started = segment.start() && module.initializeModule(address.c_str(), false).ok();
    }
    zelsim::Segment segment;
    ZelTtlModule module;
    bool started = false;
};

double secondsOf(const std::chrono::steady_clock::time_point& from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// What comes before each timed counts call.
enum class Before { Nothing, SlowCall, Pause };

void fastCalls(benchmark::State& state, Before before) {
    Ttl ttl;
    if (!ttl.started) {
        state.SkipWithError("no simulated module");
        return;
    }
    zelsim::Fault slow;
    slow.delayMs = 20;
    ttl.segment.setFault(0, UDP_CMD_MODULE_SETTINGS, slow);
    unsigned long counts[8];
    unsigned short revision = 0;
    std::vector<double> taken;
    for (auto _ : state) {
        if (before == Before::SlowCall && !ttl.module.getFpgaRevision(&revision).ok()) {
            state.SkipWithError("slow call failed");
        }
        if (before == Before::Pause) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto start = std::chrono::steady_clock::now();
        if (!ttl.module.getCounts(counts, 8, COUNT_REQUEST_NORMAL).ok()) {
            state.SkipWithError("counts call failed");
        }
        taken.push_back(secondsOf(start));
        state.SetIterationTime(taken.back());
        benchmark::DoNotOptimize(counts[0]);
    }
    if (taken.empty()) return;
    std::sort(taken.begin(), taken.end());
    state.counters["median_us"] = taken[taken.size() / 2] * 1e6;
}

void BM_FastAfterSlow(benchmark::State& state) { fastCalls(state, Before::SlowCall); }
BENCHMARK(BM_FastAfterSlow)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

void BM_FastAlone(benchmark::State& state) { fastCalls(state, Before::Nothing); }
BENCHMARK(BM_FastAlone)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

void BM_FastAfterPause(benchmark::State& state) { fastCalls(state, Before::Pause); }
BENCHMARK(BM_FastAfterPause)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

void BM_SilentModule(benchmark::State& state) {
    Ttl ttl;
    if (!ttl.started) {
        state.SkipWithError("no simulated module");
        return;
    }
    constexpr long kTimeoutMs = 300;
    const short retries = static_cast<short>(state.range(0));
    zelsim::Fault silent;
    silent.drop = -1;
    ttl.segment.setFault(0, UDP_CMD_GET_COUNTS, silent);
    ttl.module.setUdpTimeout(kTimeoutMs);
    ttl.module.setUdpNumRetries(retries);
    unsigned long counts[8];
    double worst = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (ttl.module.getCounts(counts, 8, COUNT_REQUEST_NORMAL).getCode() !=
            ZEL_RESPONSE_TIMEOUT) {
            state.SkipWithError("the silent module answered");
        }
        const double seconds = secondsOf(start);
        state.SetIterationTime(seconds);
        if (seconds > worst) worst = seconds;
    }
    const double budget = kTimeoutMs / 1000.0 * (retries + 1);
    state.counters["worst_of_budget"] = worst / budget;
}
BENCHMARK(BM_SilentModule)
    ->Arg(0)
    ->Arg(2)
    ->ArgName("retries")
    ->UseManualTime()
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
