// The recorder's cost: a stream of synthetic samples (MODULES modules of 4
// values each at RATE Hz, SECONDS seconds of it) handed to the recorder as
// fast as its queue takes them, beside a bare loop that makes the same
// records and drops them. Prints the process CPU time per recorded second
// of both (their difference is the recorder's share of one core at that
// rate) and the file's bytes per hour.
//
//   recorder_bench [MODULES [RATE [SECONDS [KEEP]]]]   (default 32 1000 20)
//
// With KEEP the recording stays at that path, for timing its export:
//   time zeltool recording export KEEP --csv > /dev/null
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "station/zel_recorder.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

ZelAcqRecord make(unsigned long long sequence, int modules, double rate) {
    ZelAcqRecord r;
    r.sequence = sequence;
    r.deadlineUs = static_cast<long long>(sequence * 1e6 / rate);
    r.requestUs = r.deadlineUs + 40;
    r.answerUs = r.requestUs + 600;
    r.utcUs = 1'800'000'000'000'000LL + r.requestUs;
    r.modules.resize(static_cast<std::size_t>(modules));
    for (int m = 0; m < modules; ++m) {
        ZelAcqModuleValues& v = r.modules[static_cast<std::size_t>(m)];
        v.position = static_cast<unsigned short>(m);
        v.numValues = 4;
        v.sentUs = r.requestUs + m;
        v.receivedUs = r.answerUs - m;
        for (int c = 0; c < 4; ++c) v.values[c] = 0.0001 * static_cast<double>(sequence * 7 + c);
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int modules = argc > 1 ? std::atoi(argv[1]) : 32;
    const double rate = argc > 2 ? std::atof(argv[2]) : 1000.0;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 20.0;
    const auto samples = static_cast<unsigned long long>(rate * seconds);
    const std::string file = argc > 4 ? std::string(argv[4])
                                      : (std::filesystem::temp_directory_path() /
                                         ("recorder_bench_" + std::to_string(getpid()) + ".zelrec"))
                                            .string();

    // Baseline: the same records made and dropped.
    double cpu = cpuSeconds();
    unsigned long long sink = 0;
    for (unsigned long long s = 0; s < samples; ++s) sink += make(s, modules, rate).modules.size();
    const double bare = cpuSeconds() - cpu;

    ZelRecordingContext context;
    for (int m = 0; m < modules; ++m) {
        context.modules.push_back(
            {static_cast<unsigned short>(m), "TTL encoder", "", "", "", "", 4});
        for (unsigned short c = 0; c < 4; ++c)
            context.channels.push_back({static_cast<unsigned short>(m), c, "", "mm"});
    }
    context.rateHz = rate;
    ZelRecorder recorder;
    if (!recorder.open(file, context)) {
        std::fprintf(stderr, "recorder_bench: %s\n", recorder.error().c_str());
        return 1;
    }
    cpu = cpuSeconds();
    for (unsigned long long s = 0; s < samples; ++s) {
        const ZelAcqRecord r = make(s, modules, rate);
        while (!recorder.push(r)) std::this_thread::yield();
    }
    if (!recorder.close()) {
        std::fprintf(stderr, "recorder_bench: %s\n", recorder.error().c_str());
        return 1;
    }
    const double recorded = cpuSeconds() - cpu;
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    if (argc <= 4) std::filesystem::remove(file);
    std::printf("%d modules x 4 values at %g Hz, %g s of samples (%llu)\n", modules, rate, seconds,
                sink / static_cast<unsigned long long>(modules));
    std::printf("bare loop: %.3f s CPU (%.1f %% of one core at this rate)\n", bare,
                100.0 * bare / seconds);
    std::printf("recorded:  %.3f s CPU (%.1f %% of one core at this rate; recorder %.1f %%)\n",
                recorded, 100.0 * recorded / seconds, 100.0 * (recorded - bare) / seconds);
    std::printf("file: %.0f bytes, %.2f GB an hour\n", bytes, bytes / seconds * 3600 / 1e9);
    return 0;
}
