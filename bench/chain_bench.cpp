// createChain on simulated chains of 1, 8 and 32 mixed modules, against the
// floor the protocol sets: 5 s of discovery silence, 500 ms per module found
// and the two initialisations of each module (probe and kind object), each
// with its 100 ms calibration of the network delay. The counter
// "excess_ms_per_module" is what the library adds beyond that floor.
#include <benchmark/benchmark.h>

#include "chain/zel_interface.h"
#include "platform/clock.h"
#include "sim_segment.h"

namespace {

constexpr std::uint32_t kKinds[] = {ZEL_4105_01, ZEL_4115_01, ZEL_4116_01, ZEL_4111_01,
                                    ZEL_4109_01, ZEL_4107_01, ZEL_4110_01, ZEL_4103_01};

void CreateChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    zelsim::Segment segment;
    for (int i = 0; i < n; ++i) {
        zelsim::ModuleState s;
        s.moduleId = kKinds[i % 8];
        s.numChannels = 4;
        s.connectFlag = i == 0;
        // Addresses run against the physical order.
        segment.addModule(200 - 3 * i, s);
    }
    if (!segment.start()) {
        state.SkipWithError("the simulated segment did not start");
        return;
    }
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
