// zeltool's station: --config FILE runs the chain a configuration file
// describes. Each module is reached at the file's address as the kind the
// file names, with no discovery broadcast and no ordering walk; targets are
// positions or labels of the file; readings come in the file's units with
// its channel labels. `config check` holds the live chain against a file
// and `config capture` writes one from the live chain.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "zel_simulated_station.h"
#include "zeltool.h"

namespace zeltool {

namespace {

const char* kindOfDifference(ZEL_STATION_DIFFERENCE kind) {
    switch (kind) {
        case ZEL_STATION_MISSING:
            return "missing";
        case ZEL_STATION_EXTRA:
            return "extra";
        case ZEL_STATION_SWAPPED:
            return "swapped";
        case ZEL_STATION_OTHER_MODEL:
            return "other model";
        case ZEL_STATION_OTHER_SERIAL:
            return "other serial number";
        case ZEL_STATION_OTHER_FIRMWARE:
            return "other firmware";
        case ZEL_STATION_POSITION_DIFFERS:
            return "another position";
    }
    return "difference";
}

int stationFailure(const Options& options, const ZelStationStatus& s, const std::string& about) {
    int status = kFailed;
    if (s.code == ZEL_STATION_FILE_INVALID || s.code == ZEL_STATION_VALUE_REFUSED) {
        status = kFileInvalid;
    } else if (s.code == ZEL_STATION_NO_SUCH_CHANNEL) {
        status = kNotFound;
    }
    return fail(options, status, s.message, about,
                s.code > 0 && s.code < 100 ? static_cast<int>(s.code) : -1,
                s.code > 0 && s.code < 100 ? s.lower.method() : nullptr);
}

// Decimals that show a value to its display step (4 without one).
int decimalsFor(double step) {
    if (step <= 0) return 4;
    const int d = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return d < 0 ? 0 : (d > 9 ? 9 : d);
}

std::string valueOf(const ZelStationReading& r) {
    char text[48];
    if (std::strcmp(r.unit, "counts") == 0) {
        // A counter's 32 bits; a linear channel's run below zero.
        const auto raw = static_cast<std::uint32_t>(static_cast<long long>(r.value));
        std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(raw));
        return text;
    }
    std::snprintf(text, sizeof text, "%.*f", decimalsFor(r.displayResolution), r.value);
    std::string t = text;
    if (t.find_first_not_of("-0.") == std::string::npos && t[0] == '-') t.erase(0, 1);
    return t;
}

}  // namespace

std::string differenceText(ZelStation& station, const ZelStationDifference& d) {
    std::string text;
    if (d.filePosition >= 0) {
        ZelStationModule info;
        station.getModuleInfo(static_cast<unsigned short>(d.filePosition), &info);
        text = "module " + std::to_string(d.filePosition) + " (" + latin1ToUtf8(info.label) + ")";
    } else {
        text = "chain position " + std::to_string(d.chainPosition);
    }
    text += std::string(" at ") + d.address + ": " + kindOfDifference(d.kind);
    switch (d.kind) {
        case ZEL_STATION_MISSING:
            text += std::string(" (serial number ") + d.expected +
                    (d.found[0] ? std::string("; ") + d.found : std::string()) + ")";
            break;
        case ZEL_STATION_EXTRA:
            text += std::string(" (serial number ") + d.found + ", not in the file)";
            break;
        case ZEL_STATION_SWAPPED:
            text += " with module " + std::to_string(d.chainPosition) + " (found " + d.found +
                    " where the file has " + d.expected + ")";
            break;
        case ZEL_STATION_POSITION_DIFFERS:
            text += std::string(": the file has it at ") + d.expected + ", the chain at " + d.found;
            break;
        default:
            text += std::string(": the file says ") + d.expected + ", the module " + d.found;
    }
    return text;
}

int openStation(const Options& options, ZelStation& station) {
    ZelStationStatus s = station.load(options.config.c_str());
    if (!s.ok()) return stationFailure(options, s, options.config);
    if (options.simulatedSubnet != 0) zelMoveOntoSimulation(station, options.simulatedSubnet);
    ZelStationOptions o;
    o.timeoutMs = options.timeoutMs;
    o.retries = options.retries;
    s = station.open(o);
    if (s.code == ZEL_STATION_CHAIN_DIFFERS) {
        // The modules found are open with their settings; what differs is
        // said, never passed over.
        for (const ZelStationDifference& d : station.differences()) {
            std::fprintf(stderr, "zeltool: %s: %s\n", options.config.c_str(),
                         differenceText(station, d).c_str());
        }
        return kOk;
    }
    if (!s.ok()) return stationFailure(options, s, options.config);
    return kOk;
}

