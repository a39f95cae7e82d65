// zeltool acquire: every measuring module of the chain sampled at a fixed
// rate by the station's acquisition engine, each sample and each event
// (missed deadlines, overflows, a module failing, lost, back, restored, its
// gap, messages modules send) printed as it comes with its UTC time stamp,
// and the statistics of every channel at the end.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "station/zel_acquisition.h"
#include "station/zel_acquisition_station.h"
#include "station/zel_acquisition_text.h"
#include "station/zel_recorder.h"
#include "zel_value_units.h"
#include "zeltool.h"
#include "zeltool_stream.h"

namespace zeltool {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// What an event says, in words (text and CSV) or as JSON members.
std::string eventWords(const ZelAcqRecord& r) {
    const std::string module = "module " + std::to_string(r.position);
    switch (r.kind) {
        case ZEL_ACQ_MISSED:
            return std::to_string(r.count) + " deadlines missed from " + std::to_string(r.sequence);
        case ZEL_ACQ_OVERFLOW:
            return std::to_string(r.count) + " records lost to a full queue from " +
                   std::to_string(r.sequence);
        case ZEL_ACQ_HEALTH:
            return module + " " + zelAcqHealthName(r.previous) + " -> " +
                   zelAcqHealthName(r.health) +
                   (r.returned != ZEL_ACQ_RETURN_NONE
                        ? std::string(" (") + zelAcqReturnName(r.returned) + ")"
                        : "") +
                   (r.code != 0 ? " (last code " + std::to_string(r.code) + ")" : "");
        case ZEL_ACQ_GAP:
            return module + " missed " + std::to_string(r.count) + " samples from " +
                   std::to_string(r.sequence) + " (" + zelAcqReturnName(r.returned) + ")";
        case ZEL_ACQ_RESTORED:
            return module + (r.code == 0
                                 ? " settings restored"
                                 : " settings not restored (code " + std::to_string(r.code) + ")");
        case ZEL_ACQ_ASYNC:
            if (r.messageType == 22) {
                std::string latch;
                for (unsigned char b : r.latch) latch += std::to_string(b);
                return module + " latch " + latch;
            }
            return module + " channel " + std::to_string(r.channel) + " status " +
                   std::to_string(r.status);
        default:
            return "";
    }
}

std::string eventJson(const ZelAcqRecord& r) {
    std::string j = "{\"kind\": \"" + std::string(zelAcqKindName(r.kind)) + "\", \"utc\": \"" +
                    zelIsoUtc(r.utcUs) + "\", \"sequence\": " + std::to_string(r.sequence);
    j += zelAcqEventFields(r, true);
    if (r.kind == ZEL_ACQ_ASYNC) j += ", \"text\": " + jsonText(eventWords(r));
    return j + "}";
}

// What a recording needs to be read without the station.
ZelRecordingContext recordingContext(const Options& options, const std::vector<ZelModule*>& list,
                                     ZelStation* station) {
    ZelRecordingContext c;
    c.libraryVersion = ZelModule::getLibraryVersion();
    c.toolName = std::string("zeltool ") + ZEL_VERSION_TEXT;
    c.rateHz = options.rate;
    if (station != nullptr) {
        c.configurationFile = options.config;
        std::ifstream in(options.config, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        c.configurationContent = text.str();
    }
    for (unsigned short p = 0; p < list.size(); ++p) {
        if (list[p] == nullptr || !isMeasuring(list[p]->getModuleData().moduleId)) continue;
        const ModuleData data = list[p]->getModuleData();
        ZelRecordingContext::Module m;
        m.position = p;
        m.kind = zeltool::kindName(data);
        m.address = data.ipAddress;
        m.serialNumber = data.serialNumber;
        m.firmwareVersion = data.firmwareVersion;
        m.channels = list[p]->getNumChannels();
        ZelStationModule info;
        if (station != nullptr && station->getModuleInfo(p, &info)) m.label = info.label;
        c.modules.push_back(m);
        const std::vector<std::string> units = zelValueUnits(*list[p]);
        for (unsigned short ch = 0; ch < units.size(); ++ch) {
            c.channels.push_back(
                {p, ch, station ? station->getChannelLabel(p, ch) : "", units[ch]});
        }
    }
    return c;
}

}  // namespace

void StreamPrinter::ChannelStats::add(double v) {
    ++count;
    min = std::min(min, v);
    max = std::max(max, v);
    sum += v;
}

void StreamPrinter::record(const ZelAcqRecord& r) {
    if (r.kind == ZEL_ACQ_SAMPLE) {
        ++samples;
        sample(r);
    } else {
        event(r);
    }
}

void StreamPrinter::sample(const ZelAcqRecord& r) {
    for (const ZelAcqModuleValues& m : r.modules) {
        if (m.code != 0) {
            ++failures[m.position];
            continue;
        }
        for (unsigned short c = 0; c < m.numValues; ++c) channels[{m.position, c}].add(m.values[c]);
    }
    if (options.json()) {
        std::string j = "{\"kind\": \"sample\", \"utc\": \"" + zelIsoUtc(r.utcUs) +
                        "\", \"sequence\": " + std::to_string(r.sequence) +
                        ", \"request_us\": " + std::to_string(r.requestUs) +
                        ", \"answer_us\": " + std::to_string(r.answerUs) +
                        ", \"lateness_us\": " + std::to_string(r.requestUs - r.deadlineUs) +
                        ", \"modules\": [";
        for (std::size_t i = 0; i < r.modules.size(); ++i) {
            const ZelAcqModuleValues& m = r.modules[i];
            j += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(m.position) +
                 ", \"code\": " + std::to_string(m.code) + ", \"values\": [";
            for (unsigned short c = 0; c < m.numValues; ++c)
                j += (c ? ", " : "") + number(m.values[c]);
            j += "]}";
        }
        std::printf("%s]}\n", j.c_str());
        return;
    }
    if (options.csv()) {
        if (!headerDone) {
            std::string h = "utc,sequence,kind,event";
            for (const ZelAcqModuleValues& m : r.modules) {
                const unsigned short n = channelCount(m.position);
                for (unsigned short c = 0; c < n && c < 8; ++c) {
                    h += "," + std::to_string(m.position) + " ch " + std::to_string(c);
                }
            }
            std::printf("%s\n", h.c_str());
            headerDone = true;
        }
        std::string line = zelIsoUtc(r.utcUs) + "," + std::to_string(r.sequence) + ",sample,";
        for (const ZelAcqModuleValues& m : r.modules) {
            const unsigned short n = channelCount(m.position);
            for (unsigned short c = 0; c < n && c < 8; ++c) {
                line += "," + (c < m.numValues && m.code == 0 ? number(m.values[c]) : "");
            }
        }
        std::printf("%s\n", line.c_str());
        return;
    }
    std::string line = zelIsoUtc(r.utcUs) + " #" + std::to_string(r.sequence);
    for (const ZelAcqModuleValues& m : r.modules) {
        line += "  " + std::to_string(m.position) + ":";
        if (m.code != 0) {
            line += " code " + std::to_string(m.code);
            continue;
        }
        for (unsigned short c = 0; c < m.numValues; ++c) line += " " + number(m.values[c]);
    }
    std::printf("%s\n", line.c_str());
}

void StreamPrinter::event(const ZelAcqRecord& r) {
    if (r.kind == ZEL_ACQ_GAP) {
        ++gaps[r.position];
        gapSamples[r.position] += r.count;
    }
    if (options.json()) {
        std::printf("%s\n", eventJson(r).c_str());
    } else if (options.csv()) {
        // Rows of their own, so the sample rows keep their columns.
        std::printf("%s,%llu,%s,%s\n", zelIsoUtc(r.utcUs).c_str(), r.sequence,
                    zelAcqKindName(r.kind), csvText(eventWords(r)).c_str());
    } else {
        std::printf("%s %s: %s\n", zelIsoUtc(r.utcUs).c_str(), zelAcqKindName(r.kind),
                    eventWords(r).c_str());
    }
}

void StreamPrinter::statistics(const ZelAcqStatistics& s) {
    if (options.json()) {
        std::string j =
            "{\"kind\": \"statistics\", \"samples\": " + std::to_string(s.samples) +
            ", \"missed_deadlines\": " + std::to_string(s.missedDeadlines) +
            ", \"overflows\": " + std::to_string(s.overflows) +
            ", \"max_lateness_us\": " + std::to_string(s.maxLatenessUs) +
            ", \"wall_clock_synchronised\": " + (s.wallClockSynchronised ? "true" : "false") +
            ", \"wall_clock_max_error_us\": " + std::to_string(s.wallClockMaxErrorUs) +
            ", \"channels\": [";
        bool first = true;
        for (const auto& [key, c] : channels) {
            j += std::string(first ? "" : ", ") + "{\"position\": " + std::to_string(key.first) +
                 ", \"channel\": " + std::to_string(key.second) +
                 ", \"count\": " + std::to_string(c.count) + ", \"min\": " + number(c.min) +
                 ", \"max\": " + number(c.max) + ", \"mean\": " + number(c.sum / c.count) +
                 ", \"range\": " + number(c.max - c.min) +
                 ", \"failed\": " + std::to_string(failures[key.first]) +
                 ", \"gaps\": " + std::to_string(gaps[key.first]) + "}";
            first = false;
        }
        std::printf("%s]}\n", j.c_str());
        return;
    }
    // Text; with --csv on stderr, so standard output stays one table.
    std::FILE* out = options.csv() ? stderr : stdout;
    std::fprintf(out,
                 "%llu samples, %llu missed deadlines, %llu records lost to a full queue, "
                 "largest lateness %lld us; wall clock %s",
                 s.samples, s.missedDeadlines, s.overflows, s.maxLatenessUs,
                 s.wallClockSynchronised ? "synchronised" : "not synchronised");
    if (s.wallClockMaxErrorUs >= 0)
        std::fprintf(out, " (error up to %lld us)", s.wallClockMaxErrorUs);
    std::fprintf(out, "\n%-8s %-7s %10s %14s %14s %14s %14s %7s %5s\n", "module", "channel",
                 "count", "min", "max", "mean", "range", "failed", "gaps");
    for (const auto& [key, c] : channels) {
        std::fprintf(out, "%-8d %-7d %10llu %14.6f %14.6f %14.6f %14.6f %7llu %5llu\n", key.first,
                     key.second, c.count, c.min, c.max, c.sum / c.count, c.max - c.min,
                     failures[key.first], gaps[key.first]);
    }
}

int acquire(const Options& options) {
    // With --config the station's modules at the file's addresses, their
    // settings restored from the file after a reboot; else the discovered,
    // ordered chain.
    ZelInterface chain;
    ZelStation station;
    std::vector<ZelModule*> list;
    if (!options.config.empty()) {
        if (int s = openStation(options, station)) return s;
        list = stationModules(station);
    } else {
        if (int s = openOrderedChain(options, chain)) return s;
        for (unsigned short i = 0; i < chain.getNumModules(); ++i)
            list.push_back(chain.getModule(i));
    }
    for (ZelModule* m : list) {
        if (m != nullptr) applyExchangeSettings(options, *m);
    }
    ZelStationRestorer restorer(station);
    ZelAcquisition engine(list.data(), static_cast<unsigned short>(list.size()));
    ZelAcquisitionOptions settings;
    if (!options.config.empty()) settings.restorer = &restorer;
    settings.rateHz = options.rate;
    settings.asyncMessages = true;
    if (options.timeoutMs > 0) settings.answerTimeoutMs = options.timeoutMs;
    ZelRecorder recorder;
    const bool recording = !options.record.empty();
    if (recording) {
        ZelRecordingContext context =
            recordingContext(options, list, options.config.empty() ? nullptr : &station);
        const ZelAcqStatistics clock = engine.statistics();
        context.wallClockSynchronised = clock.wallClockSynchronised;
        context.wallClockMaxErrorUs = clock.wallClockMaxErrorUs;
        ZelRecorderOptions storing;
        storing.rotateBytes = options.rotateBytes;
        storing.rotateSeconds = options.rotateSeconds;
        if (!recorder.open(options.record, context, storing))
            return fail(options, kFailed, recorder.error());
    }
    ZelResults r = engine.start(settings);
    if (!r.ok()) {
        // Nothing was recorded: no file is left behind.
        if (recording && recorder.close()) std::remove(options.record.c_str());
        if (r.getCode() == ZEL_OUT_OF_RANGE)
            return fail(options, kNotFound, "the chain holds no measuring module");
        return fail(options, kFailed, r);
    }
    if (options.output == Output::Text) {
        std::fprintf(
            stderr, "zeltool: sampling at %g Hz%s; Ctrl-C ends it\n", options.rate,
            options.durationS > 0 ? (" for " + number(options.durationS) + " s").c_str() : "");
    }
    // The CSV has a column per value the engine gives (an analog module's
    // two channels give four values: each one's volts and milliamperes).
    std::vector<unsigned short> valueCounts;
    for (ZelModule* m : list) {
        valueCounts.push_back(m != nullptr ? static_cast<unsigned short>(zelValueUnits(*m).size())
                                           : 0);
    }
    StreamPrinter printer(options, valueCounts);
    const long long endUs = options.durationS > 0
                                ? zel::platform::monotonicMicroseconds() +
                                      static_cast<long long>(options.durationS * 1e6)
                                : 0;
    ZelAcqRecord record;
    bool recordingFailed = false;
    auto take = [&](const ZelAcqRecord& rec) {
        printer.record(rec);
        // What is printed is what is recorded; a recorder behind drops and counts.
        if (recording && !recorder.push(rec) && !recordingFailed && recorder.statistics().failed) {
            recordingFailed = true;
        }
    };
    auto enough = [&] {
        return options.samples > 0 &&
               printer.samplesPrinted() >= static_cast<unsigned long long>(options.samples);
    };
    while (interrupts() == 0 && !recordingFailed) {
        if (endUs != 0 && zel::platform::monotonicMicroseconds() >= endUs) break;
        if (enough()) break;
        if (engine.next(record, 100)) take(record);
    }
    engine.stop();
    // What was sampled before the stop is printed too, up to --count.
    while (!recordingFailed && engine.next(record, 0)) {
        if (record.kind == ZEL_ACQ_SAMPLE && enough()) continue;
        take(record);
    }
    std::fflush(stdout);
    const ZelAcqStatistics final = engine.statistics();
    printer.statistics(final);
    if (recording) {
        const bool stored = recorder.close(&final);
        const ZelRecorderStatistics rs = recorder.statistics();
        if (!stored) return fail(options, kFailed, recorder.error());
        if (rs.parts > 1) {
            std::fprintf(stderr, "zeltool: recorded in %u parts, %s to %s\n", rs.parts,
                         options.record.c_str(),
                         ZelRecorder::partPath(options.record, rs.parts - 1).c_str());
        }
        if (rs.dropped > 0) {
            std::fprintf(stderr, "zeltool: the recorder fell behind: %llu records not recorded\n",
                         rs.dropped);
        }
    }
    return interrupts() > 0 ? kInterrupted : kOk;
}

}  // namespace zeltool
