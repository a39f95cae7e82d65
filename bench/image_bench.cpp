// Image files: the validation of a 10 MB firmware file before anything is
// sent, and the transfer of data lines to a simulated module.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "fast_clock.h"
#include "image_builder.h"
#include "modules/zel_module.h"
#include "platform/clock.h"
#include "sim_segment.h"

namespace {

namespace fs = std::filesystem;

std::string tempFile(const char* tag) {
    return (fs::temp_directory_path() / ("zel-image-bench-" + std::to_string(::getpid()) + tag))
        .string();
}

void ValidateTenMegabytes(benchmark::State& state) {
    // Two images of about 5 MB each: 16 data bytes per 45-byte record line.
    const std::string path = tempFile("-10mb.dat");
    const std::size_t dataBytes = 5 * 1024 * 1024 * 16 / 46;
    zelimage::writeFile(path,
                        zelimage::buildFile({zelimage::firmwareImage("2.0.0", 1, dataBytes),
                                             zelimage::firmwareImage("1.0.0", 2, dataBytes)}));
    const auto size = static_cast<std::int64_t>(fs::file_size(path));
    ZelProgramming engine(nullptr);
    char version[64];
    for (auto _ : state) {
        if (!engine.getProgramVersion(path.c_str(), PROGRAMMING_FIRMWARE, version, PRIORITY_LEVEL_1)
                 .ok()) {
            state.SkipWithError("the built file did not validate");
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
    std::remove(path.c_str());
}
BENCHMARK(ValidateTenMegabytes)->Unit(benchmark::kMillisecond);

void StreamDataLines(benchmark::State& state) {
    zelsim::Segment segment;
    zelsim::ModuleState s;
    s.moduleId = ZEL_4105_01;
    s.bootloaderVersion = {1, 0, 3, 0, 0};
    s.firmwareVersion = {1, 0, 5, 0, 0};
    s.programming.rebootMs = 20;
    s.programming.returnMs = 20;
    segment.addModule(10, s);
    if (!segment.start()) {
        state.SkipWithError("no segment");
        return;
    }
    const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
    const zelimage::Image image = zelimage::firmwareImage("1.0.3", 1, 16 * 10000);
    const std::string path = tempFile("-stream.dat");
    zelimage::writeFile(path,
                        zelimage::buildFile({image, zelimage::firmwareImage("1.0.0", 2, 16)}));
    // The fixed pauses of the procedure 100 times shorter; the exchanges
    // keep their real time.
    zelsim::FastClock clock(100);
    ZelModule module;
    module.setClock(&clock);
    if (!module.initializeModule(address.c_str(), false).ok()) {
        state.SkipWithError("the simulated module did not answer");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const long long start = zel::platform::monotonicMicroseconds();
        if (!module.program(path.c_str(), false).ok()) state.SkipWithError("the update failed");
        seconds = (zel::platform::monotonicMicroseconds() - start) / 1e6;
    }
    state.counters["lines"] = static_cast<double>(image.records.size());
    state.counters["lines_per_second"] = image.records.size() / seconds;
    std::remove(path.c_str());
}
BENCHMARK(StreamDataLines)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