int stationTarget(const Options& options, ZelStation& station, const std::string& operand,
                  Target& target) {
    unsigned short position = 0, channel = 0;
    char* end = nullptr;
    const long n = std::strtol(operand.c_str(), &end, 10);
    bool found = false;
    if (!operand.empty() && *end == '\0') {
        if (n < 0 || n >= station.getNumModules()) {
            return fail(options, kNotFound,
                        "no module at position " + operand + " (the file has " +
                            std::to_string(station.getNumModules()) + ")",
                        options.config);
        }
        position = static_cast<unsigned short>(n);
        found = true;
    }
    std::string latin1;
    utf8ToLatin1(operand, latin1);
    for (unsigned short i = 0; !found && i < station.getNumModules(); ++i) {
        ZelStationModule info;
        station.getModuleInfo(i, &info);
        if (latin1 == info.label) {
            position = i;
            found = true;
        }
    }
    if (!found) {
        ZelStationStatus s = station.findChannel(latin1.c_str(), &position, &channel);
        if (!s.ok()) {
            return fail(options, kNotFound,
                        "no module or channel labelled '" + operand + "' in " + options.config);
        }
        target.channel = channel;
    }
    target.position = position;
    target.module = station.getModule(position);
    if (target.module == nullptr) {
        return fail(
            options, kNotFound,
            "module " + std::to_string(position) + " of " + options.config + " did not answer",
            operand);
    }
    return kOk;
}

int readStation(const Options& options) {
    ZelStation station;
    if (int s = openStation(options, station)) return s;
    Target target;
    const bool all = options.args[1] == "all";
    if (!all) {
        if (int s = stationTarget(options, station, options.args[1], target)) return s;
    }
    // Paced and stamped as every read is: each sample when it is asked for.
    Watch watch(options);
    bool header = true;
    while (watch.more()) {
        std::vector<ZelStationReading> readings;
        const double seconds = watch.seconds(nowUs());
        const ZelStationStatus s = station.read(readings);
        if (!s.ok()) {
            watch.failedAt(options.config);
            stationFailure(options, s, options.config);
            if (!options.watch || options.stopOnError) return kFailed;
        }
        std::string out;
        bool first = true;
        for (const ZelStationReading& r : readings) {
            if (!all && (r.position != target.position ||
                         (target.channel >= 0 && r.channel != target.channel))) {
                continue;
            }
            const std::string label = latin1ToUtf8(r.label);
            if (options.json()) {
                out += std::string(first ? "" : ", ") +
                       "{\"position\": " + std::to_string(r.position) +
                       ", \"channel\": " + std::to_string(r.channel) +
                       ", \"label\": " + jsonText(label) + ", \"value\": " + valueOf(r) +
                       ", \"unit\": " + jsonText(r.unit) + "}";
            } else if (options.csv()) {
                if (header) std::printf("time,position,channel,label,value,unit\n");
                header = false;
                std::printf("%.3f,%u,%u,%s,%s,%s\n", seconds, r.position, r.channel,
                            csvText(label).c_str(), valueOf(r).c_str(), r.unit);
            } else {
                std::printf("%-3u %-20s %14s %s\n", r.position, label.c_str(), valueOf(r).c_str(),
                            r.unit);
            }
            first = false;
        }
        if (options.json()) {
            char time[32];
            std::snprintf(time, sizeof time, "%.3f", seconds);
            std::printf("{\"time\": %s, \"readings\": [%s]}\n", time, out.c_str());
        }
        std::fflush(stdout);
        if (!watch.next()) break;
    }
    return watch.finish(1);
}

int configCheck(const Options& options) {
    const std::string file = options.args[2];
    ZelStation station;
    ZelStationStatus s = station.load(file.c_str());
    if (!s.ok()) return stationFailure(options, s, file);
    if (options.output == Output::Text) {
        std::fprintf(stderr, "zeltool: discovering and ordering the chain from %s...\n",
                     options.localIp.c_str());
    }
    ZelStationOptions o;
    o.mode = ZEL_STATION_OPEN_DISCOVER;
    o.localIp = options.localIp.c_str();
    o.localPort = options.port;
    o.broadcastNetmask = options.netmask.c_str();
    o.applySettings = false;
    s = station.open(o);
    if (s.code != ZEL_STATION_OK && s.code != ZEL_STATION_CHAIN_DIFFERS) {
        return stationFailure(options, s, file);
    }
    for (const ZelStationDifference& d : station.differences()) {
        std::printf("%s\n", differenceText(station, d).c_str());
    }
    if (station.isVerified()) {
        std::printf("the chain agrees with %s: %u modules\n", file.c_str(),
                    station.getNumModules());
        return kOk;
    }
    return kFailed;
}

int configCapture(const Options& options) {
    const std::string file = options.args[2];
    ZelInterface chain;
    if (options.output == Output::Text) {
        std::fprintf(stderr, "zeltool: discovering and ordering the chain from %s...\n",
                     options.localIp.c_str());
    }
    const ZelResults r =
        chain.createChain(options.localIp.c_str(), options.port, false, options.netmask.c_str());
    if (!r.ok()) return fail(options, kFailed, r, options.localIp);
    const ZelStationStatus s = ZelStation::capture(chain, file.c_str());
    if (!s.ok()) return stationFailure(options, s, file);
    std::printf(
        "wrote %s: %u modules in chain order; edit the labels and units, then run with "
        "--config %s\n",
        file.c_str(), chain.getNumModules(), file.c_str());
    return kOk;
}

}  // namespace zeltool
