// Produces the sample captures of tools/wireshark/samples from simulated
// chains: make_samples OUTDIR. Each capture is what the simulated modules
// received and sent while the library did one kind of work.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "fast_clock.h"
#include "image_builder.h"
#include "platform/net.h"
#include "sim_chains.h"
#include "sim_segment.h"
#include "zellibrary.h"

namespace {

std::string address(const zelsim::Segment& s, int host) {
    return "127." + std::to_string(s.subnet()) + ".0." + std::to_string(host);
}

bool discoveryAndChain(const std::string& out) {
    zelsim::Segment segment;
    zelsim::addChain(segment, zelsim::defaultChain());
    if (!segment.capture(out + "/discovery_and_chain.pcap") || !segment.start()) return false;
    ZelInterface chain;
    return chain.createChain(segment.hostAddress().c_str(), 0, false, zelsim::Segment::kNetmask)
        .ok();
}

bool readsOfEveryKind(const std::string& out) {
    zelsim::Segment segment;
    const auto plan = zelsim::defaultChain();
    zelsim::addChain(segment, plan);
    if (!segment.capture(out + "/reads.pcap") || !segment.start()) return false;
    std::vector<std::unique_ptr<ZelModule>> modules;
    for (const auto& p : plan) {
        ZelModule probe;
        const std::string a = address(segment, p.host);
        if (!probe.initializeModule(a.c_str(), false).ok()) return false;
        const MODULE_ID id = probe.getModuleData().moduleId;
        std::unique_ptr<ZelModule> m(zel::kinds::create(id, false));
        if (m == nullptr) return false;
        if (!m->initializeModule(a.c_str(), false).ok()) return false;
        modules.push_back(std::move(m));
    }
    std::vector<ZelModule*> list;
    for (auto& m : modules) list.push_back(m.get());
    ZelChainSampler sampler(list.data(), static_cast<unsigned short>(list.size()));
    // What the exchanges put on the wire is the sample; their outcomes are
    // not looked at here, nor below.
    (void)sampler.sample();
    unsigned char latch[8];
    short adc[8];
    unsigned long errors[8];
    double values[8];
    (void)list[0]->getLatch(latch, 8);
    (void)list[0]->getAdcValues(adc, 8);
    (void)list[0]->getIntegrity(errors, values, 8);
    LeftData left;
    (void)list[1]->getLeft(&left);
    unsigned char status = 0;
    if (auto* kalix = dynamic_cast<ZelKalixModule*>(list[0]))
        (void)kalix->getChannelStatus(0, &status);
    return true;
}

bool firmwareUpdate(const std::string& out) {
    zelsim::Segment segment;
    zelsim::ModuleState s;
    s.moduleId = 58031501;
    s.numChannels = 4;
    s.bootloaderVersion = {1, 0, 3, 0, 0};
    s.firmwareVersion = {1, 0, 5, 0, 0};
    s.programming.rebootMs = 20;
    s.programming.returnMs = 20;
    segment.addModule(10, s);
    if (!segment.capture(out + "/firmware_update.pcap") || !segment.start()) return false;
    const std::string file = out + "/.fw.dat";
    if (!zelimage::writeFile(file,
                             zelimage::buildFile({zelimage::firmwareImage("2.0.0", 1, 600),
                                                  zelimage::firmwareImage("2.0.0", 2, 600)}))) {
        return false;
    }
    // Pauses of the update a hundred times shorter, so the sample is quick.
    zelsim::FastClock clock(100);
    ZelModule module;
    module.setClock(&clock);
    const std::string a = address(segment, 10);
    const bool ok =
        module.initializeModule(a.c_str(), false).ok() && module.program(file.c_str(), false).ok();
    std::remove(file.c_str());
    return ok;
}

bool asyncMessages(const std::string& out) {
    zelsim::Segment segment;
    zelsim::ModuleState s;
    s.moduleId = 58030501;
    s.numChannels = 4;
    segment.addModule(10, s);
    if (!segment.capture(out + "/async_messages.pcap") || !segment.start()) return false;
    const unsigned short port = static_cast<unsigned short>(30000 + segment.subnet());
    const zel::platform::SocketHandle listener = zel::platform::openUdpSocket();
    zel::platform::bindSocket(listener, 0, port);
    ZelKalixModule module;
    const std::string a = address(segment, 10);
    if (!module.initializeModule(a.c_str(), false).ok() || !module.setAsyncPort(&port).ok() ||
        !module.setAsyncMode(true).ok()) {
        return false;
    }
    segment.withState(0, [](zelsim::ModuleState& st) { st.latch = {1, 0, 1, 0, 0}; });
    segment.withState(0, [](zelsim::ModuleState& st) { st.channelStatus[2] = 0x05; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    zel::platform::closeSocket(listener);
    return true;
}

bool faults(const std::string& out) {
    zelsim::Segment segment;
    zelsim::ModuleState s;
    s.moduleId = 58031501;
    s.numChannels = 4;
    segment.addModule(10, s);
    if (!segment.capture(out + "/faults.pcap") || !segment.start()) return false;
    ZelTtlModule module;
    const std::string a = address(segment, 10);
    if (!module.initializeModule(a.c_str(), false).ok()) return false;
    module.setUdpTimeout(50);
    module.setUdpNumRetries(2);
    unsigned long counts[8];
    zelsim::Fault lost;
    lost.drop = 1;
    segment.setFault(0, UDP_CMD_GET_COUNTS, lost);
    (void)module.getCounts(counts, 8, COUNT_REQUEST_NORMAL);  // one drop, then a retry answered
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(0, UDP_CMD_GET_COUNTS, silent);
    (void)module.getCounts(counts, 8, COUNT_REQUEST_NORMAL);  // never answered
    zelsim::Fault wrong;
    wrong.type = UDP_CMD_GET_CONFIG;
    segment.setFault(0, UDP_CMD_GET_COUNTS, wrong);
    (void)module.getCounts(counts, 8, COUNT_REQUEST_NORMAL);  // an answer of another type
    zelsim::Fault cut;
    cut.truncate = 9;
    segment.setFault(0, UDP_CMD_GET_COUNTS, cut);
    (void)module.getCounts(counts, 8, COUNT_REQUEST_NORMAL);  // shorter than it announces
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTDIR\n");
        return 2;
    }
    const std::string out = argv[1];
    struct Sample {
        const char* name;
        bool (*make)(const std::string&);
    } samples[] = {{"reads", readsOfEveryKind},
                   {"firmware update", firmwareUpdate},
                   {"asynchronous messages", asyncMessages},
                   {"faults", faults},
                   {"discovery and chain", discoveryAndChain}};
    int status = 0;
    for (const Sample& s : samples) {
        const bool ok = s.make(out);
        std::printf("make_samples: %s: %s\n", s.name, ok ? "written" : "FAILED");
        status |= ok ? 0 : 1;
    }
    return status;
}
