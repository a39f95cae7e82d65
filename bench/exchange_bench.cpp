// One command round trip through the library's exchange against a simulated
// module, beside a bare sendto/recvfrom ping-pong of the same request to the
// same kind of endpoint. The ratio of the two is the exchange's own cost (the
// stale-datagram poll before each request, the readiness wait and the size
// check of the answer).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/net.h"
#include "sim_segment.h"
#include "transport/zel_comm.h"

namespace {

struct Fixture {
    Fixture() {
        segment.addModule(10);
        started = segment.start();
        module = "127." + std::to_string(segment.subnet()) + ".0.10";
    }
    zelsim::Segment segment;
    bool started = false;
    std::string module;
};

void BM_SendCommandWait(benchmark::State& state) {
    Fixture f;
    ZelComm comm;
    if (!f.started || !comm.initializeComm(f.module.c_str())) {
        state.SkipWithError("no simulated module");
        return;
    }
    const ZelRequest request = ZelRequest::getModuleType();
    ZelbusResponse response{};
    for (auto _ : state) {
        if (!comm.sendCommandWait(request, &response).ok()) state.SkipWithError("no answer");
        benchmark::DoNotOptimize(response.command);
    }
}
BENCHMARK(BM_SendCommandWait)->UseRealTime();

void BM_BarePingPong(benchmark::State& state) {
    namespace net = zel::platform;
    Fixture f;
    const net::SocketHandle s = net::openUdpSocket();
    if (!f.started || s == net::kInvalidSocket) {
        state.SkipWithError("no simulated module");
        return;
    }
    const std::uint32_t address = net::parseAddress(f.module.c_str());
    const unsigned char request[3] = {UDP_CMD_GET_MODULE_TYPE, 0, 0};
    unsigned char answer[zelbus::kFrameSize];
    for (auto _ : state) {
        net::sendTo(s, request, sizeof(request), address, zelbus::kModulePort);
        benchmark::DoNotOptimize(net::receiveFrom(s, answer, sizeof(answer), nullptr));
    }
    net::closeSocket(s);
}
BENCHMARK(BM_BarePingPong)->UseRealTime();

// The two taken in turn within each iteration, so that both see the same
// machine (its load, its idle cores' wake-ups): the benchmark's time is the
// library's call; the counters are the medians of both and their ratio.
// Nanoseconds of the steady clock: a median of a few tens of microseconds
// needs finer steps than whole microseconds.
long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_AgainstBarePingPong(benchmark::State& state) {
    namespace net = zel::platform;
    Fixture f;
    ZelComm comm;
    const net::SocketHandle s = net::openUdpSocket();
    if (!f.started || s == net::kInvalidSocket || !comm.initializeComm(f.module.c_str())) {
        state.SkipWithError("no simulated module");
        return;
    }
    const std::uint32_t address = net::parseAddress(f.module.c_str());
    const ZelRequest request = ZelRequest::getModuleType();
    ZelbusResponse response{};
    unsigned char answer[zelbus::kFrameSize];
    std::vector<long long> library;
    std::vector<long long> bare;
    // The two take turns at going first: whichever follows the other finds
    // the simulator's core awake.
    const auto takeLibrary = [&] {
        const long long t = nowNs();
        if (!comm.sendCommandWait(request, &response).ok()) state.SkipWithError("no answer");
        const long long took = nowNs() - t;
        library.push_back(took);
        state.SetIterationTime(static_cast<double>(took) / 1e9);
    };
    const auto takeBare = [&] {
        const long long t = nowNs();
        net::sendTo(s, request.bytes(), static_cast<std::size_t>(request.size()), address,
                    zelbus::kModulePort);
        benchmark::DoNotOptimize(net::receiveFrom(s, answer, sizeof(answer), nullptr));
        bare.push_back(nowNs() - t);
    };
    bool libraryFirst = true;
    for (auto _ : state) {
        if (libraryFirst) {
            takeLibrary();
            takeBare();
        } else {
            takeBare();
            takeLibrary();
        }
        libraryFirst = !libraryFirst;
    }
    net::closeSocket(s);
    const auto median = [](std::vector<long long>& ns) {
        if (ns.empty()) return 0.0;
        std::nth_element(ns.begin(), ns.begin() + static_cast<long>(ns.size() / 2), ns.end());
        return static_cast<double>(ns[ns.size() / 2]) / 1000.0;
    };
    const double lib = median(library);
    const double floor = median(bare);
    state.counters["exchange_us"] = lib;
    state.counters["bare_us"] = floor;
    // The target: within 1.10x the bare ping-pong.
    state.counters["x_bare"] = floor > 0 ? lib / floor : 0.0;
}
BENCHMARK(BM_AgainstBarePingPong)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
