// The acquisition engine over N simulated four-channel TTL modules at a
// fixed rate, beside a bare loop in the same run: the same snapshots taken
// by a plain loop that sleeps to absolute deadlines, with no queue, no
// records and no supervision. For each: the share of deadlines that got a
// sample, the lateness of the samples (request out after its deadline;
// p50, p99, max), and the processor time per sample of the sampling thread.
// Then the recovery: a module restarted while sampled, from the moment it
// answers again to its settings restored and its samples flowing.
//
// The simulator's thread runs on the second core (a module answers on a
// processor of its own), the host on the first. A deadline is met when it
// got a sample, however late that sample started; one is missed when the
// sample before ran past it, so that it got none.
//
// --wake-early US has both loops wake that long before each deadline and
// wait the rest awake; --realtime PRIO runs both loops, and the simulator's
// thread, under real-time scheduling where the system permits (the consumer
// stays an ordinary thread).
//
//   acquisition_bench [--seconds S] [--rate HZ] [--modules N] [--restarts K]
//                     [--wake-early US] [--realtime PRIO]
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "sim_segment.h"
#include "station/zel_acquisition.h"

namespace net = zel::platform;

namespace {

double cpuOfThisThreadUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Processor time of the process's thread of this name, from /proc (in
// clock ticks, so good to 10 ms: enough over a run of seconds).
double cpuOfThreadUs(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string n;
        std::getline(comm, n);
        if (n != name) continue;
        std::ifstream stat(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string f;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14) utime = std::stoull(f);
            if (i == 15) stime = std::stoull(f);
        }
        return static_cast<double>(utime + stime) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

void ordinaryScheduling() {
    sched_param p{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &p);
}

struct Lateness {
    std::vector<long long> us;
    double share(unsigned long long deadlines) const {
        return deadlines == 0 ? 0.0 : 100.0 * static_cast<double>(us.size()) / deadlines;
    }
    long long at(double q) {
        if (us.empty()) return 0;
        std::sort(us.begin(), us.end());
        const std::size_t i = std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()));
        return us[i];
    }
};

