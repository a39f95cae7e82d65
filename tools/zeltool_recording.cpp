// zeltool recording: what a recording made by `acquire --record` holds
// (info), and its records printed exactly as acquire printed them (export),
// the whole of it or a span of time.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "station/zel_acquisition_text.h"
#include "station/zel_recorder.h"
#include "zeltool.h"
#include "zeltool_stream.h"

namespace zeltool {

namespace {

// A time of --from or --to: "2026-12-07T23:10:00[.fraction]Z" (UTC), or
// seconds after the recording's start. False when it is neither.
bool parseTime(const std::string& text, long long startUtcUs, long long& utcUs) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0' && seconds >= 0 && seconds < 1e9) {
        utcUs = startUtcUs + static_cast<long long>(seconds * 1e6);
        return true;
    }
    std::tm parts{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6) {
        return false;
    }
    long long fraction = 0;
    std::string rest = text.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty() && rest[0] == '.') {
        std::size_t digits = 1;
        long long scale = 100000;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
            fraction += (rest[digits] - '0') * scale;
            scale /= 10;
            ++digits;
        }
        if (digits == 1 || digits > 7) return false;
        rest = rest.substr(digits);
    }
    if (rest != "Z" || parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 ||
        parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 60) {
        return false;
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
#if defined(_WIN32)
    const long long t = _mkgmtime(&parts);
#else
    const long long t = timegm(&parts);
#endif
    utcUs = t * 1000000 + fraction;
    return true;
}

int info(const Options& options, ZelRecording& rec, const std::string& file) {
    ZelRecording::Summary s;
    if (!rec.summary(s)) return fail(options, kFileInvalid, rec.error(), file);
    const ZelRecordingContext& c = rec.context();
    const double spanS = s.samples > 1 ? (s.lastUtcUs - s.firstUtcUs) / 1e6 : 0.0;
    if (options.json()) {
        std::string j =
            "{\"file\": " + jsonText(file) + ", \"tool\": " + jsonText(c.toolName) +
            ", \"library_version\": " + jsonText(c.libraryVersion) +
            ", \"rate_hz\": " + std::to_string(c.rateHz) +
            ", \"part\": " + std::to_string(rec.part()) + ", \"start\": \"" +
            zelIsoUtc(rec.startUtcUs()) +
            "\", \"end\": " + (rec.endUtcUs() ? "\"" + zelIsoUtc(rec.endUtcUs()) + "\"" : "null") +
            ", \"first_sample\": " + (s.samples ? "\"" + zelIsoUtc(s.firstUtcUs) + "\"" : "null") +
            ", \"last_sample\": " + (s.samples ? "\"" + zelIsoUtc(s.lastUtcUs) + "\"" : "null") +
            ", \"samples\": " + std::to_string(s.samples) +
            ", \"first_sequence\": " + std::to_string(s.firstSequence) +
            ", \"last_sequence\": " + std::to_string(s.lastSequence) +
            ", \"gaps\": " + std::to_string(s.gaps) + ", \"events\": " + std::to_string(s.events) +
            ", \"wall_clock_synchronised\": " + (c.wallClockSynchronised ? "true" : "false") +
            ", \"configuration_file\": " + jsonText(c.configurationFile) + ", \"modules\": [";
        for (std::size_t i = 0; i < c.modules.size(); ++i) {
            const auto& m = c.modules[i];
            j += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(m.position) +
                 ", \"kind\": " + jsonText(m.kind) + ", \"address\": " + jsonText(m.address) +
                 ", \"label\": " + jsonText(m.label) +
                 ", \"firmware_version\": " + jsonText(m.firmwareVersion) +
                 ", \"channels\": " + std::to_string(m.channels) + "}";
        }
        j += "], \"channels\": [";
        for (std::size_t i = 0; i < c.channels.size(); ++i) {
            const auto& ch = c.channels[i];
            j += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(ch.position) +
                 ", \"channel\": " + std::to_string(ch.channel) +
                 ", \"label\": " + jsonText(ch.label) + ", \"unit\": " + jsonText(ch.unit) + "}";
        }
        std::printf("%s]}\n", j.c_str());
        return kOk;
    }
    std::printf("%s: recorded by %s, library %s, at %g Hz%s\n", file.c_str(), c.toolName.c_str(),
                c.libraryVersion.c_str(), c.rateHz,
                rec.part() > 0 ? (", part " + std::to_string(rec.part())).c_str() : "");
    std::printf("started %s, %s\n", zelIsoUtc(rec.startUtcUs()).c_str(),
                rec.endUtcUs() ? ("ended " + zelIsoUtc(rec.endUtcUs())).c_str()
                               : "did not end (the recording process stopped first)");
    if (s.samples > 0) {
        std::printf("%llu samples (sequence %llu to %llu) from %s to %s (%.3f s)\n", s.samples,
                    s.firstSequence, s.lastSequence, zelIsoUtc(s.firstUtcUs).c_str(),
                    zelIsoUtc(s.lastUtcUs).c_str(), spanS);
    } else {
        std::printf("0 samples\n");
    }
    std::printf("%llu gaps, %llu other events; wall clock %s\n", s.gaps, s.events,
                c.wallClockSynchronised ? "synchronised" : "not synchronised");
    if (!c.configurationFile.empty())
        std::printf("configuration file %s (stored)\n", c.configurationFile.c_str());
    std::printf("%-8s %-16s %-16s %-12s %-10s %s\n", "module", "kind", "address", "label",
                "firmware", "channels (unit, label)");
    for (const auto& m : c.modules) {
        std::string channels;
        for (const auto& ch : c.channels) {
            if (ch.position != m.position) continue;
            channels += (channels.empty() ? "" : ", ") + std::to_string(ch.channel) + " " +
                        ch.unit + (ch.label.empty() ? "" : " " + ch.label);
        }
        std::printf("%-8u %-16s %-16s %-12s %-10s %s\n", m.position, m.kind.c_str(),
                    m.address.c_str(), m.label.c_str(), m.firmwareVersion.c_str(),
                    channels.c_str());
    }
    return kOk;
}

