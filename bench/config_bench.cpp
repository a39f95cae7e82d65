// The configuration file at the size of a full chain: 64 TTL modules of 8
// channels each. Load, full check, 1 000 element reads and one write.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/zel_config_writer.h"

namespace {

namespace fs = std::filesystem;

const char* const kModuleLeaves[] = {
    "SerialNumber",    "Model",     "Label",   "ModuleId",      "HardwareId", "BootloaderVersion",
    "FirmwareVersion", "UsingDhcp", "Netmask", "NetmaskStatic", "Mac",        "Ip",
    "IpStatic",        "Port",      "Active"};
const char* const kTtlChannelLeaves[] = {
    "ChannelLabel",      "ErrorMonitoring",   "Populated",
    "DeviceType",        "RotaryFormatType",  "UOM",
    "ErrorCompensation", "ScaleFactor",       "MasteringEnabled",
    "MasterDesired",     "MasterOffset",      "MasterUom",
    "DisplayResolution", "Resolution",        "LineCount",
    "SignalPeriod",      "CountingDirection", "ReferenceMark",
    "Interpolation"};

// Writes the document once per process and gives its path.
const std::string& document() {
    static const std::string path = [] {
        const fs::path p =
            fs::temp_directory_path() / ("zel-config-bench-" + std::to_string(::getpid()) + ".xml");
        std::ofstream out(p);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ModuleConfig>\n  "
               "<BaseLabel>bench</BaseLabel>\n";
        for (int m = 0; m < 64; ++m) {
            out << "  <Module>\n";
            for (const char* leaf : kModuleLeaves) {
                const std::string value = std::string(leaf) == "ModuleId" ? "58031501" : "value";
                out << "    <" << leaf << ">" << value << "</" << leaf << ">\n";
            }
            for (int c = 0; c < 8; ++c) {
                out << "    <Channel>\n";
                for (const char* leaf : kTtlChannelLeaves)
                    out << "      <" << leaf << ">1</" << leaf << ">\n";
                out << "    </Channel>\n";
            }
            out << "  </Module>\n";
        }
        out << "</ModuleConfig>\n";
        return p.string();
    }();
    return path;
}

void LoadAndCheck(benchmark::State& state) {
    for (auto _ : state) {
        ZelConfigWriter config;
        ZEL_XML_ELEMENTS element{};
        unsigned short module = 0, channel = 0;
        if (config.loadXml(document()) != ZEL_XML_OK ||
            config.validateElements(element, module, channel) != ZEL_XML_OK) {
            state.SkipWithError("the generated document did not check");
        }
    }
}
BENCHMARK(LoadAndCheck)->Unit(benchmark::kMillisecond);

void ThousandReads(benchmark::State& state) {
    ZelConfigWriter config;
    config.loadXml(document());
    std::string text;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            const auto module = static_cast<unsigned short>(1 + i % 64);
            const auto channel = static_cast<unsigned short>(1 + i % 8);
            config.getElement(ZEL_XML_INTERPOLATION, text, module, channel);
        }
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(ThousandReads)->Unit(benchmark::kMillisecond);

void Write(benchmark::State& state) {
    ZelConfigWriter config;
    config.loadXml(document());
    const std::string target = document() + ".out";
    for (auto _ : state) config.writeFile(target);
    std::remove(target.c_str());
    std::remove((target + "~").c_str());
}
BENCHMARK(Write)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(document().c_str());
    return 0;
}
