// One command round trip through the library's exchange against a simulated
// module, beside a bare sendto/recvfrom ping-pong of the same request to the
// same kind of endpoint. The ratio of the two is the exchange's own cost (the
// stale-datagram poll before each request, the readiness wait and the size
// check of the answer).
#include <benchmark/benchmark.h>

#include <string>

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

}  // namespace

BENCHMARK_MAIN();
