// zelsim: a simulated segment as its own process, for host programs run
// against it instead of hardware.
//   zelsim [--subnet N] [--modules H1,H2,...]
// Modules listen on 127.N.0.H:27015, discovery on 127.N.255.255:27015; the
// host side binds 127.N.0.1 with netmask 255.255.0.0. Runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include <unistd.h>

#include "sim_segment.h"

namespace {
volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) { interrupted = 1; }
}  // namespace

int main(int argc, char** argv) {
    int subnet = 0;
    std::string hosts = "10,11,12";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--subnet" && i + 1 < argc) {
            subnet = std::atoi(argv[++i]);
        } else if (a == "--modules" && i + 1 < argc) {
            hosts = argv[++i];
        } else {
            std::fprintf(stderr, "usage: zelsim [--subnet N] [--modules H1,H2,...]\n");
            return 2;
        }
    }
    zelsim::Segment segment(subnet);
    std::stringstream list(hosts);
    std::string host;
    bool first = true;
    while (std::getline(list, host, ',')) {
        zelsim::ModuleState state;
        state.connectFlag = first;
        first = false;
        segment.addModule(std::atoi(host.c_str()), state);
    }
    if (!segment.start()) {
        std::fprintf(stderr, "zelsim: cannot bind the sockets of subnet 127.%d.0.0/16\n",
                     segment.subnet());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("zelsim: subnet 127.%d.0.0/16, discovery on %s:27015, host side %s netmask %s\n",
                segment.subnet(), segment.broadcastAddress().c_str(),
                segment.hostAddress().c_str(), zelsim::Segment::kNetmask);
    std::stringstream again(hosts);
    while (std::getline(again, host, ',')) {
        std::printf("zelsim: module at 127.%d.0.%s:27015\n", segment.subnet(), host.c_str());
    }
    std::fflush(stdout);
    while (!interrupted) pause();
    segment.stop();
    return 0;
}
