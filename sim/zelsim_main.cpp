// zelsim: a simulated segment as its own process, for host programs run
// against it instead of hardware.
//   zelsim [--subnet N] [--chain default|FILE] [--modules H1,H2,...] [--async-period MS] [--pcap
//   FILE]
//          [--cpu N] [--control stdin|PORT]
// --chain default: one module of each kind in a shuffled physical order;
// --chain FILE: the modules of a configuration file, in its order;
// --modules: plain TTL modules at the given host numbers;
// --async-period: once a host has turned asynchronous mode on and set a
// port, each module sends its latch and channel-status messages every MS
// milliseconds (10 to 60000), besides those it sends on a change;
// --pcap: every datagram the modules receive and send, written to FILE as a
// pcap capture (raw IPv4) that Wireshark and tshark read;
// --cpu: the modules are served on processor N only, as a module has a
// processor of its own (a host measured against them runs on another).
// --control: commands that break the running segment (faults per module and
// command, a restart, a pulled cable; see sim_control.h), one a line from
// standard input, or one a datagram to 127.0.0.1:PORT (0: a free port,
// printed), each answered with one line.
// --replay FILE: the chain of a recording (zeltool acquire --record), its
// measuring modules answering with the recorded values; at the recorded
// pace, --replay-speed X times as fast, or --replay-step: one recorded
// sample for each snapshot a host takes (see sim_replay.h).
// Modules listen on 127.N.0.H:27015, discovery on 127.N.255.255:27015; the
// host side binds 127.N.0.1 with netmask 255.255.0.0. Runs until interrupted.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "sim_chain_file.h"
#include "sim_control.h"
#include "sim_replay.h"

namespace {
volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) { interrupted = 1; }

constexpr char kUsage[] =
    "usage: zelsim [--subnet N] [--chain default|FILE] [--modules H1,H2,...]"
    " [--async-period MS] [--pcap FILE] [--cpu N] [--control stdin|PORT]\n"
    "       zelsim --replay FILE [--replay-speed X | --replay-step] [OPTIONS]\n";

constexpr char kOptions[] =
    "  --subnet N          serve 127.N.0.0/16 (default: the first free from 2)\n"
    "  --chain default|FILE  one module of each kind, or the modules of a configuration file\n"
    "  --modules H1,H2,... plain TTL modules at these host numbers\n"
    "  --async-period MS   asynchronous messages every MS ms once a host turned them on\n"
    "  --pcap FILE         write every datagram to a pcap capture\n"
    "  --cpu N             serve the modules on processor N only\n"
    "  --control stdin|PORT  take control commands from standard input, or as datagrams\n"
    "                      on 127.0.0.1:PORT (0: a free port, printed at start)\n"
    "  --replay FILE       the chain of a recording (zeltool acquire --record): each\n"
    "                      measuring module answers with its recorded values in order,\n"
    "                      converted back to what the module sends, so a host without\n"
    "                      a configuration file reads them again; a module that had no\n"
    "                      values in a sample stays silent for it; after the last\n"
    "                      sample counts requests go unanswered (docs/recording.md)\n"
    "  --replay-speed X    serve the recorded samples X times as fast (0.001 to 1000;\n"
    "                      default 1, the recorded pace from the first counts request)\n"
    "  --replay-step       each snapshot a host takes gets the next recorded sample\n";

// What was wrong, then the usage line; status 2.
int usage(const std::string& problem) {
    std::fprintf(stderr, "zelsim: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

// Runs control commands from standard input until interrupted; the end of
// standard input ends only its commands.
void serveControl(zelsim::Segment& segment, bool fromStdin) {
    std::string line;
    while (!interrupted) {
        if (!fromStdin) {
            pause();
            continue;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, -1) <= 0) continue;  // a signal
        char buffer[512];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (got <= 0) {
            fromStdin = false;
            continue;
        }
        line.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = line.find('\n')) != std::string::npos;) {
            const std::string command = line.substr(0, end);
            line.erase(0, end + 1);
            if (command.find_first_not_of(" \t\r") == std::string::npos) continue;
            std::printf("%s\n", zelsim::control(segment, command).c_str());
            std::fflush(stdout);
        }
    }
}
}  // namespace

