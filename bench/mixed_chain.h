// The benchmarks' simulated chain: n modules of the eight kinds in turn,
// four channels each, the first plugged into the host, addresses running
// against the physical order, each with a serial number of its own.
#ifndef ZEL_BENCH_MIXED_CHAIN_H
#define ZEL_BENCH_MIXED_CHAIN_H

#include <benchmark/benchmark.h>

#include <string>

#include "modules/module_identity.h"
#include "sim_segment.h"

inline void addMixedChain(zelsim::Segment& segment, int n) {
    constexpr std::uint32_t kKinds[] = {ZEL_4105_01, ZEL_4115_01, ZEL_4116_01, ZEL_4111_01,
                                        ZEL_4109_01, ZEL_4107_01, ZEL_4110_01, ZEL_4103_01};
    for (int i = 0; i < n; ++i) {
        zelsim::ModuleState s;
        s.moduleId = kKinds[i % 8];
        s.numChannels = 4;
        s.connectFlag = i == 0;
        s.serial = "SN" + std::to_string(100000 + i);
        segment.addModule(200 - 3 * i, s);
    }
}

// The chain of the benchmark's argument, started; false (the benchmark
// skipped with the reason) when its sockets cannot be bound.
inline bool startMixedChain(zelsim::Segment& segment, benchmark::State& state) {
    addMixedChain(segment, static_cast<int>(state.range(0)));
    if (segment.start()) return true;
    state.SkipWithError("the simulated segment did not start");
    return false;
}

#endif  // ZEL_BENCH_MIXED_CHAIN_H
