// createChain on simulated chains of 1, 8 and 32 mixed modules, against the
// floor the protocol sets: 5 s of discovery silence, 500 ms per module found
// and the two initialisations of each module (probe and kind object), each
// with its 100 ms calibration of the network delay. The counter
// "excess_ms_per_module" is what the library adds beyond that floor.
#include <benchmark/benchmark.h>

#include "chain/zel_interface.h"
#include "mixed_chain.h"
#include "platform/clock.h"
#include "sim_segment.h"

namespace {

void CreateChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    zelsim::Segment segment;
    if (!startMixedChain(segment, state)) return;
    double seconds = 0;
    for (auto _ : state) {
        ZelInterface chain;
        const long long start = zel::platform::monotonicMicroseconds();
        ZelResults r =
            chain.createChain(segment.hostAddress().c_str(), 0, false, zelsim::Segment::kNetmask);
        seconds = (zel::platform::monotonicMicroseconds() - start) / 1e6;
        if (!r.ok() || chain.getNumModules() != n) state.SkipWithError("createChain failed");
    }
    const double floor = 5.0 + 0.5 * n + 2 * 0.1 * n;
    state.counters["seconds"] = seconds;
    state.counters["floor_seconds"] = floor;
    state.counters["excess_ms_per_module"] = (seconds - floor) * 1000.0 / n;
}

BENCHMARK(CreateChain)->Arg(1)->Arg(8)->Arg(32)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