int main(int argc, char** argv) {
    int subnet = 0;
    std::string chain = "default";
    std::string hosts;
    int asyncPeriodMs = 0;
    std::string pcap;
    int cpu = -1;
    bool controlStdin = false;
    int controlPort = -1;
    std::string replay;
    bool chainGiven = false;
    bool replayStep = false;
    double replaySpeed = 0.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s%s\n%s", kUsage, kOptions, zelsim::kControlHelp);
            return 0;
        }
        if (a == "--replay-step") {
            replayStep = true;
            continue;
        }
        if (a != "--subnet" && a != "--chain" && a != "--replay" && a != "--replay-speed" &&
            a != "--modules" && a != "--pcap" && a != "--cpu" && a != "--async-period" &&
            a != "--control") {
            return usage("unknown argument '" + a + "'");
        }
        if (i + 1 >= argc) return usage(a + " needs a value");
        const std::string value = argv[++i];
        long n = 0;
        if (a == "--subnet") {
            if (!zelsim::wholeNumber(value, 2, 254, n)) {
                return usage("--subnet takes 2 to 254, not '" + value + "'");
            }
            subnet = static_cast<int>(n);
        } else if (a == "--chain") {
            chain = value;
            chainGiven = true;
        } else if (a == "--replay") {
            replay = value;
        } else if (a == "--replay-speed") {
            char* end = nullptr;
            replaySpeed = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(replaySpeed >= 0.001) ||
                replaySpeed > 1000) {
                return usage("--replay-speed takes 0.001 to 1000, not '" + value + "'");
            }
        } else if (a == "--modules") {
            if (value.empty()) return usage("--modules needs host numbers");
            hosts = value;
        } else if (a == "--control") {
            if (value == "stdin") {
                controlStdin = true;
            } else if (zelsim::wholeNumber(value, 0, 65535, n)) {
                controlPort = static_cast<int>(n);
            } else {
                return usage("--control takes stdin or a port 0 to 65535, not '" + value + "'");
            }
        } else if (a == "--pcap") {
            pcap = value;
        } else if (a == "--cpu") {
            // 0 when the system does not tell.
            const long cores = static_cast<long>(std::thread::hardware_concurrency());
            if (!zelsim::wholeNumber(value, 0, cores > 0 ? cores - 1 : 1023, n)) {
                return usage("--cpu takes a processor of this machine, not '" + value + "'");
            }
            cpu = static_cast<int>(n);
        } else {
            if (!zelsim::wholeNumber(value, 10, 60000, n)) {
                return usage("--async-period takes 10 to 60000 ms, not '" + value + "'");
            }
            asyncPeriodMs = static_cast<int>(n);
        }
    }
    if (replay.empty() && (replayStep || replaySpeed > 0)) {
        return usage("--replay-step and --replay-speed need --replay FILE");
    }
    if (!replay.empty() && (replayStep && replaySpeed > 0)) {
        return usage("--replay-step and --replay-speed exclude each other");
    }
    if (!replay.empty() && (!hosts.empty() || chainGiven)) {
        return usage("--replay makes the chain; it takes no --chain or --modules");
    }
    std::vector<zelsim::PlannedModule> plan;
    zelsim::Replay replayed;
    if (!replay.empty()) {
        std::string error;
        if (!replayed.load(replay, error)) {
            std::fprintf(stderr, "zelsim: cannot replay: %s\n", error.c_str());
            return 1;
        }
        plan = replayed.plan();
    } else if (!hosts.empty()) {
        std::stringstream list(hosts);
        std::string host;
        std::set<long> taken;
        while (std::getline(list, host, ',')) {
            long h = 0;
            if (!zelsim::wholeNumber(host, 2, 254, h)) {
                return usage("--modules takes host numbers 2 to 254, not '" + host + "'");
            }
            if (!taken.insert(h).second) return usage("--modules names host " + host + " twice");
            plan.push_back({static_cast<int>(h), zelsim::ModuleState{}});
        }
        if (!plan.empty()) plan.front().state.connectFlag = true;
    } else if (chain == "default") {
        plan = zelsim::defaultChain();
    } else {
        std::string error;
        if (!zelsim::chainFromFile(chain, plan, error)) {
            std::fprintf(stderr, "zelsim: %s\n", error.c_str());
            return 1;
        }
    }
    for (auto& planned : plan) planned.state.asyncPeriodMs = asyncPeriodMs;
    zelsim::Segment segment(subnet);
    zelsim::addChain(segment, plan);
    if (!replay.empty()) {
        zelsim::ReplayOptions options;
        options.step = replayStep;
        if (replaySpeed > 0) options.speed = replaySpeed;
        replayed.attach(segment, options);
    }
    segment.setServingCpu(cpu);
    if (!pcap.empty() && !segment.capture(pcap)) {
        std::fprintf(stderr, "zelsim: cannot create the capture file %s\n", pcap.c_str());
        return 1;
    }
    if (!segment.start()) {
        std::fprintf(stderr, "zelsim: cannot bind the sockets of subnet 127.%d.0.0/16\n",
                     segment.subnet());
        return 1;
    }
    if (segment.servingCpuRefused()) {
        std::fprintf(stderr,
                     "zelsim: the system keeps no thread of this process on processor %d;"
                     " the modules are served wherever the scheduler puts them\n",
                     cpu);
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("zelsim: subnet 127.%d.0.0/16, discovery on %s:27015, host side %s netmask %s\n",
                segment.subnet(), segment.broadcastAddress().c_str(), segment.hostAddress().c_str(),
                zelsim::Segment::kNetmask);
    for (std::size_t i = 0; i < plan.size(); ++i) {
        std::printf("zelsim: position %zu: %s (%u) at 127.%d.0.%d:27015%s\n", i,
                    zelsim::modelOf(plan[i].state.moduleId).c_str(), plan[i].state.moduleId,
                    segment.subnet(), plan[i].host,
                    plan[i].state.connectFlag ? ", plugged into the host" : "");
    }
    if (!replay.empty()) {
        char pace[96];
        std::snprintf(pace, sizeof(pace),
                      "at %g times the recorded pace from the first counts request",
                      replaySpeed > 0 ? replaySpeed : 1.0);
        std::printf("zelsim: replaying %s: %llu samples, %s\n", replay.c_str(), replayed.samples(),
                    replayStep ? "one for each snapshot a host takes" : pace);
        for (const std::string& line : replayed.inexact())
            std::printf("zelsim: replay: %s\n", line.c_str());
    }
    zelsim::ControlPort control(segment);
    if (controlPort >= 0) {
        if (!control.open(controlPort)) {
            std::fprintf(stderr, "zelsim: cannot bind the control port 127.0.0.1:%d\n",
                         controlPort);
            segment.stop();
            return 1;
        }
        std::printf("zelsim: control port 127.0.0.1:%d\n", control.port());
    }
    std::printf("zelsim: ready\n");
    std::fflush(stdout);
    serveControl(segment, controlStdin);
    control.close();
    segment.stop();
    return 0;
}