// Counting direction on every channel: the settings a restart takes away.
class Directions : public ZelModuleRestorer {
  public:
    ZelResults restore(unsigned short, ZelModule& module) override {
        auto& ttl = dynamic_cast<ZelTtlModule&>(module);
        const long long start = net::monotonicMicroseconds();
        ZelResults r;
        for (unsigned short c = 0; c < 4 && r.code() == ZEL_OK; ++c) {
            r = ttl.setCountingDirection(1, c);
        }
        settingsUs = net::monotonicMicroseconds() - start;
        return r;
    }
    long long settingsUs = 0;
};

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    double rate = 1000;
    int count = 32;
    int restarts = 5;
    long wakeEarlyUs = 0;
    int realtime = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds") seconds = std::atof(argv[i + 1]);
        if (a == "--rate") rate = std::atof(argv[i + 1]);
        if (a == "--modules") count = std::atoi(argv[i + 1]);
        if (a == "--restarts") restarts = std::atoi(argv[i + 1]);
        if (a == "--wake-early") wakeEarlyUs = std::atol(argv[i + 1]);
        if (a == "--realtime") realtime = std::atoi(argv[i + 1]);
    }
    zelsim::Segment segment;
    segment.setServingCpu(1);
    if (realtime > 0) segment.setServingRealtime(realtime);
    for (int m = 0; m < count; ++m) {
        zelsim::ModuleState s;
        s.moduleId = 58031501;
        s.numChannels = 4;
        s.connectFlag = m == 0;
        for (int c = 0; c < 4; ++c) s.axes[c].set(1000 * (c + 1), 10.0);
        segment.addModule(10 + m, s);
    }
    if (!segment.start()) return 1;
    std::vector<std::unique_ptr<ZelTtlModule>> objects;
    std::vector<ZelModule*> modules;
    for (int m = 0; m < count; ++m) {
        objects.push_back(std::make_unique<ZelTtlModule>());
        const std::string a =
            "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + m);
        if (!objects.back()->initializeModule(a.c_str(), false).ok()) return 1;
        modules.push_back(objects.back().get());
    }
    net::pinCurrentThread(0);
    const double periodUs = 1e6 / rate;
    std::printf(
        "%d modules at %g Hz for %g s each; simulator on core 1%s%s; waking %ld us early; "
        "load average %s\n",
        count, rate, seconds, segment.servingCpuRefused() ? " (refused: anywhere)" : "",
        segment.servingRealtime() ? ", real-time" : "", wakeEarlyUs, loadAverage().c_str());

    // The bare loop: the same snapshots to absolute deadlines, late ones skipped.
    {
        ZelChainSampler sampler(modules.data(), static_cast<unsigned short>(count));
        for (ZelModule* m : modules) m->setUdpTimeout(50);
        Lateness late;
        const auto deadlines = static_cast<unsigned long long>(seconds * rate);
        late.us.reserve(deadlines);
        net::tightenTimerSlack();
        const bool bareRealtime = realtime > 0 && net::raiseCurrentThreadToRealtime(realtime);
        const long long start = net::monotonicMicroseconds();
        const double cpu0 = cpuOfThisThreadUs();
        for (unsigned long long k = 0; k < deadlines;) {
            const long long due = start + static_cast<long long>(k * periodUs);
            net::sleepUntilMicroseconds(due - wakeEarlyUs);
            long long now = net::monotonicMicroseconds();
            while (now < due) now = net::monotonicMicroseconds();
            late.us.push_back(now - due);
            (void)sampler.sample();  // the lateness is measured, not the outcome
            const auto passed =
                static_cast<unsigned long long>((net::monotonicMicroseconds() - start) / periodUs);
            k = std::max(k + 1, passed);
        }
        const double cpu = cpuOfThisThreadUs() - cpu0;
        ordinaryScheduling();
        const std::size_t n = late.us.size();
        std::printf(
            "bare loop: %.3f %% of %llu deadlines met, lateness p50 %lld us p99 %lld us "
            "max %lld us, %.1f us processor per sample%s\n",
            late.share(deadlines), deadlines, late.at(0.5), late.at(0.99), late.at(1.0),
            cpu / static_cast<double>(n), bareRealtime ? "; real-time" : "");
        for (ZelModule* m : modules) m->setUdpTimeout(ZelComm::kDefaultUdpTimeoutMs);
    }

    // The engine, its consumer on this thread.
    {
        ZelAcquisition engine(modules.data(), static_cast<unsigned short>(count));
        ZelAcquisitionOptions o;
        o.rateHz = rate;
        o.queueCapacity = 65536;
        o.wakeEarlyUs = wakeEarlyUs;
        o.realtimePriority = realtime;
        if (!engine.start(o).ok()) return 1;
        Lateness late;
        late.us.reserve(static_cast<std::size_t>(seconds * rate) + 1);
        unsigned long long missed = 0;
        unsigned long long failed = 0;
        const double cpu0 = cpuOfThisThreadUs();
        const long long end = net::monotonicMicroseconds() + static_cast<long long>(seconds * 1e6);
        ZelAcqRecord r;
        while (net::monotonicMicroseconds() < end) {
            if (!engine.next(r, 100)) continue;
            if (r.kind == ZEL_ACQ_SAMPLE) {
                late.us.push_back(r.requestUs - r.deadlineUs);
                for (const auto& m : r.modules) failed += m.code != 0 ? 1 : 0;
            }
            if (r.kind == ZEL_ACQ_MISSED) missed += r.count;
        }
        const double consumer = cpuOfThisThreadUs() - cpu0;
        const double sampling = cpuOfThreadUs("zel-acquire");
        engine.stop();
        const ZelAcqStatistics s = engine.statistics();
        const unsigned long long deadlines = late.us.size() + missed;
        const std::size_t n = late.us.size();
        std::printf(
            "engine:    %.3f %% of %llu deadlines met, lateness p50 %lld us p99 %lld us "
            "max %lld us, %.1f us processor per sample (and %.1f us the consumer's); "
            "%llu module failures, %llu overflows%s\n",
            late.share(deadlines), deadlines, late.at(0.5), late.at(0.99), late.at(1.0),
            sampling / static_cast<double>(s.samples), consumer / static_cast<double>(n), failed,
            s.overflows, s.realtime ? "; real-time" : "");
    }

    // Recovery: a module restarted, silent 500 ms; from its first answer
    // after that to its settings restored and its samples flowing again.
    {
        Directions restorer;
        ZelAcquisition engine(modules.data(), static_cast<unsigned short>(count));
        ZelAcquisitionOptions o;
        o.rateHz = rate;
        o.restorer = &restorer;
        o.queueCapacity = 65536;
        if (!engine.start(o).ok()) return 1;
        long long worst = 0;
        long long worstSettings = 0;
        for (int k = 0; k < restarts; ++k) {
            const long long silentUntil = net::monotonicMicroseconds() + 500000;
            segment.restartModule(5, 500);
            ZelAcqRecord r;
            long long back = 0;
            while (engine.next(r, 5000)) {
                if (r.kind == ZEL_ACQ_HEALTH && r.position == 5 && r.health == ZEL_ACQ_HEALTH_OK &&
                    r.previous == ZEL_ACQ_HEALTH_LOST) {
                    back = r.requestUs;
                    break;
                }
            }
            if (back == 0) {
                std::printf("recovery %d: the module never came back\n", k);
                return 1;
            }
            worst = std::max(worst, back - silentUntil);
            worstSettings = std::max(worstSettings, restorer.settingsUs);
        }
        engine.stop();
        std::printf(
            "recovery:  worst of %d restarts %.1f ms from the module's return to its "
            "samples flowing again, of which %.1f ms the settings commands\n",
            restarts, worst / 1e3, worstSettings / 1e3);
    }
    std::printf("load average at the end %s\n", loadAverage().c_str());
    return 0;
}