int exportRecords(const Options& options, ZelRecording& rec, const std::string& file) {
    long long from = std::numeric_limits<long long>::min();
    long long to = std::numeric_limits<long long>::max();
    if (!options.from.empty() && !parseTime(options.from, rec.startUtcUs(), from))
        return usage(options, "bad time '" + options.from + "' for --from");
    if (!options.to.empty() && !parseTime(options.to, rec.startUtcUs(), to))
        return usage(options, "bad time '" + options.to + "' for --to");
    // A column per recorded value, as acquire printed them.
    std::vector<unsigned short> valueCounts;
    for (const auto& c : rec.context().channels) {
        if (c.position >= valueCounts.size()) valueCounts.resize(c.position + 1u, 0);
        ++valueCounts[c.position];
    }
    StreamPrinter printer(options, valueCounts);
    // The engine's counts as they were at the end, for the whole recording;
    // for a span, those of the records printed.
    ZelAcqStatistics counts;
    counts.wallClockSynchronised = rec.context().wallClockSynchronised;
    counts.wallClockMaxErrorUs = rec.context().wallClockMaxErrorUs;
    const bool ok = rec.forEach(from, to, [&](const ZelAcqRecord& r) {
        printer.record(r);
        if (r.kind == ZEL_ACQ_SAMPLE) {
            ++counts.samples;
            counts.maxLatenessUs = std::max(counts.maxLatenessUs, r.requestUs - r.deadlineUs);
        } else if (r.kind == ZEL_ACQ_MISSED) {
            counts.missedDeadlines += r.count;
        } else if (r.kind == ZEL_ACQ_OVERFLOW) {
            counts.overflows += r.count;
        }
        return interrupts() == 0;
    });
    std::fflush(stdout);
    if (!ok) return fail(options, kFileInvalid, rec.error(), file);
    if (options.from.empty() && options.to.empty()) rec.finalStatistics(counts);
    printer.statistics(counts);
    return interrupts() > 0 ? kInterrupted : kOk;
}

}  // namespace

int recording(const Options& options) {
    const std::string& what = options.args[1];
    if (what != "info" && what != "export")
        return usage(options, "recording takes info FILE or export FILE, not '" + what + "'");
    if (options.args.size() != 3) return usage(options, "recording " + what + " takes one FILE");
    if (what == "info" && (!options.from.empty() || !options.to.empty() || options.csv()))
        return usage(options, "--from, --to and --csv go with recording export");
    const std::string& file = options.args[2];
    ZelRecording rec;
    if (!rec.open(file)) return fail(options, kFileInvalid, rec.error(), file);
    catchInterrupts();
    return what == "info" ? info(options, rec, file) : exportRecords(options, rec, file);
}

}  // namespace zeltool
