// Time from start to the first reading of every module of a simulated chain
// of 8 and of 64 mixed modules, two ways in the same run: discovery and
// ordering (createChain, then one snapshot), against a station opened from
// the configuration file captured from that chain (each module reached at
// its address, its settings applied, then one snapshot). The station's
// time is split into reading the file, opening (the module objects'
// initialisations, a few at once, and the file's settings applied), and the
// snapshot itself; a second open without the settings tells their share.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "chain/zel_interface.h"
#include "mixed_chain.h"
#include "platform/clock.h"
#include "sim_segment.h"
#include "station/zel_station.h"

namespace {

double secondsSince(long long startUs) {
    return (zel::platform::monotonicMicroseconds() - startUs) / 1e6;
}

void StartToFirstReading(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    zelsim::Segment segment;
    if (!startMixedChain(segment, state)) return;
    const std::string file = "/tmp/station_bench_" + std::to_string(n) + ".xml";
    double discovery = 0, station = 0, load = 0, bare = 0, open = 0, read = 0;
    for (auto _ : state) {
        // Today's path: discovery, ordering, one snapshot.
        long long start = zel::platform::monotonicMicroseconds();
        ZelInterface chain;
        if (!chain.createChain(segment.hostAddress().c_str(), 0, false, zelsim::Segment::kNetmask)
                 .ok() ||
            chain.getNumModules() != n) {
            state.SkipWithError("createChain failed");
            return;
        }
        ZelChainSampler sampler(chain);
        if (!sampler.sample().ok()) state.SkipWithError("the discovered chain's snapshot failed");
        discovery = secondsSince(start);
        if (!ZelStation::capture(chain, file.c_str()).ok()) {
            state.SkipWithError("capture failed");
            return;
        }
        chain.removeConnections();

        // The station: file, modules at their addresses, settings, snapshot.
        start = zel::platform::monotonicMicroseconds();
        ZelStation s;
        if (!s.load(file.c_str()).ok()) state.SkipWithError("load failed");
        load = secondsSince(start);
        long long t = zel::platform::monotonicMicroseconds();
        if (!s.open(ZelStationOptions{}).ok()) state.SkipWithError("open failed");
        open = secondsSince(t);
        t = zel::platform::monotonicMicroseconds();
        std::vector<ZelStationReading> readings;
        if (!s.read(readings).ok()) state.SkipWithError("the station's snapshot failed");
        read = secondsSince(t);
        station = secondsSince(start);
        // The same open without applying the settings, for the share the
        // settings take.
        s.close();
        ZelStationOptions connectOnly;
        connectOnly.applySettings = false;
        t = zel::platform::monotonicMicroseconds();
        if (!s.open(connectOnly).ok()) state.SkipWithError("open without settings failed");
        bare = secondsSince(t);
    }
    std::remove(file.c_str());
    state.counters["discovery_s"] = discovery;
    state.counters["station_s"] = station;
    state.counters["speedup"] = discovery / station;
    state.counters["load_ms"] = load * 1000;
    state.counters["open_ms"] = open * 1000;
    state.counters["open_without_settings_ms"] = bare * 1000;
    state.counters["read_ms"] = read * 1000;
}

BENCHMARK(StartToFirstReading)->Arg(8)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
